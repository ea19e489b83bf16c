#pragma once

#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/Config.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobOwner.h"
#include "core/workers/RowJob.h"
#include "core/workers/SendRun.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>
#include <QThread>

#include <functional>
#include <list>
#include <memory>
#include <optional>

namespace norvi {

class JobChannel;
class JobOwner;
class JobRegistry;
class LogStream;
class RunActivity;
class JobRows;
class RowAnswers;
class RowHandOver;

// The worker thread: one per job that talks to the gateway. It creates its own gateway client, runs
// its job once, removes itself from its JobRegistry, tells the progress window (or its owner) that the job
// is over, and frees itself. Windows are reached only through calls run on the user-interface thread.
class SendThd : public QThread {
    Q_OBJECT
public:
    // Created suspended, as every starter wants; resume() starts the run routine. The object frees
    // itself (deleteLater on the user-interface thread) once the run routine has returned.
    // A query or cancellation, which the worker owns from here on, registered in `jobs` (which outlives it).
    SendThd(JobRegistry& jobs, RowJob job, int32_t index);
    // A send run, which the worker owns from here on.
    SendThd(JobRegistry& jobs, SendRun run, int32_t index);
    ~SendThd() override;

    JobOwner* ownerForm() const { return m_ownerForm; }
    const QByteArray& singleMsgId() const { return m_singleMsgId; }
    // A list job walks all rows (true) or the rows selected when it begins.
    bool allRows() const { return m_allRows; }
    // A list job's rows, as they were when it was asked for, in list order.
    const std::vector<JobRow>& rows() const { return m_rows; }
    // A send run's reservation settings; none for a resend, whose messages all go at once.
    const std::optional<SendSchedule>& schedule() const { return m_schedule; }
    // A send run's messages, for its job on the worker's thread; none for the other jobs.
    SendFeed* feed() const { return m_feed.get(); }
    // What a send run says after its counts at the end (SendRun::endNote).
    const QString& endNote() const { return m_endNote; }
    // Where the job's rows (a send run) or answers (a list job) go on the user-interface thread; the worker
    // wraps them so that every call runs there. Not needed by a single query or cancellation.
    void setSendLog(JobRows* rows, RowAnswers* answers = nullptr);
    // Where a send job records each row before the send log sees it (set after setSendLog).
    void setJournal(LogStream* journal);

    void resume() { start(); }

    // "傳送執行緒1(0000ABCD)" and its siblings, Big5.
    static QByteArray formatThreadName(WorkerMode mode, int32_t index, quint32 threadId);

    // For the jobs, on the worker's own thread.
    WorkerMode jobMode() const { return mode; }
    QByteArray name() const;
    SMSendNorviGw& gateway() { return *client; }
    RowHandOver* sendLog() { return m_sendLog.get(); }
    // What the job is doing now, as the progress window and the command line read it.
    RunActivity& activity() { return m_activity; }
    // How the job's news and questions reach the user-interface thread.
    const JobChannel& channel() const;
    // The user pressed 中斷, or the thread was asked to end: checked between messages, rows and attempts.
    bool stopRequested() const;
    // Asks this worker to stop: the thread's interruption and its StopFlag, which ends the gateway wait in
    // progress at once (asked again, the grace of an answer on its way too). The job then leaves the rows of
    // a stop and reports its end. Any thread.
    void requestStop();
    // The same, but never a second request: a stop already asked for keeps the grace of an answer on its way.
    void requestStopOnce();
    // This job's stop, which norvi-cli's signals reach too (StopReach) while the worker exists.
    const StopFlag& stop() const { return *m_stop; }
    // After `failures` transport failures in a row: whether the owner wants the run to go on (asked on
    // the user-interface thread; false without an owner, once the application is closing, or when a stop
    // comes before the answer).
    bool askToContinue(int failures);
    // The job stops: the run is marked stopped, and the reason goes on record: the owner's choice to give up
    // after `failuresInRow` transport failures (`gaveUp`), a refused login's `reason`, or else "作業已中斷".
    void reportStop(bool gaveUp, int failuresInRow, const QByteArray& reason);
    // A line for the record: the message area (on the user-interface thread, waiting) and the
    // operation log. Big5; a line longer than logLine is cut at a character boundary.
    void reportLine(const QByteArray& line);
    // The same for a line about one row (a refusal, an answer that is not one): queued behind the rows before
    // it and shown with the lines of its batch, without waiting for the window. A line after it, a question or
    // the run's end finds it shown.
    void reportRowLine(const QByteArray& line);

protected:
    void run() override;

private:
    // The channel's run behind the send-log writes this worker handed over before.
    bool runOnUiThread(const std::function<void()>& routine);
    void setUpClient();
    void runJob();
    void announceEnd();

    // The worker's fields as the system names them; what was added beside them is m_...
    int32_t index;
    JobRegistry& m_jobs;
    const std::shared_ptr<const JobChannel> m_channel;
    RunActivity& m_activity;
    const GatewayTarget m_gateway;
    JobOwner* const m_ownerForm;
    const QByteArray m_singleMsgId;
    const std::optional<SendSchedule> m_schedule;
    const std::shared_ptr<SendFeed> m_feed;
    const QString m_endNote;
    const bool m_allRows = false;
    const std::vector<JobRow> m_rows;
    char logLine[1024] = {};
    char threadName[500] = {};
    WorkerMode mode;
    std::unique_ptr<SMSendNorviGw> client;
    // The job's own stop; a question's routine on its way keeps it alive.
    const std::shared_ptr<const StopFlag> m_stop = std::make_shared<StopFlag>();
    const StopReach m_reach{*m_stop};
    std::unique_ptr<RowHandOver> m_sendLog;
    LogStream* m_journal = nullptr; // where a send run's rows are recorded, with its plan beside it
};

// The id of the calling thread as the operating system numbers it, for the worker's name.
quint32 CurrentThreadNumber();

// Cuts Big5 text to at most `maxBytes` without splitting a two-byte character.
QByteArray CutBig5(const QByteArray& text, int maxBytes);

} // namespace norvi
