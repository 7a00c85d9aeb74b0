#pragma once
// Searching a window's frames with one or two conditions, the mark commands and the
// jump logic, over an abstract window that the Qt child window implements (and a
// headless one for the command line and the tests).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "condition/condition.h"
#include "condition/filter_lists.h"
#include "condition/layer_index.h"
#include "store/frame_store.h"
#include "store/window_registry.h"

namespace zelpan {

// The application's one search set-up, shared by every window.
struct SearchSettings {
    int32_t negate1 = 0;
    char expression1[256] = {};
    int32_t negate2 = 0;
    char expression2[256] = {};
    int32_t operation = 0;  // 0 none, 1 and, 2 or
    int32_t all_windows = 0;
    int32_t mark_while_searching = 0;
    int32_t mark_all_and_finish = 0;
    int32_t direction = 0;  // 0 up, 1 down, -1 none chosen
    int32_t expression1_length = 0;
    int32_t expression2_length = 0;
    ConditionExpression condition1;
    ConditionExpression condition2;
};

// What the search dialog's controls hold.
struct SearchDialogState {
    std::string expression1, expression2;
    bool negate1 = false, negate2 = false;
    int operation = 0;
    bool all_windows = false, mark_while_searching = false, mark_all_and_finish = false;
    int direction = -1;
};

// Message texts of the search dialog.
extern const char* const SEARCH_NO_EXPRESSION;       // both fields empty
extern const char* const SEARCH_TOO_LONG;            // both texts together too long
extern const char* const SEARCH_OPERATION_FIRST;     // 式２ pressed with しない

// Opening the dialog: keep the expressions that are still rows of the list (all
// settings are reset when the list is empty), then the dialog shows the result.
void RestoreSearchSettings(SearchSettings& s, const SearchExpressionList& list);
SearchDialogState DialogStateFrom(const SearchSettings& s);

// The dialog's validation: "" when valid (conditions parsed into c1 and c2, their
// negate flags set), else the message box text.
std::string ValidateSearch(const SearchDialogState& d, ConditionExpression& c1, ConditionExpression& c2);
// The 確認 message box text.
std::string SearchConfirmText(const SearchDialogState& d);
// 検索開始: the validated dialog into the shared settings.
void StoreSearchSettings(const SearchDialogState& d, const ConditionExpression& c1, const ConditionExpression& c2,
                         SearchSettings& s);

// Per-window search state.
struct SearchWindowState {
    int32_t last_hit = 0;             // last RunSearch result, or the row a jump reached
    int32_t selection_at_start = -1;  // remembered selection, -1 none
    bool find_next_enabled = false;
};

// The window side of a search. Rows are frame indexes (0-based).
class SearchWindow {
public:
    virtual ~SearchWindow() = default;
    virtual bool has_list() const { return true; }
    virtual int32_t row_count() const = 0;
    // The first selected row, -1 when none.
    virtual int32_t selected_row() const = 0;
    virtual bool row_selected(int32_t row) const = 0;
    // Select row alone, bring it into view, show it in the detail views and
    // highlight the byte at match_offset (-1: none).
    virtual void select_row(int32_t row, int32_t match_offset) = 0;
    virtual void show_marked(int32_t row, bool marked) = 0;
    virtual FrameStore* frame_store() = 0;
    // The window's layer indexes, built on first call and kept; nullptr when none can be had.
    virtual const LayerIndexList* layer_indexes() = 0;
    virtual SearchWindowState& search_state() = 0;
    // Around the pass (the busy indicator).
    virtual void busy(bool /*on*/) {}
};

// RunSearch results besides a frame index.
constexpr int SEARCH_NOWHERE = -1;
constexpr int SEARCH_EMPTY = -2;
constexpr int SEARCH_MARKED = -3;
constexpr int SEARCH_NOT_FOUND = -4;
constexpr int SEARCH_NO_INDEX = -10;
constexpr int SEARCH_BEYOND_INDEX = -11;
constexpr int SEARCH_NO_WINDOW = -12;
constexpr int SEARCH_BAD_START = -13;

int RunSearch(SearchWindow* window, SearchSettings* settings, bool find_next);
// Whether the all-windows setting sends the search on after this result.
bool SearchContinues(const SearchSettings& s, int result);
// The registry slot that searches next, or -1 when every window has been searched
// (the origin reached, or gone from the registry). rows(window) gives a window's row count.
int NextSearchSlot(const WindowRegistry& registry, int current_slot, WindowRegistry::Window origin,
                   const std::function<int32_t(WindowRegistry::Window)>& rows);
// The information-window text for a result ("" unless nothing was found).
std::string SearchResultReport(int result, const std::string& title, int32_t selection_at_start);

// The mark commands; nothing happens on an empty list or while a capture runs into the window.
void MarkSelectedFrames(SearchWindow& w, bool capture_target);
void MarkAllFrames(SearchWindow& w, bool capture_target);
void UnmarkAllFrames(SearchWindow& w, bool capture_target);

// A jump: the row to select (and make the last hit), or a message, or neither.
struct JumpOutcome {
    int32_t row = -1;
    std::string message;
};
// ﾌﾚｰﾑ番号 page: the typed text against the list (message box texts).
JumpOutcome JumpToNumber(const std::string& text, bool has_list, int32_t rows);
// ﾏｰｸ page: the next (up = false) or previous marked row from the selection
// (information-window text when there is none).
JumpOutcome JumpToMark(int32_t selected, int32_t last_hit, int32_t rows, bool up,
                       const std::function<bool(int32_t)>& shown_marked);
// Applies a jump outcome's selection to a window.
void ApplyJump(SearchWindow& w, const JumpOutcome& j);

// A window without widgets over one store: the command line and the tests.
class HeadlessSearchWindow : public SearchWindow {
public:
    HeadlessSearchWindow(FrameStore& store, DecodeContext& context, std::string title = "");

    int32_t row_count() const override;
    int32_t selected_row() const override { return selection_.empty() ? -1 : selection_.front(); }
    bool row_selected(int32_t row) const override;
    void select_row(int32_t row, int32_t match_offset) override;
    void show_marked(int32_t row, bool marked) override;
    FrameStore* frame_store() override { return &store_; }
    const LayerIndexList* layer_indexes() override;
    SearchWindowState& search_state() override { return state_; }

    // Test and tool side.
    void set_selection(std::vector<int32_t> rows);
    void clear_selection() { selection_.clear(); }
    const std::string& title() const { return title_; }
    int32_t highlighted() const { return highlight_; }
    bool shown_marked(int32_t row) const;
    int builds() const { return builds_; }
    // Called for every show_marked(row, true), in call order.
    std::function<void(int32_t)> on_marked;

private:
    FrameStore& store_;
    DecodeContext& context_;
    std::string title_;
    std::vector<int32_t> selection_;  // sorted
    int32_t highlight_ = -1;
    std::vector<uint8_t> shown_marks_;
    std::unique_ptr<LayerIndexList> index_;
    int builds_ = 0;
    SearchWindowState state_;
};

}  // namespace zelpan
