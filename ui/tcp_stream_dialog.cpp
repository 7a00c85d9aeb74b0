#include "ui/tcp_stream_dialog.h"
#include "ui/dialog_util.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/app.h"
#include "ui/child_frame.h"
#include "ui/list_view.h"
#include "ui/search_dialog.h"

namespace zelpan {

const QColor CTcpStreamDlg::DIRECTION_COLOURS[2] = {QColor(255, 0, 0), QColor(0, 0, 255)};

namespace {

// The text of the emitted chunks, one run of lines per direction change, and the
// marks when wanted.
class TextOutput : public StreamOutput {
public:
    TextOutput(QPlainTextEdit* view, CChildFrame* marks) : cursor_(view->document()), marks_(marks) {
        cursor_.movePosition(QTextCursor::End);
        cursor_.beginEditBlock();
    }
    ~TextOutput() override {
        flush();
        cursor_.endEditBlock();
    }
    void chunk(const StreamChunk& c) override {
        if (c.direction != direction_) flush();
        direction_ = c.direction;
        AppendStreamText(c, run_, "\n");
        // The list repaints its mark column once after the build.
        if (marks_ && c.frame_index < marks_->row_count()) marks_->store().set_marked(uint32_t(c.frame_index), true);
    }

private:
    void flush() {
        if (run_.empty()) return;
        QTextCharFormat f;
        f.setForeground(CTcpStreamDlg::DIRECTION_COLOURS[direction_ == 1 ? 1 : 0]);
        cursor_.insertText(QString::fromLatin1(run_.data(), qsizetype(run_.size())), f);
        run_.clear();
    }
    QTextCursor cursor_;
    CChildFrame* marks_;
    int direction_ = 0;
    std::string run_;
};

}  // namespace

CTcpStreamDlg::CTcpStreamDlg(CChildFrame* window, int32_t frame, Hooks hooks)
    : QDialog(window), window_(window), frame_(frame), hooks_(std::move(hooks)) {
    setObjectName("tcp_stream");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u8("TCPﾃﾞｰﾀｽﾄﾘｰﾑ"));
    if (!hooks_.message_box) hooks_.message_box = warning_box;
    if (!hooks_.save_file)
        hooks_.save_file = [](QWidget* parent, const QString& initial, const QString& filter) {
            CZelpanApp* app = CZelpanApp::instance();
            return app && app->hooks().save_file ? app->hooks().save_file(parent, initial, QString(), filter)
                                                 : QString();
        };

    source_ = new QComboBox(this);
    source_->setObjectName("source");
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("text");
    text_->setReadOnly(true);
    // Coloured runs in a line-based layout: a stream of a million lines still opens.
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = CZelpanApp::instance() ? CZelpanApp::instance()->fixedFont() : QFont(QStringLiteral("Monospace"));
    font.setPointSize(9);
    text_->setFont(font);
    bytes_ = new QLineEdit(this);
    bytes_->setObjectName("bytes");
    bytes_->setReadOnly(true);
    auto* mark = dialog_button("ﾏｰｸ(&M)", "mark", this);
    auto* save = dialog_button("保存(&S)", "save", this);
    auto* cancel = dialog_button("ｷｬﾝｾﾙ", "cancel", this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(u8("送信元ｱﾄﾞﾚｽ"), this));
    top->addWidget(source_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(u8("ﾊﾞｲﾄ数"), this));
    bottom->addWidget(bytes_);
    bottom->addStretch(1);
    bottom->addWidget(mark);
    bottom->addWidget(save);
    bottom->addWidget(cancel);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(text_, 1);
    outer->addLayout(bottom);
    resize(640, 480);

    const LayerIndexList* index = window_ ? window_->layer_indexes() : nullptr;
    if (index) builder_ = std::make_unique<TcpStreamBuilder>(window_->store(), *index);
    TcpFrameInfo r;
    source_->addItem(QStringLiteral("ALL"));
    if (index && ReadTcpFrame(window_->store(), *index, uint32_t(frame_), r)) {
        source_->addItem(u8(StreamAddressText(r, STREAM_SOURCE)));
        source_->addItem(u8(StreamAddressText(r, STREAM_DESTINATION)));
    }
    rebuild(Mode::Show);

    connect(source_, &QComboBox::currentIndexChanged, this, &CTcpStreamDlg::sourceChanged);
    connect(mark, &QPushButton::clicked, this, &CTcpStreamDlg::markFrames);
    connect(save, &QPushButton::clicked, this, &CTcpStreamDlg::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CTcpStreamDlg::~CTcpStreamDlg() = default;

QString CTcpStreamDlg::byteCountText() const { return bytes_->text(); }

void CTcpStreamDlg::rebuild(Mode mode) {
    if (!builder_ || !window_) return;
    text_->clear();
    {
        TextOutput out(text_, mode == Mode::Mark ? window_ : nullptr);
        builder_->Build(frame_, window_->row_count(), std::max(source_->currentIndex(), 0), out);
    }
    text_->moveCursor(QTextCursor::Start);
    bytes_->setText(u8(builder_->ByteCountText()));
    if (mode == Mode::Mark) {
        window_->listView()->frameModel()->marksChanged(0, window_->row_count() - 1);
        emit marked();
    }
}

void CTcpStreamDlg::sourceChanged(int) { rebuild(Mode::Show); }

void CTcpStreamDlg::markFrames() { rebuild(Mode::Mark); }

void CTcpStreamDlg::save() {
    if (!builder_ || !window_) return;
    QString title = window_->title();
    qsizetype dot = title.lastIndexOf(QLatin1Char('.'));
    QString initial = dot >= 1 ? title.left(dot) : title;
    QString path = hooks_.save_file(this, initial, u8("全てのﾌｧｲﾙ (*.*)"));
    if (path.isEmpty()) return;
    // The text stays as it is; only the file gets the bytes.
    StreamFileWriter writer(QFile::encodeName(path).toStdString());
    writer.open();
    builder_->Build(frame_, window_->row_count(), std::max(source_->currentIndex(), 0), writer);
    std::string message = writer.finish();
    if (!message.empty()) hooks_.message_box(this, QString::fromLocal8Bit(message.c_str()));
}

void CTcpStreamDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hooks_.main_frame) move(CSearchDlg::placement(hooks_.main_frame(), frameGeometry().size()));
}

}  // namespace zelpan
