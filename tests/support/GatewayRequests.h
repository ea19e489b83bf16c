#pragma once

#include "core/gateway/GwRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <cstring>

namespace norvi::test {

// The moment the simulator's tests start at.
inline const QDateTime kSimNow(QDate(2031, 5, 6), QTime(10, 0, 0));

// "@+3600" is the schedule time one hour after kSimNow; anything else is taken as written.
inline QByteArray expandParam(const QByteArray& param) {
    if (!param.startsWith('@'))
        return param;
    return kSimNow.addSecs(param.mid(1).toLongLong()).toString(QStringLiteral("yyMMddHHmmss")).toLatin1();
}

// A request record as the client writes it, parameters NUL-separated.
inline sGwRequest makeRequest(uint8_t type, const QList<QByteArray>& params, const QByteArray& content = {},
                              uint8_t coding = 0) {
    sGwRequest q{};
    q.msg_type = type;
    q.msg_coding = coding;
    int pos = 0;
    for (const QByteArray& p : params) {
        const QByteArray text = expandParam(p);
        std::memcpy(q.msg_params + pos, text.constData(), std::size_t(text.size()));
        pos += int(text.size()) + 1;
    }
    q.msg_params_len = uint8_t(pos);
    std::memcpy(q.msg_content, content.constData(), std::size_t(content.size()));
    q.msg_content_len = uint8_t(content.size());
    return q;
}

// The parameters of a request as the gateway reads them: the NUL-separated texts of its parameter field.
inline QList<QByteArray> requestParams(const sGwRequest& r) {
    QList<QByteArray> out;
    for (int at = 0; at < r.msg_params_len && at < int(sizeof(r.msg_params));) {
        out.append(QByteArray(r.msg_params + at, qstrnlen(r.msg_params + at, uint(sizeof(r.msg_params)) - at)));
        at += int(out.last().size()) + 1;
    }
    return out;
}

inline QByteArray replyText(const sGwReply& r) {
    return QByteArray(r.reply_content, qstrnlen(r.reply_content, 160));
}

} // namespace norvi::test
