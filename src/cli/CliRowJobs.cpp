#include "cli/CliRowJobs.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"
#include "cli/CliRunLog.h"
#include "cli/CliSetup.h"

#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/Global.h"
#include "core/shared/SaveFile.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"

#include <QFileInfo>

namespace norvi::cli {

namespace {

// The send log of a row command as it is also written to the run's log file: a query's or cancellation's
// answer rewrites its row there at once (a resend's rows are appended by the worker itself). A row that
// cannot be written stops the job.
class StreamedRowLog : public FileOrderJobRows {
public:
    void setStream(LogStream* stream) { m_stream = stream; }
    void setQueryResult(int row, const QByteArray& code, const QByteArray& result) override {
        FileOrderJobRows::setQueryResult(row, code, result);
        if (!m_stream || row < 0 || row >= rowCount())
            return;
        if (!m_stream->rewrite(row, rows()[std::size_t(row)]))
            StopFlag = true;
    }

private:
    LogStream* m_stream = nullptr;
};

// The send log of a row command, loaded in file order. A file that holds fewer records than it
// announces, or bytes after them, is read as far as its records go, but it is only written to another
// file: replacing it would throw away the bytes that could not be read.
bool loadRowLog(const Arguments& a, FileOrderJobRows* log, QString* writeTo, CliRunLog* runLog) {
    QString path;
    if (!logArgument(a, &path))
        return false;
    *writeTo = a.values.contains(QStringLiteral("--out")) ? a.value(QStringLiteral("--out")) : path;
    NoteUnfinishedLogs({LogFolder(), QFileInfo(path).absolutePath(), QFileInfo(*writeTo).absolutePath()});
    // The file written back is locked before the rows are read: another job on it waits for this one,
    // and neither writes back rows that miss the other's.
    if (!runLog->lockTarget(*writeTo)) {
        err(runLog->error());
        return false;
    }
    QString damage;
    if (!log->load(path, &damage)) {
        err(damage.isEmpty() ? QStringLiteral("讀取傳送紀錄檔案失敗！") + QStringLiteral(" ") + path : damage);
        return false;
    }
    if (!damage.isEmpty()) {
        err(damage);
        LogFileReader reader(path);
        if (reader.open() && reader.unfinished())
            err(FinishHint(path));
        // By the file itself, not by its name: a link to the cut file, or another way of writing its
        // path, must not get it replaced.
        if (SameFile(*writeTo, path)) {
            err(QStringLiteral("不完整或已損壞的傳送紀錄檔不會被覆寫，請以 --out 指定另一個檔案。"));
            return false;
        }
    }
    if (a.values.contains(QStringLiteral("--rows"))) {
        QVector<int> rows;
        QString error;
        if (!ParseRowList(a.value(QStringLiteral("--rows")), log->rowCount(), &rows, &error)) {
            err(error);
            return false;
        }
        log->select(rows);
    }
    return true;
}

int finishRowJob(const FileOrderJobRows& log, CliRunLog& runLog, const CliProgress& progress) {
    const bool saved = runLog.finish();
    printRows(log.rows());
    printSummary(progress);
    if (!saved) {
        err(runLog.error());
        err(saveFailedText(runLog.target()));
        return ExitNotSaved;
    }
    return ExitOk;
}

// The run's log file, with the rows the job starts from, before anything is sent.
bool startRunLog(CliRunLog& runLog, const QString& writeTo, const FileOrderJobRows& log) {
    if (runLog.start(writeTo, log.rows()))
        return true;
    err(runLog.error());
    err(QStringLiteral("無法記錄作業結果，作業沒有開始。"));
    return false;
}

// What every job on a log file does once its rows are known: resolve the gateway, hear a Ctrl+C that came
// before the start, start the log file. False, with the exit code, when the job must not start.
bool readyToStart(CliRunLog& runLog, const QString& writeTo, const FileOrderJobRows& log, GatewayTarget* gateway,
                  int* exitCode) {
    if (!resolveGateway(gateway))
        *exitCode = stoppedOrRefused();
    else if (InterruptedBeforeStart())
        *exitCode = ExitFailed;
    else if (!startRunLog(runLog, writeTo, log))
        *exitCode = ExitNotSaved;
    else
        return true;
    return false;
}

int rowJob(const Arguments& a, WorkerMode mode) {
    if (!loadConfiguration())
        return ExitRefused;
    StreamedRowLog log;
    CliRunLog runLog;
    QString writeTo;
    if (!loadRowLog(a, &log, &writeTo, &runLog))
        return ExitRefused;
    const bool allRows = !a.values.contains(QStringLiteral("--rows"));
    if (allRows && log.rowCount() == 0) {
        err(mode == WorkerMode::Query ? QStringLiteral("沒有已發送待查詢的訊息！")
                                      : QStringLiteral("沒有已發送待取消的預約訊息！"));
        return ExitRefused;
    }
    GatewayTarget gateway;
    int refused = ExitOk;
    if (!readyToStart(runLog, writeTo, log, &gateway, &refused))
        return refused;
    log.setStream(&runLog.stream());

    CliProgress progress;
    CliOwner owner(false);
    SendThd* worker = nullptr;
    int maximum = 0;
    QString error;
    if (!StartRowJob(gateway, mode, allRows, &owner, &log, &maximum, &error, &worker)) {
        runLog.abandon();
        err(error);
        return ExitRefused;
    }
    PassInterruptToWorker();
    progress.tracker().start(maximum);
    waitForEnd(worker, progress);
    const int code = finishRowJob(log, runLog, progress);
    return code == ExitOk && (Interrupted() || runStopped(progress)) ? ExitFailed : code;
}

// The code in the first line of the result box: "結果碼：" or "預約取消碼：" followed by the number.
bool codeOfResultBox(const QString& text, int* code) {
    const QString first = text.section(QStringLiteral("\r\n"), 0, 0);
    const qsizetype colon = first.lastIndexOf(QStringLiteral("："));
    bool ok = false;
    *code = first.mid(colon + 1).trimmed().toInt(&ok);
    return colon >= 0 && ok;
}

int singleJob(const Arguments& a, WorkerMode mode) {
    QByteArray msgId;
    QString msgIdError = QStringLiteral("請輸入MsgId！");
    if (a.positional.size() != 1 || !ParseSingleMsgId(a.positional.first(), &msgId, &msgIdError)) {
        err(msgIdError);
        return ExitRefused;
    }
    if (!loadConfiguration())
        return ExitRefused;
    GatewayTarget gateway;
    if (!resolveGateway(&gateway))
        return stoppedOrRefused();

    if (InterruptedBeforeStart())
        return ExitFailed;

    CliOwner owner(false);
    SendThd* worker = nullptr;
    QString error;
    if (!StartWorker(gateway, mode, &owner, nullptr, msgId, &error, &worker)) {
        err(error);
        return ExitRefused;
    }
    JobWaiter waiter(worker, [&owner] { return owner.closed(); });
    owner.onChange = [&waiter] { waiter.check(); };
    waiter.wait();
    owner.onChange = nullptr;

    const QString text = fromBig5(owner.resultText());
    int code = -1;
    if (!owner.hasResult() || !codeOfResultBox(text, &code)) {
        err(QStringLiteral("作業結束，但沒有收到結果。"));
        return ExitFailed;
    }
    out(terminalLines(text));
    return code == 0 ? ExitOk : ExitFailed;
}

} // namespace

int query(const Arguments& a) {
    return rowJob(a, WorkerMode::Query);
}

int cancel(const Arguments& a) {
    return rowJob(a, WorkerMode::Cancel);
}

int resend(const Arguments& a) {
    if (!loadConfiguration())
        return ExitRefused;
    FileOrderJobRows log;
    CliRunLog runLog;
    QString writeTo;
    if (!loadRowLog(a, &log, &writeTo, &runLog))
        return ExitRefused;
    int queued = 0;
    QString error;
    const bool includeUncertain = a.has(QStringLiteral("--include-uncertain"));
    const int uncertain = int(ChooseResendRows(log).uncertain.size());
    if (!QueueFailedRows(log, &queued, &error, includeUncertain)) {
        err(error);
        return ExitRefused;
    }
    // Rows that may have reached their recipients are named, and left alone unless asked for.
    if (uncertain > 0 && !includeUncertain)
        err(QStringLiteral("%1 筆可能已送出，沒有重發（要一併重發請加 --include-uncertain）。").arg(uncertain));
    if (queued == 0) {
        out(NothingToResendText());
        return ExitOk;
    }
    GatewayTarget gateway;
    int refused = ExitOk;
    if (!readyToStart(runLog, writeTo, log, &gateway, &refused))
        return refused;
    const std::size_t before = log.rows().size();
    CliProgress progress;
    progress.tracker().start(queued);
    CliOwner owner(false);
    SendThd* worker = nullptr;
    // The resent rows go into the log file after the earlier ones, each as it comes.
    RunJournal = &runLog;
    const bool started = StartResend(gateway, &owner, &log, &error, &worker);
    if (started) {
        PassInterruptToWorker();
        waitForEnd(worker, progress);
    }
    RunJournal = nullptr;
    if (!started) {
        runLog.abandon();
        err(error);
        return ExitRefused;
    }
    const int code = finishRowJob(log, runLog, progress);
    if (code != ExitOk)
        return code;
    return Interrupted() || anyFailed(log.rows(), before) ? ExitFailed : ExitOk;
}

int queryId(const Arguments& a) {
    return singleJob(a, WorkerMode::Query);
}

int cancelId(const Arguments& a) {
    return singleJob(a, WorkerMode::Cancel);
}

} // namespace norvi::cli
