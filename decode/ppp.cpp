#include "decode/decoders.h"

namespace zelpan {

void decode_ppp(int32_t, Bytes) {}
void decode_pppoe(int32_t, Bytes) {}

}  // namespace zelpan
