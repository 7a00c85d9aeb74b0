#include "decode/decoders.h"

namespace zelpan {

void decode_ftp(int32_t, Bytes) {}
void decode_ftp_data(int32_t, Bytes) {}
void decode_telnet(int32_t, Bytes) {}
void decode_smtp(int32_t, Bytes) {}
void decode_http(int32_t, Bytes) {}
void decode_pop3(int32_t, Bytes) {}
void decode_imap(int32_t, Bytes) {}
void decode_syslog(int32_t, Bytes) {}
void decode_rtsp(int32_t, Bytes) {}
void note_ftp_segment(uint8_t) {}

}  // namespace zelpan
