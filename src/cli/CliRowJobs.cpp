#include "cli/CliRowJobs.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"
#include "cli/CliRunLog.h"
#include "cli/CliSetup.h"

#include "core/compose/OptOutList.h"
#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SendSettings.h"
#include "core/shared/StopSignal.h"
#include "core/shared/SystemErrorText.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/MessageHistory.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <climits>

#include <poll.h>

namespace norvi::cli {

namespace {

// The send log of a row command as it is also written to the run's log file: a query's or cancellation's
// answer rewrites its row there at once (a resend's rows are appended by the worker itself). A row that
// cannot be written stops the job.
class StreamedRowLog : public FileOrderJobRows {
public:
    void setStream(LogStream* stream) { m_stream = stream; }
    // The jobs a row that cannot be written stops.
    void setJobs(JobRegistry* jobs) { m_jobs = jobs; }
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) override {
        FileOrderJobRows::answered(rowId, code, result);
        const int row = positionOf(rowId);
        if (!m_stream || row < 0)
            return;
        if (!m_stream->rewrite(row, rows()[std::size_t(row)]) && m_jobs)
            m_jobs->requestStop();
    }

private:
    LogStream* m_stream = nullptr;
    JobRegistry* m_jobs = nullptr;
};

// The send log of a row command, loaded in file order. A file that holds fewer records than it
// announces, or bytes after them, is read as far as its records go, but it is only written to another
// file: replacing it would throw away the bytes that could not be read.
bool loadRowLog(const Arguments& a, const Config& config, FileOrderJobRows* log, QString* writeTo, CliRunLog* runLog,
                Console& console) {
    const QString logFolder = LogFolder(config);
    const QString& startDir = config.StartDir();
    QString path;
    if (!logArgument(a, &path, console))
        return false;
    const bool toOther = a.values.contains(QStringLiteral("--out"));
    *writeTo = toOther ? a.value(QStringLiteral("--out")) : path;
    // A file named by --out is refused before anything is read; the log itself, written back, once it was read
    // as a log, so that what is wrong with it as a log is what is said.
    const auto refusedOutput = [&] {
        const QString refusal = OutputRefusal(*writeTo, startDir);
        if (!refusal.isEmpty())
            console.err(refusal);
        return !refusal.isEmpty();
    };
    if (toOther && refusedOutput())
        return false;
    // The file written back is locked before the rows are read: another job on it waits for this one,
    // and neither writes back rows that miss the other's.
    if (!runLog->lockTarget(*writeTo)) {
        console.err(runLog->error());
        return false;
    }
    if (RefuseWhileUnfinished({path, *writeTo}, console))
        return false;
    NoteUnfinishedLogs({logFolder, QFileInfo(path).absolutePath(), QFileInfo(*writeTo).absolutePath()}, console);
    QString damage;
    QString reason;
    if (!log->load(path, &damage, &reason)) {
        console.err(damage.isEmpty() ? WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + path, reason) : damage);
        return false;
    }
    if (!damage.isEmpty()) {
        console.err(damage);
        LogFileReader reader(path);
        if (reader.open() && reader.unfinished())
            console.err(FinishHint(path));
        // By the file itself, not by its name: a link to the cut file, or another way of writing its
        // path, must not get it replaced.
        if (SameFile(*writeTo, path)) {
            console.err(QStringLiteral("不完整或已損壞的傳送紀錄檔不會被覆寫，請以 --out 指定另一個檔案。"));
            return false;
        }
    }
    if (!toOther && refusedOutput())
        return false;
    if (a.values.contains(QStringLiteral("--rows"))) {
        QVector<int> rows;
        QString error;
        if (!ParseRowList(a.value(QStringLiteral("--rows")), log->rowCount(), &rows, &error)) {
            console.err(error);
            return false;
        }
        log->select(rows);
    }
    return true;
}

// `withRows` false: a follow-up prints its rows once, at its end, and only each round's summary here.
int finishRowJob(const FileOrderJobRows& log, CliRunLog& runLog, const CliProgress& progress, Console& console,
                 bool withRows = true) {
    const bool saved = runLog.finish();
    if (withRows)
        printRows(log.rows(), console);
    printSummary(progress, console);
    if (!saved) {
        console.err(WithReason(saveFailedText(runLog.target()), runLog.error()));
        return ExitNotSaved;
    }
    return ExitOk;
}

