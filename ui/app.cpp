#include "ui/app.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>

#include "decode/engine.h"
#include "store/capture_file.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"

namespace zelpan {

CZelpanApp* CZelpanApp::instance_ = nullptr;

QString VersionText(int a, int b, int c, int d) {
    return QString::asprintf("Version %d.%02d.%02d(%X%02X)", a, b, c, d / 100, d % 100);
}

UiHooks UiHooks::standard() {
    UiHooks h;
    h.information = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Zelpan"), text, QMessageBox::Ok, parent);
        box.exec();
    };
    h.yes_no = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Zelpan"), text, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.button(QMessageBox::Yes)->setText(QString::fromUtf8("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QString::fromUtf8("いいえ(&N)"));
        return box.exec() == QMessageBox::No ? No : Yes;
    };
    h.save_changes = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Zelpan"), text,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
        box.button(QMessageBox::Yes)->setText(QString::fromUtf8("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QString::fromUtf8("いいえ(&N)"));
        box.button(QMessageBox::Cancel)->setText(QString::fromUtf8("ｷｬﾝｾﾙ"));
        int r = box.exec();
        return r == QMessageBox::Yes ? Yes : r == QMessageBox::No ? No : Cancel;
    };
    h.open_files = [](QWidget* parent, const QString& directory, const QString& filter) {
        QFileDialog d(parent, QString::fromUtf8("開く"), directory, filter);
        d.setFileMode(QFileDialog::ExistingFiles);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setDefaultSuffix("zlc");
        return d.exec() == QDialog::Accepted ? d.selectedFiles() : QStringList();
    };
    h.save_file = [](QWidget* parent, const QString& initial, const QString& suffix, const QString& filter) {
        QFileDialog d(parent, QString::fromUtf8("名前を付けて保存"), QString(), filter);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setFileMode(QFileDialog::AnyFile);
        d.setDefaultSuffix(suffix);
        d.selectFile(initial);
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
        return d.selectedFiles().front();
    };
    h.print_dialog = [](QWidget* parent, QPrinter& printer) {
        QPrintDialog d(&printer, parent);
        return d.exec() == QDialog::Accepted;
    };
    h.page_setup = [](QWidget* parent, QPrinter& printer) {
        QPageSetupDialog d(&printer, parent);
        return d.exec() == QDialog::Accepted;
    };
    h.preview = [](QWidget* parent, QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
        QPrintPreviewDialog d(&printer, parent);
        QObject::connect(&d, &QPrintPreviewDialog::paintRequested, &d, [&paint](QPrinter* p) { paint(p); });
        d.exec();
    };
    return h;
}

CZelpanApp::CZelpanApp(QObject* parent)
    : QObject(parent), hooks_(UiHooks::standard()), search_settings_(std::make_unique<SearchSettings>()) {
    instance_ = this;
    // The stand-in for the 13-pixel "Terminal" font: the system's fixed-pitch font.
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font_.setPixelSize(13);
    font_.setStyleHint(QFont::TypeWriter);
    startup_directory_ = StartupDirectory();
    init_protocol_table();
}

CZelpanApp::~CZelpanApp() {
    if (instance_ == this) instance_ = nullptr;
}

CZelpanApp* CZelpanApp::instance() { return instance_; }

CMainFrame* CZelpanApp::mainFrame() const { return main_frame_; }
void CZelpanApp::setMainFrame(CMainFrame* m) { main_frame_ = m; }
CChildFrame* CZelpanApp::currentChild() const { return current_child_; }
void CZelpanApp::setCurrentChild(CChildFrame* c) { current_child_ = c; }

QPrinter& CZelpanApp::printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setPageSize(QPageSize(QPageSize::A4));
        printer_->setFullPage(true);
    }
    return *printer_;
}

namespace {
QSettings recent_settings() { return QSettings(QStringLiteral("Veltor"), QStringLiteral("Zelpan")); }
const char* const RECENT_GROUP = "Recent File List";
}  // namespace

QStringList CZelpanApp::recentFiles() const {
    QSettings s = recent_settings();
    s.beginGroup(RECENT_GROUP);
    QStringList files;
    for (int i = 1; i <= RECENT_FILES; ++i) {
        QString f = s.value(QString("File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

static void store_recent(const QStringList& files) {
    QSettings s = recent_settings();
    s.beginGroup(RECENT_GROUP);
    for (int i = 1; i <= CZelpanApp::RECENT_FILES; ++i) {
        if (i <= files.size())
            s.setValue(QString("File%1").arg(i), files[i - 1]);
        else
            s.remove(QString("File%1").arg(i));
    }
}

void CZelpanApp::addRecentFile(const QString& path) {
    QString full = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > RECENT_FILES) files.removeLast();
    store_recent(files);
    emit recentFilesChanged();
}

void CZelpanApp::removeRecentFile(const QString& path) {
    QStringList files = recentFiles();
    if (files.removeAll(QFileInfo(path).absoluteFilePath()) == 0 && files.removeAll(path) == 0) return;
    store_recent(files);
    emit recentFilesChanged();
}

}  // namespace zelpan
