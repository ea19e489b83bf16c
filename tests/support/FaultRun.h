#pragma once

#include "GatewaySimulator.h"
#include "core/ProcessState.h"
#include "core/sendlog/FileOrderJobRows.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/RowCodes.h"
#include "core/workers/SendThd.h"
#include "support/StartFolder.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <cstring>
#include <memory>

// A send run of many one-segment messages through the real worker against the in-process simulator
// under a fault plan, and what must hold after it: every segment has exactly one row with a code,
// the accepted messages have distinct MsgIds and are exactly the ones the gateway took, the run ends,
// and no exchange waits longer than the reply wait. Used by the fault test and by the fault benchmark.
namespace norvi::test {

struct FaultRunResult {
    bool ended = false;
    double seconds = 0;
    std::vector<SendLogRow> rows;
    gwsim::SimCounts counts;
    // What the checks found, one line each; empty when everything held.
    QStringList broken;
    int accepted = 0; // rows with code 0
    int failed = 0;   // rows with another code
};

// Stands in for the window that started a run; it gives up after transport failures.
class PlainOwner : public JobOwner {
public:
    void closeForm() override {}
    void showResultBox(const QByteArray&, const QByteArray&) override {}
};

// Swallows the progress steps, as the progress window would.
class StepSink : public QObject {
protected:
    bool event(QEvent* e) override { return e->type() == QEvent::Type(WM_SHOWPROCESS) || QObject::event(e); }
};

// The n-th number of a run: ten digits, unique per segment, so a row names its segment.
inline QByteArray faultRunNumber(int n) {
    return "09" + QByteArray::number(10000000 + n);
}

// `segments` typed one-segment messages: the n-th to faultRunNumber(n), its text `text` followed by n.
inline std::list<sSendContent> queueOneSegmentMessages(int segments, const QByteArray& text) {
    std::list<sSendContent> SendQueue;
    for (int i = 0; i < segments; ++i) {
        sSendContent r;
        std::memset(&r, 0, sizeof(r));
        r.seq = i;
        r.kind = KindTyped;
        putCString(r.msisdn, faultRunNumber(i));
        putCString(r.segments[0], text + QByteArray::number(i));
        r.segmentCount = 1;
        SendQueue.push_back(r);
    }
    return SendQueue;
}

inline void checkFaultRun(int segments, FaultRunResult& r, int replyWaitSeconds) {
    if (!r.ended) {
        r.broken << QStringLiteral("the run did not end");
        return;
    }
    if (int(r.rows.size()) != segments)
        r.broken << QStringLiteral("%1 rows for %2 segments").arg(r.rows.size()).arg(segments);
    QSet<QByteArray> msgIds;
    for (int i = 0; i < int(r.rows.size()); ++i) {
        const SendLogRow& row = r.rows[std::size_t(i)];
        if (row.texts[ColMobile] != faultRunNumber(i) && r.broken.size() < 20)
            r.broken << QStringLiteral("row %1 is for %2").arg(i).arg(QString::fromLatin1(row.texts[ColMobile]));
        int code = 0;
        if (!RowCodes::parse(row.texts[ColSendCode], &code)) {
            if (r.broken.size() < 20)
                r.broken << QStringLiteral("row %1 has no code").arg(i);
            continue;
        }
        if (code != 0) {
            ++r.failed;
            continue;
        }
        ++r.accepted;
        QByteArray msgId;
        if (!RowCodes::msgIdFromResult(row.texts[ColSendResult], &msgId) || msgId.isEmpty())
            r.broken << QStringLiteral("row %1 was accepted without a MsgId").arg(i);
        else if (msgIds.contains(msgId))
            r.broken << QStringLiteral("row %1 repeats MsgId %2").arg(i).arg(QString::fromLatin1(msgId));
        msgIds.insert(msgId);
    }
    if (r.accepted != r.counts.accepted)
        r.broken << QStringLiteral("%1 rows accepted, the gateway took %2").arg(r.accepted).arg(r.counts.accepted);
    // A little for the machine: the wait itself is counted in whole seconds from the request sent.
    const qint64 bound = qint64(replyWaitSeconds) * 1000 + 500;
    if (r.counts.longestQuietMs > bound)
        r.broken << QStringLiteral("an exchange waited %1 ms, the reply wait is %2 s")
                        .arg(r.counts.longestQuietMs)
                        .arg(replyWaitSeconds);
}

// Runs `segments` messages through a send worker against a simulator with `plan`. Needs a
// QCoreApplication; sets the process-wide configuration and progress target, and leaves them pointing at
// nothing again. The run has no schedule, as a resend.
inline FaultRunResult runSendUnderFaults(int segments, const gwsim::FaultPlan& plan, int replyWaitSeconds,
                                         int timeoutSeconds) {
    FaultRunResult result;
    StartFolder dir;
    gwsim::SimOptions options;
    options.port = 0;
    options.plan = plan;
    options.keepRequests = 0;
    options.maxConnections = 4;
    gwsim::GatewaySimulator sim(options);
    if (!dir.isValid() || !sim.start()) {
        result.broken << QStringLiteral("no simulator");
        return result;
    }
    if (!dir.writeConfig({QFile::encodeName(dir.path()), "127.0.0.1", sim.port(), "demo", "demo"})) {
        result.broken << QStringLiteral("no configuration");
        return result;
    }
    StepSink steps;
    std::list<sSendContent> queue = queueOneSegmentMessages(segments, "fault run ");

    FileOrderJobRows log;
    PlainOwner owner;
    JobRegistry jobs;
    jobs.channel().setProgressTarget(&steps);
    GatewayTarget gateway = dir.gateway();
    gateway.replyWaitSeconds = replyWaitSeconds;
    QElapsedTimer timer;
    timer.start();
    SendThd* worker = nullptr;
    QString error;
    if (StartSendWorker(jobs, SendRun::ofQueue(std::move(queue), gateway, &owner), &log, &error, &worker)) {
        QPointer<SendThd> alive(worker);
        QEventLoop loop;
        QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutSeconds * 1000, &loop, &QEventLoop::quit);
        if (alive)
            loop.exec();
        result.ended = alive.isNull();
    } else {
        result.broken << error;
    }
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!result.ended) {
        // The worker still runs: stop it before the simulator and the log it uses go away.
        if (worker) {
            QPointer<SendThd> alive(worker);
            if (alive)
                worker->requestStop();
            QEventLoop loop;
            QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
            QTimer::singleShot(4 * replyWaitSeconds * 1000 + 5000, &loop, &QEventLoop::quit);
            if (alive)
                loop.exec();
        }
    }
    result.rows = log.rows();
    result.counts = sim.counts();
    sim.stop();
    ResetProcessState();
    checkFaultRun(segments, result, replyWaitSeconds);
    return result;
}

// The plan of the long fault run: a dropped connection every 997 requests, code 11 on every 13th send,
// every 101st reply in two parts, and a stretch of three requests without a reply halfway through.
inline gwsim::FaultPlan standardFaultPlan(int segments) {
    gwsim::FaultPlan plan;
    plan.dropEvery = 997;
    plan.failEvery = 13;
    plan.failCode = 11;
    plan.splitEvery = 101;
    plan.splitPauseMs = 5;
    plan.silentFrom = segments / 2;
    plan.silentCount = 3;
    return plan;
}

} // namespace norvi::test
