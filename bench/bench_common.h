#pragma once
// The benchmark capture: ZELPAN_BENCH_CAPTURE, or a 1,000,000-frame mix made once
// with the generator in /tmp.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace zbench {

inline const std::string& bench_capture() {
    static std::string path = [] {
        if (const char* p = std::getenv("ZELPAN_BENCH_CAPTURE")) return std::string(p);
        std::string p = "/tmp/zelpan_bench_1m.pcap";
        struct stat st;
        if (stat(p.c_str(), &st) != 0) {
            std::string gen = std::string(ZELPAN_SOURCE_DIR) + "/../shared/tools/gen_mix.py";
            if (const char* g = std::getenv("ZELPAN_GEN_MIX")) gen = g;
            std::string cmd = "/usr/bin/python3 " + gen + " " + p + ".part 1000000 && mv " + p + ".part " + p;
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot generate %s\n", p.c_str());
        }
        return p;
    }();
    return path;
}

}  // namespace zbench
