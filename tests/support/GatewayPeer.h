#pragma once

#include "RawTcpServer.h"
#include "gateway/GwRecords.h"
#include "gateway/SMSendNorviGw.h"

#include <QByteArray>

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

} // namespace norvi::test
