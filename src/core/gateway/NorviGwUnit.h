#pragma once

#include "core/gateway/GwRecords.h"

#include <netinet/in.h>

#include <cstdint>

namespace norvi {

// The connection to the gateway and its two records.
struct NorviGwUnit {
    uint8_t wsaStarted = 0; // 1 when this object started the socket layer
    uint8_t loggedIn = 0;   // 1 while connected and logged in
    int sock = -1;          // -1 when there is no socket
    sockaddr_in addr{};
    sGwRequest request{};
    sGwReply reply{};
    char message[500] = {}; // text of the last result: a failure text, or the reply text
    int32_t lastCode = 0;   // reply_code of the last exchange, or -1 after a transport failure
};

} // namespace norvi
