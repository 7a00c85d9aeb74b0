#pragma once
// The main window: the MDI area with the document windows, the menus, toolbar and
// status bar, the document commands (new, open, save, save marked, print), the
// recent files, dropped files and the about box.
#include <QDialog>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QTimer;
class QToolBar;

namespace zelpan {

class CChildFrame;
struct PrintLayout;

enum class Command {
    New, Open, Close, Save, SaveAs, SaveMarkedBinary, SaveMarkedText, Print, PrintPreview, PrintSetup, Exit,
    CaptureStart, CaptureStop, Statistics,
    MarkSelected, MarkAll, UnmarkAll, Find, FindNext, Jump, CaptureFilter, TcpStream,
    ToolBar, StatusBar,
    NewWindow, Cascade, Tile, ArrangeIcons,
    HelpTopics, About, ContextHelp,
    NextPane, PreviousPane,
    Count
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QString versionText() const;

private:
    QLabel* version_;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* mdiArea() const { return mdi_; }
    QAction* action(Command c) const { return actions_[size_t(c)]; }
    QMenu* menu(const QString& object_name) const;
    // The document window commands go to (the current MDI window).
    CChildFrame* activeChild() const;
    QList<CChildFrame*> childWindows() const;

    // Later work wires a command: its handler and when it is enabled. Commands
    // without a handler stay disabled.
    void setCommandHandler(Command c, std::function<void()> handler, std::function<bool()> enabled = {});

    // Documents.
    CChildFrame* newDocument();
    // The open check, then a window with the file loaded; nullptr when not opened.
    CChildFrame* openDocument(const QString& path);
    void openFiles(const QStringList& paths);
    // Writes the window's frames (all, or the marked ones) to path.
    bool saveDocument(CChildFrame* window, const QString& path, bool marked_only = false);
    // -1: nothing to save; 0: save all frames; 1: save the marked frames.
    int saveMarkedCheck(CChildFrame* window);
    // The initial name of a text export for a window title: abc.zlc -> abc.txt.
    static QString textFileName(const QString& title);
    // Closing a modified document: asks, saves when told to; false to keep it open.
    bool saveModified(CChildFrame* window);
    CChildFrame* openNewWindow();

    // Printing.
    PrintLayout printLayout(CChildFrame* window, const QPrinter* printer) const;
    int printTo(CChildFrame* window, QPrinter& printer);

    // The half-second timer of a running capture; each tick goes to the registered
    // receiver (the capture monitor), and does nothing while none is registered.
    void setCaptureTick(std::function<void()> tick);
    void startCaptureTimer();
    void stopCaptureTimer();
    QTimer* captureTimer() const { return capture_timer_; }

    // Brings every command up to date (menus, toolbar).
    void updateCommandStates();

public slots:
    void onFileNew();
    void onFileOpen();
    void onFileSave();
    void onFileSaveAs();
    void onSaveMarkedBinary();
    void onSaveMarkedText();
    void onPrint();
    void onPrintPreview();
    void onPrintSetup();
    void onAbout();
    void onMarkSelected();
    void onMarkAll();
    void onUnmarkAll();
    void onNextPane(int step);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* makeAction(Command c, const char* text, const char* prompt, const QKeySequence& key = {});
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void updateRecentFiles();
    QMdiSubWindow* addChild(CChildFrame* window);
    CChildFrame* createWindow(class CZelpanDoc* doc);
    void information(const QString& text);

    QMdiArea* mdi_;
    std::array<QAction*, size_t(Command::Count)> actions_{};
    std::array<std::function<void()>, size_t(Command::Count)> handlers_;
    std::array<std::function<bool()>, size_t(Command::Count)> enabled_;
    QMenu* file_menu_ = nullptr;
    QMenu* capture_menu_ = nullptr;
    QMenu* edit_menu_ = nullptr;
    QMenu* window_menu_ = nullptr;
    QMenu* marked_menu_ = nullptr;
    QAction* recent_separator_ = nullptr;
    QList<QAction*> recent_actions_;
    QToolBar* toolbar_ = nullptr;
    QTimer* capture_timer_ = nullptr;
    std::function<void()> capture_tick_;
    QList<QAction*> document_only_;  // File menu items shown only with a document open
};

// Wire the search (find, find next, jump, capture filter) and capture (start,
// stop) commands into a main window; ui/search_commands.cpp, ui/capture_commands.cpp.
void InstallSearchCommands(CMainFrame& main);
void InstallCaptureCommands(CMainFrame& main);
// The statistics and TCP data stream commands; ui/stats_commands.cpp.
void InstallStatsCommands(CMainFrame& main);

}  // namespace zelpan
