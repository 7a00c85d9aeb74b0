// The decode engine: columns, layer index, detail lines in each mode, the node
// registry, the remembered expanded protocols and the frame lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;

using zt::Lines;

namespace {

// A context made current for the test's lifetime.
struct Current {
    DecodeContext c;
    uint8_t rec[64] = {};
    explicit Current(int mode) {
        c.mode = mode;
        write_record_header(rec, 100, 0, 48, 0, 0);
        c.record = rec;
        c.bytes = rec + 16;
        c.captured_length = 48;
        make_current(&c);
    }
    ~Current() { make_current(nullptr); }
};


}  // namespace

TEST(Columns, WriteReplaceAndIgnoreOutOfRange) {
    Current cur(MODE_DISPLAY);
    set_column("ETHERNET II", 4, cur.c.bytes, P_ETHERNET2);
    set_column("IP", 4, cur.c.bytes + 14, P_IP);
    EXPECT_STREQ(cur.c.columns[4], "IP");  // the last writer wins
    set_column("nine", 9, nullptr, 0);
    set_column("minus", -1, nullptr, 0);
    for (int k = 0; k < COLUMN_COUNT; ++k) EXPECT_STRNE(cur.c.columns[k], "nine");
}

TEST(Columns, LongTextsAreCutTo507PlusDots) {
    Current cur(MODE_DISPLAY);
    std::string t511(511, 'a'), t512(512, 'b'), t2000(2000, 'c');
    set_column(t511.c_str(), 5, nullptr, 0);
    EXPECT_EQ(std::string(cur.c.columns[5]), t511);
    set_column(t512.c_str(), 5, nullptr, 0);
    EXPECT_EQ(std::string(cur.c.columns[5]), std::string(507, 'b') + "...");
    set_columnf(5, nullptr, 0, "%s", t2000.c_str());
    EXPECT_EQ(std::string(cur.c.columns[5]), std::string(507, 'c') + "...");
}

TEST(Columns, ClearColumnsResetsWidthsOnlyAtFrameZero) {
    Current cur(MODE_DISPLAY);
    cur.c.column_widths[3] = 40;
    set_column("x", 3, nullptr, 0);
    clear_columns(cur.c, 5);
    EXPECT_STREQ(cur.c.columns[3], "");
    EXPECT_EQ(cur.c.column_widths[3], 40);
    clear_columns(cur.c, 0);
    EXPECT_EQ(cur.c.column_widths[3], 0);
}

TEST(Columns, SummaryPassMeasuresWidths) {
    Current cur(MODE_DISPLAY);
    clear_columns(cur.c, 0);
    decode_frame(0, cur.rec, 1, 1);
    // Column 1 is the time of day: 15 characters.
    EXPECT_EQ(cur.c.column_widths[1], 15);
    EXPECT_EQ(std::strlen(cur.c.columns[1]), 15u);
}

TEST(LayerIndex, RecordsOnlyColumnFourWithLabelsAndOffsets) {
    Current cur(MODE_LAYER_INDEX);
    FrameLayerIndex ix;
    cur.c.layer_index = &ix;
    set_column("10.0.0.1", 2, cur.c.bytes, 0);
    set_column("desc", 5, cur.c.bytes, 0);
    EXPECT_EQ(ix.count, 0);
    set_column("ETHERNET II", 4, cur.c.bytes, P_ETHERNET2);
    set_column("IP", 4, cur.c.bytes + 14, P_IP);
    ASSERT_EQ(ix.count, 2);
    EXPECT_EQ(ix.frame, cur.rec);
    EXPECT_EQ(ix.entries[0].offset, 16);
    EXPECT_EQ(ix.entries[1].offset, 30);
    EXPECT_EQ(ix.entries[1].protocol, P_IP);
    EXPECT_STREQ(ix.label, "IP");
    EXPECT_EQ(ix.top_protocol, P_IP);
    // Display columns stay untouched in this mode.
    EXPECT_STREQ(cur.c.columns[4], "");
}

