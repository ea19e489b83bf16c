#pragma once

#include "core/gateway/SMSendNorviGw.h"

#include <QByteArray>

#include <functional>

namespace norvi {

// One request as a job makes it, and what came of it: a login when the client has none, the request, and one
// more attempt when the first says to try again. The send job and the query and cancel jobs all go through
// here, each with its own request and its own rule for trying again.
struct GatewayExchange {
    int code = -1;
    QByteArray message; // the gateway's text, a MsgId, or a transport failure's text
    bool loginFailed = false;
    bool loginRefused = false; // the account cannot log in at all: the run ends
    bool reportLogin = false;  // the failed login is to be named in the record (the last attempt, or a refusal)
    bool written = false;      // some of the last request went out, so the gateway may have acted on it
    bool untrusted = false;    // bytes followed the last reply: it may be a late copy of an earlier answer
    bool outOfStep = false;    // some attempt's reply had bytes behind it: its connection was out of step
    SMSendNorviGw::StopPoint stop = SMSendNorviGw::StopPoint::None; // where a stop ended the attempts

    static constexpr int kMaxAttempts = 2;

    // `prepare` sets the request on the logged-in client; `again` says whether a request's outcome calls for one
    // more attempt. A failed login is tried again unless the gateway refused it; nothing is tried again after a
    // stop (`stopRequested`, or one that ended a wait of the client).
    static GatewayExchange run(SMSendNorviGw& client, const std::function<void(SMSendNorviGw& client)>& prepare,
                               const std::function<bool(const GatewayExchange& outcome)>& again,
                               const std::function<bool()>& stopRequested);
};

} // namespace norvi
