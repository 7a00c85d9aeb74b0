#include "decode/decoders.h"

namespace zelpan {

void decode_rsvp(int32_t, Bytes) {}

}  // namespace zelpan
