#pragma once
// Two small shared windows: the information window that collects the reports of
// searches, jumps and capture ends, and the busy indicator shown around long passes.
#include <QDialog>
#include <QElapsedTimer>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace zelpan {

// "Zelpan - Information": modeless, one at most; OK or closing destroys it.
class CInfoWnd : public QDialog {
    Q_OBJECT
public:
    explicit CInfoWnd(QWidget* parent = nullptr);
    void append(const QString& text);
    // Everything shown, each message ended by CR LF.
    const QString& text() const { return text_; }
    static CInfoWnd* current();

private:
    QPlainTextEdit* edit_;
    QString text_;
};

// Appends text and CR LF to the information window, creating it when needed.
void ShowMessage(const QString& text);

// "しばらくお待ちください": modeless, centred on the main window. A pass that runs
// past about a second also shows its progress.
class CBusyDlg : public QDialog {
    Q_OBJECT
public:
    static const char* const TEXT;
    explicit CBusyDlg(QWidget* owner);
    void setProgress(int done, int total);
    bool progressShown() const;

private:
    QLabel* label_;
    QProgressBar* bar_;
};

// Places a top-level widget centred on the main window (when there is one).
void CentreOnMainFrame(QWidget* w);

}  // namespace zelpan