// The run's log file, with the rows the job starts from, before anything is sent.
bool startRunLog(CliRunLog& runLog, const QString& writeTo, const FileOrderJobRows& log, Console& console) {
    if (runLog.start(writeTo, log.rows()))
        return true;
    console.err(runLog.error());
    console.err(QStringLiteral("無法記錄作業結果，作業沒有開始。"));
    return false;
}

// What every job on a log file does once its rows are known: resolve the gateway, hear a Ctrl+C that came
// before the start, start the log file. False, with the exit code, when the job must not start.
bool readyToStart(const Config& config, CliRunLog& runLog, const QString& writeTo, const FileOrderJobRows& log,
                  GatewayTarget* gateway, int* exitCode, Console& console) {
    if (!resolveGateway(config, gateway, console))
        *exitCode = stoppedOrRefused(console);
    else if (InterruptedBeforeStart(console))
        *exitCode = ExitFailed;
    else if (!startRunLog(runLog, writeTo, log, console))
        *exitCode = ExitNotSaved;
    else
        return true;
    return false;
}

// One round of a follow-up: the rows it watches (all rows, or those of --rows), and what the round left.
struct FollowRound {
    qint64 stopAfterMs = -1; // the follow-up's time runs out this long after the round starts (-1: never)
    QVector<int> watched;
    bool asked = false;           // some row was unsettled, so the gateway was asked
    bool endsFollow = false;      // stopped by the user or a refused login: no later round can do better
    bool timeUp = false;          // stopped because the follow-up's time ran out
    std::vector<SendLogRow> rows; // as written
    DeliveryCounts counts;        // the watched rows' messages, each by its latest row
};

// A follow-up asks only about the unsettled rows among those it watches: a selected-rows job over them.
bool selectUnsettled(FileOrderJobRows& log, bool allRows, FollowRound* round) {
    round->watched = allRows ? QVector<int>() : log.selectedRows();
    for (int row = 0; allRows && row < log.rowCount(); ++row)
        round->watched.append(row);
    QVector<int> unsettled;
    for (int row : round->watched)
        if (IsUnsettled(DeliveryCellsOf(log.rows()[std::size_t(row)])))
            unsettled.append(row);
    log.select(unsettled);
    return !unsettled.isEmpty();
}

// A list query or cancellation over the log `a` names; with `round`, one round of a follow-up.
int rowJob(const Arguments& a, const Config& config, Console& console, WorkerMode mode, FollowRound* round = nullptr) {
    StreamedRowLog log;
    CliRunLog runLog(LogFolder(config), config.StartDir(), console);
    QString writeTo;
    if (!loadRowLog(a, config, &log, &writeTo, &runLog, console))
        return ExitRefused;
    bool allRows = !a.values.contains(QStringLiteral("--rows"));
    if (allRows && log.rowCount() == 0) {
        console.err(mode == WorkerMode::Query ? QStringLiteral("沒有已發送待查詢的訊息！")
                                              : QStringLiteral("沒有已發送待取消的預約訊息！"));
        return ExitRefused;
    }
    if (round) {
        const bool anyUnsettled = selectUnsettled(log, allRows, round);
        round->rows = log.rows();
        round->counts = CountMessages(log, round->watched);
        if (!anyUnsettled)
            return ExitOk;
        allRows = false;
    }
    GatewayTarget gateway;
    int refused = ExitOk;
    if (!readyToStart(config, runLog, writeTo, log, &gateway, &refused, console))
        return refused;
    log.setStream(&runLog.stream());

    JobRegistry jobs;
    log.setJobs(&jobs);
    CliProgress progress(jobs, console);
    CliOwner owner(console);
    SendThd* worker = nullptr;
    int maximum = 0;
    QString error;
    if (!StartRowJob(jobs, gateway, mode, allRows, &owner, &log, &log, &maximum, &error, &worker)) {
        runLog.abandon();
        console.err(error);
        return ExitRefused;
    }
    PassInterruptToWorker(jobs);
    progress.tracker().start(maximum);
    // A follow-up's --for bounds its rounds too: a round still asking when the time is up is stopped as 中斷
    // stops it, the answer on its way given the stop's grace.
    QTimer timeUp;
    if (round && round->stopAfterMs >= 0) {
        timeUp.setSingleShot(true);
        QObject::connect(&timeUp, &QTimer::timeout, [round, &jobs] {
            round->timeUp = true;
            jobs.requestStop();
        });
        timeUp.start(int(std::min<qint64>(round->stopAfterMs, INT_MAX)));
    }
    waitForEnd(worker, progress);
    timeUp.stop();
    const int code = finishRowJob(log, runLog, progress, console, round == nullptr);
    if (round) {
        round->asked = true;
        round->rows = log.rows();
        round->counts = CountMessages(log, round->watched);
        round->endsFollow =
            Interrupted() || (runStopped(progress) && !progress.tracker().outcome().gaveUp && !round->timeUp);
    }
    // A row that failed or went unasked is no success, however few the rows were.
    const RunOutcome outcome = progress.tracker().outcome();
    const bool allAnswered = outcome.failed == 0 && outcome.notReached == 0 && outcome.uncertain == 0;
    return code == ExitOk && (Interrupted() || runStopped(progress) || !allAnswered) ? ExitFailed : code;
}

