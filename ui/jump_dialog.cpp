#include "ui/jump_dialog.h"
#include "ui/dialog_util.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zelpan {

namespace {

JumpHooks with_defaults(JumpHooks h, SearchWindow* window) {
    if (!h.message_box) h.message_box = warning_box;
    // Without an information window a report must still reach the user.
    if (!h.show_message)
        h.show_message = [](const QString& text) {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Zelpan - Information"), text);
            box.exec();
        };
    if (!h.row_marked)
        h.row_marked = [window](int32_t row) {
            FrameStore* s = window ? window->frame_store() : nullptr;
            return s && s->present() && row >= 0 && uint32_t(row) < s->frame_count() && s->marked(uint32_t(row));
        };
    return h;
}

}  // namespace

CJumpNumber::CJumpNumber(SearchWindow* window, JumpHooks hooks, QWidget* parent)
    : QWidget(parent), window_(window), hooks_(with_defaults(std::move(hooks), window)) {
    number_ = new QLineEdit(this);
    number_->setObjectName("number");
    auto* go = new QPushButton(QString::fromUtf8("ｼﾞｬﾝﾌﾟ(&J)"), this);
    go->setObjectName("jump");
    // Enter in the edit reaches the sheet, which presses its default button.
    go->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(number_, 1);
    row->addWidget(go);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(row);
    outer->addStretch(1);
    connect(go, &QPushButton::clicked, this, &CJumpNumber::jump);
}

void CJumpNumber::jump() {
    bool has_list = window_ && window_->has_list();
    JumpOutcome j = JumpToNumber(number_->text().toStdString(), has_list, has_list ? window_->row_count() : 0);
    if (!j.message.empty()) {
        hooks_.message_box(this, QString::fromStdString(j.message));
        return;
    }
    ApplyJump(*window_, j);
}

CJumpMark::CJumpMark(SearchWindow* window, JumpHooks hooks, QWidget* parent)
    : QWidget(parent), window_(window), hooks_(with_defaults(std::move(hooks), window)) {
    auto* up = new QPushButton(QString::fromUtf8("上方(&B)"), this);
    up->setObjectName("up");
    auto* down = new QPushButton(QString::fromUtf8("下方(&F)"), this);
    down->setObjectName("down");
    for (QPushButton* b : {up, down}) b->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(up);
    row->addWidget(down);
    row->addStretch(1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(row);
    outer->addStretch(1);
    connect(up, &QPushButton::clicked, this, [this] { jump(true); });
    connect(down, &QPushButton::clicked, this, [this] { jump(false); });
}

void CJumpMark::jump(bool up) {
    if (!window_ || !window_->has_list()) return;
    JumpOutcome j = JumpToMark(window_->selected_row(), window_->search_state().last_hit, window_->row_count(), up,
                               hooks_.row_marked);
    if (!j.message.empty()) {
        hooks_.show_message(QString::fromStdString(j.message));
        return;
    }
    ApplyJump(*window_, j);
}

QPoint CJumpDlg::placement(const QRect& main_frame, const QSize& frame_size) {
    return {main_frame.x() + (main_frame.width() - frame_size.width()) / 2,
            main_frame.y() + (main_frame.height() - frame_size.height()) / 2};
}

CJumpDlg::CJumpDlg(SearchWindow* window, const QString& title, QWidget* parent, JumpHooks hooks)
    : QDialog(parent), hooks_(with_defaults(std::move(hooks), window)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("ｼﾞｬﾝﾌﾟ - ") + title);
    pages_ = new QTabWidget(this);
    number_ = new CJumpNumber(window, hooks_, pages_);
    mark_ = new CJumpMark(window, hooks_, pages_);
    pages_->addTab(number_, QString::fromUtf8("ﾌﾚｰﾑ番号"));
    pages_->addTab(mark_, QString::fromUtf8("ﾏｰｸ"));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(pages_);
}

void CJumpDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hooks_.main_frame) move(placement(hooks_.main_frame(), frameGeometry().size()));
}

}  // namespace zelpan
