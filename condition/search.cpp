#include "condition/search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "store/decode_passes.h"

namespace zelpan {

const char* const SEARCH_NO_EXPRESSION = "条件式が設定されていません。  \n";
const char* const SEARCH_TOO_LONG = "条件式の文字数が多すぎます。  \n";
const char* const SEARCH_OPERATION_FIRST = "先に式の論理演算を設定してください。  ";

namespace {

void set_text(char (&dst)[256], const std::string& src) {
    size_t n = std::min(src.size(), sizeof dst - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

bool in_list(const char* text, const SearchExpressionList& list) {
    return text[0] && std::find(list.begin(), list.end(), std::string(text)) != list.end();
}

}  // namespace

void RestoreSearchSettings(SearchSettings& s, const SearchExpressionList& list) {
    if (list.empty()) {
        s.negate1 = s.negate2 = 0;
        s.expression1[0] = s.expression2[0] = 0;
        s.expression1_length = s.expression2_length = 0;
        s.operation = 0;
        s.all_windows = s.mark_while_searching = s.mark_all_and_finish = 0;
        s.direction = -1;
        return;
    }
    // Each expression is checked on its own: one deleted from the list since the
    // last search must not linger in the dialog.
    if (!in_list(s.expression1, list)) {
        s.expression1[0] = 0;
        s.expression1_length = 0;
        s.negate1 = 0;
    }
    if (!in_list(s.expression2, list)) {
        s.expression2[0] = 0;
        s.expression2_length = 0;
        s.negate2 = 0;
        s.operation = 0;
    }
}

SearchDialogState DialogStateFrom(const SearchSettings& s) {
    SearchDialogState d;
    d.expression1 = s.expression1;
    d.expression2 = s.expression2;
    d.negate1 = s.negate1 != 0;
    d.negate2 = s.negate2 != 0;
    d.operation = s.operation;
    d.all_windows = s.all_windows != 0;
    d.mark_while_searching = s.mark_while_searching != 0;
    d.mark_all_and_finish = s.mark_all_and_finish != 0;
    d.direction = s.direction;
    return d;
}

std::string ValidateSearch(const SearchDialogState& d, ConditionExpression& c1, ConditionExpression& c2) {
    if (d.expression1.empty() && d.expression2.empty()) return SEARCH_NO_EXPRESSION;
    if (d.expression1.size() + d.expression2.size() + 11 >= 512) return SEARCH_TOO_LONG;
    std::string message;
    ConditionParse p;
    if (!d.expression1.empty()) {
        ParseCondition(p, d.expression1.c_str(), VALUE_NUMBER, c1);
        c1.negate = d.negate1 ? 1 : 0;
        message += ConditionErrorMessage(p.error_flags);
    }
    if (!d.expression2.empty()) {
        ParseCondition(p, d.expression2.c_str(), VALUE_NUMBER, c2);
        c2.negate = d.negate2 ? 1 : 0;
        message += ConditionErrorMessage(p.error_flags);
    }
    return message;
}

std::string SearchConfirmText(const SearchDialogState& d) {
    bool both = d.operation != 0 && !d.expression1.empty() && !d.expression2.empty();
    auto shown = [both](const std::string& e, bool negate) {
        if (e.empty()) return std::string();
        std::string t = (both || negate) ? "(" + e + ")" : e;
        return negate ? "!" + t : t;
    };
    std::string text = "検索条件式は以下の通りです。  \n\n" + shown(d.expression1, d.negate1);
    if (d.operation == 1) text += " && " + shown(d.expression2, d.negate2);
    else if (d.operation == 2) text += " || " + shown(d.expression2, d.negate2);
    return text + "  ";
}

void StoreSearchSettings(const SearchDialogState& d, const ConditionExpression& c1, const ConditionExpression& c2,
                         SearchSettings& s) {
    set_text(s.expression1, d.expression1);
    set_text(s.expression2, d.expression2);
    s.negate1 = d.negate1 ? 1 : 0;
    s.negate2 = d.negate2 ? 1 : 0;
    s.operation = d.operation;
    s.all_windows = d.all_windows ? 1 : 0;
    s.mark_while_searching = d.mark_while_searching ? 1 : 0;
    s.mark_all_and_finish = d.mark_all_and_finish ? 1 : 0;
    s.direction = d.direction;
    s.expression1_length = int32_t(std::strlen(s.expression1));
    s.expression2_length = int32_t(std::strlen(s.expression2));
    s.condition1 = c1;
    s.condition2 = c2;
}

namespace {

// Whether frame i matches; the conditions keep their match offsets.
bool frame_matches(const FrameStore& store, const LayerIndexList& index, uint32_t i, SearchSettings& s,
                   ConditionExpression& c1, ConditionExpression& c2, FrameLayerIndex& layers, int32_t& offset) {
    bool first = s.expression1_length > 0, second = s.expression2_length > 0;
    index.view(i, layers);
    int r1 = first ? EvaluateCondition(store, layers, c1) : 0;
    int r2 = second ? EvaluateCondition(store, layers, c2) : 0;
    if (s.operation == 1) {
        offset = std::max(c1.match_offset, c2.match_offset);
        return r1 == 1 && r2 == 1;
    }
    offset = r1 == 1 ? c1.match_offset : c2.match_offset;
    return r1 == 1 || r2 == 1;
}

// A search that goes through every frame tests them on every core first; the
// hits are then taken in frame order as before. Each thread tests with its own
// copies of the conditions (evaluation writes into them).
constexpr int32_t PARALLEL_SEARCH_FRAMES = 65536;
constexpr int32_t PREFETCH_AHEAD = 12;

void test_in_parallel(FrameStore& store, const LayerIndexList& index, const SearchSettings& s, int32_t start,
                      int32_t end, std::vector<uint8_t>& hits) {
    hits.assign(size_t(end - start), 0);
    int threads = std::max(1, pass_threads());
    int32_t per = (end - start + threads - 1) / threads;
    (void)store.at(0);  // the offset table is built once, before the threads read it
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        int32_t a = start + t * per, b = std::min(end, a + per);
        if (a >= b) break;
        pool.emplace_back([&, a, b] {
            SearchSettings own_s;
            own_s.expression1_length = s.expression1_length;
            own_s.expression2_length = s.expression2_length;
            own_s.operation = s.operation;
            ConditionExpression c1 = s.condition1, c2 = s.condition2;
            FrameLayerIndex layers;
            int32_t offset;
            for (int32_t i = a; i < b; ++i) {
                // The records lie far apart in a large store: ask for later ones early.
                if (i + PREFETCH_AHEAD < b) {
                    const uint8_t* ahead = store.at(uint32_t(i + PREFETCH_AHEAD));
                    __builtin_prefetch(ahead);
                    __builtin_prefetch(ahead + 64);
                }
                bool hit = frame_matches(store, index, uint32_t(i), own_s, c1, c2, layers, offset);
                hits[size_t(i - start)] = hit;
                // Marked here while the record is at hand; each thread has its own records.
                if (hit) store.set_marked(uint32_t(i), true);
            }
        });
    }
    for (std::thread& t : pool) t.join();
}

int scan(SearchWindow& w, SearchSettings& s, const LayerIndexList& index, int32_t start, int32_t rows) {
    int kind;  // 1 mark only, 3 select and mark, -1 select
    bool continuous = false;
    if (s.mark_all_and_finish) kind = 1, continuous = true;
    else if (s.mark_while_searching) kind = 3;
    else kind = -1;
    bool down = continuous || s.direction != 0;
    int32_t step = down ? 1 : -1;
    int32_t end = down ? rows : -1;
    if (start == end) return SEARCH_NOT_FOUND;
    if (start >= 0 && uint32_t(start) >= index.size()) return SEARCH_BEYOND_INDEX;
    if (start < 0 || start >= rows) return SEARCH_BAD_START;
    // Rows beyond the indexed frames cannot be tested.
    if (down && uint32_t(end) > index.size()) end = int32_t(index.size());
    FrameStore* store = w.frame_store();
    if (!store) return SEARCH_NO_INDEX;

    SearchWindowState& st = w.search_state();
    FrameLayerIndex layers;
    bool any = false;
    std::vector<uint8_t> hits;
    // Only "mark all" goes through every frame: its hits are all marked, in any order.
    bool tested = kind == 1 && continuous && down && end - start >= PARALLEL_SEARCH_FRAMES && pass_threads() > 1;
    if (tested) test_in_parallel(*store, index, s, start, end, hits);
    for (int32_t i = start; i != end; i += step) {
        int32_t offset = -1;
        bool hit;
        if (tested) {
            // The window shows each hit's mark from its record: fetch those ahead.
            if (i + 64 < end && hits[size_t(i + 64 - start)]) __builtin_prefetch(store->at(uint32_t(i + 64)) + 14);
            hit = hits[size_t(i - start)] != 0;
            // The last frame is tested again here, so the conditions end as a
            // test of every frame in turn leaves them.
            if (i == end - 1) hit = frame_matches(*store, index, uint32_t(i), s, s.condition1, s.condition2, layers, offset);
        } else {
            hit = frame_matches(*store, index, uint32_t(i), s, s.condition1, s.condition2, layers, offset);
        }
        if (!hit) continue;
        any = true;
        if ((kind == 1 || kind == 3) && !tested) store->set_marked(uint32_t(i), true);
        if (kind == 1) {
            w.show_marked(i, true);
        } else {
            w.select_row(i, offset);
            if (kind == 3) w.show_marked(i, true);
            st.selection_at_start = i;
        }
        if (!continuous) return i;
    }
    return any ? SEARCH_MARKED : SEARCH_NOT_FOUND;
}

}  // namespace

int RunSearch(SearchWindow* w, SearchSettings* s, bool find_next) {
    if (!w || !s || !w->has_list()) return SEARCH_NO_WINDOW;
    SearchWindowState& st = w->search_state();
    int32_t selected = w->selected_row(), rows = w->row_count();
    bool up = s->direction == 0 && !s->mark_all_and_finish;
    if (!find_next) st.find_next_enabled = true;

    int result = 0;
    bool decided = false;
    int32_t start = 0;
    if (selected < 0 || rows <= 0) {
        st.selection_at_start = -1;
        st.last_hit = 0;
        if (rows <= 0) result = SEARCH_EMPTY, decided = true;
    } else {
        st.selection_at_start = selected;
        start = selected;
        if (find_next && selected == st.last_hit) {
            start = up ? selected - 1 : selected + 1;
            if (start < 0 || start >= rows) result = SEARCH_NOWHERE, decided = true;
        }
    }
    if (!decided) {
        w->busy(true);
        const LayerIndexList* index = w->layer_indexes();
        result = index ? scan(*w, *s, *index, start, rows) : SEARCH_NO_INDEX;
        w->busy(false);
    }

    st.last_hit = result;
    if (find_next) st.find_next_enabled = result > 0;
    else if (result < 0) st.find_next_enabled = false;
    return result;
}

bool SearchContinues(const SearchSettings& s, int result) {
    return s.all_windows && (result == SEARCH_EMPTY || result == SEARCH_MARKED || result == SEARCH_NOT_FOUND);
}

int NextSearchSlot(const WindowRegistry& registry, int current_slot, WindowRegistry::Window origin,
                   const std::function<int32_t(WindowRegistry::Window)>& rows) {
    // Without its origin the round would never end.
    if (!origin || !registry.Contains(origin)) return -1;
    int slot = current_slot;
    for (int step = 0; step < WindowRegistry::SLOTS; ++step) {
        ++slot;
        if (slot < 1 || slot >= WindowRegistry::SLOTS || !registry.At(slot)) slot = 1;
        WindowRegistry::Window w = registry.At(slot);
        if (!w || w == origin) return -1;
        if (rows(w) > 0) return slot;
    }
    return -1;
}

std::string SearchResultReport(int result, const std::string& title, int32_t selection_at_start) {
    if (result != SEARCH_NOT_FOUND) return {};
    char line[64];
    std::snprintf(line, sizeof line, "検索開始ﾌﾚｰﾑ : %d\r\n", selection_at_start < 0 ? 1 : selection_at_start + 1);
    return title + "\r\n" + line + "検索条件に一致するﾌﾚｰﾑがありません。\r\n";
}

namespace {

int32_t walk_limit(SearchWindow& w, bool capture_target) {
    if (capture_target) return 0;
    FrameStore* s = w.frame_store();
    int32_t rows = w.row_count();
    if (rows <= 0 || !s || !s->present()) return 0;
    return int32_t(std::min<uint32_t>(uint32_t(rows), s->frame_count()));
}

}  // namespace

void MarkSelectedFrames(SearchWindow& w, bool capture_target) {
    int32_t n = walk_limit(w, capture_target);
    for (int32_t i = 0; i < n; ++i)
        if (w.row_selected(i)) {
            w.show_marked(i, true);
            w.frame_store()->set_marked(uint32_t(i), true);
        }
}

void MarkAllFrames(SearchWindow& w, bool capture_target) {
    int32_t n = walk_limit(w, capture_target);
    for (int32_t i = 0; i < n; ++i) {
        w.show_marked(i, true);
        w.frame_store()->set_marked(uint32_t(i), true);
    }
}

void UnmarkAllFrames(SearchWindow& w, bool capture_target) {
    int32_t n = walk_limit(w, capture_target);
    for (int32_t i = 0; i < n; ++i) {
        w.show_marked(i, false);
        w.frame_store()->set_marked(uint32_t(i), false);
    }
}

JumpOutcome JumpToNumber(const std::string& text, bool has_list, int32_t rows) {
    JumpOutcome j;
    if (text.empty()) {
        j.message = "OnJumpjump1";
        return j;
    }
    if (!has_list) {
        j.message = "OnJumpjump2";
        return j;
    }
    size_t k = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    bool digits = k < text.size();
    for (size_t i = k; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') digits = false;
    char range[32];
    std::snprintf(range, sizeof range, "(1-%d)  ", rows);
    if (!digits) {
        j.message = "番号(" + text + ")が不正です。" + range;
        return j;
    }
    // Digits beyond what 64 bits hold are shown as typed.
    size_t first_digit = text.find_first_not_of('0', k);
    size_t significant = first_digit == std::string::npos ? 0 : text.size() - first_digit;
    if (significant > 18) {
        j.message = "番号(" + text + ")が不正です。" + range;
        return j;
    }
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < 1 || value > rows) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "番号(%lld)が不正です。", value);
        j.message = std::string(buf) + range;
        return j;
    }
    j.row = int32_t(value - 1);
    return j;
}

