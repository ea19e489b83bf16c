#pragma once

#include <QByteArray>

namespace norvi {

// The five tables that explain the gateway's result codes.
enum class CodeTable { Login, Send, Query, Cancel, General };

// Builds the tables once; safe to call from any thread, any number of times.
void BuildResultTables();

// The table's text for the code (Big5), or an empty text when the table has no entry for it.
QByteArray CodeText(CodeTable table, int code);

// The result text shown for an exchange: code c, the table of the request (or Login after a failed
// login) for codes 0 to 29, and the client's message text m (reply text or transport failure text).
//   c >= 30: general text + "(" + m + ")";  c < 0: m;
//   c == 0 with the Send table: send text + "(MsgId:" + m + ")";  otherwise table text + "(" + m + ")".
QByteArray ResultText(int code, CodeTable table, const QByteArray& message);

// What the settings dialog's connection test shows after Login.
QByteArray LoginTestText(bool loggedIn, int code, const QByteArray& message);

} // namespace norvi
