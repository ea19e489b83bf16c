#pragma once

#include "FakeSendLog.h"
#include "GatewaySimulator.h"
#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/OpLog.h"
#include "shared/Progress.h"
#include "workers/JobOwner.h"
#include "workers/JobStarter.h"
#include "workers/SendThd.h"
#include "workers/UiThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>
#include <memory>

namespace norvi::test {

// Stands in for the progress window: records every posted state and ends a waiting loop at an end state.
class ProgressRecorder : public QObject {
public:
    QList<int> states;
    int steps(int state) const { return int(states.count(state)); }
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
        states.append(static_cast<ShowProcessEvent*>(e)->state());
        return true;
    }
};

// Stands in for the window that started the job.
class TestOwner : public JobOwner {
public:
    bool sendDialog = true;
    SendSchedule schedule;
    int closeCalls = 0;
    int scheduleReads = 0;
    QList<QPair<QByteArray, QByteArray>> boxes; // (caption, text)
    int offThreadCalls = 0;

    bool isSendDialog() const override {
        note();
        return sendDialog;
    }
    SendSchedule sendSchedule() const override {
        note();
        ++const_cast<TestOwner*>(this)->scheduleReads;
        return schedule;
    }
    void closeForm() override {
        note();
        ++closeCalls;
    }
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override {
        note();
        boxes.append({msgId, text});
    }

private:
    void note() const {
        if (!UiThread::isCurrent())
            ++const_cast<TestOwner*>(this)->offThreadCalls;
    }
};

// A gateway simulator on a free loopback port, the process-wide state pointed at it and at a temporary
// start folder, and the recorders a worker reports to.
class WorkerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        StartDir = m_dir.path();
        std::memset(&Config, 0, sizeof(Config));
        putField(Config.logFiles, QFile::encodeName(m_dir.path()));
        putField(Config.gwIp, QByteArray("127.0.0.1"));
        putField(Config.gwAccount, QByteArray("demo"));
        putField(Config.gwPasswd, QByteArray("demo"));
        GatewayHost = "127.0.0.1";
        StopFlag = false;
        QueryAll = false;
        {
            std::lock_guard<std::mutex> guard(JobLock);
            WorkerList.clear();
        }
        SendQueue.clear();
        SetProgressTarget(&progress);
        SetMessageAreaSink([this](const QString& line) { lines.append(line); });
        startSimulator(gwsim::SimOptions{});
    }

    void TearDown() override {
        SetProgressTarget(nullptr);
        SetMessageAreaSink(nullptr);
        Clock::reset();
        StopFlag = false;
        QueryAll = false;
        SendQueue.clear();
    }

    void startSimulator(gwsim::SimOptions options) {
        sim.reset();
        options.port = 0;
        sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        Config.gwPort = sim->port();
    }

    // A port on loopback where nothing listens.
    void pointAtClosedPort() {
        const int port = sim->port();
        sim.reset();
        Config.gwPort = port;
    }

    // Starts a worker and waits, pumping events, until it has freed itself. False when it did not end
    // in time or could not start.
    bool runJob(uint8_t mode, SendLogAccess* log, const QByteArray& singleMsgId = QByteArray()) {
        SendThd* worker = nullptr;
        QString error;
        if (!StartWorker(mode, &owner, log, singleMsgId, &error, &worker)) {
            ADD_FAILURE() << "not started: " << error.toStdString();
            return false;
        }
        return waitUntilGone(worker);
    }

    static bool waitUntilGone(SendThd* worker, int timeoutMs = 45000) {
        QPointer<SendThd> alive(worker);
        if (!alive)
            return true;
        QEventLoop loop;
        QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return alive.isNull();
    }

    // A queued message of `count` segments "part1".."partN" to `msisdn`.
    static sSendContent record(const QByteArray& msisdn, int count = 1, uint8_t kind = KindTyped,
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

    // Message-area lines containing `text` (UTF-8).
    int linesWith(const char* text) const {
        int n = 0;
        for (const QString& l : lines)
            n += l.contains(QString::fromUtf8(text)) ? 1 : 0;
        return n;
    }

    // The requests of `type` that reached the simulator.
    QList<sGwRequest> requestsOf(uint8_t type) const {
        QList<sGwRequest> out;
        for (const sGwRequest& r : sim->requests())
            if (r.msg_type == type)
                out.append(r);
        return out;
    }

    // The parameter strings of a request.
    static QList<QByteArray> params(const sGwRequest& r) {
        QList<QByteArray> out;
        int at = 0;
        while (at < r.msg_params_len && at < int(sizeof(r.msg_params))) {
            const QByteArray p(r.msg_params + at, qstrnlen(r.msg_params + at, uint(int(sizeof(r.msg_params)) - at)));
            out.append(p);
            at += int(p.size()) + 1;
        }
        return out;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<gwsim::GatewaySimulator> sim;
    ProgressRecorder progress;
    QStringList lines;
    TestOwner owner;
    FakeSendLog log;
};

} // namespace norvi::test
