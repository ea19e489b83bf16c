#pragma once

#include <cstdint>

namespace norvi {

#pragma pack(push, 1)
// The request record, always sent whole. Every numeric field is one unsigned byte.
struct sGwRequest {
    uint8_t msg_type;
    uint8_t msg_coding;
    uint8_t msg_reserved1;
    uint8_t msg_reserved2;
    uint8_t msg_params_len; // parameter bytes in use, terminating NULs included
    uint8_t msg_content_len;
    char msg_params[100];  // NUL-terminated strings packed one after another
    char msg_content[160]; // not NUL-terminated; msg_content_len bytes
};

// The reply record.
struct sGwReply {
    uint8_t reply_code;
    uint8_t reply_coding; // 2 and 3: raw bytes of reply_content_len; otherwise NUL-terminated text
    uint8_t reply_params_len;
    uint8_t reply_content_len;
    char reply_params[80];
    char reply_content[160];
};
#pragma pack(pop)

static_assert(sizeof(sGwRequest) == 266, "the gateway request is 266 bytes on the wire");
static_assert(sizeof(sGwReply) == 244, "the gateway reply is 244 bytes on the wire");

// Request types.
enum GwRequestType : uint8_t {
    GwLogin = 0,
    GwSendDomestic = 1,
    GwQuery = 2,
    GwSendInternational = 15,
    GwCancel = 16,
};

} // namespace norvi
