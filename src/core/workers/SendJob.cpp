#include "core/workers/SendJob.h"

#include "core/compose/SendFeed.h"
#include "core/gateway/ResultCodes.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/workers/SendThd.h"
#include "core/workers/UiThread.h"
#include "core/workers/UiThreadSendLog.h"

#include <algorithm>

namespace norvi {

namespace {
constexpr int kMaxAttempts = 2;
} // namespace

bool SendJob::isRetryCode(int code) {
    switch (code) {
    case -1:
    case 3:
    case 11:
    case 31:
    case 40:
    case 41:
        return true;
    default:
        return false;
    }
}

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
    readOwnerSettings();
    // Every record is walked even after a stop: the ones not reached get their not-sent rows.
    QueueWalk queue; // SendQueue, or the records a feed makes as the run goes
    for (const sSendContent* record = nullptr; (record = queue.next());) {
        if (!m_stopped && m_worker.stopRequested())
            noteStop();
        sendRecord(*record);
    }
    m_worker.gateway().Logout();
    m_worker.requestInterruption();
}

void SendJob::noteStop(bool gaveUp) {
    m_stopped = true;
    m_stopTime = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
    JobActivity.markStopped();
    if (gaveUp)
        JobActivity.markGaveUp();
    m_worker.reportLine(m_worker.name() + ' ' +
                        (gaveUp ? StopRows::gaveUpLine(m_failures.inRow()) : big5("作業已中斷")));
}

void SendJob::notSentRow(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment) {
    UiThreadSendLog& log = *m_worker.sendLog();
    const quint64 rowId = log.addRow(name, image, msisdn, m_stopTime);
    log.fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, StopRows::notSentText(), segment);
    JobActivity.countNotReached();
}

void SendJob::readOwnerSettings() {
    // The send dialog stays hidden behind the progress window for the whole run, so its settings
    // cannot change: one read on the user-interface thread serves every segment.
    JobOwner* owner = m_worker.ownerForm;
    if (!owner)
        return;
    UiThread::run([&] {
        m_ownerIsSendDialog = owner->isSendDialog();
        if (m_ownerIsSendDialog)
            m_schedule = owner->sendSchedule();
    });
    if (!m_ownerIsSendDialog)
        m_schedule = SendSchedule{};
}

void SendJob::sendRecord(const sSendContent& record) {
    const QByteArray name = getField(record.name);
    const QByteArray msisdn = getField(record.msisdn);
    const int image = rowImage(record.kind);
    // A damaged count never reads past the six segments of the block.
    const int count = std::clamp(int(record.segmentCount), 0, kSegmentCount);
    if (!m_stopped)
        JobActivity.setSubject(msisdn);
    // No stop check between the segments of one message: a message is sent whole unless a stop ends a
    // wait of the gateway client, which then refuses every later exchange.
    for (int k = 0; k < count; ++k) {
        const QByteArray segment = getField(record.segments[k]);
        if (m_stopped)
            notSentRow(name, image, msisdn, segment);
        else
            sendSegment(name, image, msisdn, segment);
    }
}

void SendJob::sendSegment(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment) {
    PostShowProcess(StateSending);
    const bool scheduled = m_schedule.scheduled;
    const QByteArray sendTime =
        scheduled ? m_schedule.orderTime : Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
    UiThreadSendLog& log = *m_worker.sendLog();
    const quint64 rowId = log.addRow(name, image, msisdn, sendTime);

    const Outcome outcome = attempt(msisdn, segment);
    if (outcome.stop == SMSendNorviGw::StopPoint::BeforeRequest) {
        // The gateway never got this segment: it is not sent, like the rest.
        log.fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, StopRows::notSentText(), segment);
        JobActivity.countNotReached();
        noteStop();
        return;
    }
    if (outcome.stop == SMSendNorviGw::StopPoint::AwaitingReply) {
        // Its fate is unknown, as after a time-out, and like one it counts as failed.
        const QByteArray cut = StopRows::cutSendText();
        m_worker.reportLine(m_worker.name() + ' ' + msisdn + '[' + segment + "] " + big5("傳送失敗: ") +
                            QByteArray::number(StopRows::kCode) + ", " + cut);
        log.fillSendResult(rowId, QByteArray::number(StopRows::kCode), ImageNone, cut, segment);
        JobActivity.countFailed();
        noteStop();
        return;
    }
    const QByteArray result =
        ResultText(outcome.code, outcome.loginFailed ? CodeTable::Login : CodeTable::Send, outcome.message);
    const QByteArray code = QByteArray::number(outcome.code);
    if (outcome.code != 0)
        m_worker.reportLine(m_worker.name() + ' ' + msisdn + '[' + segment + "] " + big5("傳送失敗: ") + code + ", " +
                            result);
    log.fillSendResult(rowId, code, scheduled ? ImageReservation : ImageNone, result, segment);
    if (outcome.code == 0)
        JobActivity.countSucceeded();
    else
        JobActivity.countFailed();
    // A refusal, a login refused or any answer of the gateway ends a run of transport failures.
    if (m_failures.note(outcome.code == -1) && !m_worker.askToContinue(m_failures.inRow()))
        noteStop(true);
}

SendJob::Outcome SendJob::attempt(const QByteArray& msisdn, const QByteArray& segment) {
    SMSendNorviGw& client = m_worker.gateway();
    Outcome out;
    int attempts = 0;
    bool retry = false;
    bool mayHaveGone = false; // an earlier attempt's request went out and got no answer
    do {
        out.loginFailed = false;
        out.message.clear();
        ++attempts;
        // Returns at once while the client is still logged in; a transport failure logged it out, so
        // the second attempt after -1 reconnects.
        if (!client.Login()) {
            out.code = client.lastCode();
            out.message = client.message();
            out.loginFailed = true;
            out.stop = client.lastStop();
            if (attempts == kMaxAttempts) {
                m_worker.reportLine(m_worker.name() + " Login to Server fail, " + QByteArray::number(out.code) + ':' +
                                    out.message);
                break;
            }
            retry = true;
        } else {
            prepareRequest(msisdn, segment);
            out.code = client.Send(out.message);
            out.stop = client.lastStop();
            retry = isRetryCode(out.code);
            if (out.code == -1 && out.stop == SMSendNorviGw::StopPoint::None)
                mayHaveGone = true;
        }
    } while (retry && attempts < kMaxAttempts && out.stop == SMSendNorviGw::StopPoint::None &&
             !m_worker.stopRequested());
    // A stop before the second attempt's request still leaves the first one's fate unknown.
    if (out.stop == SMSendNorviGw::StopPoint::BeforeRequest && mayHaveGone)
        out.stop = SMSendNorviGw::StopPoint::AwaitingReply;
    return out;
}

void SendJob::prepareRequest(const QByteArray& msisdn, const QByteArray& segment) {
    SMSendNorviGw& client = m_worker.gateway();
    client.Clear();
    if (m_ownerIsSendDialog) {
        // The gateway takes the schedule as yymmddhhnnss: the order time without its century.
        if (m_schedule.scheduled)
            client.SetScheduleTime(m_schedule.orderTime.mid(2));
        client.SetLimitTime(m_schedule.limitMinutes);
    }
    client.SetType(requestType(msisdn));
    client.SetCoding(1);
    client.SetMobile(msisdn);
    client.SetContent(int(segment.size()), segment.constData());
}

} // namespace norvi
