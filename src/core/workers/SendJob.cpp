#include "core/workers/SendJob.h"

#include "core/gateway/ResultCodes.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/workers/JobChannel.h"
#include "core/workers/RowHandOver.h"
#include "core/workers/SendThd.h"
#include "core/workers/UiThread.h"

#include <algorithm>

namespace norvi {

uint8_t SendJob::requestType(const QByteArray& msisdn) {
    return msisdn.size() > 10 || msisdn.startsWith('+') ? GwSendInternational : GwSendDomestic;
}

int SendJob::rowImage(uint8_t kind) {
    switch (kind) {
    case KindAddressBook:
        return ImageMember;
    case KindListRow:
        return ImageListRow;
    default:
        return ImageTyped;
    }
}

void SendJob::run() {
    if (!m_worker.endNote().isEmpty())
        m_worker.activity().setResults(m_worker.endNote());
    // The count is done: from here on the run waits for the gateway, whose first answer may take a while. A
    // sending report of no step says so without counting one.
    m_worker.channel().postShowProcess(ReportOf(StateSending, {}, 0));
    // Every record is walked even after a stop: the ones not reached get their not-sent rows.
    SendFeed* feed = m_worker.feed();
    for (const sSendContent* record = nullptr; feed && (record = feed->next());) {
        if (!m_stopped && m_worker.stopRequested())
            noteStop();
        sendRecord(*record);
    }
    m_worker.gateway().Logout();
    m_worker.requestInterruption();
}

void SendJob::noteStop(bool gaveUp) {
    m_stopped = true;
    m_stopTime = Clock::rowStamp();
    m_worker.reportStop(gaveUp, m_failures.inRow(), m_stopReason);
}

void SendJob::notSentRow(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment) {
    RowHandOver& log = *m_worker.sendLog();
    const quint64 rowId = log.addRow(name, image, msisdn, m_stopTime);
    log.fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, StopRows::notSentText(m_stopReason),
                       segment);
    m_worker.activity().countNotReached();
}

void SendJob::uncertainRow(quint64 rowId, const QByteArray& msisdn, const QByteArray& segment, const QByteArray& text) {
    m_worker.reportRowLine(m_worker.name() + ' ' + msisdn + '[' + segment + "] " + big5("傳送結果不明: ") +
                           QByteArray::number(StopRows::kCode) + ", " + text);
    m_worker.sendLog()->fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, text, segment);
    m_worker.activity().countUncertain();
}

void SendJob::sendRecord(const sSendContent& record) {
    const QByteArray name = getField(record.name);
    const QByteArray msisdn = getField(record.msisdn);
    const int image = rowImage(record.kind);
    // A damaged count never reads past the six segments of the block.
    const int count = std::clamp(int(record.segmentCount), 0, kSegmentCount);
    // No stop check between the segments of one message: a message is sent whole unless a stop ends a
    // wait of the gateway client, which then refuses every later exchange.
    for (int k = 0; k < count; ++k) {
        const QByteArray segment = getField(record.segments[k]);
        if (m_stopped) {
            notSentRow(name, image, msisdn, segment);
            continue;
        }
        // A wait names the short message it is for by the number the progress will give it once done.
        m_worker.activity().setSubject(msisdn, m_steps + 1);
        sendSegment(name, image, msisdn, segment);
    }
}

// A step counts a message that is done with, so the bar reads "0 / N" while the first answer is awaited;
// a message a stop kept from going out is not done. The step follows its row's fill to the user-interface
// thread, so a row costs one hand-over.
void SendJob::sendSegment(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment) {
    if (!sendSegmentRow(name, image, msisdn, segment))
        return;
    ++m_steps;
    m_worker.sendLog()->stepAfterFill(StateSending);
}

