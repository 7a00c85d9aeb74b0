#include "decode/decoders.h"

namespace zelpan {

void decode_ntp(int32_t, Bytes) {}
void decode_rpc(int32_t, Bytes) {}

}  // namespace zelpan
