#include "core/workers/FollowUpRound.h"

#include "core/gateway/ResultCodes.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/OpLog.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/QueryJob.h"
#include "core/workers/RowCodes.h"
#include "core/workers/SendThd.h"
#include "core/workers/StopRows.h"

namespace norvi {

FollowUpRound::FollowUpRound(const GatewayTarget& gateway, std::vector<Ask> asks)
    : m_gateway(gateway), m_asks(std::move(asks)) {}

std::vector<FollowUpRound::Ask> FollowUpRound::unsettledRows(const SendLogModel& model) {
    // Each is the latest row of its message (MessageHistory): an unsettled row was sent, and no later row
    // stands for a sent one.
    std::vector<Ask> asks;
    const int rows = model.rowCount();
    for (int position = 0; position < rows; ++position) {
        const SendLogRow& row = model.row(position);
        const DeliveryCells cells{row.texts[ColSendCode], row.texts[ColSendResult], row.codeImage,
                                  row.texts[ColQueryCode], row.texts[ColQueryResult]};
        QByteArray msgId;
        if (IsUnsettled(cells, &msgId))
            asks.push_back({model.rowId(position), msgId, cells.sendResult, !cells.queryCode.trimmed().isEmpty()});
    }
    return asks;
}

FollowUpRound::~FollowUpRound() {
    yieldNow(true);
    wait();
}

void FollowUpRound::yieldNow(bool now) {
    if (!m_yielded.exchange(true))
        m_stop.request();
    if (now)
        m_stop.requestNow();
}

void FollowUpRound::report(const QByteArray& line) {
    const QByteArray cut = CutBig5(line, 1023);
    WriteOpLog(cut);
    emit reported(cut);
}

void FollowUpRound::run() {
    SMSendNorviGw client;
    client.SetTarget(m_gateway);
    client.SetReplyWaitSeconds(m_gateway.replyWaitSeconds);
    client.SetStop(m_stop, StopGraceMs());
    const QByteArray name = SendThd::formatThreadName(WorkerMode::Query, 1, CurrentThreadNumber());
    report(name + " start");
    const QByteArray asked = big5(" 查詢結果: ");
    StopRows::TransportFailures failures;
    for (const Ask& ask : m_asks) {
        if (m_yielded.load())
            break;
        const QueryExchange ex = AskGateway(client, ask.msgId, false, [this] { return m_yielded.load(); });
        if (ex.reportLogin)
            report(name + " Login to Server fail, " + QByteArray::number(ex.code) + ':' + ex.message);
        // A yield before the request leaves the row as it was: the next round asks it.
        if (ex.stop == SMSendNorviGw::StopPoint::BeforeRequest)
            break;
        const QByteArray noAnswer = ex.stop != SMSendNorviGw::StopPoint::None
                                        ? StopRows::cutQueryText(WorkerMode::Query)
                                    : ex.code == -1 && !ex.loginFailed ? ex.message
                                                                       : QByteArray();
        if (!noAnswer.isNull()) {
            const QByteArray code = QByteArray::number(StopRows::kCode);
            report(name + ' ' + ask.sendResult + asked + code + ", " + noAnswer);
            if (!ask.answered) // nothing known is replaced by no answer
                emit answered(ask.rowId, code, noAnswer);
            if (ex.stop != SMSendNorviGw::StopPoint::None)
                break;
            if (failures.note(true)) {
                report(name + ' ' + StopRows::gaveUpLine(failures.inRow()));
                break;
            }
            continue;
        }
        const QByteArray result = ResultText(ex.code, ex.loginFailed ? CodeTable::Login : CodeTable::Query, ex.message);
        const QByteArray code = QByteArray::number(ex.code);
        if (ex.code != 0)
            report(name + ' ' + ask.sendResult + asked + code + ", " + result);
        // A failed login or a general error answers nothing about the message: an earlier answer stays.
        if (!((ex.loginFailed || RowCodes::isGeneralError(ex.code)) && ask.answered))
            emit answered(ask.rowId, code, result);
        if (ex.loginRefused) {
            emit loginRefused(fromBig5(result));
            break;
        }
        if (failures.note(ex.code == -1)) {
            report(name + ' ' + StopRows::gaveUpLine(failures.inRow()));
            break;
        }
    }
    client.Logout();
    report(name + " shut down");
}

} // namespace norvi
