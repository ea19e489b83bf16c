#pragma once

#include "GatewaySimulator.h"
#include "core/gateway/GwRecords.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"
#include "support/FakeSendLog.h"
#include "support/GatewayRequests.h"
#include "support/RawTcpServer.h"
#include "support/StartFolder.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>
#include <memory>

namespace norvi::test {

// Stands in for the progress window: records every posted state.
class ProgressRecorder : public QObject {
public:
    QList<int> states;
    QList<int> textOnly; // step states posted with no step: they only change the status text
    int steps(int state) const { return int(states.count(state)); }
    QList<RunOutcome> outcomes; // of the end states, in order
    QList<int> endStates() const {
        QList<int> out;
        for (int s : states)
            if (IsEndState(s))
                out.append(s);
        return out;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::Type(WM_SHOWPROCESS))
            return QObject::event(e);
        // Steps that travel together count one each, as the progress window counts them.
        const ProgressReport& shown = static_cast<ShowProcessEvent*>(e)->report();
        for (int i = 0; i < (IsStepState(shown.state) ? shown.steps : 1); ++i)
            states.append(shown.state);
        if (IsStepState(shown.state) && shown.steps == 0)
            textOnly.append(shown.state);
        if (IsEndState(shown.state))
            outcomes.append(shown.counts);
        return true;
    }
};

// Stands in for the window that started the job; counts calls made off the user-interface thread.
class TestOwner : public JobOwner {
public:
    int closeCalls = 0;
    QList<QPair<QByteArray, QByteArray>> boxes; // (caption, text)
    std::function<void()> whileBoxShown;
    mutable int offThreadCalls = 0;
    // What continueAfterTransportFailures answers, in order (no more answers: give up), and what it was
    // asked: the failure counts.
    QList<bool> continueAnswers;
    QList<int> continueAsked;

    void closeForm() override { note(), ++closeCalls; }
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override {
        note();
        boxes.append({msgId, text});
        if (whileBoxShown)
            whileBoxShown();
    }

    bool continueAfterTransportFailures(int failures, WorkerMode) override {
        note();
        continueAsked.append(failures);
        return continueAnswers.isEmpty() ? false : continueAnswers.takeFirst();
    }

private:
    void note() const { offThreadCalls += UiThread::isCurrent() ? 0 : 1; }
};

// A gateway simulator on a free loopback port, the process-wide state pointed at it and at a temporary
// start folder, and recorders for what a worker reports.
class WorkerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        startSimulator();
        ASSERT_TRUE(m_dir.writeConfig({QFile::encodeName(m_dir.path()), "127.0.0.1", sim->port(), "demo", "demo"}));
        jobs.channel().setProgressTarget(&progress);
        SetMessageAreaSink([this](const QString& line) { lines.append(line); });
    }

    void startSimulator() {
        gwsim::SimOptions options;
        options.port = 0;
        sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        m_dir.config().edit([this](sConfig& record) { record.gwPort = sim->port(); });
    }
    // Where the fixture's jobs log in: the simulator, with the configuration as it stands.
    GatewayTarget gateway() const {
        GatewayTarget target = m_dir.gateway();
        target.replyWaitSeconds = replyWaitSeconds;
        return target;
    }
    // Leaves the configured port with nobody listening.
    void stopSimulator() { gone = StopAndHoldPort(sim); }

    // Starts a send run of (a copy of) SendQueue with `schedule`, owned by `owner`.
    bool startSend(JobRows* sendLog, SendThd** worker, QString* error) {
        const bool started =
            StartSendWorker(jobs, SendRun::ofQueue(SendQueue, gateway(), &owner, schedule), sendLog, error, worker);
        running = *worker;
        return started;
    }
    // The running job stops at its next check, the exchange in flight left to finish (its flag alone, as a row
    // that cannot be written stops it). On the user-interface thread, while runJob waits.
    void stopAtNextCheck() {
        if (running)
            running->requestInterruption();
    }
    // Starts a worker (a send run as startSend does) and pumps events until it has freed itself; false when it did not.
    bool runJob(WorkerMode mode, JobRows* sendLog, const QByteArray& singleMsgId = QByteArray()) {
        SendThd* worker = nullptr;
        QString error;
        // A list job reads its rows from the log and answers into it, as the windows start one.
        auto* read = dynamic_cast<LogRows*>(sendLog);
        auto* answers = dynamic_cast<RowAnswers*>(sendLog);
        const bool started =
            mode == WorkerMode::Send ? startSend(sendLog, &worker, &error)
            : !singleMsgId.isEmpty() || !sendLog
                ? StartWorker(jobs, RowJob{mode, gateway(), &owner, singleMsgId, QueryAll, {}}, nullptr, &error,
                              &worker)
                : StartRowJob(jobs, gateway(), mode, QueryAll, &owner, read, answers, nullptr, &error, &worker);
        running = worker;
        if (!started) {
            ADD_FAILURE() << "not started: " << error.toStdString();
            return false;
        }
        return waitUntilGone(worker);
    }
    static bool waitUntilGone(SendThd* worker) {
        QPointer<SendThd> alive(worker);
        if (!alive)
            return true;
        QEventLoop loop;
        QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(45000, &loop, &QEventLoop::quit);
        loop.exec();
        return alive.isNull();
    }

    // A queued message of `count` segments "part1".."partN".
    sSendContent record(const QByteArray& msisdn, int count = 1, uint8_t kind = KindTyped,
                        const QByteArray& name = QByteArray()) {
        sSendContent r;
        std::memset(&r, 0, sizeof(r));
        r.seq = int32_t(SendQueue.size());
        r.kind = kind;
        putCString(r.name, name);
        putCString(r.msisdn, msisdn);
        for (int k = 0; k < count; ++k)
            putCString(r.segments[k], "part" + QByteArray::number(k + 1));
        r.segmentCount = count;
        return r;
    }

    int linesWith(const QByteArray& utf8) const { return int(lines.filter(QString::fromUtf8(utf8)).size()); }
    QByteArray cell(int row, int column) const { return log.rows.at(row).cells[column]; }
    // One column of the send log from top to bottom, so a run's rows are checked in one comparison.
    QList<QByteArray> column(int col) const {
        QList<QByteArray> out;
        for (const FakeSendLog::Row& row : log.rows)
            out.append(row.cells[col]);
        return out;
    }

    QList<sGwRequest> requestsOf(uint8_t type) const {
        QList<sGwRequest> out;
        for (const sGwRequest& r : sim->requests())
            if (r.msg_type == type)
                out.append(r);
        return out;
    }
    static QList<QByteArray> params(const sGwRequest& r) { return requestParams(r); }

    StartFolder m_dir;
    QPointer<SendThd> running; // the worker runJob or startSend started last
    std::unique_ptr<gwsim::GatewaySimulator> sim;
    std::unique_ptr<ClosedPort> gone; // the port of a simulator stopped, kept closed
    ProgressRecorder progress;
    QStringList lines;
    TestOwner owner;
    FakeSendLog log;
    // The next send run's messages and settings, as the send dialog would hand them over.
    std::list<sSendContent> SendQueue;
    std::optional<SendSchedule> schedule = SendSchedule{};
    // Whether the next list job walks all rows or the selection.
    bool QueryAll = false;
    // How long the fixture's jobs wait for each gateway reply.
    int replyWaitSeconds = kDefaultReplyWaitSeconds;
    // The jobs of the program under test. Last, so it goes first: a worker a failed case left running is
    // stopped and waited for while everything it writes into is still there.
    JobRegistry jobs;
};

} // namespace norvi::test
