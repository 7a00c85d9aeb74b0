#pragma once
// zelpan-cli: subcommands register themselves in one table (cli/main.cpp); each
// lives in its own file.
#include <string>
#include <vector>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zcli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;    // shown by --help
    const char* summary;  // one line
    int (*run)(const Args& args);
};

// Exit statuses shared by the subcommands.
constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 64;
constexpr int EXIT_FILE = 2;

// A capture file loaded for decoding.
struct Loaded {
    zelpan::FrameStore store;
    zelpan::DecodeContext context;
};
// Loads path; on failure prints the program's message to stderr and returns false.
bool load(const std::string& path, Loaded& out);

// Prints the usage of one command to stderr and returns EXIT_USAGE.
int usage_error(const Command& c, const std::string& why);

// Each subcommand file defines one of these; main.cpp lists them in help order.
extern const Command summary_command;
extern const Command detail_command;
extern const Command export_text_command;
extern const Command parse_command, find_command;
extern const Command stats_command, stream_command;
extern const Command interfaces_command, capture_command;

}  // namespace zcli
