#include "ui/info_window.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/app.h"
#include "ui/main_frame.h"

namespace zelpan {

namespace {
QPointer<CInfoWnd> info_window;
}

void CentreOnMainFrame(QWidget* w) {
    CZelpanApp* app = CZelpanApp::instance();
    QWidget* main = app ? app->mainFrame() : nullptr;
    if (!main || !w) return;
    QRect m = main->frameGeometry();
    QSize s = w->frameGeometry().size();
    w->move(m.x() + (m.width() - s.width()) / 2, m.y() + (m.height() - s.height()) / 2);
}

CInfoWnd::CInfoWnd(QWidget* parent) : QDialog(parent) {
    setObjectName("information");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Zelpan - Information"));
    edit_ = new QPlainTextEdit(this);
    edit_->setObjectName("information_text");
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
    resize(480, 260);
}

CInfoWnd* CInfoWnd::current() { return info_window; }

void CInfoWnd::append(const QString& text) {
    text_ += text;
    text_ += QStringLiteral("\r\n");
    // The control shows lines; CR LF is how the text is kept.
    edit_->moveCursor(QTextCursor::End);
    edit_->insertPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + QLatin1Char('\n'));
    edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
}

void ShowMessage(const QString& text) {
    if (!info_window) {
        CZelpanApp* app = CZelpanApp::instance();
        info_window = new CInfoWnd(app ? app->mainFrame() : nullptr);
        info_window->show();
        CentreOnMainFrame(info_window);
    }
    info_window->append(text);
    info_window->raise();
}

const char* const CBusyDlg::TEXT = "しばらくお待ちください";

CBusyDlg::CBusyDlg(QWidget* owner) : QDialog(owner) {
    setObjectName("busy");
    setModal(false);
    setWindowTitle(QStringLiteral("Zelpan"));
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint);
    label_ = new QLabel(QString::fromUtf8(TEXT), this);
    label_->setAlignment(Qt::AlignCenter);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("busy_progress");
    bar_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    setMinimumWidth(260);
}

void CBusyDlg::setProgress(int done, int total) {
    if (total <= 0) return;
    if (bar_->isHidden()) {
        bar_->setRange(0, total);
        bar_->show();
        adjustSize();
    }
    bar_->setValue(std::min(done, total));
}

bool CBusyDlg::progressShown() const { return !bar_->isHidden(); }

}  // namespace zelpan
