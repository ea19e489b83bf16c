#include "core/workers/RowCodes.h"

#include "core/gateway/ResultCodes.h"

namespace norvi::RowCodes {

bool parse(const QByteArray& cell, int* value) {
    const QByteArray t = cell.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (ok && value)
        *value = v;
    return ok;
}

int valueOr(const QByteArray& cell, int fallback) {
    int v = fallback;
    return parse(cell, &v) ? v : fallback;
}

bool isAskAgain(int queryCode) {
    return queryCode != 0 && NotFailedQueryCodes.contains(queryCode);
}

bool isNotFailed(int queryCode) {
    return NotFailedQueryCodes.contains(queryCode);
}

bool isGeneralError(int code) {
    return code >= 30;
}

bool msgIdFromResult(const QByteArray& sendResult, QByteArray* msgId) {
    static const QByteArray marker("MsgId:");
    const int at = int(sendResult.indexOf(marker));
    if (at < 0)
        return false;
    const int from = at + int(marker.size());
    const int close = int(sendResult.indexOf(')', from));
    *msgId = close < 0 ? sendResult.mid(from) : sendResult.mid(from, close - from);
    return true;
}

} // namespace norvi::RowCodes
