#include "decode/decoders.h"

namespace zelpan {

void decode_ssl(int32_t, Bytes) {}

}  // namespace zelpan
