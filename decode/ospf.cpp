#include "decode/decoders.h"

namespace zelpan {

void decode_ospf(int32_t, Bytes) {}

}  // namespace zelpan
