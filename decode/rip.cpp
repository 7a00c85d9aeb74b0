#include "decode/decoders.h"

namespace zelpan {

void decode_rip(int32_t, Bytes) {}
void decode_ripng(int32_t, Bytes) {}
void decode_eigrp(int32_t, Bytes) {}

}  // namespace zelpan
