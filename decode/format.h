#pragma once
// Shared text forms of the decoders: name lookups, addresses, times, bit pictures,
// byte texts, byte readers and the bounded text scanners.
//
// Text results live in thread-local buffers owned by each operation. Unless noted,
// an operation rotates among three buffers, so three results of the same operation
// can be used in one formatted line; callers copy what they keep. Nothing here
// allocates.
#include <cstddef>
#include <cstdint>

#include "decode/bytes.h"

namespace zelpan {

struct NameEntry {
    uint32_t key;
    const char* name;  // nullptr ends a table
};

// The name of value, or nullptr. The first matching row wins.
const char* lookup_name(uint32_t value, const NameEntry* table);
// "%s(%d)" with hex 0; with hex 1 by width: 1 "%s(0x%02X)", 2 "%s(0x%04X)",
// 3 "%s(0x%06X)", 4 "%s(0x%08X)", other "%s(0x%X)". Unknown values are "Unknown".
const char* value_name(uint32_t value, const NameEntry* table, int width, int hex);
const char* hardware_type_name(uint32_t type);
extern const NameEntry hardware_types[];

// Addresses. The pointers must have the address's full size available.
const char* mac_text(const uint8_t* six);
const char* ipv4_text(const uint8_t* four);
const char* ipv6_text(const uint8_t* sixteen);
// "No address" for length 0, MAC form for type 1 or 6 with length 6, else hex pairs joined by ":".
const char* hardware_address_text(const uint8_t* bytes, int length, uint32_t type);

// Times. Seconds are since 1970-01-01 00:00 UTC; real dates are shown in Japan time.
const char* time_of_day_text(uint32_t seconds, uint32_t microseconds);  // one buffer
const char* date_time_text(uint32_t seconds, uint32_t microseconds);    // one buffer
const char* duration_text(uint32_t seconds);                            // one buffer
const char* calendar_text(int64_t seconds, long nanoseconds);           // one buffer, local time

// Bit pictures: positions count from the most significant bit (0).
const char* bit_text8(uint32_t value, int first, int count);
const char* bit_text16(uint32_t value, int first, int count);
const char* bit_text24(uint32_t value, int first, int count);
const char* flag_text8(uint32_t value, int position, const char* on, const char* off);
const char* flag_text16(uint32_t value, int position, const char* on, const char* off);

// Byte texts, each cut with "..." at 384 characters.
const char* hex_text(const uint8_t* bytes, int n, char separator);
const char* printable_text(const uint8_t* bytes, int n);
const char* escaped_text(const uint8_t* bytes, int n);
const char* line_end_text(const uint8_t* bytes, int position, int remaining);
// Copies n bytes from source + position into target (at least 388 bytes) and ends it;
// from 385 bytes on only 384 are copied and "..." ends the text.
void copy_text(const uint8_t* source, int position, int n, char* target);
// Pairs of hex digits to bytes (at most 509); separated input steps 3 characters a byte.
int hex_digits_to_bytes(const char* text, bool separated, uint8_t* out, int out_size);
const char* oid_text(const unsigned long* arcs, int n);
const char* hex64_text(const uint8_t* eight);  // "0x" + 16 upper-case digits

// Byte readers over raw bytes (callers check the length first).
uint16_t be16(const uint8_t* p);
uint32_t be24(const uint8_t* p);
uint32_t be32(const uint8_t* p);
uint16_t swap16(uint16_t v);
long read_be(const uint8_t* p, int count);  // 1..4 bytes, else -1
int32_t ieee_float_to_int(uint32_t bits);

// Bounded text scanners. Each returns -1 without looking when the range it would
// examine ends beyond the last byte of the current frame.
// data must point into the current frame (ctx().bytes); a range that starts before
// the frame is refused as well. Indexes count from data:
//   find_line_end, find_byte: data[start, n) (n is an end index, not a count);
//   status_line_test, tagged_response_test, compare_nocase: data[0, n);
//   digits_test: the n bytes data[start, start + n), refused when start + n > limit.
// signed_number_test reads a NUL-ended text (not frame bytes) and returns 1 or 0.
int find_line_end(const uint8_t* data, int start, int n);
int status_line_test(const uint8_t* data, int n);
int tagged_response_test(const uint8_t* data, int n);
int digits_test(int start, const uint8_t* data, int n, int limit);
int find_byte(const uint8_t* data, int start, int n, uint8_t byte);
int compare_nocase(const uint8_t* a, const char* b, int n);
int signed_number_test(const char* text);

// Formats into a rotating buffer of 512 bytes (for decoders that build a text in pieces).
const char* textf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zelpan
