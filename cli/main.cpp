#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "store/capture_file.h"
#include "zelpan_version.h"

namespace zcli {

// Help order. A new subcommand adds its file and one line here.
static const Command* const command_table[] = {
    &summary_command,
    &detail_command,
    &export_text_command,
    &parse_command,
    &find_command,
    &stats_command,
    &stream_command,
    &interfaces_command,
    &capture_command,
};

bool load(const std::string& path, Loaded& out) {
    std::string notice;
    std::string msg = zelpan::LoadCaptureFile(path, out.store, out.context.link_type, &notice);
    if (!msg.empty()) {
        std::fprintf(stderr, "%s\n", msg.c_str());
        return false;
    }
    // What the window's information window would say about a partial load.
    if (!notice.empty()) std::fprintf(stderr, "%s\n", notice.c_str());
    return true;
}

int usage_error(const Command& c, const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "zelpan-cli %s: %s\n", c.name, why.c_str());
    std::fprintf(stderr, "usage: zelpan-cli %s\n", c.usage);
    return EXIT_USAGE;
}

static void help(std::FILE* f) {
    std::fprintf(f,
                 "zelpan-cli %s - the headless front end of the Zelpan packet analyser\n\n"
                 "usage: zelpan-cli COMMAND [ARGS]\n\ncommands:\n",
                 ZELPAN_VERSION_TEXT);
    for (const Command* c : command_table) std::fprintf(f, "  %s\n      %s\n", c->usage, c->summary);
    std::fprintf(f,
                 "\n  --help     this text\n  --version  the program version\n\n"
                 "Exit status: 0 on success, 2 when a capture file cannot be opened or loaded,\n"
                 "64 for a wrong command line; see each command for others.\n");
}

}  // namespace zcli

int main(int argc, char** argv) {
    using namespace zcli;
    zelpan::init_protocol_table();
    if (argc < 2) {
        help(stderr);
        return EXIT_USAGE;
    }
    std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        help(stdout);
        return EXIT_OK;
    }
    if (first == "--version") {
        std::printf("zelpan-cli %s\n", ZELPAN_VERSION_TEXT);
        return EXIT_OK;
    }
    for (const Command* c : command_table) {
        if (first != c->name) continue;
        Args args(argv + 2, argv + argc);
        for (const auto& a : args)
            if (a == "--help") {
                std::printf("usage: zelpan-cli %s\n  %s\n", c->usage, c->summary);
                return EXIT_OK;
            }
        return c->run(args);
    }
    std::fprintf(stderr, "zelpan-cli: unknown command '%s' (see zelpan-cli --help)\n", first.c_str());
    return EXIT_USAGE;
}