bool SendJob::sendSegmentRow(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment) {
    const std::optional<SendSchedule>& schedule = m_worker.schedule();
    const bool scheduled = schedule && schedule->scheduled;
    const QByteArray sendTime = scheduled ? schedule->orderTime : Clock::rowStamp();
    RowHandOver& log = *m_worker.sendLog();
    const quint64 rowId = log.addRow(name, image, msisdn, sendTime);
    log.recordBeforeRequest(rowId, segment);
    // A message whose row cannot be recorded first is not sent: nothing would say it went.
    Outcome outcome;
    if (log.recordFailed())
        outcome.stop = SMSendNorviGw::StopPoint::BeforeRequest;
    else
        outcome = attempt(msisdn, segment);
    if (outcome.stop == SMSendNorviGw::StopPoint::BeforeRequest) {
        // The gateway never got this segment: it is not sent, like the rest.
        log.fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, StopRows::notSentText(), segment);
        m_worker.activity().countNotReached();
        noteStop();
        return false;
    }
    if (outcome.stop == SMSendNorviGw::StopPoint::AwaitingReply) {
        // Even the stop's grace brought no answer: the message may have gone.
        uncertainRow(rowId, msisdn, segment, StopRows::cutSendText());
        noteStop();
        return true;
    }
    if (outcome.code == -1 && outcome.written) {
        // A reply that never came or a connection dropped after the request: sending again could give the
        // recipient the message twice, so the row says its fate is unknown and the user decides.
        uncertainRow(rowId, msisdn, segment, StopRows::uncertainText(outcome.message));
        if (m_failures.note(true) && !m_worker.askToContinue(m_failures.inRow()))
            noteStop(true);
        return true;
    }
    QByteArray msgId = outcome.message;
    if (const QByteArray why = distrust(outcome); !why.isEmpty()) {
        uncertainRow(rowId, msisdn, segment, StopRows::uncertainText(why));
        if (m_failures.note(true) && !m_worker.askToContinue(m_failures.inRow()))
            noteStop(true);
        return true;
    }
    const QByteArray result = ResultText(outcome.code, outcome.loginFailed ? CodeTable::Login : CodeTable::Send, msgId);
    // Most rows say "0": that cell shares one text instead of each row keeping a copy of its own.
    const QByteArray code = outcome.code == 0 ? QByteArrayLiteral("0") : QByteArray::number(outcome.code);
    if (outcome.code != 0)
        m_worker.reportRowLine(m_worker.name() + ' ' + msisdn + '[' + segment + "] " + big5("傳送失敗: ") + code +
                               ", " + result);
    log.fillSendResult(rowId, code, scheduled ? ImageReservation : ImageNone, result, segment);
    if (outcome.code == 0)
        m_worker.activity().countSucceeded();
    else
        m_worker.activity().countFailed();
    if (outcome.loginRefused) {
        // Every later login would be refused the same way, and repeated refusals can lock the account.
        m_stopReason = result;
        m_worker.activity().setStopReason(fromBig5(result));
        noteStop();
        return true;
    }
    // A refusal, a login refused or any answer of the gateway ends a run of transport failures.
    if (m_failures.note(outcome.code == -1) && !m_worker.askToContinue(m_failures.inRow()))
        noteStop(true);
    return true;
}

QByteArray SendJob::distrust(const Outcome& outcome) {
    if (outcome.loginFailed)
        return {};
    // A refusal read from a stream out of step may be a copy of another message's: this one may have gone.
    if (outcome.untrusted)
        return SMSendNorviGw::OutOfStepText();
    if (outcome.code != 0)
        return {};
    const QByteArray& msgId = outcome.message;
    // "Accepted" without a MsgId is no answer the gateway gives: a stream out of step or garbage.
    if (msgId.isEmpty())
        return big5("閘道回覆沒有MsgId");
    // A MsgId no query can carry is none the gateway hands out; a text that fills the whole reply without
    // its terminator is garbage too.
    if (msgId.size() > SMSendNorviGw::kMsgIdBytes) {
        m_worker.gateway().Logout();
        return big5("閘道回覆的MsgId超過 20 個字元");
    }
    // The gateway gives every message its own MsgId: one seen before is a late copy of an earlier reply, and
    // this message's own answer is still to come on a connection that is out of step. One not seen before is
    // kept for the copies of this answer.
    if (!m_msgIds.insert(msgId)) {
        m_worker.gateway().Logout();
        return big5("閘道回覆重複的MsgId");
    }
    return {};
}

SendJob::Outcome SendJob::attempt(const QByteArray& msisdn, const QByteArray& segment) {
    Outcome out = GatewayExchange::run(
        m_worker.gateway(), [&](SMSendNorviGw&) { prepareRequest(msisdn, segment); },
        // Only a request that surely never reached the gateway, or one it refused, goes again.
        [](const Outcome& o) { return o.code == -1 ? !o.written : SendRetryCodes.contains(o.code) && !o.untrusted; },
        [this] { return m_worker.stopRequested(); });
    if (out.reportLogin)
        m_worker.reportLine(m_worker.name() + " Login to Server fail, " + QByteArray::number(out.code) + ':' +
                            out.message);
    return out;
}

void SendJob::prepareRequest(const QByteArray& msisdn, const QByteArray& segment) {
    SMSendNorviGw& client = m_worker.gateway();
    client.Clear();
    if (const std::optional<SendSchedule>& schedule = m_worker.schedule()) {
        // The gateway takes the schedule as yymmddhhnnss: the order time without its century.
        if (schedule->scheduled)
            client.SetScheduleTime(schedule->orderTime.mid(2));
        client.SetLimitTime(schedule->limitMinutes);
    }
    client.SetType(requestType(msisdn));
    client.SetCoding(1);
    client.SetMobile(msisdn);
    client.SetContent(int(segment.size()), segment.constData());
}

} // namespace norvi