// --every and --for of query --follow, in seconds.
constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 3600;
struct FollowTimes {
    qint64 every = 5 * kMinute;
    qint64 limit = 24 * kHour;
};

// Refuses --every and --for that are out of range or come without --follow, before anything is read.
bool readFollowTimes(const Arguments& a, FollowTimes* times, Console& console) {
    const bool follow = a.has(QStringLiteral("--follow"));
    struct Option {
        const char* name;
        QChar plainUnit;
        qint64 maxSeconds;
        const char* range;
        qint64* seconds;
    };
    const Option options[] = {{"--every", u'm', kHour, "1 秒到 60 分鐘之間", &times->every},
                              {"--for", u'h', 72 * kHour, "1 秒到 72 小時之間", &times->limit}};
    for (const Option& o : options) {
        const QString name = QString::fromLatin1(o.name);
        if (!a.values.contains(name))
            continue;
        if (!follow) {
            console.err(QStringLiteral("選項 %1 只能與 --follow 一起使用。").arg(name));
            return false;
        }
        if (!ParseDuration(a.value(name), o.plainUnit, 1, o.maxSeconds, o.seconds)) {
            console.err(QStringLiteral("選項 %1 需要 %2的時間（例如 30s、5m、2h）：%3")
                            .arg(name, QString::fromUtf8(o.range), a.value(name)));
            return false;
        }
    }
    return true;
}

// Sleeps up to `ms`, ending at once on Ctrl+C, SIGTERM or SIGHUP (their handler requests the stop listed
// here). True when the time ran out, false on a stop.
bool waitUnlessStopped(qint64 ms) {
    constexpr qint64 kMaxPollMs = 60'000;
    // A signal from now on raises this stop; one before it is counted by Interrupted().
    StopFlag stop;
    const StopReach reach(stop);
    QElapsedTimer waited;
    waited.start();
    while (!Interrupted()) {
        const qint64 left = ms - waited.elapsed();
        if (left <= 0)
            return true;
        pollfd p{stop.wake().fd(), POLLIN, 0};
        if (::poll(&p, 1, int(std::min<qint64>(left, kMaxPollMs))) > 0)
            return false;
    }
    return false;
}

