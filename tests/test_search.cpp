// The compact layer indexes, RunSearch with its start, direction and marking
// rules, the all-windows round, the mark commands, the jumps and the search dialog
// texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <map>
#include <string>
#include <vector>

#include "condition/layer_index.h"
#include "condition/search.h"
#include "store/capture_file.h"
#include "tests/support.h"

using namespace zelpan;

namespace {

struct Window {
    FrameStore store;
    DecodeContext context;
    std::unique_ptr<HeadlessSearchWindow> w;
    // Frames to port 7 at the given rows are the hits; the others go to port 9.
    Window(int rows, std::vector<int> hits, const std::string& title = "") {
        store.allocate(1 << 16);
        for (int i = 0; i < rows; ++i) {
            bool hit = std::find(hits.begin(), hits.end(), i) != hits.end();
            zt::Frame f = zt::udp_to(hit ? 7 : 9);
            store.append(1700000000, uint32_t(i), f.data(), uint32_t(f.size()));
        }
        w = std::make_unique<HeadlessSearchWindow>(store, context, title);
    }
    HeadlessSearchWindow* operator->() { return w.get(); }
};

SearchSettings settings_for(SearchDialogState d) {
    SearchSettings s;
    ConditionExpression c1, c2;
    std::string msg = ValidateSearch(d, c1, c2);
    EXPECT_EQ(msg, "");
    StoreSearchSettings(d, c1, c2, s);
    return s;
}

SearchDialogState find(const std::string& e1, int direction = 1) {
    SearchDialogState d;
    d.expression1 = e1;
    d.direction = direction;
    return d;
}

std::vector<int32_t> marked_rows(const FrameStore& s) {
    std::vector<int32_t> rows;
    for (uint32_t i = 0; i < s.frame_count(); ++i)
        if (s.marked(i)) rows.push_back(int32_t(i));
    return rows;
}

const char* HIT = "udp[2:2] == 7";

}  // namespace

TEST(LayerIndexList, SampleCaptureMatchesDirectIndex) {
    FrameStore store;
    DecodeContext c;
    ASSERT_EQ(LoadCaptureFile(std::string(ZELPAN_SOURCE_DIR) + "/samples/sample.zlc", store, c.link_type), "");
    ASSERT_GT(store.frame_count(), 20u);
    DecodeContext other;
    make_current(&other);
    LayerIndexList list;
    BuildLayerIndexes(c, store, list);
    EXPECT_EQ(current_context(), &other);
    EXPECT_EQ(c.mode, MODE_DISPLAY);
    EXPECT_EQ(c.layer_index, nullptr);
    ASSERT_EQ(list.size(), store.frame_count());

    // The same pass again, keeping each frame's index as the engine makes it.
    DecodeContext d;
    d.link_type = c.link_type;
    d.mode = MODE_LAYER_INDEX;
    make_current(&d);
    FrameLayerIndex direct;
    d.layer_index = &direct;
    std::vector<DistributionEntry> expect;
    const uint8_t* r = store.first();
    size_t layers = 0;
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        direct.reset();
        decode_frame(0, r, d.link_type, int32_t(i + 1));
        FrameLayerIndex v;
        ASSERT_TRUE(list.view(i, v));
        ASSERT_EQ(v.count, direct.count) << "frame " << i + 1;
        EXPECT_EQ(v.frame, direct.frame);
        EXPECT_STREQ(v.label, direct.label);
        EXPECT_EQ(v.top_protocol, direct.top_protocol);
        EXPECT_EQ(list.top_protocol(i), direct.top_protocol);
        EXPECT_EQ(list.label(i), std::string(direct.label));
        EXPECT_EQ(list.layer_count(i), direct.count);
        for (int k = 0; k < direct.count; ++k) {
            EXPECT_EQ(v.entries[k].start, direct.entries[k].start) << i << "/" << k;
            EXPECT_EQ(v.entries[k].protocol, direct.entries[k].protocol);
            EXPECT_EQ(v.entries[k].offset, direct.entries[k].offset);
        }
        layers += size_t(direct.count);
        if (direct.label[0]) {
            auto it = std::find_if(expect.begin(), expect.end(),
                                   [&](const DistributionEntry& e) { return e.top_protocol == direct.top_protocol; });
            if (it == expect.end()) {
                DistributionEntry e{};
                std::strcpy(e.label, direct.label);
                e.top_protocol = direct.top_protocol;
                expect.push_back(e);
                it = expect.end() - 1;
            }
            it->total_frames++;
            it->total_bytes += record_length(r);
        }
    }
    make_current(nullptr);
    EXPECT_GT(layers, size_t(store.frame_count()) * 2);
    ASSERT_EQ(list.distribution().size(), expect.size());
    for (size_t k = 0; k < expect.size(); ++k) {
        const DistributionEntry& g = list.distribution()[k];
        EXPECT_STREQ(g.label, expect[k].label);
        EXPECT_EQ(g.top_protocol, expect[k].top_protocol);
        EXPECT_EQ(g.total_frames, expect[k].total_frames);
        EXPECT_EQ(g.total_bytes, expect[k].total_bytes);
        EXPECT_EQ(g.frames, g.total_frames);
        EXPECT_EQ(g.bytes, g.total_bytes);
    }
    FrameLayerIndex past;
    EXPECT_FALSE(list.view(store.frame_count(), past));
    EXPECT_EQ(past.count, 0);
}

