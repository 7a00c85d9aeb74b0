#include "decode/decoders.h"

namespace zelpan {

void decode_snmp(int32_t, Bytes) {}

}  // namespace zelpan
