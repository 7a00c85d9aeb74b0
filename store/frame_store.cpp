#include "store/frame_store.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace zelpan {

namespace {

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

}  // namespace

namespace {
constexpr uint64_t HUGE_BLOCK = 16u << 20;
}

void FrameStore::BlockFree::operator()(uint8_t* p) const {
    if (mapped) ::munmap(p, mapped);
    else delete[] p;
}

bool FrameStore::allocate(uint64_t capacity) {
    release();
    if (capacity < STORE_HEAD || capacity > SIZE_MAX) return false;
    // Left uninitialised: a capture store is 12 MB and most of it may never be touched.
    if (capacity >= HUGE_BLOCK) {
        void* p = ::mmap(nullptr, size_t(capacity), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        (void)::madvise(p, size_t(capacity), MADV_HUGEPAGE);
        block_ = std::unique_ptr<uint8_t[], BlockFree>(static_cast<uint8_t*>(p), BlockFree{size_t(capacity)});
    } else {
        block_ = std::unique_ptr<uint8_t[], BlockFree>(new (std::nothrow) uint8_t[size_t(capacity)], BlockFree{0});
    }
    if (!block_) return false;
    capacity_ = capacity;
    clear();
    return true;
}

void FrameStore::release() {
    block_.reset();
    capacity_ = 0;
    std::vector<uint64_t>().swap(offsets_);
    indexed_ = false;
}

uint64_t FrameStore::used_bytes() const { return block_ ? load64(block_.get()) : 0; }
uint32_t FrameStore::frame_count() const { return block_ ? load32(block_.get() + 8) : 0; }
void FrameStore::set_used_bytes(uint64_t v) {
    if (block_) store64(block_.get(), v);
}
void FrameStore::set_frame_count(uint32_t v) {
    if (block_) store32(block_.get() + 8, v);
}

void FrameStore::clear() {
    if (!block_) return;
    std::memset(block_.get(), 0, STORE_HEAD);
    if (capacity_ >= STORE_HEAD + RECORD_HEADER) std::memset(block_.get() + STORE_HEAD, 0, RECORD_HEADER);
    offsets_.clear();
    indexed_ = false;
}

// The record at offset off (from the first record) when it lies wholly inside the
// used bytes and the block; the head may have been written by someone else, so it
// is not trusted further than that.
static const uint8_t* record_in(const uint8_t* block, uint64_t capacity, uint64_t off) {
    uint64_t limit = std::min<uint64_t>(load64(block), capacity - STORE_HEAD);
    if (off + RECORD_HEADER > limit) return nullptr;
    const uint8_t* r = block + STORE_HEAD + off;
    if (off + RECORD_HEADER + record_length(r) > limit) return nullptr;
    return r;
}

const uint8_t* FrameStore::first() const {
    if (!block_ || frame_count() == 0) return nullptr;
    return record_in(block_.get(), capacity_, 0);
}

const uint8_t* FrameStore::next(const uint8_t* r, uint32_t index) const {
    if (!block_ || !r || index >= frame_count()) return nullptr;
    uint64_t off = uint64_t(r - block_.get() - STORE_HEAD) + RECORD_HEADER + record_length(r);
    return record_in(block_.get(), capacity_, off);
}

bool FrameStore::fits(uint32_t length) const {
    if (!block_) return false;
    uint64_t size = uint64_t(RECORD_HEADER) + length;
    return size <= MAX_RECORD_SIZE && used_bytes() + size <= capacity_ - STORE_HEAD &&
           frame_count() < UINT32_MAX;
}

uint8_t* FrameStore::append(uint32_t seconds, uint32_t microseconds, const uint8_t* bytes, uint32_t length) {
    if (!fits(length) || (length && !bytes)) return nullptr;
    build_index();
    uint32_t n = frame_count();
    // The walk stopped short of frame_count: the head does not describe the records.
    if (offsets_.size() != n) return nullptr;
    uint64_t used = used_bytes();
    uint32_t back = 0;
    if (n) back = RECORD_HEADER + record_length(block_.get() + STORE_HEAD + offsets_.back());
    uint8_t* r = block_.get() + STORE_HEAD + used;
    write_record_header(r, seconds, microseconds, length, back, 0);
    if (length) std::memcpy(record_bytes(r), bytes, length);
    offsets_.push_back(used);
    set_used_bytes(used + RECORD_HEADER + length);
    set_frame_count(n + 1);
    return r;
}

void FrameStore::adopt_index(std::vector<uint64_t>&& offsets) {
    if (offsets.size() != frame_count()) {
        invalidate_index();
        return;
    }
    offsets_ = std::move(offsets);
    indexed_ = true;
}

// Extends the offset table up to frame_count, starting over when the store has
// shrunk (emptied) since it was built. Stops where the records stop.
void FrameStore::build_index() const {
    uint32_t n = frame_count();
    if (!indexed_ || offsets_.size() > n) {
        offsets_.clear();
        indexed_ = true;
    }
    if (!block_ || offsets_.size() == n) return;
    const uint8_t* r;
    if (offsets_.empty()) {
        r = first();
    } else {
        uint32_t i = uint32_t(offsets_.size());
        r = next(block_.get() + STORE_HEAD + offsets_.back(), i);
    }
    if (offsets_.capacity() < n) offsets_.reserve(n);
    while (r && offsets_.size() < n) {
        offsets_.push_back(uint64_t(r - block_.get() - STORE_HEAD));
        r = next(r, uint32_t(offsets_.size()));
    }
}

const uint8_t* FrameStore::at(uint32_t index) const {
    if (!block_) return nullptr;
    if (!indexed_ || offsets_.size() != frame_count()) build_index();
    if (index >= offsets_.size()) return nullptr;
    return block_.get() + STORE_HEAD + offsets_[index];
}

uint8_t* FrameStore::at(uint32_t index) {
    return const_cast<uint8_t*>(static_cast<const FrameStore*>(this)->at(index));
}

bool FrameStore::marked(uint32_t index) const {
    const uint8_t* r = at(index);
    return r && (record_flags(r) & 1);
}

void FrameStore::set_marked(uint32_t index, bool on) {
    uint8_t* r = at(index);
    if (!r) return;
    uint8_t f = record_flags(r);
    set_record_flags(r, uint8_t(on ? (f | 1) : (f & ~1)));
}

bool FrameStore::copy_from(const FrameStore& other) {
    if (&other == this) return present();
    if (!other.present()) {
        release();
        return true;
    }
    if (!allocate(other.capacity_)) return false;
    uint64_t used = std::min<uint64_t>(other.used_bytes(), other.capacity_ - STORE_HEAD);
    std::memcpy(block_.get(), other.block_.get(), STORE_HEAD + size_t(used));
    return true;
}

uint32_t CountMarkedFrames(const FrameStore& store) {
    uint32_t marked = 0;
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i))
        if (record_flags(r) & 1) ++marked;
    return marked;
}

}  // namespace zelpan
