// The two filter-list files: line format, reading rules, saving and its failures,
// the Shift-JIS fallback, and the libpcap check of capture filters.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "condition/condition.h"
#include "condition/filter_lists.h"

using namespace zelpan;

namespace {

struct TempDir {
    std::string path;
    TempDir() {
        char t[] = "/tmp/zelpan_filters_XXXXXX";
        path = mkdtemp(t);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

void write(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(FilterLists, MissingAndEmptyFiles) {
    TempDir d;
    SearchExpressionList s{"stale"};
    CaptureFilterList c{{"stale", "tcp"}};
    std::string sp = SearchExpressionPath(d.path), cp = CaptureFilterPath(d.path);
    EXPECT_EQ(sp, d.path + "/findfil.dat");
    EXPECT_EQ(cp, d.path + "/capfil.dat");
    EXPECT_EQ(LoadSearchExpressions(sp, s), -1);
    EXPECT_EQ(LoadCaptureFilters(cp, c), -1);
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(c.empty());
    ASSERT_TRUE(exists(sp));
    ASSERT_TRUE(exists(cp));
    EXPECT_EQ(read(sp), "");
    EXPECT_EQ(LoadSearchExpressions(sp, s), 0);
    EXPECT_EQ(LoadCaptureFilters(cp, c), 0);
    EXPECT_TRUE(s.empty());
}

TEST(FilterLists, SaveIsByteExactAndReadsBack) {
    TempDir d;
    std::string sp = SearchExpressionPath(d.path), cp = CaptureFilterPath(d.path);
    SearchExpressionList s{"ip", "tcp[13:1] & 0x02 != 0"};
    EXPECT_EQ(SaveSearchExpressions(sp, s), "");
    EXPECT_EQ(read(sp), "\"ip\"\r\n\"tcp[13:1] & 0x02 != 0\"\r\n");
    SearchExpressionList back;
    EXPECT_EQ(LoadSearchExpressions(sp, back), 2);
    EXPECT_EQ(back, s);

    CaptureFilterList c{{"web", "tcp port 80"}, {"web", "tcp port 443"}, {"ﾌｨﾙﾀｰ", "udp"}};
    EXPECT_EQ(SaveCaptureFilters(cp, c), "");
    EXPECT_EQ(read(cp), "\"web\",\"tcp port 80\"\r\n\"web\",\"tcp port 443\"\r\n\"ﾌｨﾙﾀｰ\",\"udp\"\r\n");
    CaptureFilterList cb;
    EXPECT_EQ(LoadCaptureFilters(cp, cb), 3);
    ASSERT_EQ(cb.size(), 3u);
    EXPECT_EQ(cb[1].name, "web");
    EXPECT_EQ(cb[1].expression, "tcp port 443");
    EXPECT_EQ(cb[2].name, "ﾌｨﾙﾀｰ");

    // An empty list truncates the file.
    EXPECT_EQ(SaveSearchExpressions(sp, {}), "");
    EXPECT_EQ(read(sp), "");
    // Only entries whose list-box row shows the same text are written.
    std::vector<std::string> shown{"ip", "changed"};
    EXPECT_EQ(SaveSearchExpressions(sp, s, &shown), "");
    EXPECT_EQ(read(sp), "\"ip\"\r\n");
    std::vector<std::string> none;
    EXPECT_EQ(SaveSearchExpressions(sp, s, &none), "");
    EXPECT_EQ(read(sp), "");
}

TEST(FilterLists, CaptureFilterLines) {
    TempDir d;
    std::string cp = CaptureFilterPath(d.path);
    write(cp,
          "\"a\",\"b\",\"c\"\r\n"       // name a, expression b","c
          "\"no separator\"\r\n"        // skipped
          "\"\",\"empty name\"\r\n"     // skipped
          "\r\n"                        // skipped
          "\"x\",\"\"\r\n");            // empty expression kept
    CaptureFilterList c;
    EXPECT_EQ(LoadCaptureFilters(cp, c), 5);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].name, "a");
    EXPECT_EQ(c[0].expression, "b\",\"c");
    EXPECT_EQ(c[1].name, "x");
    EXPECT_EQ(c[1].expression, "");
}

TEST(FilterLists, LongLinesAndMalformedEnds) {
    TempDir d;
    std::string sp = SearchExpressionPath(d.path);
    std::string exact(507, 'e');  // quote + 507 + quote + CR = 510 bytes: read whole
    std::string longer(600, 'l');
    write(sp, "\"" + exact + "\"\r\n\"" + longer + "\"\r\n\"after\"\r\n");
    SearchExpressionList s;
    EXPECT_EQ(LoadSearchExpressions(sp, s), 3);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], exact);
    // Cut to 509 bytes, then the first and the last byte dropped.
    EXPECT_EQ(s[1], std::string(507, 'l'));
    // The lines after a long one are still read.
    EXPECT_EQ(s[2], "after");

