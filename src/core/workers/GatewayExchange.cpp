#include "core/workers/GatewayExchange.h"

#include "core/workers/StopRows.h"

namespace norvi {

GatewayExchange GatewayExchange::run(SMSendNorviGw& client, const std::function<void(SMSendNorviGw& client)>& prepare,
                                     const std::function<bool(const GatewayExchange& outcome)>& again,
                                     const std::function<bool()>& stopRequested) {
    GatewayExchange ex;
    // The last attempt whose request went out and got no answer to trust: the gateway may have acted on it.
    GatewayExchange reached;
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
            if (ex.written && (ex.code == -1 || ex.untrusted))
                reached = ex;
        }
    } while (retry && attempts < kMaxAttempts && ex.stop == SMSendNorviGw::StopPoint::None && !stopRequested());
    // A stop that kept the next attempt from going out says nothing of a request before it that went out: that
    // exchange ends as one cut while it awaited its answer, so its row says the gateway may have acted on it
    // rather than that it was never asked.
    if (ex.stop == SMSendNorviGw::StopPoint::BeforeRequest && reached.written) {
        reached.stop = SMSendNorviGw::StopPoint::AwaitingReply;
        reached.outOfStep = ex.outOfStep;
        return reached;
    }
    return ex;
}

} // namespace norvi
