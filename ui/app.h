#pragma once
// The application object: what lives from start-up to exit and is shared by every
// window (the window registry, the fixed-pitch font, the search set-up, the
// start-up directory, the printer) and the user-interaction hooks that tests
// replace so that no dialog blocks.
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "condition/filter_lists.h"
#include "condition/search.h"
#include "store/window_registry.h"

class QPrinter;
class QWidget;

namespace zelpan {

class CMainFrame;
class CChildFrame;

// Every question and file dialog the application asks goes through these, so a
// test can answer them. The defaults are the standard Qt dialogs.
struct UiHooks {
    enum Answer { Yes, No, Cancel };
    // A message box with the information icon and an OK button.
    std::function<void(QWidget* parent, const QString& text)> information;
    // A Yes/No question with the information icon.
    std::function<Answer(QWidget* parent, const QString& text)> yes_no;
    // The question asked when a modified document closes: Yes, No or Cancel.
    std::function<Answer(QWidget* parent, const QString& text)> save_changes;
    // Open dialog, several files selectable; an empty list when cancelled.
    std::function<QStringList(QWidget* parent, const QString& directory, const QString& filter)> open_files;
    // Save dialog with overwrite confirmation; an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& initial, const QString& suffix, const QString& filter)>
        save_file;
    // The print dialog; false when cancelled.
    std::function<bool(QWidget* parent, QPrinter& printer)> print_dialog;
    // Printer set-up; false when cancelled.
    std::function<bool(QWidget* parent, QPrinter& printer)> page_setup;
    // Runs a print preview of the printer; paint draws into it.
    std::function<void(QWidget* parent, QPrinter& printer, const std::function<void(QPrinter*)>& paint)> preview;

    static UiHooks standard();
};

// "Version %d.%02d.%02d(%X%02X)" of a version a.b.c.d.
QString VersionText(int a, int b, int c, int d);

class CZelpanApp : public QObject {
    Q_OBJECT
public:
    // One per process; the constructor makes it the instance.
    explicit CZelpanApp(QObject* parent = nullptr);
    ~CZelpanApp() override;
    static CZelpanApp* instance();

    WindowRegistry& registry() { return registry_; }
    UiHooks& hooks() { return hooks_; }
    // The fixed-pitch font of the hex dump and list printing.
    const QFont& fixedFont() const { return font_; }
    const std::string& startupDirectory() const { return startup_directory_; }
    SearchSettings& searchSettings() { return *search_settings_; }
    CaptureFilterList& captureFilters() { return capture_filters_; }
    SearchExpressionList& searchExpressions() { return search_expressions_; }
    QPrinter& printer();

    // Set by the capture work while a capture runs.
    bool captureRunning() const { return capture_running_; }
    void setCaptureRunning(bool on) { capture_running_ = on; }

    CMainFrame* mainFrame() const;
    void setMainFrame(CMainFrame* m);
    // The child window that last had the focus (where commands go).
    CChildFrame* currentChild() const;
    void setCurrentChild(CChildFrame* c);

    // Recent files, kept with QSettings (organisation "Veltor", application "Zelpan").
    static constexpr int RECENT_FILES = 4;
    QStringList recentFiles() const;
    void addRecentFile(const QString& path);
    void removeRecentFile(const QString& path);

signals:
    void recentFilesChanged();

private:
    static CZelpanApp* instance_;
    WindowRegistry registry_;
    UiHooks hooks_;
    QFont font_;
    std::string startup_directory_;
    std::unique_ptr<SearchSettings> search_settings_;
    CaptureFilterList capture_filters_;
    SearchExpressionList search_expressions_;
    std::unique_ptr<QPrinter> printer_;
    bool capture_running_ = false;
    QPointer<CMainFrame> main_frame_;
    QPointer<CChildFrame> current_child_;
};

}  // namespace zelpan