    // LF-only ends, a line without quotes and a last line without an end.
    write(sp, "\"one\"\n\"two\"\r\nbare\r\n\"last\"");
    EXPECT_EQ(LoadSearchExpressions(sp, s), 4);
    EXPECT_EQ(s, (SearchExpressionList{"one", "two", "bare", "last"}));
    write(sp, "\"\"\r\n\"\r\n\r\n\n");
    EXPECT_EQ(LoadSearchExpressions(sp, s), 4);
    EXPECT_TRUE(s.empty());

    // A cut inside a UTF-8 character drops the partial character.
    std::string text = "a";
    while (text.size() < 520) text += "ｱ";  // three bytes each
    write(sp, "\"" + text + "\"\r\n");
    EXPECT_EQ(LoadSearchExpressions(sp, s), 1);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(IsValidUtf8(s[0]));
    EXPECT_EQ(s[0].size(), 1u + 168 * 3);
}

TEST(FilterLists, ShiftJisFilesAreConverted) {
    TempDir d;
    std::string cp = CaptureFilterPath(d.path), sp = SearchExpressionPath(d.path);
    // "ﾌｨﾙﾀｰ検索" in Shift-JIS: half-width katakana and two kanji.
    std::string sjis = "\xCC\xA8\xD9\xC0\xB0\x8C\x9F\x8D\xF5";
    write(cp, "\"" + sjis + "\",\"tcp\"\r\n");
    CaptureFilterList c;
    EXPECT_EQ(LoadCaptureFilters(cp, c), 1);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].name, "ﾌｨﾙﾀｰ検索");
    EXPECT_EQ(c[0].expression, "tcp");
    // Saved again, the file is UTF-8.
    EXPECT_EQ(SaveCaptureFilters(cp, c), "");
    EXPECT_EQ(read(cp), "\"ﾌｨﾙﾀｰ検索\",\"tcp\"\r\n");
    // A byte that is neither UTF-8 nor Shift-JIS shows as '?'.
    write(sp, "\"ip\xFF\"\r\n");
    SearchExpressionList s;
    EXPECT_EQ(LoadSearchExpressions(sp, s), 1);
    EXPECT_EQ(s, SearchExpressionList{"ip?"});
    EXPECT_EQ(ShiftJisToUtf8("abc"), "abc");
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // over-long
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_TRUE(IsValidUtf8("ﾏｰｸ"));
}