// query --follow: rounds of the query over the unsettled rows, the log written after each, until none is
// left or --for has passed since the start. A round starts at most every --every.
int followUp(Arguments a, const Config& config, Console& console, const FollowTimes& times) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    for (;;) {
        const qint64 roundStart = sinceStart.elapsed();
        FollowRound round;
        round.stopAfterMs = std::max<qint64>(0, times.limit * 1000 - roundStart);
        const int code = rowJob(a, config, console, WorkerMode::Query, &round);
        // Later rounds read what the first one wrote: the answers it got are not asked for again from the
        // older file, nor lost when a later round gets none.
        if (a.values.contains(QStringLiteral("--out")))
            a.values.insert(QStringLiteral("--log"), a.values.take(QStringLiteral("--out")));
        if (code == ExitRefused || code == ExitNotSaved || round.endsFollow) {
            if (round.asked && code != ExitNotSaved)
                printRows(round.rows, console);
            return code;
        }
        const DeliveryCounts& counts = round.counts;
        int unsettled = 0;
        for (int row : round.watched)
            unsettled += IsUnsettled(DeliveryCellsOf(round.rows[std::size_t(row)])) ? 1 : 0;
        const auto finish = [&](int exitCode, const QString& why) {
            console.clearStatusLine();
            if (!why.isEmpty())
                console.err(why);
            printRows(round.rows, console);
            if (!round.asked)
                console.out(QStringLiteral("沒有需要追蹤的訊息：%1").arg(counts.text()));
            return exitCode;
        };
        if (unsettled == 0)
            return finish(ExitOk, QString());
        const qint64 next = roundStart + times.every * 1000;
        const QString still = QStringLiteral("%1 筆未確定（%2）").arg(unsettled).arg(counts.text());
        if (round.timeUp || next >= times.limit * 1000)
            return finish(ExitFailed, QStringLiteral("追蹤時間已到：仍有 %1。").arg(still));
        const qint64 waitMs = std::max<qint64>(0, next - sinceStart.elapsed());
        const QString line = QStringLiteral("追蹤中：%1，下次 %2")
                                 .arg(still, Clock::now().addMSecs(waitMs).toString(QStringLiteral("HH:mm:ss")));
        if (console.progressBarWanted())
            console.statusLine(line);
        else
            console.err(line);
        if (!waitUnlessStopped(waitMs))
            return finish(ExitFailed, QStringLiteral("追蹤已中斷：仍有 %1。").arg(still));
        console.clearStatusLine();
    }
}

// The code in the first line of the result box: "結果碼：" or "預約取消碼：" followed by the number.
bool codeOfResultBox(const QString& text, int* code) {
    const QString first = text.section(QStringLiteral("\r\n"), 0, 0);
    const qsizetype colon = first.lastIndexOf(QStringLiteral("："));
    bool ok = false;
    *code = first.mid(colon + 1).trimmed().toInt(&ok);
    return colon >= 0 && ok;
}

int singleJob(const Arguments& a, Config& config, Console& console, WorkerMode mode) {
    QByteArray msgId;
    QString msgIdError = QStringLiteral("請輸入MsgId！");
    if (a.positional.size() != 1 || !ParseSingleMsgId(a.positional.first(), &msgId, &msgIdError)) {
        console.err(msgIdError);
        return ExitRefused;
    }
    if (!loadConfiguration(config, console))
        return ExitRefused;
    GatewayTarget gateway;
    if (!resolveGateway(config, &gateway, console))
        return stoppedOrRefused(console);

    if (InterruptedBeforeStart(console))
        return ExitFailed;

    JobRegistry jobs;
    CliOwner owner(console);
    SendThd* worker = nullptr;
    QString error;
    if (!StartWorker(jobs, RowJob{mode, gateway, &owner, msgId, false, {}}, nullptr, &error, &worker)) {
        console.err(error);
        return ExitRefused;
    }
    JobWaiter waiter(worker, [&owner] { return owner.closed(); });
    owner.onChange = [&waiter] { waiter.check(); };
    waiter.wait();
    owner.onChange = nullptr;

    const QString text = fromBig5(owner.resultText());
    int code = -1;
    if (!owner.hasResult() || !codeOfResultBox(text, &code)) {
        console.err(QStringLiteral("作業結束，但沒有收到結果。"));
        return ExitFailed;
    }
    console.out(terminalLines(text));
    return code == 0 ? ExitOk : ExitFailed;
}

} // namespace

int query(const Arguments& a, Config& config, Console& console) {
    FollowTimes times;
    if (!readFollowTimes(a, &times, console) || !loadConfiguration(config, console))
        return ExitRefused;
    return a.has(QStringLiteral("--follow")) ? followUp(a, config, console, times)
                                             : rowJob(a, config, console, WorkerMode::Query);
}

int cancel(const Arguments& a, Config& config, Console& console) {
    if (!loadConfiguration(config, console))
        return ExitRefused;
    return rowJob(a, config, console, WorkerMode::Cancel);
}

