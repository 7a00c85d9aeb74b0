#pragma once
// NetBIOS pieces shared with the IPX decoder: the two NetBIOS transports over
// IPX and the SMB decoder they hand their payloads to.
#include <cstdint>

#include "decode/bytes.h"

namespace zelpan {

// True when data begins with 0xFF "SMB".
bool smb_signature(const Bytes& data);
void decode_smb(int32_t parent, Bytes data);
// ipx_type is the IPX packet type: type 20 packets carry the route list first.
void decode_nbipx(int32_t parent, Bytes data, int ipx_type);
void decode_nmpi(int32_t parent, Bytes data);

}  // namespace zelpan