TEST(FilterLists, StringModeConditionStoredNormalised) {
    TempDir d;
    std::string sp = SearchExpressionPath(d.path);
    ConditionParse p;
    ConditionExpression e;
    ParseCondition(p, "tcp[20:3] == GET", VALUE_STRING, e);
    ASSERT_EQ(p.error_flags, 0u);
    SearchExpressionList s{p.normalised};
    EXPECT_EQ(SaveSearchExpressions(sp, s), "");
    SearchExpressionList back;
    LoadSearchExpressions(sp, back);
    ASSERT_EQ(back.size(), 1u);
    ConditionExpression again;
    ParseCondition(p, back[0].c_str(), VALUE_NUMBER, again);
    EXPECT_EQ(p.error_flags, 0u);
    EXPECT_STREQ(p.normalised, "tcp[20:3] == 0x474554");
    EXPECT_EQ(std::memcmp(again.value_bytes, e.value_bytes, 3), 0);
}

TEST(FilterLists, WriteFailuresAreReported) {
    TempDir d;
    std::string missing_dir = d.path + "/nowhere/findfil.dat";
    EXPECT_EQ(SaveSearchExpressions(missing_dir, {"ip"}), "ERROR : " + missing_dir + " can't writed.  ");
    EXPECT_EQ(SaveCaptureFilters(missing_dir, {{"a", "b"}}), "ERROR : " + missing_dir + " can't writed.  ");
    // A directory in the file's place.
    std::string dir_path = d.path + "/capfil.dat";
    ASSERT_EQ(mkdir(dir_path.c_str(), 0755), 0);
    EXPECT_EQ(SaveCaptureFilters(dir_path, {{"a", "b"}}), "ERROR : " + dir_path + " can't writed.  ");
    // A full disk: the device is written in place, never replaced.
    if (exists("/dev/full")) {
        EXPECT_EQ(SaveSearchExpressions("/dev/full", {"ip"}), "ERROR : /dev/full can't writed.  ");
        struct stat st;
        ASSERT_EQ(stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        EXPECT_FALSE(exists("/dev/full.tmp"));
    }
    // A line that the reader would cut is written, and said so.
    std::string cp = CaptureFilterPath(d.path + "/sub");
    mkdir((d.path + "/sub").c_str(), 0755);
    CaptureFilterList c{{"long", std::string(600, 'x')}, {"next", "udp"}};
    std::string msg = SaveCaptureFilters(cp, c);
    EXPECT_NE(msg.find("longer than 510 bytes"), std::string::npos) << msg;
    EXPECT_EQ(read(cp).size(), 2 + 4 + 3 + 600 + 2 + 14);
}

TEST(FilterLists, WrittenInPlaceWhenNoSiblingCanBeMade) {
    TempDir d;
    std::string sp = SearchExpressionPath(d.path);
    EXPECT_EQ(SaveSearchExpressions(sp, {"ip"}), "");
    // The sibling that would be renamed over the file cannot be made: written in place.
    ASSERT_EQ(mkdir((sp + ".tmp").c_str(), 0755), 0);
    EXPECT_EQ(SaveSearchExpressions(sp, {"udp"}), "");
    EXPECT_EQ(read(sp), "\"udp\"\r\n");
    struct stat st;
    EXPECT_EQ(stat((sp + ".tmp").c_str(), &st), 0);  // not ours to remove
}

TEST(CaptureFilterCheck, GoodAndBad) {
    std::string msg = "x";
    EXPECT_EQ(CheckCaptureFilter("tcp port 80 and host 10.0.0.1", &msg), 1);
    EXPECT_EQ(msg, "");
    EXPECT_EQ(CheckCaptureFilter("ether src 00:11:22:33:44:55 or vlan", &msg), 1);
    EXPECT_EQ(CheckCaptureFilter("tcp port", &msg), 0);
    const std::string head = "条件式に問題があります。  \nPCAP error : ";
    ASSERT_EQ(msg.compare(0, head.size(), head), 0) << msg;
    EXPECT_GT(msg.size(), head.size() + 2);
    EXPECT_EQ(msg.substr(msg.size() - 2), "  ");
    EXPECT_EQ(CheckCaptureFilter("no such primitive", &msg), 0);
    EXPECT_EQ(CheckCaptureFilter("no such primitive", nullptr), 0);
}
