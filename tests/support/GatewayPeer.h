#pragma once

#include "core/gateway/GwRecords.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/Clock.h"
#include "support/RawTcpServer.h"

#include <QByteArray>
#include <QDateTime>

#include <cstring>

namespace norvi::test {

// A reply as a gateway writes it: the code and a text of coding 1.
inline sGwReply replyWith(uint8_t code, const QByteArray& content) {
    sGwReply r{};
    r.reply_code = code;
    r.reply_coding = 1;
    std::memcpy(r.reply_content, content.constData(), std::size_t(qMin<qsizetype>(content.size(), 160)));
    r.reply_content_len = uint8_t(qMin<qsizetype>(content.size(), 160));
    return r;
}

// Reads one request and answers it in full.
inline bool answer(int fd, const sGwReply& reply) {
    sGwRequest q;
    return RawTcpServer::readExactly(fd, &q, sizeof q) && RawTcpServer::writeAll(fd, &reply, sizeof reply);
}

inline void pointAt(SMSendNorviGw& client, int port, const QByteArray& account = "demo",
                    const QByteArray& password = "demo") {
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetAccount(account);
    client.SetPassword(password);
}

// A message the gateway at `port` accepted, sent by a client of the test's own: its MsgId, empty when the
// login or the send failed. A reservation is booked for tomorrow, so it is still waiting (query code 20).
inline QByteArray sendAcceptedMessage(int port, bool reservation) {
    SMSendNorviGw client;
    pointAt(client, port);
    if (!client.Login())
        return {};
    client.Clear();
    if (reservation)
        client.SetScheduleTime(Clock::now().addDays(1).toString(QStringLiteral("yyMMddHHmm")).toLatin1() + "00");
    client.SetType(GwSendDomestic);
    client.SetCoding(1);
    client.SetMobile("0912345678");
    client.SetContent(5, "hello");
    QByteArray msgId;
    return client.Send(msgId) == 0 ? msgId : QByteArray();
}

} // namespace norvi::test
