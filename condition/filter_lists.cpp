#include "condition/filter_lists.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelpan {

namespace {

constexpr char SEPARATOR[] = "\",\"";

enum class ReadResult { Read, Missing, Unreadable };

ReadResult read_whole(const std::string& path, std::string& out) {
    out.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno != ENOENT) return ReadResult::Unreadable;
        // Created only when it is really missing; never truncate a file we could not read.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) ::close(fd);
        return ReadResult::Missing;
    }
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return ReadResult::Read;
}

// Drops an incomplete UTF-8 sequence left at the end by the line-length cut.
void trim_partial_utf8(std::string& s) {
    size_t n = s.size();
    size_t k = 0;
    while (k < 4 && k < n && (uint8_t(s[n - 1 - k]) & 0xC0) == 0x80) ++k;
    if (k == n || k >= 4) return;
    uint8_t lead = uint8_t(s[n - 1 - k]);
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (need > k + 1) s.resize(n - 1 - k);
}

// The texts of a file's lines, by the reading rules: a line is read up to 510
// bytes; its CR and the two quotes are dropped; empty lines are skipped.
int split_lines(const std::string& content, bool utf8, std::vector<std::string>& texts) {
    int lines = 0;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t lf = content.find('\n', pos);
        size_t end = lf == std::string::npos ? content.size() : lf;
        size_t next = lf == std::string::npos ? content.size() : lf + 1;
        ++lines;
        std::string line = content.substr(pos, end - pos);
        pos = next;
        if (line.size() > FILTER_LINE_LIMIT) {
            // Cut to 509 bytes, then the quotes go: the first and the last byte.
            line.resize(FILTER_LINE_LIMIT - 1);
            line = line.substr(1, line.size() - 2);
            if (utf8) trim_partial_utf8(line);
        } else {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            if (line.front() == '"') line.erase(0, 1);
            if (!line.empty() && line.back() == '"') line.pop_back();
        }
        texts.push_back(std::move(line));
    }
    return lines;
}

int load_texts(const std::string& path, std::vector<std::string>& texts, bool& utf8) {
    std::string content;
    ReadResult r = read_whole(path, content);
    if (r != ReadResult::Read) return -1;
    utf8 = IsValidUtf8(content);
    return split_lines(content, utf8, texts);
}

std::string write_failed(const std::string& path) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, "ERROR : %s can't writed.  ", path.c_str());
    return buf;
}

enum class Write { Done, NotOpened, Failed };

Write write_file(const std::string& path, const std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return Write::NotOpened;
    bool ok = content.empty() || std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    return ok ? Write::Done : Write::Failed;
}

// Writes a sibling file and renames it over path, so a full disk leaves the old
// file whole. Where no sibling can be made, and for anything but a plain file (a
// link, a device), the file is written in place.
std::string save_content(const std::string& path, const std::string& content, size_t longest_line) {
    std::string tmp = path + ".tmp";
    bool ok = false;
    struct stat st;
    bool plain = ::lstat(path.c_str(), &st) != 0 ? errno == ENOENT : S_ISREG(st.st_mode);
    Write w = plain ? write_file(tmp, content) : Write::NotOpened;
    if (w == Write::Done) {
        ok = std::rename(tmp.c_str(), path.c_str()) == 0;
        if (!ok) std::remove(tmp.c_str());
    } else if (w == Write::Failed) {
        std::remove(tmp.c_str());  // the old file stays as it was
    } else {
        ok = write_file(path, content) == Write::Done;
    }
    if (!ok) return write_failed(path);
    if (longest_line > FILTER_LINE_LIMIT) {
        char buf[1200];
        std::snprintf(buf, sizeof buf, "ERROR : %s : a line is longer than %zu bytes and will be cut when read.  ",
                      path.c_str(), FILTER_LINE_LIMIT);
        return buf;
    }
    return {};
}

void add_line(std::string& content, size_t& longest, const std::string& text) {
    content += '"';
    content += text;
    content += "\"\r\n";
    longest = std::max(longest, text.size() + 3);  // quotes and CR
}

}  // namespace

std::string CaptureFilterPath(const std::string& directory) { return directory + "/" + CAPTURE_FILTER_FILE; }
std::string SearchExpressionPath(const std::string& directory) { return directory + "/" + SEARCH_EXPRESSION_FILE; }

int LoadCaptureFilters(const std::string& path, CaptureFilterList& list) {
    list.clear();
    std::vector<std::string> texts;
    bool utf8 = true;
    int n = load_texts(path, texts, utf8);
    for (const std::string& t : texts) {
        size_t sep = t.find(SEPARATOR);
        if (sep == std::string::npos || sep == 0) continue;
        FilterEntry e{t.substr(0, sep), t.substr(sep + 3)};
        if (!utf8) {
            e.name = ShiftJisToUtf8(e.name);
            e.expression = ShiftJisToUtf8(e.expression);
        }
        list.push_back(std::move(e));
    }
    return n;
}

int LoadSearchExpressions(const std::string& path, SearchExpressionList& list) {
    list.clear();
    std::vector<std::string> texts;
    bool utf8 = true;
    int n = load_texts(path, texts, utf8);
    for (std::string& t : texts) {
        if (t.empty()) continue;
        list.push_back(utf8 ? std::move(t) : ShiftJisToUtf8(t));
    }
    return n;
}

std::string SaveCaptureFilters(const std::string& path, const CaptureFilterList& list) {
    std::string content;
    size_t longest = 0;
    for (const FilterEntry& e : list) add_line(content, longest, e.name + SEPARATOR + e.expression);
    return save_content(path, content, longest);
}

std::string SaveSearchExpressions(const std::string& path, const SearchExpressionList& list,
                                  const std::vector<std::string>* shown) {
    std::string content;
    size_t longest = 0;
    if (!shown || !shown->empty()) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (shown && (i >= shown->size() || (*shown)[i] != list[i])) continue;
            add_line(content, longest, list[i]);
        }
    }
    return save_content(path, content, longest);
}

int CheckCaptureFilter(const std::string& expression, std::string* message) {
    if (message) message->clear();
    pcap_t* h = pcap_open_dead(DLT_EN10MB, 0xffff);
    if (!h) return 1;
    bpf_program program{};
    if (pcap_compile(h, &program, expression.c_str(), 0, 0x00FFFFFF) != 0) {
        if (message) *message = std::string("条件式に問題があります。  \nPCAP error : ") + pcap_geterr(h) + "  ";
        pcap_close(h);
        return 0;
    }
    pcap_freecode(&program);
    pcap_close(h);
    return 1;
}

std::string ShiftJisToUtf8(const std::string& text) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1)) return text;
    std::string out;
    out.resize(text.size() * 3 + 16);
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* dst = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
        size_t r = iconv(cd, &in, &in_left, &dst, &out_left);
        if (r != size_t(-1)) break;
        if (errno == E2BIG) {
            size_t used = size_t(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            out_left = out.size() - used;
            continue;
        }
        // An invalid or cut sequence: show it as '?' and go on after the byte.
        if (out_left == 0) {
            size_t used = size_t(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            out_left = out.size() - used;
        }
        *dst++ = '?';
        --out_left;
        ++in;
        --in_left;
    }
    out.resize(size_t(dst - out.data()));
    iconv_close(cd);
    return out;
}

bool IsValidUtf8(const std::string& s) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    size_t n = s.size(), i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
        else return false;
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

}  // namespace zelpan