TEST(LayerIndex, LabelRules) {
    struct Case {
        std::string text, label;
    } cases[] = {
        {"SNMPv2c get-request", "SNMP"}, {"SSLv3", "SSL"}, {"OSPFv2 Hello", "OSPF"},
        {"TCP", "TCP"}, {std::string(30, 'x'), std::string(30, 'x')},
        {std::string(31, 'x'), ""}, {"SNMP" + std::string(40, 'y'), ""},  // length wins over the prefix
    };
    for (const auto& k : cases) {
        Current cur(MODE_LAYER_INDEX);
        FrameLayerIndex ix;
        cur.c.layer_index = &ix;
        set_column(k.text.c_str(), 4, cur.c.bytes, P_UDP);
        EXPECT_EQ(ix.count, 1) << k.text;
        EXPECT_EQ(std::string(ix.label), k.label) << k.text;
    }
}

TEST(LayerIndex, FifteenLayersAtMost) {
    Current cur(MODE_LAYER_INDEX);
    FrameLayerIndex ix;
    cur.c.layer_index = &ix;
    for (int i = 0; i < 20; ++i) set_column(i < 15 ? "IP" : "TCP", 4, cur.c.bytes + i, i < 15 ? P_IP : P_TCP);
    EXPECT_EQ(ix.count, 15);
    EXPECT_STREQ(ix.label, "IP");  // the 16th layer changes nothing
    EXPECT_EQ(ix.top_protocol, P_IP);
}

TEST(Nodes, ParentZeroGivesNothingExceptInExport) {
    for (int mode : {MODE_IDLE, MODE_DISPLAY, MODE_LAYER_INDEX}) {
        Current cur(mode);
        DetailTree t;
        cur.c.tree = &t;
        EXPECT_EQ(add_node(0, "x", cur.c.bytes, 1), 0) << mode;
        EXPECT_EQ(t.size(), 0);
    }
    Current cur(MODE_TEXT_EXPORT);
    Lines l;
    cur.c.exporter = &l;
    EXPECT_EQ(add_node(0, "unknown level", cur.c.bytes, 1), 16);
    ASSERT_EQ(l.out.size(), 1u);
    EXPECT_EQ(l.out[0], std::string(16, ' ') + "unknown level");
}

TEST(Nodes, ExportIndentationByLevel) {
    Current cur(MODE_TEXT_EXPORT);
    Lines l;
    cur.c.exporter = &l;
    int32_t h = add_node(ROOT_NODE, "top", nullptr, 0);
    EXPECT_EQ(h, 2);
    for (int depth = 1; depth < 10; ++depth) h = add_node(h, "d", nullptr, 0);
    ASSERT_EQ(l.out.size(), 10u);
    EXPECT_EQ(l.out[0], "  top");
    EXPECT_EQ(l.out[2], "      d");                   // child of a child of a top-level line: 6 blanks
    EXPECT_EQ(l.out[7], std::string(16, ' ') + "d");  // eight levels deep
    EXPECT_EQ(l.out[9], std::string(16, ' ') + "d");
}

TEST(Nodes, DisplayRangesAreClippedToTheFrame) {
    Current cur(MODE_DISPLAY);
    DetailTree t;
    cur.c.tree = &t;
    int32_t a = add_node(ROOT_NODE, "a", cur.c.bytes + 10, 5);
    int32_t b = add_node(a, "b", cur.c.bytes + 40, 100);    // runs past the end
    int32_t c = add_node(a, "c", cur.c.bytes + 1000, 4);    // outside the frame
    int32_t d = add_node(a, "d", nullptr, 4);
    ASSERT_TRUE(t.valid(a) && t.valid(b) && t.valid(c) && t.valid(d));
    EXPECT_EQ(t.line(a).offset, 10u);
    EXPECT_EQ(t.line(a).length, 5u);
    EXPECT_EQ(t.line(b).offset, 40u);
    EXPECT_EQ(t.line(b).length, 8u);
    EXPECT_EQ(t.line(c).length, 0u);
    EXPECT_EQ(t.line(d).length, 0u);
    EXPECT_EQ(t.text(b), "b");
    EXPECT_EQ(t.depth(b), 1);
}

