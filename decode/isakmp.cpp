#include "decode/decoders.h"

namespace zelpan {

void decode_isakmp(int32_t, Bytes) {}

}  // namespace zelpan
