#include "decode/decoders.h"

namespace zelpan {

void decode_bgp(int32_t, Bytes) {}

}  // namespace zelpan
