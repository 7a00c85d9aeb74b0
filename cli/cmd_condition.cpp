// parse and find: the condition language and the search, headless.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "condition/condition.h"
#include "condition/search.h"

namespace zcli {

namespace {

constexpr int EXIT_CONDITION = 1;

void print_errors(std::FILE* f, uint32_t flags) {
    for (const std::string& line : zelpan::ConditionErrorLines(flags)) std::fprintf(f, "%s\n", line.c_str());
}

int run_parse(const Args& args) {
    int mode = zelpan::VALUE_NUMBER;
    const std::string* text = nullptr;
    for (const std::string& a : args) {
        if (a == "--string" && !text) mode = zelpan::VALUE_STRING;
        else if (!text) text = &a;
        else return usage_error(parse_command, "one condition text expected");
    }
    if (!text) return usage_error(parse_command, "a condition text expected");
    zelpan::ConditionParse p;
    zelpan::ConditionExpression e;
    zelpan::ParseCondition(p, text->c_str(), mode, e);
    if (p.error_flags) {
        print_errors(stdout, p.error_flags);
        return EXIT_CONDITION;
    }
    std::printf("%s\n", p.normalised);
    return EXIT_OK;
}

int run_find(const Args& args) {
    std::vector<std::string> positional;
    zelpan::SearchDialogState d;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--not") {
            d.negate1 = true;
        } else if (a == "--not2") {
            d.negate2 = true;
        } else if (a == "--and" || a == "--or") {
            if (d.operation != 0) return usage_error(find_command, "only one of --and and --or");
            if (i + 1 >= args.size()) return usage_error(find_command, a + " needs a condition");
            d.operation = a == "--and" ? 1 : 2;
            d.expression2 = args[++i];
        } else if (a.size() > 1 && a.compare(0, 2, "--") == 0) {
            return usage_error(find_command, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return usage_error(find_command, "a capture file and a condition expected");
    if (d.negate2 && d.operation == 0) return usage_error(find_command, "--not2 needs --and or --or");
    d.expression1 = positional[1];
    if (d.expression1.empty()) return usage_error(find_command, "the condition is empty");

    // Each condition on its own, so every error line is printed once per condition.
    zelpan::ConditionParse p;
    zelpan::ConditionExpression c1, c2;
    uint32_t errors = 0;
    for (int k = 0; k < 2; ++k) {
        const std::string& text = k == 0 ? d.expression1 : d.expression2;
        if (text.empty()) continue;
        zelpan::ParseCondition(p, text.c_str(), zelpan::VALUE_NUMBER, k == 0 ? c1 : c2);
        print_errors(stderr, p.error_flags);
        errors |= p.error_flags;
    }
    if (errors) return EXIT_CONDITION;
    std::string too_long = zelpan::ValidateSearch(d, c1, c2);
    if (!too_long.empty()) {
        std::fprintf(stderr, "%s", too_long.c_str());
        return EXIT_CONDITION;
    }

    Loaded f;
    if (!load(positional[0], f)) return EXIT_FILE;

    // ﾏｰｸして検索終了: every frame from the first, downwards.
    d.mark_all_and_finish = true;
    d.direction = -1;
    zelpan::SearchSettings settings;
    zelpan::StoreSearchSettings(d, c1, c2, settings);
    zelpan::HeadlessSearchWindow window(f.store, f.context, positional[0]);
    static char buf[1 << 16];
    std::setvbuf(stdout, buf, _IOFBF, sizeof buf);
    window.on_marked = [](int32_t row) { std::printf("%ld\n", long(row) + 1); };
    int result = zelpan::RunSearch(&window, &settings, false);
    if (std::fflush(stdout) != 0) return EXIT_FILE;
    if (result == zelpan::SEARCH_MARKED || result == zelpan::SEARCH_NOT_FOUND || result == zelpan::SEARCH_EMPTY)
        return EXIT_OK;
    std::fprintf(stderr, "zelpan-cli find: the search could not run (%d)\n", result);
    return EXIT_CONDITION;
}

}  // namespace

const Command parse_command = {
    "parse", "parse [--string] TEXT",
    "prints the normalised condition (exit 0), or its \"Error : \" lines (exit 1); "
    "--string reads the compared value as characters",
    run_parse};
const Command find_command = {
    "find", "find FILE COND [--not] [--and COND2 | --or COND2] [--not2]",
    "the numbers of the frames that match, one per line (exit 1 with \"Error : \" lines for a bad condition)",
    run_find};

}  // namespace zcli
