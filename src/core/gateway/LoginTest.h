#pragma once

#include "gateway/SMSendNorviGw.h"

#include <QByteArray>

namespace norvi {

// The connection test of the settings dialog, shared with the command-line front end: a fresh
// gateway client on GatewayHost with the configured port, account and password logs in and out.
// Returns whether the login succeeded; `text` receives what the user is shown (Big5).
bool RunLoginTest(QByteArray* text, int replyWaitSeconds = SMSendNorviGw::kReplyWaitSeconds);

} // namespace norvi
