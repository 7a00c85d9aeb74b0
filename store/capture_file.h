#pragma once
// Capture files: libpcap savefile 2.4 (read and written), the other libpcap forms
// (either byte order, microsecond or nanosecond stamps), pcapng, and the two legacy
// native formats (all read only: saving always writes libpcap 2.4, little-endian,
// microseconds). Operations return an empty text on success and the message to
// show on failure.
#include <cstdint>
#include <string>

#include "store/frame_store.h"

namespace zelpan {

enum class CaptureKind {
    NotCapture = 0,
    Legacy1 = 1,
    Legacy2 = 2,
    Pcap = 3,             // the form the program writes
    PcapSwapped = 4,      // big-endian microsecond savefile
    PcapNano = 5,         // nanosecond savefile (magic 0xA1B23C4D)
    PcapNanoSwapped = 6,  // the same, big-endian
    PcapNg = 7,
};

CaptureKind IdentifyCaptureFile(const std::string& path);
// Bytes the store needs to load the file; negative when the file cannot be read.
int64_t CaptureFileLoadSize(const std::string& path, CaptureKind kind, int64_t file_length);
// Fills store (already allocated with capacity bytes) and sets link_type. A load
// that took in only part of a pcapng file still succeeds; notice (when given)
// then says what was left out and why, one line each ("" when nothing was).
std::string ReadCaptureFile(const std::string& path, CaptureKind kind, FrameStore& store, uint64_t capacity,
                            int32_t& link_type, std::string* notice = nullptr);
// Writes all frames, or only the marked ones. An existing file is replaced only
// when the whole new file has been written.
std::string WriteCaptureFile(const std::string& path, const FrameStore& store, int32_t link_type,
                             bool marked_only);

// The message when the store for a file of size bytes cannot be had.
std::string MemoryErrorText(const std::string& path, int64_t size);

// Convenience for front ends: identify, size, allocate and read in one step.
// Returns the message of the first step that failed ("" on success).
std::string LoadCaptureFile(const std::string& path, FrameStore& store, int32_t& link_type,
                            std::string* notice = nullptr);

// Automatic saving during a capture.
struct AutoSaveState {
    int name_form = 0;          // 0 HHMMSSnn, 1 MMDDnnnn, 2 YYYYMMDD_HHMMSS-nn
    unsigned sequence = 0;      // number put into the next file name
    std::string current_path;   // file being appended to
    std::string directory = ".";// start-up directory
    // Kept open between frames; every frame is flushed so the file on disk is
    // complete after each one.
    void* file = nullptr;
    AutoSaveState() = default;
    AutoSaveState(const AutoSaveState&) = delete;  // owns file
    AutoSaveState& operator=(const AutoSaveState&) = delete;
    ~AutoSaveState();
    void close();
};
// mode 1 starts a new file with this frame, 2 or more appends. False on any failure.
bool AppendAutoSaveFrame(AutoSaveState& state, int mode, uint32_t seconds, uint32_t microseconds,
                         const uint8_t* bytes, uint32_t length, int32_t link_type);
// The file name for a form, a sequence number and a local time (for tests and the UI).
std::string AutoSaveName(int name_form, unsigned sequence, int year, int month, int day, int hour, int minute,
                         int second);

// The working directory at start, or "." when it cannot be had or is longer than 976.
std::string StartupDirectory();

}  // namespace zelpan