TEST(Registry, Operations) {
    init_protocol_table();
    NodeRegistry* r = create_registry();
    EXPECT_EQ(register_node(nullptr, 0, 5, 0), -1);
    EXPECT_EQ(register_node(r, 511, 5, 0), -1);
    EXPECT_EQ(register_node(r, 510, 5, 0), 511);
    EXPECT_EQ(register_node(r, 0, 7, P_IP), 1);
    EXPECT_EQ(r->entries[0].state, uint32_t(P_IP) * 256);
    EXPECT_EQ(node_at(r, 0), 7);
    EXPECT_EQ(node_at(r, 512), 0);
    EXPECT_EQ(node_at(nullptr, 0), 0);
    EXPECT_EQ(set_node_at(r, 512, 9), 0);
    EXPECT_EQ(set_node_at(r, 1, 0), 0);
    EXPECT_EQ(last_expanded_node(r, 1), 0);
    note_expansion(r, 7, 1);
    EXPECT_EQ(last_expanded_node(r, 1), 7);
    EXPECT_EQ(protocol_expanded(uint32_t(P_IP) * 256), 1);
    note_expansion(r, 7, 0);
    EXPECT_EQ(protocol_expanded(uint32_t(P_IP) * 256), 0);
    EXPECT_EQ(last_expanded_node(r, 513), 0);
    destroy_registry(r);
    destroy_registry(nullptr);
}

TEST(ProtocolTable, NamesAndIds) {
    init_protocol_table();
    init_protocol_table();  // a second call must not shift the ids again
    // The original 74 keep their ids; the Linux cooked header is appended as 75.
    EXPECT_EQ(protocol_count(), 75);
    EXPECT_STREQ(protocol_name(0), "frame");
    EXPECT_STREQ(protocol_name(25), "ip");
    EXPECT_STREQ(protocol_name(73), "udp");
    EXPECT_STREQ(protocol_name(74), "sll");
    EXPECT_EQ(protocol_name(75), nullptr);
    EXPECT_EQ(protocol_id_at(28), P_IP6);
    EXPECT_EQ(protocol_id_at(74), P_SLL);
    EXPECT_EQ(protocol_id_at(75), 0);
    EXPECT_EQ(set_protocol_expanded(99u * 256, 1), -1);
    EXPECT_EQ(protocol_expanded(99u * 256), 0);
}

TEST(DetailTreeTest, RememberedProtocolOpensOnTheNextFrame) {
    init_protocol_table();
    DetailTree t;
    Current cur(MODE_DISPLAY);
    cur.c.tree = &t;
    auto frame = [&] {
        t.clear();
        int32_t f = add_node(ROOT_NODE, "Frame", cur.c.bytes, 48, P_FRAME);
        add_node(f, "len", cur.c.bytes, 48);
        int32_t ip = add_node(ROOT_NODE, "IP", cur.c.bytes + 14, 20, P_IP);
        add_node(ip, "ttl", cur.c.bytes + 22, 1);
        int32_t tcp = add_node(ROOT_NODE, "TCP", cur.c.bytes + 34, 14, P_TCP);
        t.finish();
        return std::pair{ip, tcp};
    };
    auto [ip, tcp] = frame();
    EXPECT_FALSE(t.line(ip).expanded);
    t.set_expanded(ip, true);  // the user opens IPv4
    auto [ip2, tcp2] = frame();
    EXPECT_TRUE(t.line(ip2).expanded);
    EXPECT_FALSE(t.line(tcp2).expanded);
    t.set_expanded(tcp2, true);
    auto [ip3, tcp3] = frame();
    EXPECT_TRUE(t.line(ip3).expanded);
    EXPECT_TRUE(t.line(tcp3).expanded);  // opened by finish(), being the last one
    t.set_expanded(ip3, false);
    t.set_expanded(tcp3, false);
    auto [ip4, tcp4] = frame();
    EXPECT_FALSE(t.line(ip4).expanded);
    EXPECT_FALSE(t.line(tcp4).expanded);
}

