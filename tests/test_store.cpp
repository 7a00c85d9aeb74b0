// The frame store (records, walks, offset index, marks, long frames) and the
// window registry.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "store/frame_store.h"
#include "store/window_registry.h"

using namespace zelpan;

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

// Appends frames of the given lengths; frame i gets seconds 100 + i.
void fill(FrameStore& s, const std::vector<uint32_t>& lengths) {
    for (size_t i = 0; i < lengths.size(); ++i) {
        auto b = pattern(lengths[i], uint8_t(i));
        ASSERT_NE(s.append(uint32_t(100 + i), uint32_t(i), b.data(), lengths[i]), nullptr) << i;
    }
}

std::vector<uint32_t> walked_lengths(const FrameStore& s) {
    std::vector<uint32_t> out;
    const uint8_t* r = s.first();
    for (uint32_t i = 0; r && i < s.frame_count(); ++i, r = s.next(r, i)) out.push_back(record_length(r));
    return out;
}

}  // namespace

TEST(FrameStore, AppendPacksRecordsWithBackLinks) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(4096));
    fill(s, {60, 0, 1514, 1});
    EXPECT_EQ(s.frame_count(), 4u);
    EXPECT_EQ(s.used_bytes(), 4 * 16u + 60 + 0 + 1514 + 1);
    EXPECT_EQ(walked_lengths(s), (std::vector<uint32_t>{60, 0, 1514, 1}));
    const uint32_t back[] = {0, 76, 16, 1530};
    const uint8_t* r = s.first();
    EXPECT_EQ(r, s.block() + STORE_HEAD);
    for (uint32_t i = 0; i < 4; ++i, r = s.next(r, i)) {
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r, s.at(i));
        EXPECT_EQ(record_back_link(r), back[i]);
        EXPECT_EQ(record_flags(r), 0);
        EXPECT_EQ(r[15], 0);  // spare
        EXPECT_EQ(record_seconds(r), 100 + i);
        EXPECT_EQ(record_microseconds(r), i);
        auto b = pattern(record_length(r), uint8_t(i));
        if (!b.empty()) {
            EXPECT_EQ(0, std::memcmp(record_bytes(r), b.data(), b.size()));
        }
    }
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(s.at(4), nullptr);
}

TEST(FrameStore, CapacityIsKeptExactly) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(STORE_HEAD + 16 + 10 + 16 + 20));
    fill(s, {10});
    EXPECT_FALSE(s.fits(21));
    EXPECT_EQ(s.append(0, 0, pattern(21, 0).data(), 21), nullptr);
    EXPECT_TRUE(s.fits(20));
    fill(s, {20});
    EXPECT_FALSE(s.fits(0));
    EXPECT_EQ(s.used_bytes() + STORE_HEAD, s.capacity());
    EXPECT_FALSE(s.fits(0xFFFFFFFF));  // no wrap-around in 16 + length
    FrameStore absent;
    EXPECT_FALSE(absent.fits(0));
    EXPECT_EQ(absent.first(), nullptr);
    EXPECT_EQ(absent.at(0), nullptr);
    EXPECT_FALSE(absent.allocate(STORE_HEAD - 1));
}

TEST(FrameStore, LongFramesAreHeldWholeWithWideBackLinks) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(MAX_RECORD_SIZE + 300000));
    fill(s, {65519, 65520, 200000, 5});
    EXPECT_EQ(record_back_link(s.at(1)), 65535u);
    EXPECT_EQ(record_back_link(s.at(2)), 65536u);
    EXPECT_EQ(s.at(2)[15], 1);  // high byte of the link
    EXPECT_EQ(record_back_link(s.at(3)), 200016u);
    // Walking back from the last record with the links reaches every record.
    const uint8_t* r = s.at(3);
    for (int i = 2; i >= 0; --i) {
        r -= record_back_link(r);
        EXPECT_EQ(r, s.at(uint32_t(i)));
    }
    // The link is 24 bits wide: nothing larger than that is ever stored.
    s.clear();
    EXPECT_TRUE(s.fits(MAX_RECORD_SIZE - 16));
    EXPECT_FALSE(s.fits(MAX_RECORD_SIZE - 15));
}

TEST(FrameStore, WalksStopAtFrameCountOrUsedBytes) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(1024));
    fill(s, {10, 20, 30});
    s.set_frame_count(2);
    EXPECT_EQ(walked_lengths(s), (std::vector<uint32_t>{10, 20}));
    EXPECT_EQ(s.at(2), nullptr);
    s.set_frame_count(3);
    s.set_used_bytes(26 + 36);  // the third record lies beyond the used bytes
    EXPECT_EQ(walked_lengths(s), (std::vector<uint32_t>{10, 20}));
    // A head claiming more than the block holds never leads a walk outside it.
    s.set_used_bytes(0xFFFFFFF0);
    s.set_frame_count(1000);
    uint8_t* third = s.block() + STORE_HEAD + 26 + 36;
    write_record_header(third + 46, 0, 0, 0x7FFFFFFF, 46, 0);
    s.invalidate_index();
    EXPECT_EQ(walked_lengths(s), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(s.at(3), nullptr);
}