TEST(LayerIndexList, BytesPerFrame) {
    // The sample's frames over and over: 20,000 frames of the same mix.
    FrameStore sample;
    DecodeContext c;
    ASSERT_EQ(LoadCaptureFile(std::string(ZELPAN_SOURCE_DIR) + "/samples/sample.zlc", sample, c.link_type), "");
    FrameStore store;
    store.allocate(64u << 20);
    while (store.frame_count() < 20000) {
        const uint8_t* r = sample.first();
        for (uint32_t i = 0; r && i < sample.frame_count() && store.frame_count() < 20000; ++i, r = sample.next(r, i))
            ASSERT_TRUE(store.append(record_seconds(r), record_microseconds(r), record_bytes(r), record_length(r)));
    }
    LayerIndexList list;
    BuildLayerIndexes(c, store, list);
    ASSERT_EQ(list.size(), 20000u);
    double per_frame = double(list.memory_bytes()) / list.size();
    std::printf("layer index: %.1f bytes per frame, %zu labels\n", per_frame, list.label_count());
    EXPECT_LE(per_frame, 64.0);
    EXPECT_LT(list.label_count(), 100u);
}

TEST(LayerIndexList, LayersTheCompactFormCannotHold) {
    FrameStore store;
    store.allocate(1 << 18);
    std::vector<uint8_t> big(70000, 0xAB);
    zt::Frame eth = zt::udp_to(7);
    std::memcpy(big.data(), eth.data(), eth.size());
    store.append(1, 0, big.data(), uint32_t(big.size()));
    store.append(1, 1, eth.data(), uint32_t(eth.size()));
    const uint8_t* r0 = store.at(0);
    const uint8_t* r1 = store.at(1);

    FrameLayerIndex a;
    a.frame = r0;
    a.entries[0] = {r0 + 16, P_ETHERNET2, 16};
    a.entries[1] = {r0 + 16 + 66000, P_IP, 16 + 66000};  // past 16 bits
    a.entries[2] = {nullptr, P_UDP, 0};
    a.entries[3] = {r0 + 16 + 30, 300, 46};  // not a byte
    a.count = 4;
    std::strcpy(a.label, "ODD");
    a.top_protocol = 300;
    FrameLayerIndex b;
    b.frame = r1;
    b.entries[0] = {r1 + 16, P_ETHERNET2, 16};
    b.count = 1;
    std::strcpy(b.label, "ETHERNET II");
    b.top_protocol = P_ETHERNET2;

    LayerIndexList list;
    LayerIndexBuilder builder(list);
    builder.begin(store);
    builder.add(r0, a);
    builder.add(r1, b);
    builder.finish();
    ASSERT_EQ(list.size(), 2u);
    FrameLayerIndex v;
    ASSERT_TRUE(list.view(0, v));
    ASSERT_EQ(v.count, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(v.entries[k].start, a.entries[k].start) << k;
        EXPECT_EQ(v.entries[k].protocol, a.entries[k].protocol) << k;
        EXPECT_EQ(v.entries[k].offset, a.entries[k].offset) << k;
    }
    EXPECT_EQ(v.top_protocol, 300);
    EXPECT_EQ(list.top_protocol(0), 300);
    EXPECT_STREQ(v.label, "ODD");
    ASSERT_TRUE(list.view(1, v));
    EXPECT_EQ(v.count, 1);
    EXPECT_EQ(v.entries[0].start, r1 + 16);
    EXPECT_STREQ(v.label, "ETHERNET II");
    ASSERT_EQ(list.distribution().size(), 2u);
    EXPECT_EQ(list.distribution()[0].top_protocol, 300);
}

