#include "ui/capture_monitor_dialog.h"
#include "ui/dialog_util.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/app.h"

namespace zelpan {

namespace {

QLabel* value_label(QWidget* parent, const char* name, const QFont* font) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    if (font) l->setFont(*font);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QProgressBar* bar(QWidget* parent, const char* name, int maximum) {
    auto* b = new QProgressBar(parent);
    b->setObjectName(name);
    b->setOrientation(Qt::Vertical);
    b->setTextVisible(false);
    b->setRange(0, maximum);
    b->setValue(0);
    b->setMinimumHeight(90);
    return b;
}

}  // namespace

CCaptureMonitorDlg::CCaptureMonitorDlg(QWidget* owner, std::function<bool()> stop)
    : QDialog(owner), stop_(std::move(stop)) {
    setObjectName("capture_monitor");
    setWindowTitle(u8("ｷｬﾌﾟﾁｬｰ"));
    setModal(false);
    CZelpanApp* app = CZelpanApp::instance();
    const QFont* font = app ? &app->fixedFont() : nullptr;

    // One group per rate: the bar with its upper-end label, the rate and its maximum.
    auto rate_group = [&](const char* caption, QProgressBar*& b, const char* bar_name, int maximum,
                          QLabel*& top, const char* top_name, const char* value_caption, QLabel*& value,
                          const char* value_name, const char* max_caption, QLabel*& max, const char* max_name) {
        auto* g = new QGroupBox(u8(caption), this);
        b = bar(g, bar_name, maximum);
        top = new QLabel(g);
        top->setObjectName(top_name);
        value = value_label(g, value_name, font);
        max = value_label(g, max_name, font);
        auto* grid = new QGridLayout(g);
        grid->addWidget(top, 0, 0, Qt::AlignHCenter);
        grid->addWidget(b, 1, 0, 3, 1, Qt::AlignHCenter);
        auto* c1 = new QLabel(u8(value_caption), g);
        auto* c2 = new QLabel(u8(max_caption), g);
        for (QLabel* c : {c1, c2})
            if (font) c->setFont(*font);
        grid->addWidget(c1, 1, 1);
        grid->addWidget(value, 1, 2);
        grid->addWidget(c2, 2, 1);
        grid->addWidget(max, 2, 2);
        grid->setRowStretch(3, 1);
        grid->setColumnStretch(2, 1);
        return g;
    };
    QGroupBox* bytes = rate_group("Bytes/Second", byte_bar_, "byte_bar", int(MONITOR_BYTE_RANGE), byte_label_,
                                  "byte_label", "Bps       :", bps_, "bytes_per_second", "Max Bps :", max_bps_,
                                  "max_bytes_per_second");
    QGroupBox* frames = rate_group("Frames/Second", frame_bar_, "frame_bar", int(MONITOR_FRAME_RANGE),
                                   frame_label_, "frame_label", "Fps       :", fps_, "frames_per_second",
                                   "Max Fps :", max_fps_, "max_frames_per_second");

    elapsed_ = value_label(this, "elapsed", font);
    total_bytes_ = value_label(this, "total_bytes", font);
    total_frames_ = value_label(this, "total_frames", font);
    store_use_ = value_label(this, "store_use", font);
    auto* totals = new QGridLayout;
    int row = 0;
    for (auto [caption, value] : {std::pair{"経過時間 :", elapsed_}, std::pair{"総ﾊﾞｲﾄ数  :", total_bytes_},
                                  std::pair{"総ﾌﾚｰﾑ数 :", total_frames_}, std::pair{"ﾊﾞｯﾌｧ使用率 :", store_use_}}) {
        auto* c = new QLabel(u8(caption), this);
        if (font) c->setFont(*font);
        totals->addWidget(c, row, 0);
        totals->addWidget(value, row, 1);
        ++row;
    }
    totals->setColumnStretch(1, 1);

    stop_button_ = new QPushButton(u8("停止"), this);
    stop_button_->setObjectName("stop");
    connect(stop_button_, &QPushButton::clicked, this, &CCaptureMonitorDlg::reject);

    auto* rates = new QHBoxLayout;
    rates->addWidget(bytes);
    rates->addWidget(frames);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop_button_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rates);
    layout->addLayout(totals);
    layout->addLayout(buttons);

    display(InitialMonitorView());
}

void CCaptureMonitorDlg::display(const MonitorView& v) {
    view_ = v;
    byte_label_->setText(u8(v.byte_label));
    frame_label_->setText(u8(v.frame_label));
    bps_->setText(u8(v.bytes_per_second));
    max_bps_->setText(u8(v.max_bytes_per_second));
    fps_->setText(u8(v.frames_per_second));
    max_fps_->setText(u8(v.max_frames_per_second));
    elapsed_->setText(u8(v.elapsed));
    total_bytes_->setText(u8(v.total_bytes));
    total_frames_->setText(u8(v.total_frames));
    store_use_->setText(u8(v.store_use));
    // Past its range a bar is drawn full; the range itself stays.
    byte_bar_->setRange(0, int(MONITOR_BYTE_RANGE));
    byte_bar_->setValue(int(v.byte_bar));
    frame_bar_->setRange(0, int(MONITOR_FRAME_RANGE));
    frame_bar_->setValue(int(v.frame_bar));
}

void CCaptureMonitorDlg::refresh(const MonitorReadings& readings) { display(RefreshMonitor(seen_, readings)); }

int CCaptureMonitorDlg::byteBarPosition() const { return byte_bar_->value(); }
int CCaptureMonitorDlg::frameBarPosition() const { return frame_bar_->value(); }
int CCaptureMonitorDlg::byteBarMaximum() const { return byte_bar_->maximum(); }
int CCaptureMonitorDlg::frameBarMaximum() const { return frame_bar_->maximum(); }

QLabel* CCaptureMonitorDlg::label(const char* name) const { return findChild<QLabel*>(QString::fromLatin1(name)); }

void CCaptureMonitorDlg::reject() {
    // 停止, Escape and the close box share one id: stop a running capture (which
    // destroys this monitor), or just close when none runs.
    if (stop_ && stop_()) return;
    hide();
    deleteLater();
}

}  // namespace zelpan
