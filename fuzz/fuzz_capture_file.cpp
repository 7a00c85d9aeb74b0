// Reading a capture file of arbitrary content: identification, load size, read,
// then a walk over the frames and, for some inputs, a write of what was read and
// a read of that back. Input: the first byte chooses (bit 0: write and read back;
// bit 1: write every frame rather than the marked ones), the rest is the file.
// The round trip, a path with few branches of its own, costs more than the rest
// together, so the fuzzer flips it on for the inputs it likes as readily as off.
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
    if (size < 1) return 0;
    static std::string path = scratch("in");
    static std::string out = scratch("out");
    // The input file stays open from input to input: rewriting it in place spares
    // a lookup of its name each time.
    static int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    static struct Tidy {
        ~Tidy() {
            if (fd >= 0) ::close(fd);
            ::unlink(path.c_str());
            ::unlink(out.c_str());
        }
    } tidy;
    if (fd < 0) return 0;
    const bool round_trip = data[0] & 1, marked_only = !(data[0] & 2);
    ++data;
    --size;
    size_t done = 0;
    while (done < size) {
        ssize_t k = ::pwrite(fd, data + done, size - done, off_t(done));
        if (k <= 0) break;
        done += size_t(k);
    }
    if (done < size || ::ftruncate(fd, off_t(size)) != 0) return 0;

    FrameStore store;
    int32_t link = 1;
    if (!LoadCaptureFile(path, store, link).empty()) return 0;
    uint64_t total = 0;
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        total += record_length(r);
        if (i % 3 == 0) store.set_marked(i, true);
    }
    if (total + uint64_t(store.frame_count()) * RECORD_HEADER != store.used_bytes()) __builtin_trap();
    const uint32_t marked = CountMarkedFrames(store);
    if (!round_trip) return 0;
    if (!WriteCaptureFile(out, store, link, marked_only).empty()) __builtin_trap();
    FrameStore again;
    int32_t link2 = 0;
    if (!LoadCaptureFile(out, again, link2).empty() || link2 != link) __builtin_trap();
    if (again.frame_count() != (marked_only ? marked : store.frame_count())) __builtin_trap();
    return 0;
}