TEST(LayerIndexList, FramesLongerThan65535Bytes) {
    FrameStore store;
    store.allocate(1 << 18);
    std::vector<uint8_t> big(70000, 0x11);
    zt::Frame eth = zt::udp_to(7);
    std::memcpy(big.data(), eth.data(), eth.size());
    big[69990] = 0xAB;
    store.append(1, 0, big.data(), uint32_t(big.size()));
    DecodeContext c;
    HeadlessSearchWindow w(store, c);
    SearchSettings s = settings_for(find("ethernet2[69990:1] == 0xAB"));
    EXPECT_EQ(RunSearch(&w, &s, false), 0);
    EXPECT_EQ(w.highlighted(), 69990);
    s = settings_for(find("ethernet2[69999:2] == 0x1111"));
    w.clear_selection();
    EXPECT_EQ(RunSearch(&w, &s, false), SEARCH_NOT_FOUND);  // one byte past the end
}

TEST(Search, StartAndDirection) {
    Window win(10, {2, 5, 8});
    SearchSettings down = settings_for(find(HIT, 1));
    // No selection: from the first frame.
    EXPECT_EQ(RunSearch(win.w.get(), &down, false), 2);
    EXPECT_EQ(win->selected_row(), 2);
    EXPECT_EQ(win->highlighted(), 36);
    EXPECT_TRUE(win->search_state().find_next_enabled);
    // A new search with frame 5 selected tests frame 5 first.
    win->set_selection({5});
    EXPECT_EQ(RunSearch(win.w.get(), &down, false), 5);
    EXPECT_EQ(win->search_state().last_hit, 5);
    // Find next after the hit at 5 starts at 6 going down...
    EXPECT_EQ(RunSearch(win.w.get(), &down, true), 8);
    EXPECT_TRUE(win->search_state().find_next_enabled);
    // ...and at 4 going up.
    SearchSettings up = settings_for(find(HIT, 0));
    win->set_selection({5});
    win->search_state().last_hit = 5;
    EXPECT_EQ(RunSearch(win.w.get(), &up, true), 2);
    // Find next with a selection that is not the last hit starts at the selection.
    win->set_selection({5});
    EXPECT_EQ(RunSearch(win.w.get(), &up, true), 5);
    // No direction chosen searches downwards.
    SearchSettings none = settings_for(find(HIT, -1));
    win->set_selection({6});
    EXPECT_EQ(RunSearch(win.w.get(), &none, false), 8);
    // Nothing more below: -4, and find next is disabled.
    win->set_selection({9});
    EXPECT_EQ(RunSearch(win.w.get(), &down, false), SEARCH_NOT_FOUND);
    EXPECT_FALSE(win->search_state().find_next_enabled);
    EXPECT_EQ(win->search_state().last_hit, SEARCH_NOT_FOUND);
    EXPECT_EQ(win->builds(), 1);  // the index is built once and kept
}

