#include "core/workers/GatewayExchange.h"

#include "core/workers/StopRows.h"

namespace norvi {

GatewayExchange GatewayExchange::run(SMSendNorviGw& client, const std::function<void(SMSendNorviGw& client)>& prepare,
                                     const std::function<bool(const GatewayExchange& outcome)>& again,
                                     const std::function<bool()>& stopRequested) {
    GatewayExchange ex;
    int attempts = 0;
    bool retry = false;
    do {
        // Each attempt starts afresh but for what the earlier ones showed of the connection.
        const bool outOfStep = ex.outOfStep;
        ex = GatewayExchange{};
        ex.outOfStep = outOfStep;
        ++attempts;
        // Returns at once while the client is still logged in; a transport failure logged it out, so a second
        // attempt reconnects.
        if (!client.Login()) {
            ex.code = client.lastCode();
            ex.message = client.message();
            ex.loginFailed = true;
            ex.stop = client.lastStop();
            ex.loginRefused = ex.stop == SMSendNorviGw::StopPoint::None && StopRows::isLoginRefusal(ex.code);
            ex.reportLogin = attempts == kMaxAttempts || ex.loginRefused;
            retry = !ex.loginRefused;
        } else {
            prepare(client);
            ex.code = client.Send(ex.message);
            ex.stop = client.lastStop();
            ex.written = client.lastRequestWritten();
            ex.untrusted = client.lastReplyUntrusted();
            ex.outOfStep = ex.outOfStep || ex.untrusted;
            retry = again(ex);
        }
    } while (retry && attempts < kMaxAttempts && ex.stop == SMSendNorviGw::StopPoint::None && !stopRequested());
    return ex;
}

} // namespace norvi