JumpOutcome JumpToMark(int32_t selected, int32_t last_hit, int32_t rows, bool up,
                       const std::function<bool(int32_t)>& shown_marked) {
    JumpOutcome j;
    if (rows <= 0) return j;
    int32_t step = up ? -1 : 1;
    int32_t start = 0;
    if (selected >= 0) {
        start = selected;
        if (selected == last_hit) start += step;
        if (start < 0 || start >= rows) return j;
    }
    for (int32_t i = start; i >= 0 && i < rows; i += step)
        if (shown_marked(i)) {
            j.row = i;
            return j;
        }
    char buf[64];
    std::snprintf(buf, sizeof buf, "検索開始ﾌﾚｰﾑ : %d\r\n", start + 1);
    j.message = std::string(buf) + "ﾏｰｸしたﾌﾚｰﾑがありません。\r\n";
    return j;
}

void ApplyJump(SearchWindow& w, const JumpOutcome& j) {
    if (j.row < 0) return;
    w.select_row(j.row, -1);
    w.search_state().last_hit = j.row;
}

// ---- headless window ----

HeadlessSearchWindow::HeadlessSearchWindow(FrameStore& store, DecodeContext& context, std::string title)
    : store_(store), context_(context), title_(std::move(title)) {
    int32_t n = row_count();
    shown_marks_.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) shown_marks_[size_t(i)] = store_.marked(uint32_t(i)) ? 1 : 0;
}