TEST(DetailTreeTest, LineForByteChoosesTheNarrowestEarliest) {
    DetailTree t;
    Current cur(MODE_DISPLAY);
    cur.c.tree = &t;
    int32_t f = add_node(ROOT_NODE, "Frame", cur.c.bytes, 48, P_FRAME);
    int32_t ip = add_node(ROOT_NODE, "IP", cur.c.bytes + 14, 20, P_IP);
    int32_t a = add_node(ip, "a", cur.c.bytes + 20, 4);
    int32_t b = add_node(ip, "b", cur.c.bytes + 22, 4);
    int32_t c = add_node(ip, "c", cur.c.bytes + 22, 2);
    int32_t d = add_node(ip, "d", cur.c.bytes + 22, 2);
    t.finish();
    EXPECT_EQ(t.line_for_byte(0), f);
    EXPECT_EQ(t.line_for_byte(15), ip);
    EXPECT_EQ(t.line_for_byte(21), a);
    EXPECT_EQ(t.line_for_byte(22), c);  // c and d are equally narrow: the earlier wins
    EXPECT_EQ(t.line_for_byte(23), c);
    EXPECT_EQ(t.line_for_byte(25), b);
    (void)d;
}

TEST(DetailTreeTest, NodesBeyond511AreShownButNotRegistered) {
    DetailTree t;
    Current cur(MODE_DISPLAY);
    cur.c.tree = &t;
    int32_t f = add_node(ROOT_NODE, "Frame", cur.c.bytes, 48, P_FRAME);
    for (int i = 1; i < 600; ++i) add_node(f, "x", cur.c.bytes + (i % 48), 1);
    t.finish();
    EXPECT_EQ(t.size(), 600);
    EXPECT_EQ(t.registry_count(), 511);
    // Byte 10 is covered by registered one-byte lines (i = 10, 58, ...): the first wins.
    EXPECT_EQ(t.line_for_byte(10), 11);
}

// line_for_byte as a walk over the registry and the lines themselves.
static int32_t plain_line_for_byte(const DetailTree& t, uint32_t b) {
    int32_t choice = 0;
    uint32_t bound = 0;
    for (int i = 0; i < t.registry_count(); ++i) {
        int32_t h = node_at(t.registry(), i);
        if (h == 0) break;
        if (!t.valid(h)) continue;
        const DetailTree::Line& l = t.line(h);
        if (i == 0) {
            choice = h;
            bound = l.length;
        } else if (b >= l.offset && b - l.offset < l.length && l.length < bound) {
            choice = h;
            bound = l.length;
        }
    }
    return choice;
}

TEST(DetailTreeTest, LineForByteAgreesWithAWalkOverTheRegistryOnRandomTrees) {
    struct Case {
        const char* name;
        int lines;           // inserted, registered or not
        uint32_t first_len;  // the first line's length
        uint32_t span;       // offsets fall in [0, span)
        uint32_t longest;    // lengths fall in [0, longest]
        uint32_t base;       // added to every offset
    };
    const Case cases[] = {
        {"small nested", 20, 64, 64, 16, 0},
        {"wider than the first line", 40, 8, 64, 80, 0},
        {"zero-length first line", 30, 0, 32, 8, 0},
        {"one-byte fields", 300, 48, 48, 1, 0},
        {"past the registry", 700, 1500, 1500, 40, 0},
        {"ranges wrapping at 2^32", 60, 100, 64, 200, 0xFFFFFFC0u},
    };
    DetailTree t;  // reused, as the window reuses its tree from frame to frame
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return n ? (seed >> 8) % n : 0;
    };
    for (const Case& c : cases)
        for (int round = 0; round < 4; ++round) {
            t.clear();
            std::vector<int32_t> handles;
            for (int i = 0; i < c.lines; ++i) {
                bool top = i == 0 || next(8) == 0;
                int32_t parent = top ? ROOT_NODE : handles[next(uint32_t(handles.size()))];
                uint32_t offset = i == 0 ? c.base : c.base + next(c.span);
                uint32_t length = i == 0 ? c.first_len : next(c.longest + 1);
                handles.push_back(t.insert(parent, "x", offset, length, top ? int(1 + next(PROTOCOL_COUNT)) : 0));
            }
            if (round % 2) t.finish();  // the answers do not depend on it
            for (uint32_t k = 0; k < c.span + c.longest + 80; ++k) {
                uint32_t b = c.base + k - 8;  // from a little before the first offset, wrapping past 2^32
                ASSERT_EQ(t.line_for_byte(b), plain_line_for_byte(t, b)) << c.name << " round " << round << " byte " << b;
            }
        }
    t.clear();
    EXPECT_EQ(t.line_for_byte(0), 0);
}

