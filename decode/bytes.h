#pragma once
#include <cstdint>

namespace zelpan {

// A window on the captured bytes of one layer. Reads past the end return 0 and
// set truncated(), so a decoder written straight from its protocol's layout never
// reads beyond the captured frame. Sub-views are clipped to the parent view, and
// every view made by the engine is clipped to the captured length.
class Bytes {
public:
    Bytes() = default;
    Bytes(const uint8_t* p, int n) : p_(p), n_(p && n > 0 ? n : 0) {}

    const uint8_t* data() const { return p_; }
    int size() const { return n_; }
    bool empty() const { return n_ == 0; }

    // All of [offset, offset + count) captured?
    bool has(int offset, int count) const {
        return offset >= 0 && count >= 0 && offset <= n_ && count <= n_ - offset;
    }

    uint8_t u8(int o) const {
        if (!has(o, 1)) { truncated_ = true; return 0; }
        return p_[o];
    }
    uint16_t be16(int o) const {
        if (!has(o, 2)) { truncated_ = true; return 0; }
        return uint16_t(p_[o] << 8 | p_[o + 1]);
    }
    uint32_t be24(int o) const {
        if (!has(o, 3)) { truncated_ = true; return 0; }
        return uint32_t(p_[o]) << 16 | uint32_t(p_[o + 1]) << 8 | p_[o + 2];
    }
    uint32_t be32(int o) const {
        if (!has(o, 4)) { truncated_ = true; return 0; }
        return uint32_t(p_[o]) << 24 | uint32_t(p_[o + 1]) << 16 | uint32_t(p_[o + 2]) << 8 | p_[o + 3];
    }
    uint64_t be64(int o) const {
        if (!has(o, 8)) { truncated_ = true; return 0; }
        return uint64_t(be32(o)) << 32 | be32(o + 4);
    }
    uint16_t le16(int o) const {
        if (!has(o, 2)) { truncated_ = true; return 0; }
        return uint16_t(p_[o] | p_[o + 1] << 8);
    }
    uint32_t le32(int o) const {
        if (!has(o, 4)) { truncated_ = true; return 0; }
        return uint32_t(p_[o]) | uint32_t(p_[o + 1]) << 8 | uint32_t(p_[o + 2]) << 16 | uint32_t(p_[o + 3]) << 24;
    }

    // The view from offset to the end; empty when offset is past the end.
    Bytes from(int offset) const {
        if (offset < 0 || offset >= n_) return Bytes(p_ ? p_ + (offset < 0 ? 0 : n_) : nullptr, 0);
        return Bytes(p_ + offset, n_ - offset);
    }
    // At most count bytes from offset (fewer when the view ends first).
    Bytes sub(int offset, int count) const {
        Bytes b = from(offset);
        if (count < b.n_) b.n_ = count < 0 ? 0 : count;
        return b;
    }
    // The first count bytes (or all, when fewer are there).
    Bytes first(int count) const { return sub(0, count); }

    // Address of a byte, for the byte ranges of detail lines. Past the end it is
    // the end of the view, so a range starting there is empty.
    const uint8_t* at(int offset) const {
        if (!p_) return nullptr;
        if (offset < 0) return p_;
        return p_ + (offset > n_ ? n_ : offset);
    }
    // Number of bytes available at offset, at most count.
    int avail(int offset, int count) const {
        if (offset < 0 || offset >= n_ || count <= 0) return 0;
        return count < n_ - offset ? count : n_ - offset;
    }

    bool truncated() const { return truncated_; }

private:
    const uint8_t* p_ = nullptr;
    int n_ = 0;
    mutable bool truncated_ = false;
};

}  // namespace zelpan