TEST(Search, FindNextAtTheEnds) {
    Window win(10, {0, 9});
    SearchSettings down = settings_for(find(HIT, 1));
    win->set_selection({9});
    EXPECT_EQ(RunSearch(win.w.get(), &down, false), 9);
    EXPECT_EQ(RunSearch(win.w.get(), &down, true), SEARCH_NOWHERE);
    EXPECT_FALSE(win->search_state().find_next_enabled);
    EXPECT_EQ(win->selected_row(), 9);
    SearchSettings up = settings_for(find(HIT, 0));
    win->set_selection({3});
    EXPECT_EQ(RunSearch(win.w.get(), &up, true), 0);
    EXPECT_FALSE(win->search_state().find_next_enabled);  // a hit at frame 0 disables it
    EXPECT_EQ(RunSearch(win.w.get(), &up, true), SEARCH_NOWHERE);
    Window empty(0, {});
    EXPECT_EQ(RunSearch(empty.w.get(), &down, false), SEARCH_EMPTY);
    EXPECT_FALSE(empty->search_state().find_next_enabled);
    EXPECT_EQ(RunSearch(nullptr, &down, false), SEARCH_NO_WINDOW);
    EXPECT_EQ(RunSearch(win.w.get(), nullptr, false), SEARCH_NO_WINDOW);
}

TEST(Search, MarkingModes) {
    {
        Window win(10, {1, 4, 7});
        SearchDialogState d = find(HIT, 1);
        d.mark_while_searching = true;
        SearchSettings s = settings_for(d);
        EXPECT_EQ(RunSearch(win.w.get(), &s, false), 1);
        EXPECT_EQ(win->selected_row(), 1);
        EXPECT_TRUE(win->shown_marked(1));
        EXPECT_EQ(marked_rows(win.store), std::vector<int32_t>{1});
        EXPECT_EQ(RunSearch(win.w.get(), &s, true), 4);
        EXPECT_EQ(marked_rows(win.store), (std::vector<int32_t>{1, 4}));
    }
    {
        // Mark all and finish: every hit from the selection to the end, selection kept.
        Window win(10, {1, 4, 7});
        SearchDialogState d = find(HIT, 0);  // the direction does not matter
        d.mark_all_and_finish = true;
        SearchSettings s = settings_for(d);
        win->set_selection({3});
        EXPECT_EQ(RunSearch(win.w.get(), &s, false), SEARCH_MARKED);
        EXPECT_EQ(win->selected_row(), 3);
        EXPECT_EQ(marked_rows(win.store), (std::vector<int32_t>{4, 7}));
        EXPECT_TRUE(win->shown_marked(7));
        EXPECT_FALSE(win->shown_marked(1));
        EXPECT_EQ(SearchResultReport(SEARCH_MARKED, "x", 3), "");
        win->set_selection({8});
        EXPECT_EQ(RunSearch(win.w.get(), &s, false), SEARCH_NOT_FOUND);
    }
}