TEST(FrameLines, DetailModeFrameNodeAndLapsedTimes) {
    zt::Record prev(zt::hex("00"), 1000, 0), r(zt::hex("00 01 02 03"), 1001, 500000);
    DecodeContext c;
    c.mode = MODE_TEXT_EXPORT;
    c.first_time = record_time(prev.data());
    c.previous_time = record_time(prev.data());
    Lines l;
    c.exporter = &l;
    make_current(&c);
    EXPECT_EQ(decode_frame(ROOT_NODE, r.data(), 1, 7), 2);
    make_current(nullptr);
    ASSERT_GE(l.out.size(), 5u);
    EXPECT_EQ(l.out[0], "  Frame No.7");
    EXPECT_EQ(l.out[1], "    Frame Length : 4 bytes");
    EXPECT_EQ(l.out[2], "    Time : 1970/01/01 00:16:41.500000");
    EXPECT_EQ(l.out[3], "    Lapsed time from prvious frame : 1.5000 sec");
    EXPECT_EQ(l.out[4], "    Lapsed time from first frame : 1.5000 sec");
}

TEST(FrameLines, LapsedTimeUnitsAndBackwardsStamps) {
    zt::Record a(zt::hex("00"), 5000, 100), b(zt::hex("00"), 5000, 350), c0(zt::hex("00"), 4999, 0);
    auto lapsed = [](const zt::Record& prev, const zt::Record& cur) {
        DecodeContext c;
        c.mode = MODE_TEXT_EXPORT;
        c.first_time = c.previous_time = record_time(prev.data());
        Lines l;
        c.exporter = &l;
        make_current(&c);
        decode_frame(ROOT_NODE, cur.data(), 1, 2);
        make_current(nullptr);
        return l.out.at(3);
    };
    EXPECT_EQ(lapsed(a, a), "    Lapsed time from prvious frame : 0.0000 sec");
    EXPECT_EQ(lapsed(a, b), "    Lapsed time from prvious frame : 0.0002 sec");  // 250 us, truncated
    EXPECT_EQ(lapsed(a, c0), "    Lapsed time from prvious frame : -1.0001 sec");
}

TEST(FrameLines, IdleModeDoesNothingAndFrameOneResetsTracking) {
    zt::Record r(zt::hex("00 01"));
    DecodeContext c;
    make_current(&c);
    EXPECT_EQ(decode_frame(ROOT_NODE, r.data(), 1, 1), 0);
    c.mode = MODE_DISPLAY;
    c.data_ports.any_entry = 1;
    c.data_ports.entries[0] = {1, 3001, 20};
    decode_frame(0, r.data(), 1, 2);
    EXPECT_EQ(c.data_ports.any_entry, 1);  // a later frame keeps what was learnt
    decode_frame(0, r.data(), 1, 1);
    EXPECT_EQ(c.data_ports.any_entry, 0);
    EXPECT_EQ(c.data_ports.entries[0].used, 0);
    make_current(nullptr);
}

TEST(FrameLines, TopLevelFrameNodeInDisplayMode) {
    DetailTree t;
    zt::display(t, zt::hex("ffffffffffff 001122334455 0806"), 1, 1);
    ASSERT_TRUE(t.valid(t.first_top()));
    EXPECT_EQ(t.text(t.first_top()), "Frame No.1");
    EXPECT_EQ(t.line(t.first_top()).protocol, P_FRAME);
    EXPECT_EQ(t.line(t.first_top()).length, 14u);
}
