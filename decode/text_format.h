#pragma once
// printf-style formatting for the decoders' per-frame texts, without the C
// library's printf machinery on the common forms.
//
// format_text keeps vsnprintf's contract exactly: it returns the length the whole
// text would have, writes at most size - 1 characters and a NUL, and writes
// nothing when size is 0. The forms it does not interpret itself (floating point,
// %n, wide characters, positional arguments and the like) are handed whole to
// std::vsnprintf, so the bytes out are always those of vsnprintf.
#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace zelpan {

int format_text(char* out, size_t size, const char* format, va_list ap);
int format_textf(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Appending digit writers: each writes at p without a NUL and returns the end.
// The caller provides room: 10 characters for u32, 20 for u64, 20 for i64.
char* put_u32(char* p, uint32_t v);
char* put_u64(char* p, uint64_t v);
char* put_i64(char* p, int64_t v);
// Decimal with leading zeros up to width (at most 20).
char* put_u32_zero(char* p, uint32_t v, int width);
// Hex with leading zeros up to width (0 for none, at most 16).
char* put_hex(char* p, uint64_t v, int width, bool upper);
// Copies a NUL-ended text (nullptr counts as empty) and returns the end.
char* put_text(char* p, const char* text);

}  // namespace zelpan