TEST(Search, TwoConditions) {
    Window win(6, {1, 3, 4});
    // 0x0A000001 is the source of every frame.
    SearchDialogState d = find(HIT, 1);
    d.operation = 1;
    d.expression2 = "ip[12:4] == 0x0a000001";
    SearchSettings s = settings_for(d);
    EXPECT_EQ(RunSearch(win.w.get(), &s, false), 1);
    EXPECT_EQ(win->highlighted(), 36);  // the later of the two fields
    d.negate2 = true;
    s = settings_for(d);
    win->clear_selection();
    EXPECT_EQ(RunSearch(win.w.get(), &s, false), SEARCH_NOT_FOUND);
    // Or: frame 0 matches the negated first condition, at the first condition's field.
    d = find(HIT, 1);
    d.negate1 = true;
    d.operation = 2;
    d.expression2 = "ip[12:4] == 0x0a000001";
    s = settings_for(d);
    win->clear_selection();
    EXPECT_EQ(RunSearch(win.w.get(), &s, false), 0);
    EXPECT_EQ(win->highlighted(), 36);
    d.expression1 = "tcp";
    s = settings_for(d);
    win->clear_selection();
    EXPECT_EQ(RunSearch(win.w.get(), &s, false), 0);
    EXPECT_EQ(win->highlighted(), 26);  // the second condition's field
    // "and" with only the first expression never matches.
    d = find(HIT, 1);
    d.operation = 1;
    s = settings_for(d);
    win->clear_selection();
    EXPECT_EQ(RunSearch(win.w.get(), &s, false), SEARCH_NOT_FOUND);
}

TEST(Search, AllWindowsRound) {
    Window one(4, {}, "one"), two(3, {}, "two"), empty(0, {}, "empty"), three(5, {2}, "three");
    WindowRegistry reg;
    std::map<WindowRegistry::Window, SearchWindow*> by;
    for (Window* w : {&one, &two, &empty, &three}) {
        reg.Register(w->w.get());
        by[w->w.get()] = w->w.get();
    }
    auto rows = [&](WindowRegistry::Window w) { return by[w]->row_count(); };
    SearchDialogState d = find(HIT, 1);
    d.all_windows = true;
    SearchSettings s = settings_for(d);
    std::vector<std::string> reports;
    std::vector<int> searched;
    WindowRegistry::Window origin = one.w.get();
    int slot = reg.SlotOf(origin);
    for (int guard = 0; slot > 0 && guard < 100; ++guard) {
        auto* w = static_cast<HeadlessSearchWindow*>(by[reg.At(slot)]);
        searched.push_back(slot);
        int r = RunSearch(w, &s, false);
        std::string m = SearchResultReport(r, w->title(), w->search_state().selection_at_start);
        if (!m.empty()) reports.push_back(m);
        if (!SearchContinues(s, r)) break;
        slot = NextSearchSlot(reg, slot, origin, rows);
    }
    EXPECT_EQ(searched, (std::vector<int>{1, 2, 4}));  // the empty window is skipped
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], "one\r\n検索開始ﾌﾚｰﾑ : 1\r\n検索条件に一致するﾌﾚｰﾑがありません。\r\n");
    EXPECT_EQ(reports[1].substr(0, 5), "two\r\n");
    EXPECT_EQ(three->selected_row(), 2);

    // With no hits anywhere the round ends at the origin; without the origin it ends at once.
    EXPECT_EQ(NextSearchSlot(reg, 4, origin, rows), -1);
    EXPECT_EQ(NextSearchSlot(reg, 2, origin, rows), 4);
    EXPECT_EQ(NextSearchSlot(reg, 1, two.w.get(), rows), -1);
    reg.Remove(origin);
    EXPECT_EQ(NextSearchSlot(reg, 1, origin, rows), -1);
    // The report counts the start frame from 1.
    EXPECT_EQ(SearchResultReport(SEARCH_NOT_FOUND, "t", 4), "t\r\n検索開始ﾌﾚｰﾑ : 5\r\n検索条件に一致するﾌﾚｰﾑがありません。\r\n");
    EXPECT_FALSE(SearchContinues(s, 3));
    EXPECT_TRUE(SearchContinues(s, SEARCH_EMPTY));
}