TEST(FrameStore, IndexFollowsAppendDirectFillingAndClear) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(1 << 16));
    fill(s, {5, 6});
    EXPECT_EQ(record_length(s.at(1)), 6u);
    fill(s, {4});  // appended after the index was built
    EXPECT_EQ(record_length(s.at(2)), 4u);
    // Someone fills the block directly (as file reading does) and says so.
    uint8_t* b = s.block() + STORE_HEAD;
    write_record_header(b, 0, 0, 7, 0, 0);
    write_record_header(b + 23, 0, 0, 8, 23, 0);
    s.set_used_bytes(23 + 24);
    s.set_frame_count(2);
    s.invalidate_index();
    EXPECT_EQ(record_length(s.at(0)), 7u);
    EXPECT_EQ(record_length(s.at(1)), 8u);
    // A record added behind the index's back is found, and append links to it.
    write_record_header(b + 47, 0, 0, 9, 24, 0);
    s.set_used_bytes(47 + 25);
    s.set_frame_count(3);
    EXPECT_EQ(record_length(s.at(2)), 9u);
    uint8_t* r = s.append(1, 2, pattern(3, 0).data(), 3);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(record_back_link(r), 25u);
    EXPECT_EQ(r, s.at(3));
    s.clear();
    EXPECT_EQ(s.frame_count(), 0u);
    EXPECT_EQ(s.first(), nullptr);
    EXPECT_EQ(s.at(0), nullptr);
    fill(s, {11});
    EXPECT_EQ(record_back_link(s.at(0)), 0u);
    EXPECT_EQ(record_length(s.at(0)), 11u);
    EXPECT_LE(s.index_memory(), 64 * sizeof(uint32_t));
}

TEST(FrameStore, MarksAndCount) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(4096));
    EXPECT_EQ(CountMarkedFrames(s), 0u);
    fill(s, {10, 10, 10, 10, 10});
    s.set_marked(1, true);
    s.set_marked(4, true);
    s.set_marked(9, true);  // no such frame: nothing happens
    EXPECT_TRUE(s.marked(1));
    EXPECT_FALSE(s.marked(2));
    EXPECT_EQ(CountMarkedFrames(s), 2u);
    s.set_marked(1, false);
    EXPECT_EQ(CountMarkedFrames(s), 1u);
    EXPECT_EQ(record_back_link(s.at(2)), 26u);  // marking leaves the link alone
    s.set_frame_count(4);  // the count walks only frame_count records
    EXPECT_EQ(CountMarkedFrames(s), 0u);
    FrameStore absent;
    EXPECT_EQ(CountMarkedFrames(absent), 0u);
}

TEST(FrameStore, CopyIsIndependent) {
    FrameStore a, b;
    ASSERT_TRUE(a.allocate(2048));
    fill(a, {10, 40});
    a.set_marked(0, true);
    ASSERT_TRUE(b.copy_from(a));
    EXPECT_EQ(b.capacity(), a.capacity());
    EXPECT_EQ(walked_lengths(b), walked_lengths(a));
    EXPECT_TRUE(b.marked(0));
    b.set_marked(0, false);
    EXPECT_TRUE(a.marked(0));
    EXPECT_EQ(0, std::memcmp(record_bytes(b.at(1)), record_bytes(a.at(1)), 40));
}

TEST(WindowRegistry, SlotsKeepOpeningOrder) {
    WindowRegistry reg;
    int w[70];
    for (int i = 1; i <= 63; ++i) EXPECT_EQ(reg.Register(&w[i]), i);
    EXPECT_EQ(reg.Register(&w[64]), -1);  // all 63 taken
    EXPECT_EQ(reg.Register(&w[5]), 5);    // already there: its slot, no duplicate
    reg.SetCaptureTarget(&w[10]);
    EXPECT_EQ(reg.Remove(&w[1]), 1);
    for (int s = 1; s <= 62; ++s) EXPECT_EQ(reg.At(s), &w[s + 1]) << s;
    EXPECT_EQ(reg.At(63), nullptr);
    EXPECT_EQ(reg.CaptureTarget(), &w[10]);
    EXPECT_FALSE(reg.Contains(&w[1]));
    EXPECT_EQ(reg.Remove(&w[1]), -1);
    EXPECT_EQ(reg.Register(&w[64]), 63);

    // Removing the capture target empties slot 0 as well.
    EXPECT_EQ(reg.SlotOf(&w[10]), 9);
    EXPECT_EQ(reg.Remove(&w[10]), 9);
    EXPECT_EQ(reg.CaptureTarget(), nullptr);
    EXPECT_EQ(reg.At(9), &w[11]);
    EXPECT_EQ(reg.SlotOf(&w[64]), 62);

    EXPECT_EQ(reg.At(-1), nullptr);
    EXPECT_EQ(reg.At(64), nullptr);
    EXPECT_EQ(reg.SlotOf(nullptr), -1);
    EXPECT_EQ(reg.Register(nullptr), -1);
    reg.Clear();
    EXPECT_EQ(reg.Register(&w[3]), 1);
}
