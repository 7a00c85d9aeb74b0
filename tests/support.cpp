#include "tests/support.h"

#include <cstring>

#include "store/text_export.h"

namespace zt {

Frame cat(std::initializer_list<Frame> parts) {
    Frame out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Frame hex(const std::string& text) {
    Frame out;
    int hi = -1;
    for (char ch : text) {
        int v;
        if (ch >= '0' && ch <= '9') v = ch - '0';
        else if (ch >= 'a' && ch <= 'f') v = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') v = ch - 'A' + 10;
        else continue;
        if (hi < 0) hi = v;
        else { out.push_back(uint8_t(hi << 4 | v)); hi = -1; }
    }
    return out;
}

Frame udp_to(uint16_t dport) {
    Frame f = hex("66778899AABB 001122334455 0800"
                  "45000020 00014000 40110000 0A000001 0A000002"
                  "13880000 000C0000 61626364");
    f[36] = uint8_t(dport >> 8);
    f[37] = uint8_t(dport);
    return f;
}

Record::Record(const Frame& bytes, uint32_t seconds, uint32_t microseconds) : buf(16 + bytes.size()) {
    zelpan::write_record_header(buf.data(), seconds, microseconds, uint32_t(bytes.size()), 0, 0);
    if (!bytes.empty()) std::memcpy(buf.data() + 16, bytes.data(), bytes.size());
}

std::string Summary::line() const {
    return col[1] + "\t" + col[2] + "\t" + col[3] + "\t" + col[4] + "\t" + col[5];
}

Summary summarize(const Frame& bytes, int link_type, int frame_number) {
    Record r(bytes);
    zelpan::DecodeContext c;
    c.mode = zelpan::MODE_DISPLAY;
    c.link_type = link_type;
    zelpan::make_current(&c);
    zelpan::clear_columns(c, 0);
    zelpan::decode_frame(0, r.data(), link_type, frame_number);
    Summary s;
    for (int k = 0; k < 9; ++k) s.col[k] = c.columns[k];
    zelpan::make_current(nullptr);
    return s;
}

std::vector<std::string> detail(const Frame& bytes, int link_type, int frame_number) {
    Record r(bytes);
    zelpan::DecodeContext c;
    c.mode = zelpan::MODE_TEXT_EXPORT;
    c.link_type = link_type;
    c.first_time = c.previous_time = zelpan::record_time(r.data());
    Lines sink;
    c.exporter = &sink;
    zelpan::make_current(&c);
    zelpan::decode_frame(zelpan::ROOT_NODE, r.data(), link_type, frame_number);
    zelpan::make_current(nullptr);
    return sink.out;
}

bool has_line(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines) {
        size_t i = l.find_first_not_of(' ');
        if (i != std::string::npos && l.compare(i, std::string::npos, text) == 0) return true;
    }
    return false;
}

void display(zelpan::DetailTree& tree, const Frame& bytes, int link_type, int frame_number) {
    Record r(bytes);  // the tree keeps offsets, not pointers
    zelpan::DecodeContext c;
    c.mode = zelpan::MODE_DISPLAY;
    c.link_type = link_type;
    c.first_time = c.previous_time = zelpan::record_time(r.data());
    c.tree = &tree;
    tree.clear();
    zelpan::make_current(&c);
    zelpan::decode_frame(zelpan::ROOT_NODE, r.data(), link_type, frame_number);
    tree.finish();
    zelpan::make_current(nullptr);
}

zelpan::FrameLayerIndex layers(const Frame& bytes, int link_type) {
    Record r(bytes);
    zelpan::DecodeContext c;
    c.mode = zelpan::MODE_LAYER_INDEX;
    c.link_type = link_type;
    zelpan::FrameLayerIndex ix;
    c.layer_index = &ix;
    zelpan::make_current(&c);
    zelpan::decode_frame(0, r.data(), link_type, 1);
    zelpan::make_current(nullptr);
    // The entry pointers point into r, which is gone; offsets stay meaningful.
    for (auto& e : ix.entries) e.start = nullptr;
    ix.frame = nullptr;
    return ix;
}

void Direct::run(int32_t parent, int mode, const Frame& msg) {
    rec_ = std::make_unique<Record>(cat({Frame(size_t(lead_), 0xEE), msg}));
    c.mode = mode;
    c.record = rec_->data();
    c.bytes = zelpan::record_bytes(rec_->data());
    c.captured_length = int32_t(lead_ + msg.size());
    if (setup_) setup_(c);
    zelpan::clear_columns(c, 1);
    zelpan::make_current(&c);
    decode_(parent, zelpan::Bytes(c.bytes + lead_, int(msg.size())));
    zelpan::make_current(nullptr);
}

Summary Direct::summary(const Frame& msg) {
    run(0, zelpan::MODE_DISPLAY, msg);
    Summary s;
    for (int k = 0; k < 9; ++k) s.col[k] = c.columns[k];
    return s;
}

std::vector<std::string> Direct::detail(const Frame& msg) {
    Lines sink;
    c.exporter = &sink;
    run(zelpan::ROOT_NODE, zelpan::MODE_TEXT_EXPORT, msg);
    c.exporter = nullptr;
    return sink.out;
}

zelpan::FrameLayerIndex Direct::layers(const Frame& msg) {
    zelpan::FrameLayerIndex ix;
    c.layer_index = &ix;
    run(0, zelpan::MODE_LAYER_INDEX, msg);
    c.layer_index = nullptr;
    return ix;
}

void Direct::tree(zelpan::DetailTree& tree, const Frame& msg) {
    tree.clear();
    c.tree = &tree;
    run(zelpan::ROOT_NODE, zelpan::MODE_DISPLAY, msg);
    tree.finish();
    c.tree = nullptr;
}

}  // namespace zt
