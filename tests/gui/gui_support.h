#pragma once
// The GUI tests drive the real main window offscreen. Every question, message box
// and file dialog goes through the application's hooks, which the fixture answers.
#include <gtest/gtest.h>

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"

// Readable failures for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace zgui {

inline QString source_path(const char* relative) {
    return QStringLiteral(ZELPAN_SOURCE_DIR "/") + QString::fromUtf8(relative);
}
// The first frames of the bundled sample: the window tests count on their rows.
inline QString sample_path() { return source_path("tests/data/sample.zlc"); }

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a file and runs its list fill to the end.
    zelpan::CChildFrame* open(const QString& path);
    // A file in the test's temporary directory.
    QString temp(const QString& name) const { return dir_.filePath(name); }
    // Lets queued work (slices of a fill, deferred deletes) run.
    static void settle(int ms = 0);

    std::unique_ptr<zelpan::CZelpanApp> app_;
    zelpan::CMainFrame* main_ = nullptr;
    QTemporaryDir dir_;

    // What the hooks saw and how they answer.
    QStringList messages_;
    QStringList questions_;
    std::deque<zelpan::UiHooks::Answer> answers_;  // yes/no and save-changes questions; Yes when empty
    QStringList open_answer_;
    std::deque<QString> save_answers_;  // paths the save dialog returns; "" when empty
    struct SaveRequest {
        QString initial, suffix, filter;
    };
    std::vector<SaveRequest> save_requests_;
};

// Frames of a capture file, with the mark bits, through the core reader.
struct LoadedFrames {
    std::string message;
    int32_t link_type = 1;
    std::vector<std::vector<uint8_t>> frames;
};
LoadedFrames load_frames(const QString& path);

// Writes a capture of count frames made by repeating the sample's frames.
QString write_repeated_sample(const QString& path, uint32_t count);

}  // namespace zgui
