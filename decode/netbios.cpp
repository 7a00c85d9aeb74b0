#include "decode/decoders.h"

namespace zelpan {

void decode_netbios(int32_t, Bytes) {}
void decode_nbns(int32_t, Bytes) {}
void decode_nbdgm(int32_t, Bytes) {}
void decode_nbss(int32_t, Bytes) {}

}  // namespace zelpan
