#include "tests/gui/gui_support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QTest>
#include <cstdlib>

#include "store/capture_file.h"
#include "ui/document.h"
#include "ui/list_view.h"

namespace zgui {

using namespace zelpan;

void GuiTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    app_ = std::make_unique<CZelpanApp>();
    QSettings(QStringLiteral("Veltor"), QStringLiteral("Zelpan")).clear();
    UiHooks& h = app_->hooks();
    h.information = [this](QWidget*, const QString& text) { messages_ << text; };
    auto answer = [this](QWidget*, const QString& text) {
        questions_ << text;
        if (answers_.empty()) return UiHooks::Yes;
        UiHooks::Answer a = answers_.front();
        answers_.pop_front();
        return a;
    };
    h.yes_no = answer;
    h.save_changes = answer;
    h.open_files = [this](QWidget*, const QString&, const QString&) { return open_answer_; };
    h.save_file = [this](QWidget*, const QString& initial, const QString& suffix, const QString& filter) {
        save_requests_.push_back({initial, suffix, filter});
        if (save_answers_.empty()) return QString();
        QString p = save_answers_.front();
        save_answers_.pop_front();
        return p;
    };
    h.print_dialog = [](QWidget*, QPrinter&) { return true; };
    h.page_setup = [](QWidget*, QPrinter&) { return true; };
    h.preview = [](QWidget*, QPrinter& p, const std::function<void(QPrinter*)>& paint) { paint(&p); };
    main_ = new CMainFrame;
    main_->resize(1200, 900);
    main_->show();
    settle();
}

void GuiTest::TearDown() {
    // Nothing may ask any more: the window goes without questions.
    for (CChildFrame* w : main_->childWindows())
        if (w->document()) w->document()->setModified(false);
    delete main_;
    main_ = nullptr;
    settle();
    app_.reset();
}

void GuiTest::settle(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < ms);
}

CChildFrame* GuiTest::open(const QString& path) {
    CChildFrame* w = main_->openDocument(path);
    if (w) w->listView()->finishFill();
    return w;
}

LoadedFrames load_frames(const QString& path) {
    LoadedFrames out;
    FrameStore store;
    out.message = LoadCaptureFile(path.toStdString(), store, out.link_type);
    for (uint32_t i = 0; i < store.frame_count(); ++i) {
        const uint8_t* r = store.at(i);
        if (!r) break;
        out.frames.emplace_back(record_bytes(r), record_bytes(r) + record_length(r));
    }
    return out;
}

QString write_repeated_sample(const QString& path, uint32_t count) {
    FrameStore sample;
    int32_t link = 1;
    if (!LoadCaptureFile(sample_path().toStdString(), sample, link).empty()) return {};
    uint32_t n = sample.frame_count();
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < n; ++i) bytes += RECORD_HEADER + record_length(sample.at(i));
    FrameStore big;
    big.allocate(uint32_t(STORE_HEAD + bytes * (count / n + 1)));
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = sample.at(i % n);
        big.append(record_seconds(r) + i / n, record_microseconds(r), record_bytes(r), record_length(r));
    }
    if (!WriteCaptureFile(path.toStdString(), big, link, false).empty()) return {};
    return path;
}

}  // namespace zgui

// The offscreen platform reports every window it cannot size from hints.
static QtMessageHandler standard_handler = nullptr;
static void quiet_handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("propagateSizeHints"))) return;
    if (standard_handler) standard_handler(type, context, text);
}

int main(int argc, char** argv) {
    standard_handler = qInstallMessageHandler(quiet_handler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The recent-file list goes to a scratch configuration, not the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // The start-up directory (filter lists, automatic-save files) is a scratch one too.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
