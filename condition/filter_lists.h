#pragma once
// The two saved lists: named capture filters ("capfil.dat") and search condition
// texts ("findfil.dat"), both in the start-up directory. A line is a quote, the
// text, a quote and CR LF; a capture filter's text is name "," expression.
#include <string>
#include <vector>

namespace zelpan {

struct FilterEntry {
    std::string name;
    std::string expression;
};
using CaptureFilterList = std::vector<FilterEntry>;
using SearchExpressionList = std::vector<std::string>;

constexpr const char* CAPTURE_FILTER_FILE = "capfil.dat";
constexpr const char* SEARCH_EXPRESSION_FILE = "findfil.dat";
// Bytes of one line that are read (the CR and both quotes included).
constexpr size_t FILTER_LINE_LIMIT = 510;

std::string CaptureFilterPath(const std::string& directory);
std::string SearchExpressionPath(const std::string& directory);

// Empty the list and read the file into it. The number of lines found, or -1 when
// the file did not exist (it is then created empty). Files that are not valid
// UTF-8 are read as Shift-JIS and converted.
int LoadCaptureFilters(const std::string& path, CaptureFilterList& list);
int LoadSearchExpressions(const std::string& path, SearchExpressionList& list);

// Rewrite the file from the list. "" on success, else the message to show (the
// list itself is left as it is). A plain file is replaced only once the whole new
// content has been written beside it; a link or device is written in place.
std::string SaveCaptureFilters(const std::string& path, const CaptureFilterList& list);
// shown: the rows of the dialog's list box, when there is one; an entry is written
// only when its row shows the same text.
std::string SaveSearchExpressions(const std::string& path, const SearchExpressionList& list,
                                  const std::vector<std::string>* shown = nullptr);

// 1 when libpcap compiles the expression for an Ethernet link (or no handle can
// be had), else 0 with the message to show in *message.
int CheckCaptureFilter(const std::string& expression, std::string* message);

// Shift-JIS (CP932) to UTF-8; bytes that do not convert become '?'.
std::string ShiftJisToUtf8(const std::string& text);
bool IsValidUtf8(const std::string& text);

}  // namespace zelpan
