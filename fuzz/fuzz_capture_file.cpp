// Reading a capture file of arbitrary content: identification, load size, read,
// then a walk over the frames and a write of what was read.
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "store/capture_file.h"

using namespace zelpan;

namespace {
// The reader only takes a path. A memory file system keeps the write and read
// back (and the writer's flush to disk) off the disk.
std::string scratch(const char* what) {
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/zelpan_fuzz_" + what + "_" + std::to_string(getpid()) + ".zlc";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = scratch("in");
    static std::string out = scratch("out");
    static struct Tidy {
        ~Tidy() {
            ::unlink(path.c_str());
            ::unlink(out.c_str());
        }
    } tidy;
    // Straight to the descriptor: a stdio stream would be one more buffer an input.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    for (size_t done = 0; done < size;) {
        ssize_t k = ::write(fd, data + done, size - done);
        if (k <= 0) break;
        done += size_t(k);
    }
    ::close(fd);

    FrameStore store;
    int32_t link = 1;
    std::string msg = LoadCaptureFile(path, store, link);
    if (msg.empty()) {
        uint64_t total = 0;
        const uint8_t* r = store.first();
        for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
            total += record_length(r);
            if (i % 3 == 0) store.set_marked(i, true);
        }
        if (total + uint64_t(store.frame_count()) * RECORD_HEADER != store.used_bytes()) __builtin_trap();
        (void)CountMarkedFrames(store);
        if (!WriteCaptureFile(out, store, link, true).empty()) __builtin_trap();
        FrameStore again;
        int32_t link2 = 0;
        if (!LoadCaptureFile(out, again, link2).empty() || link2 != link) __builtin_trap();
        if (again.frame_count() != CountMarkedFrames(store)) __builtin_trap();
    }
    return 0;
}
