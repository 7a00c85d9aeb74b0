#pragma once
// pcapng reading, for capture_file.cpp. The frames of one link type (the first
// interface's) are loaded in file order with microsecond times; what could not be
// taken in is told in a notice rather than failing the load.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "store/frame_store.h"

namespace zelpan {

// True when the first bytes of a file (12 or more) open a pcapng section in
// either byte order.
bool IsPcapNgStart(const uint8_t* head, size_t n);

// Reads the file f (at its start, file_size bytes long) into the store's record
// area of room bytes. Never fails: a damaged block ends the load with the frames
// before it. notice gets one line ("\n"-separated) per thing the user should know:
// the damage, and each other link type whose frames were left out.
void ReadPcapNg(std::FILE* f, const std::string& path, uint64_t file_size, FrameStore& store, uint64_t room,
                int32_t& link_type, std::string& notice);

// Packet timestamps: a count of units of an interface's resolution (the
// if_tsresol byte: 10^-v, or 2^-(v & 0x7F) when the top bit is set) plus a
// whole-second offset. Finer than microseconds is truncated. False when the
// resolution cannot be represented in 64 bits.
bool PcapNgTime(uint64_t units, uint8_t resolution, int64_t offset_seconds, uint32_t& seconds,
                uint32_t& microseconds);

// A short name of a libpcap link type, for messages ("link type 113 (Linux cooked)").
const char* LinkTypeName(int32_t link_type);

}  // namespace zelpan