int32_t HeadlessSearchWindow::row_count() const {
    return store_.present() ? int32_t(std::min<uint32_t>(store_.frame_count(), INT32_MAX)) : 0;
}

bool HeadlessSearchWindow::row_selected(int32_t row) const {
    return std::binary_search(selection_.begin(), selection_.end(), row);
}

void HeadlessSearchWindow::select_row(int32_t row, int32_t match_offset) {
    selection_.assign(1, row);
    highlight_ = match_offset;
}

void HeadlessSearchWindow::show_marked(int32_t row, bool marked) {
    if (row >= 0 && size_t(row) < shown_marks_.size()) shown_marks_[size_t(row)] = marked ? 1 : 0;
    if (marked && on_marked) on_marked(row);
}

bool HeadlessSearchWindow::shown_marked(int32_t row) const {
    return row >= 0 && size_t(row) < shown_marks_.size() && shown_marks_[size_t(row)];
}

const LayerIndexList* HeadlessSearchWindow::layer_indexes() {
    if (!index_) {
        if (!store_.present()) return nullptr;
        index_ = std::make_unique<LayerIndexList>();
        BuildLayerIndexes(context_, store_, *index_);
        ++builds_;
    }
    return index_.get();
}

void HeadlessSearchWindow::set_selection(std::vector<int32_t> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    selection_ = std::move(rows);
}

}  // namespace zelpan