TEST(Search, MarkCommands) {
    Window win(6, {});
    win->set_selection({1, 3});
    MarkSelectedFrames(*win.w, true);  // a capture runs into the window: nothing
    EXPECT_EQ(CountMarkedFrames(win.store), 0u);
    MarkSelectedFrames(*win.w, false);
    EXPECT_EQ(marked_rows(win.store), (std::vector<int32_t>{1, 3}));
    EXPECT_TRUE(win->shown_marked(3));
    win->set_selection({4});
    MarkSelectedFrames(*win.w, false);
    EXPECT_EQ(marked_rows(win.store), (std::vector<int32_t>{1, 3, 4}));
    MarkAllFrames(*win.w, false);
    EXPECT_EQ(CountMarkedFrames(win.store), 6u);
    UnmarkAllFrames(*win.w, false);
    EXPECT_EQ(CountMarkedFrames(win.store), 0u);
    EXPECT_FALSE(win->shown_marked(1));
}

TEST(Jump, Number) {
    struct Row {
        std::string text;
        bool list;
        int32_t rows;
        int32_t row;
        std::string message;
    } rows[] = {
        {"", true, 10, -1, "OnJumpjump1"},
        {"3", false, 10, -1, "OnJumpjump2"},
        {"0", true, 10, -1, "番号(0)が不正です。(1-10)  "},
        {"-3", true, 10, -1, "番号(-3)が不正です。(1-10)  "},
        {"11", true, 10, -1, "番号(11)が不正です。(1-10)  "},
        {"12a", true, 10, -1, "番号(12a)が不正です。(1-10)  "},
        {" 3", true, 10, -1, "番号( 3)が不正です。(1-10)  "},
        {"+", true, 10, -1, "番号(+)が不正です。(1-10)  "},
        {"99999999999999999999", true, 10, -1, "番号(99999999999999999999)が不正です。(1-10)  "},
        {"4294967297", true, 10, -1, "番号(4294967297)が不正です。(1-10)  "},
        {"+3", true, 10, 2, ""},
        {"007", true, 10, 6, ""},
        {"10", true, 10, 9, ""},
        {"1", true, 0, -1, "番号(1)が不正です。(1-0)  "},
    };
    for (const Row& r : rows) {
        JumpOutcome j = JumpToNumber(r.text, r.list, r.rows);
        EXPECT_EQ(j.row, r.row) << r.text;
        EXPECT_EQ(j.message, r.message) << r.text;
    }
    Window win(10, {});
    ApplyJump(*win.w, JumpToNumber("4", true, 10));
    EXPECT_EQ(win->selected_row(), 3);
    EXPECT_EQ(win->search_state().last_hit, 3);
}

TEST(Jump, Mark) {
    std::vector<bool> marks = {false, true, false, false, true, false};
    auto marked = [&](int32_t i) { return bool(marks[size_t(i)]); };
    // From a marked, selected frame that is not the last hit: stays on it.
    EXPECT_EQ(JumpToMark(4, 0, 6, false, marked).row, 4);
    // When it is the last hit, the walk starts one further.
    EXPECT_EQ(JumpToMark(4, 4, 6, true, marked).row, 1);
    EXPECT_EQ(JumpToMark(1, 1, 6, false, marked).row, 4);
    EXPECT_EQ(JumpToMark(-1, 0, 6, false, marked).row, 1);
    // Nothing selected, upwards: only row 0 is looked at.
    JumpOutcome j = JumpToMark(-1, 3, 6, true, marked);
    EXPECT_EQ(j.row, -1);
    EXPECT_EQ(j.message, "検索開始ﾌﾚｰﾑ : 1\r\nﾏｰｸしたﾌﾚｰﾑがありません。\r\n");
    j = JumpToMark(4, 4, 6, false, marked);
    EXPECT_EQ(j.message, "検索開始ﾌﾚｰﾑ : 6\r\nﾏｰｸしたﾌﾚｰﾑがありません。\r\n");
    // Leaving the list before the walk starts, or an empty list: nothing at all.
    j = JumpToMark(5, 5, 6, false, marked);
    EXPECT_EQ(j.row, -1);
    EXPECT_EQ(j.message, "");
    EXPECT_EQ(JumpToMark(-1, 0, 0, false, marked).message, "");

    Window win(6, {});
    win.store.set_marked(2, true);
    HeadlessSearchWindow fresh(win.store, win.context);  // shows the marks of the store
    auto shown = [&](int32_t i) { return fresh.shown_marked(i); };
    ApplyJump(fresh, JumpToMark(fresh.selected_row(), fresh.search_state().last_hit, 6, false, shown));
    EXPECT_EQ(fresh.selected_row(), 2);
    EXPECT_EQ(fresh.search_state().last_hit, 2);
}

