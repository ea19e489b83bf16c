#include "gateway/LoginTest.h"

#include "gateway/ResultCodes.h"
#include "gateway/SMSendNorviGw.h"
#include "shared/FixedField.h"
#include "shared/Global.h"

namespace norvi {

bool RunLoginTest(QByteArray* text, int replyWaitSeconds) {
    SMSendNorviGw client;
    client.SetReplyWaitSeconds(replyWaitSeconds);
    client.SetHost(GatewayHost);
    client.SetPort(Config.gwPort);
    client.SetAccount(getField(Config.gwAccount));
    client.SetPassword(getField(Config.gwPasswd));
    const bool loggedIn = client.Login();
    if (text)
        *text = LoginTestText(loggedIn, client.lastCode(), client.message());
    client.Logout();
    return loggedIn;
}

} // namespace norvi
