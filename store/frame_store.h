#pragma once
// The frames of one window: one contiguous block, a 16-byte head (u64 used_bytes,
// u32 frame_count, u32 spare) and the records packed in frame order. Byte counts
// and offsets are 64-bit, so a capture file past 4 GiB loads when memory allows;
// the files written keep their own 32-bit fields. See decode/engine.h for the
// record header.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/engine.h"

namespace zelpan {

constexpr uint32_t STORE_HEAD = 16;
constexpr uint32_t CAPTURE_STORE_CAPACITY = 12000000;
// The back link is 24 bits wide in memory; no record may be larger.
constexpr uint32_t MAX_RECORD_SIZE = 0xFFFFFF;

class FrameStore {
public:
    FrameStore() = default;
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // Allocates a block of capacity bytes (head included), freeing the old one.
    // Returns false when the memory cannot be had; the store is then absent.
    bool allocate(uint64_t capacity);
    void release();
    bool present() const { return block_ != nullptr; }
    uint64_t capacity() const { return capacity_; }

    uint8_t* block() { return block_.get(); }
    const uint8_t* block() const { return block_.get(); }
    uint64_t used_bytes() const;
    uint32_t frame_count() const;
    void set_used_bytes(uint64_t v);
    void set_frame_count(uint32_t v);
    // Empties the store (head to 0, first record header cleared).
    void clear();

    // First record, or nullptr when empty.
    const uint8_t* first() const;
    // The record after r, or nullptr after the last (walks stop at frame_count
    // records or used_bytes, whichever comes first).
    const uint8_t* next(const uint8_t* r, uint32_t index) const;

    // Appends a frame when it fits; returns the new record or nullptr.
    uint8_t* append(uint32_t seconds, uint32_t microseconds, const uint8_t* bytes, uint32_t length);
    // Does a frame of length bytes fit behind the records?
    bool fits(uint32_t length) const;

    // Random access by position. The offset table is built on first use and kept
    // up to date by append(); 8 bytes per frame.
    const uint8_t* at(uint32_t index) const;
    uint8_t* at(uint32_t index);
    size_t index_memory() const { return offsets_.capacity() * sizeof(uint64_t); }

    bool marked(uint32_t index) const;
    void set_marked(uint32_t index, bool on);

    // Copies another store's whole block (the second window of a document).
    bool copy_from(const FrameStore& other);

    // Called by code that fills the block directly (file reading, capture) once
    // the records are in place, so the offset table is rebuilt on next use.
    void invalidate_index() { offsets_.clear(); indexed_ = false; }
    // The offset table of the records just placed, made by a reader that walked
    // them anyway (one offset per counted frame, from the first record).
    void adopt_index(std::vector<uint64_t>&& offsets);
    // Whether at() answers without walking the records first.
    bool indexed() const { return indexed_ && offsets_.size() == frame_count(); }

private:
    void build_index() const;
    // Large blocks come straight from the kernel, asked to use huge pages, so
    // that filling a file-sized store takes few page faults.
    struct BlockFree {
        size_t mapped;  // 0: from new[]
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t[], BlockFree> block_;
    uint64_t capacity_ = 0;
    mutable std::vector<uint64_t> offsets_;
    mutable bool indexed_ = false;
};

uint32_t CountMarkedFrames(const FrameStore& store);

}  // namespace zelpan
