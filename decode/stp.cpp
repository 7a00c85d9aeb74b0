#include "decode/decoders.h"

namespace zelpan {

void decode_stp(int32_t, Bytes) {}

}  // namespace zelpan
