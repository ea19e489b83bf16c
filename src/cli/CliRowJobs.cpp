#include "CliRowJobs.h"

#include "CliCommands.h"
#include "CliJob.h"
#include "CliOutput.h"
#include "CliSetup.h"

#include "sendlog/RowListSendLog.h"
#include "shared/Big5.h"
#include "shared/SaveFile.h"
#include "workers/JobStarter.h"
#include "workers/SendLogJobs.h"
#include "workers/SendThd.h"

namespace norvi::cli {

namespace {

// The send log of a row command, loaded in file order. A file that holds fewer records than it
// announces, or bytes after them, is read as far as its records go, but it is only written to another
// file: replacing it would throw away the bytes that could not be read.
bool loadRowLog(const Arguments& a, RowListSendLog* log, QString* writeTo) {
    if (!a.positional.isEmpty()) {
        err(QStringLiteral("多餘的參數：%1").arg(a.positional.join(QLatin1Char(' '))));
        return false;
    }
    if (!a.values.contains(QStringLiteral("--log"))) {
        err(QStringLiteral("請以 --log 指定傳送紀錄檔。"));
        return false;
    }
    const QString path = a.value(QStringLiteral("--log"));
    QString damage;
    if (!log->load(path, &damage)) {
        err(damage.isEmpty() ? QStringLiteral("讀取傳送紀錄檔案失敗！") + QStringLiteral(" ") + path : damage);
        return false;
    }
    *writeTo = a.values.contains(QStringLiteral("--out")) ? a.value(QStringLiteral("--out")) : path;
    if (!damage.isEmpty()) {
        err(damage);
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

int finishRowJob(const RowListSendLog& log, const QString& writeTo, const CliProgress& progress) {
    const bool saved = log.save(writeTo);
    printRows(log.rows());
    printSummary(progress);
    if (!saved) {
        err(saveFailedText(writeTo));
        return ExitNotSaved;
    }
    return ExitOk;
}

int rowJob(const Arguments& a, WorkerMode mode) {
    if (!loadConfiguration())
        return ExitRefused;
    RowListSendLog log;
    QString writeTo;
    if (!loadRowLog(a, &log, &writeTo))
        return ExitRefused;
    const bool allRows = !a.values.contains(QStringLiteral("--rows"));
    if (allRows && log.rowCount() == 0) {
        err(mode == WorkerMode::Query ? QStringLiteral("沒有已發送待查詢的訊息！")
                                      : QStringLiteral("沒有已發送待取消的預約訊息！"));
        return ExitRefused;
    }
    if (!resolveGateway())
        return stoppedOrRefused();

    if (InterruptedBeforeStart())
        return ExitFailed;

    CliProgress progress;
    CliOwner owner(false);
    SendThd* worker = nullptr;
    int maximum = 0;
    QString error;
    if (!StartRowJob(mode, allRows, &owner, &log, &maximum, &error, &worker)) {
        err(error);
        return ExitRefused;
    }
    PassInterruptToWorker();
    progress.tracker().start(maximum);
    waitForEnd(worker, progress);
    const int code = finishRowJob(log, writeTo, progress);
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
    if (!resolveGateway())
        return stoppedOrRefused();

    if (InterruptedBeforeStart())
        return ExitFailed;

    CliOwner owner(false);
    SendThd* worker = nullptr;
    QString error;
    if (!StartWorker(mode, &owner, nullptr, msgId, &error, &worker)) {
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
    RowListSendLog log;
    QString writeTo;
    if (!loadRowLog(a, &log, &writeTo))
        return ExitRefused;
    int queued = 0;
    QString error;
    if (!QueueFailedRows(log, &queued, &error)) {
        err(error);
        return ExitRefused;
    }
    if (queued == 0) {
        out(NothingToResendText());
        return ExitOk;
    }
    if (!resolveGateway())
        return stoppedOrRefused();

    if (InterruptedBeforeStart())
        return ExitFailed;

    const std::size_t before = log.rows().size();
    CliProgress progress;
    progress.tracker().start(queued);
    CliOwner owner(false);
    SendThd* worker = nullptr;
    if (!StartResend(&owner, &log, &error, &worker)) {
        err(error);
        return ExitRefused;
    }
    PassInterruptToWorker();
    waitForEnd(worker, progress);
    const int code = finishRowJob(log, writeTo, progress);
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