TEST(SearchDialog, ValidationAndConfirm) {
    ConditionExpression c1, c2;
    SearchDialogState d;
    EXPECT_EQ(ValidateSearch(d, c1, c2), "条件式が設定されていません。  \n");
    d.expression1 = std::string(250, 'a');
    d.expression2 = std::string(251, 'b');
    EXPECT_EQ(ValidateSearch(d, c1, c2), "条件式の文字数が多すぎます。  \n");
    d.expression2 = std::string(250, 'b');  // 250 + 250 + 11 = 511
    EXPECT_NE(ValidateSearch(d, c1, c2), "条件式の文字数が多すぎます。  \n");
    d.expression1 = "xyz";
    d.expression2 = "ip[";
    EXPECT_EQ(ValidateSearch(d, c1, c2), "Error : ﾌﾟﾛﾄｺﾙ名が不正です。  \nError : ｵﾌｾｯﾄ値が不正です。  \n");
    d.expression1 = "tcp";
    d.expression2 = "udp";
    d.negate2 = true;
    EXPECT_EQ(ValidateSearch(d, c1, c2), "");
    EXPECT_EQ(c1.negate, 0);
    EXPECT_EQ(c2.negate, 1);
    EXPECT_EQ(c2.protocol_id, P_UDP);

    d.operation = 1;
    EXPECT_EQ(SearchConfirmText(d), "検索条件式は以下の通りです。  \n\n(tcp) && !(udp)  ");
    d.operation = 2;
    d.negate2 = false;
    EXPECT_EQ(SearchConfirmText(d), "検索条件式は以下の通りです。  \n\n(tcp) || (udp)  ");
    d.operation = 0;
    d.expression2.clear();
    EXPECT_EQ(SearchConfirmText(d), "検索条件式は以下の通りです。  \n\ntcp  ");
    d.negate1 = true;
    EXPECT_EQ(SearchConfirmText(d), "検索条件式は以下の通りです。  \n\n!(tcp)  ");

    SearchSettings s;
    d.expression2 = "udp";
    d.operation = 2;
    d.direction = 1;
    d.mark_while_searching = true;
    ASSERT_EQ(ValidateSearch(d, c1, c2), "");
    StoreSearchSettings(d, c1, c2, s);
    EXPECT_STREQ(s.expression1, "tcp");
    EXPECT_EQ(s.expression1_length, 3);
    EXPECT_EQ(s.negate1, 1);
    EXPECT_EQ(s.condition1.negate, 1);
    EXPECT_EQ(s.condition2.protocol_id, P_UDP);
    EXPECT_EQ(s.mark_while_searching, 1);

    // Reopening: an expression gone from the list is cleared; an empty list resets all.
    RestoreSearchSettings(s, {"tcp"});
    EXPECT_STREQ(s.expression1, "tcp");
    EXPECT_STREQ(s.expression2, "");
    EXPECT_EQ(s.operation, 0);
    EXPECT_EQ(s.direction, 1);
    RestoreSearchSettings(s, {});
    EXPECT_STREQ(s.expression1, "");
    EXPECT_EQ(s.negate1, 0);
    EXPECT_EQ(s.direction, -1);
    EXPECT_EQ(s.mark_while_searching, 0);
    SearchDialogState back = DialogStateFrom(s);
    EXPECT_EQ(back.direction, -1);
}

