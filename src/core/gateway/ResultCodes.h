#pragma once

#include <QByteArray>

#include <cstddef>

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
// A code the table has no text for is never dropped: the request's words and the code stand in for the
// text ("登入失敗（代碼 99）", "傳送失敗（代碼 17）(m)"), the brackets only when m is not empty.
QByteArray ResultText(int code, CodeTable table, const QByteArray& message);

// What the settings dialog's connection test (and norvi-cli login-test) shows after Login: the table's text
// alone, or for a code without one "登入失敗（代碼 99）" with the gateway's text in brackets when it sent one.
QByteArray LoginTestText(bool loggedIn, int code, const QByteArray& message);

// A fixed set of result codes (-1: the exchange itself failed), named for what the program does on them.
class CodeSet {
public:
    template <std::size_t N> constexpr explicit CodeSet(const int (&codes)[N]) : m_codes(codes), m_count(N) {}
    bool contains(int code) const;

private:
    const int* m_codes;
    std::size_t m_count;
};

// Refusals of a send after which the segment is sent a second time: the gateway says it did not take it
// (priority, system busy, transmission error, internal errors).
extern const CodeSet SendRetryCodes;
// Codes of a query or cancellation after which the same request is asked again at once: the exchange
// failed or the gateway could not answer it this time.
extern const CodeSet QueryAskAgainCodes;
// Query answers after which a sent message counts as not failed, so a resend leaves it alone: delivered,
// not delivered yet or still under way, an exchange that failed, and -1 for a row never asked. All but
// the delivered one are asked about again by a later query or cancellation.
extern const CodeSet NotFailedQueryCodes;

} // namespace norvi
