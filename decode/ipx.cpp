#include "decode/decoders.h"

namespace zelpan {

void decode_ipx(int32_t, Bytes) {}

}  // namespace zelpan