namespace {

// A resend inside quiet hours is said, as a send's is, and goes on; refused when the settings ask the command
// line to refuse night runs and --night-ok is not given.
bool refuseNightResend(const Arguments& a, const Config& config, Console& console) {
    QString problem;
    const QuietHours quiet = ReadSendSettings(config.StartDir(), &problem).quiet;
    if (!problem.isEmpty())
        console.err(problem);
    if (!quiet.contains(Clock::now()))
        return false;
    const QString night = ResendNightText(quiet);
    if (quiet.cliRefuses && !a.has(QStringLiteral("--night-ok"))) {
        console.err(night + QStringLiteral("，設定為命令列也拒絕夜間傳送，沒有重發任何簡訊：要照常重發請加上 "
                                           "--night-ok。"));
        return true;
    }
    console.err(night);
    WriteOpLog(big5(night + QStringLiteral("，命令列照常重發")));
    return false;
}

} // namespace

int resend(const Arguments& a, Config& config, Console& console) {
    if (!loadConfiguration(config, console))
        return ExitRefused;
    FileOrderJobRows log;
    CliRunLog runLog(LogFolder(config), config.StartDir(), console);
    QString writeTo;
    if (!loadRowLog(a, config, &log, &writeTo, &runLog, console))
        return ExitRefused;
    int queued = 0;
    QString error;
    QString leftOut;
    // A number on the stop list is never sent again, whatever its row says.
    OptOutList optOut;
    if (!ReadOptOutFile(OptOutPath(config.StartDir()), &optOut, &error)) {
        console.err(error);
        console.err(QStringLiteral("拒收名單無法讀取，沒有重發任何簡訊。"));
        return ExitRefused;
    }
    // A line kept as it was stops nobody: the resend says so, as a send does, rather than pass it by in silence.
    if (optOut.damagedLines() > 0)
        console.err(optOut.damageText());
    const bool includeUncertain = a.has(QStringLiteral("--include-uncertain"));
    const ResendScope scope =
        a.has(QStringLiteral("--delivery-failed")) ? ResendScope::DeliveryFailed : ResendScope::Failed;
    ResendChoice choice = ChooseResendRows(log, scope);
    LeaveOutStoppedRows(choice, log, optOut);
    const int uncertain = int(choice.uncertain.size());
    std::list<sSendContent> SendQueue;
    JobRegistry jobs;
    QVector<int> stopped;
    if (!QueueFailedRows(jobs, log, SendQueue, &queued, &error, includeUncertain, &leftOut, nullptr, &optOut, &stopped,
                         scope)) {
        console.err(error);
        return ExitRefused;
    }
    for (const QString& text : StoppedRowTexts(log, stopped)) {
        console.err(text);
        WriteOpLog(big5(text));
    }
    // Rows that may have reached their recipients are named, and left alone unless asked for.
    if (uncertain > 0 && !includeUncertain)
        console.err(QStringLiteral("%1 筆可能已送出，沒有重發（要一併重發請加 --include-uncertain）。").arg(uncertain));
    if (queued == 0) {
        console.out(NothingToResendText(scope));
        if (!leftOut.isEmpty())
            console.err(leftOut); // the end text of a run that sends something says it after the counts
        return ExitOk;
    }
    if (refuseNightResend(a, config, console))
        return ExitRefused;
    GatewayTarget gateway;
    int refused = ExitOk;
    if (!readyToStart(config, runLog, writeTo, log, &gateway, &refused, console))
        return refused;
    const std::size_t before = log.rows().size();
    CliProgress progress(jobs, console);
    progress.tracker().start(queued);
    CliOwner owner(console);
    SendThd* worker = nullptr;
    // The resent rows go into the log file after the earlier ones, each as it comes.
    jobs.setJournal(&runLog);
    const bool started = StartResend(jobs, gateway, &owner, &log, std::move(SendQueue), &error, &worker, leftOut);
    if (started) {
        PassInterruptToWorker(jobs);
        waitForEnd(worker, progress);
    }
    jobs.setJournal(nullptr);
    if (!started) {
        runLog.abandon();
        console.err(error);
        return ExitRefused;
    }
    const int code = finishRowJob(log, runLog, progress, console);
    if (code != ExitOk)
        return code;
    return Interrupted() || anyFailed(log.rows(), before) ? ExitFailed : ExitOk;
}

int queryId(const Arguments& a, Config& config, Console& console) {
    return singleJob(a, config, console, WorkerMode::Query);
}

int cancelId(const Arguments& a, Config& config, Console& console) {
    return singleJob(a, config, console, WorkerMode::Cancel);
}

} // namespace norvi::cli
