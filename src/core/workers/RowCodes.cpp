#include "core/workers/RowCodes.h"

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
    switch (queryCode) {
    case -1:
    case 1:
    case 3:
    case 4:
    case 19:
    case 20:
    case 31:
    case 40:
    case 41:
        return true;
    default:
        return false;
    }
}

bool isNotFailed(int queryCode) {
    return queryCode == 0 || isAskAgain(queryCode);
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
