#pragma once
// The find, find next, jump and capture filter commands of a main window, and the
// application-wide search state they share: the one search dialog, the window it
// was opened in (the search origin), the registry slot being searched and the
// jump sheet of every window.
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>

class QDialog;
class QWidget;

namespace zelpan {

class CChildFrame;
class CJumpDlg;
class CMainFrame;
class CSearchDlg;
class CZelpanApp;

class SearchCommands : public QObject {
    Q_OBJECT
public:
    // Message boxes of the dialogs and the modal run of the capture filter
    // editor: empty means the dialogs' warning box and exec(). Tests answer here.
    struct Hooks {
        std::function<void(QWidget* parent, const QString& text)> message_box;
        std::function<void(QDialog& dialog)> run_modal;
    };

    // Wires the four commands into main; the object is a child of main.
    explicit SearchCommands(CMainFrame& main);
    static SearchCommands* of(const CMainFrame& main);

    Hooks& hooks() { return hooks_; }
    CSearchDlg* searchDialog() const { return dialog_; }
    CChildFrame* searchOrigin() const { return origin_; }
    int currentSlot() const { return current_slot_; }
    CJumpDlg* jumpSheet(const CChildFrame* window) const { return jumps_.value(window); }

    // The commands, on the active window.
    void find();
    void findNext();
    void jump();
    void captureFilter();

    // The search request: queued to the window, it runs a new search there with
    // the shared settings and reports; the all-windows setting sends it on.
    void postSearchRequest(CChildFrame* window, CChildFrame* origin);

    // Enabling rules.
    bool findEnabled() const;
    bool findNextEnabled() const;
    bool captureFilterEnabled() const;

private:
    void runSearchRequest(CChildFrame* window, CChildFrame* origin);
    void finishSearch(CChildFrame* window, int result, CChildFrame* origin);
    void continueSearch(CChildFrame* from, CChildFrame* origin);
    CChildFrame* windowAt(int slot) const;
    // Follows the window's end: the search dialog and its jump sheet close.
    void watch(CChildFrame* window);
    void windowGone(const CChildFrame* window);
    void closeSearchDialog();
    // Whether a capture writes into the window now (it is not searched then).
    static bool capturing(const CChildFrame* window);

    CMainFrame& main_;
    Hooks hooks_;
    QPointer<CSearchDlg> dialog_;
    QPointer<CChildFrame> origin_;
    int current_slot_ = -1;
    QHash<const CChildFrame*, QPointer<CJumpDlg>> jumps_;
    QSet<const CChildFrame*> watched_;
};

// The open search dialog of main, if any (the capture start rule asks).
CSearchDlg* OpenSearchDialog(const CMainFrame& main);

}  // namespace zelpan
