#pragma once

#include <QByteArray>

// How the jobs read the code cells of send-log rows.
namespace norvi::RowCodes {

// The 查詢碼 of a MsgId the gateway does not know ("系統無此messageID的資料", a cancellation's "系統無此訊"):
// the message was accepted once, and nobody can say now what became of it.
constexpr int kNoSuchMessage = 2;

// A cell holding a whole decimal number; false for an empty cell or any other text.
bool parse(const QByteArray& cell, int* value);
// The cell's number, or -1 when it holds none (the reading of the resend command).
int valueOr(const QByteArray& cell, int fallback = -1);

// Query codes after which a sent message is asked about again by a later query or cancellation:
// not delivered yet, still under way, or the exchange itself failed (NotFailedQueryCodes but 0).
bool isAskAgain(int queryCode);
// Query codes that mark a sent message as not failed, so it is not sent again (NotFailedQueryCodes). -1
// stands for a row that was never asked.
bool isNotFailed(int queryCode);

// A gateway's general error (30 and above: 網路傳輸發生錯誤, 系統內部錯誤, ...): it answers the request, and says
// nothing of the message asked about, so an answer known before stands.
bool isGeneralError(int code);

// The MsgId inside a send result "...(MsgId:X)": the text after "MsgId:" up to the next ")" (or the
// end). False when the text has no "MsgId:".
bool msgIdFromResult(const QByteArray& sendResult, QByteArray* msgId);

} // namespace norvi::RowCodes