namespace {

struct CliRun {
    int status;
    std::string out;
};
CliRun cli(const std::string& args) {
    std::string cmd = std::string(ZELPAN_CLI) + " " + args + " 2>&1";
    std::FILE* p = popen(cmd.c_str(), "r");
    CliRun r{-1, ""};
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace

TEST(ConditionCli, ParseAndFind) {
    CliRun r = cli("parse 'tcp[13] & 0x02 != 0'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "tcp[13:1] & 0x02 != 0\n");
    r = cli("parse --string 'tcp[20:3] == GET'");
    EXPECT_EQ(r.out, "tcp[20:3] == 0x474554\n");
    r = cli("parse '[xyz'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error : 識別子'['の出現位置が不正です。\nError : ﾌﾟﾛﾄｺﾙ名が不正です。\n");

    std::string sample = std::string(ZELPAN_SOURCE_DIR) + "/samples/sample.zlc";
    // The same frames as a direct evaluation of every frame.
    FrameStore store;
    DecodeContext c;
    ASSERT_EQ(LoadCaptureFile(sample, store, c.link_type), "");
    LayerIndexList list;
    BuildLayerIndexes(c, store, list);
    auto expect = [&](const char* text, int negate) {
        ConditionParse p;
        ConditionExpression e;
        ParseCondition(p, text, VALUE_NUMBER, e);
        e.negate = negate;
        std::string lines;
        for (uint32_t i = 0; i < list.size(); ++i) {
            FrameLayerIndex ix;
            list.view(i, ix);
            if (EvaluateCondition(store, ix, e) == 1) lines += std::to_string(i + 1) + "\n";
        }
        return lines;
    };
    std::string syn = expect("tcp[13] & 0x02 != 0", 0);
    EXPECT_FALSE(syn.empty());
    r = cli("find " + sample + " 'tcp[13] & 0x02 != 0'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, syn);
    r = cli("find " + sample + " tcp --not --and 'tcp[13] & 0x02 != 0' --not2");
    EXPECT_EQ(r.out, expect("tcp[13] & 0x02 == 0", 0));
    r = cli("find " + sample + " 'ip[9:1] == 17' --or ip6");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.out.empty());
    r = cli("find " + sample + " 'tcp[13] && 2 = 2'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error : "), std::string::npos);
    r = cli("find /nonexistent.zlc tcp");
    EXPECT_EQ(r.status, 2);
    r = cli("find " + sample);
    EXPECT_EQ(r.status, 64);
}

TEST(Search, MarkAllOverManyFramesTestsOnEveryCore) {
    // Past the size where every frame is tested in parallel first; the hits must
    // still be marked and shown in frame order, exactly as one thread does.
    const int rows = 70001;
    auto run = [&](const char* threads, int hit_port) {
        FrameStore store;
        store.allocate(uint64_t(rows) * 64 + 64);
        std::vector<int32_t> expected;
        for (int i = 0; i < rows; ++i) {
            bool hit = i % 7 == 3 || i == rows - 1;
            if (hit) expected.push_back(i);
            zt::Frame f = zt::udp_to(uint16_t(hit ? hit_port : 9));
            store.append(1700000000, uint32_t(i), f.data(), uint32_t(f.size()));
        }
        DecodeContext context;
        HeadlessSearchWindow w(store, context);
        std::vector<int32_t> shown;
        w.on_marked = [&](int32_t row) { shown.push_back(row); };
        SearchDialogState d = find(HIT, 1);
        d.mark_all_and_finish = true;
        SearchSettings s = settings_for(d);
        setenv("ZELPAN_THREADS", threads, 1);
        int r = RunSearch(&w, &s, false);
        unsetenv("ZELPAN_THREADS");
        EXPECT_EQ(r, SEARCH_MARKED);
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(marked_rows(store), expected);
        return s.condition1.match_offset;
    };
    int32_t one = run("1", 7), two = run("2", 7);
    EXPECT_EQ(two, one);
    EXPECT_EQ(one, 36);  // the last frame hits: the UDP destination port's offset
}
