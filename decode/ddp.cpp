#include "decode/decoders.h"

namespace zelpan {

void decode_ddp(int32_t, Bytes) {}

}  // namespace zelpan
