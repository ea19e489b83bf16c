#include "CliCommands.h"

#include "CliArgs.h"
#include "CliHelp.h"
#include "CliInput.h"
#include "CliJob.h"
#include "CliOutput.h"

#include "addressbook/AddressBook.h"
#include "compose/ComposeState.h"
#include "compose/EntryLookup.h"
#include "compose/RecipientLists.h"
#include "compose/SegmentMessage.h"
#include "compose/SendValidation.h"
#include "gateway/LoginTest.h"
#include "sendlog/LogCsv.h"
#include "sendlog/LogFile.h"
#include "sendlog/ModelSendLog.h"
#include "sendlog/RowListSendLog.h"
#include "sendlog/SendLogModel.h"
#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/LogFolderSetup.h"
#include "shared/OpLog.h"
#include "shared/SaveFile.h"
#include "workers/JobStarter.h"
#include "workers/SendLogJobs.h"
#include "workers/SendThd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QRegularExpression>

#include <csignal>
#include <functional>
#include <list>

namespace norvi::cli {

namespace {

const QString kHelpSwitch = QStringLiteral("--help");

// ---- start folder, configuration, gateway ----

bool enterStartDir(const QString& dir) {
    const QFileInfo info(dir.isEmpty() ? QDir::currentPath() : dir);
    if (!info.isDir()) {
        err(QStringLiteral("起始目錄不存在：%1").arg(dir));
        return false;
    }
    StartDir = info.absoluteFilePath();
    return true;
}

// What the main window's first show does: read the configuration (without it no gateway command is
// offered) and make sure the log folder exists.
bool loadConfiguration() {
    if (!ReadConfig()) {
        err(QStringLiteral("讀取設定檔錯誤，請重新執行設定功能"));
        return false;
    }
    QString problem;
    if (!PrepareLogFolder(&problem))
        err(problem);
    return true;
}

bool resolveGateway() {
    QString error;
    if (ResolveGateway(getField(Config.gwIp), &error))
        return true;
    err(error);
    return false;
}

// ---- output ----

void printRows(const std::vector<SendLogRow>& rows) {
    for (const SendLogRow& row : rows)
        out(rowLine(row));
}

void printSummary(const CliProgress& progress) {
    if (progress.ended())
        out(terminalLines(progress.summary()));
}

bool anyFailed(const std::vector<SendLogRow>& rows, std::size_t from = 0) {
    for (std::size_t i = from; i < rows.size(); ++i)
        if (rows[i].texts[ColSendCode] != "0")
            return true;
    return false;
}

// Runs the event loop until the worker's end state has been handled and the worker is gone.
void waitForEnd(SendThd* worker, CliProgress& progress) {
    JobWaiter waiter(worker, [&progress] { return progress.ended(); });
    QObject::connect(&progress, &CliProgress::endReached, &waiter, &JobWaiter::check);
    waiter.wait();
}

// The time-stamped name in the log folder. A log saved in the same second is never overwritten: the
// later one gets a number after the time.
QString defaultLogPath() {
    const QDir folder(LogFolder());
    const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString path = folder.filePath(stamp + QStringLiteral(".log"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(stamp + QStringLiteral("_%1.log").arg(n));
    return path;
}

QString saveFailedText(const QString& path) {
    return QStringLiteral("寫入傳送紀錄檔案失敗！") + QStringLiteral(" ") + path;
}

// ---- commands ----

int loginTest(const Arguments&) {
    if (!loadConfiguration() || !resolveGateway())
        return ExitRefused;
    QByteArray text;
    const bool loggedIn = RunLoginTest(&text, SendThd::replyWaitSeconds());
    out(fromBig5(text));
    return loggedIn ? ExitOk : ExitRefused;
}

// The recipients named on the command line, in order, into RecipientList.
bool collectRecipients(const QStringList& recipients) {
    for (const QString& arg : recipients) {
        if (arg.startsWith(QLatin1Char('='))) {
            QByteArray name;
            if (!toBig5Argument(arg.mid(1), &name))
                return false;
            const NamedEntry named = RecipientEntryForName(name);
            if (!named.ok) {
                err(named.error);
                return false;
            }
            RecipientList.push_back(named.entry);
            continue;
        }
        // Pieces left empty are dropped, as the recipient field drops them.
        const QString number = arg.trimmed();
        if (number.isEmpty())
            continue;
        QByteArray bytes;
        if (!toBig5Argument(number, &bytes))
            return false;
        RecipientList.push_back(TypedNumberEntry(bytes));
    }
    return true;
}

// --at and --limit as the send dialog's drop-downs would hold them.
void scheduleRequest(const Arguments& a, SendRequest* request) {
    if (a.values.contains(QStringLiteral("--at"))) {
        request->reservation = true;
        const QString at = a.value(QStringLiteral("--at")).trimmed();
        static const QRegularExpression twelveDigits(QStringLiteral("^[0-9]{12}$"));
        if (twelveDigits.match(at).hasMatch()) {
            request->year = at.mid(0, 4);
            request->month = at.mid(4, 2);
            request->day = at.mid(6, 2);
            request->hour = at.mid(8, 2);
            request->minute = at.mid(10, 2);
        } else {
            request->year = at; // any other form fails the time check with its own message
        }
    }
    if (a.values.contains(QStringLiteral("--limit"))) {
        request->limitChecked = true;
        const QString text = a.value(QStringLiteral("--limit")).trimmed();
        bool ok = false;
        const qlonglong minutes = text.toLongLong(&ok);
        if (ok && minutes >= 0) {
            // Anything past a day is refused by the limit check as too long, however far past.
            const qlonglong kept = std::min<qlonglong>(minutes, 24 * 60 + 1);
            request->limitHour = QString::number(kept / 60);
            request->limitMinute = QString::number(kept % 60);
        } else {
            request->limitHour = QStringLiteral("0");
            request->limitMinute = text; // not a number: the limit check names the format
        }
    }
}

int send(const Arguments& a) {
    if (!loadConfiguration())
        return ExitRefused;
    const AddressBookResult book = LoadAddressBook();
    if (!book.message.isEmpty())
        err(book.message);

    RecipientList.clear();
    if (!collectRecipients(a.positional))
        return ExitRefused;
    const bool big5Files = a.switches.contains(QStringLiteral("--big5"));
    if (a.values.contains(QStringLiteral("--list"))) {
        QByteArray list;
        if (!readListFile(a.value(QStringLiteral("--list")), big5Files, &list))
            return ExitRefused;
        StopFlag = Interrupted(); // a stop asked for already ends the reading at once
        ReadListFile(list);
    }
    MessageText message;
    if (!readMessageText(a, &message))
        return ExitRefused;

    SendRequest request;
    request.recipientCount = int(RecipientList.size());
    request.message = message.text;
    scheduleRequest(a, &request);
    const SendValidationResult checked = ValidateSend(request);
    if (!checked.ok) {
        err(checked.error);
        return ExitRefused;
    }
    if (!resolveGateway())
        return ExitRefused;

    // The run is built before anything starts, so a refused run leaves nothing behind.
    const ComposeInput input = ComposeInput::fromText(message.isRaw ? message.raw : checked.message,
                                                      a.switches.contains(QStringLiteral("--replace")));
    const SendQueueResult queued = BuildSendQueue(input);
    for (const QString& skipped : queued.skipped)
        err(skipped);
    if (!queued.ok) {
        err(queued.message);
        return ExitRefused;
    }
    if (InterruptedBeforeStart())
        return ExitFailed;
    std::list<sSendContent> run;
    run.splice(run.end(), SendQueue);

    SendLogModel model;
    QItemSelectionModel selection(&model);
    model.columnClick(ColName); // the order the send dialog leaves the log in: by name, ascending
    ModelSendLog log(model, selection);
    CliProgress progress;
    progress.tracker().start(queued.totalCount);
    CliOwner owner(true, SendSchedule{request.reservation, checked.orderTime.toLatin1(), checked.limitMinutes});

    SendThd* worker = nullptr;
    int total = 0;
    QString error;
    const auto fillQueue = [&run, &queued] {
        SendQueue.splice(SendQueue.end(), run);
        return queued.totalCount;
    };
    if (!StartSendRun(&owner, &log, fillQueue, &total, &error, &worker)) {
        err(error);
        return ExitRefused;
    }
    PassInterruptToWorker();
    progress.tracker().setMaximum(total);
    waitForEnd(worker, progress);

    std::vector<SendLogRow> rows;
    rows.reserve(std::size_t(model.rowCount()));
    for (int i = 0; i < model.rowCount(); ++i)
        rows.push_back(model.row(i));
    const QString path =
        a.values.contains(QStringLiteral("--log")) ? a.value(QStringLiteral("--log")) : defaultLogPath();
    const bool saved = saveLogFile(path, model);
    printRows(rows);
    printSummary(progress);
    if (!saved) {
        err(saveFailedText(path));
        return ExitNotSaved;
    }
    err(QStringLiteral("傳送紀錄已儲存：%1").arg(path));
    return Interrupted() || anyFailed(rows) ? ExitFailed : ExitOk;
}

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
        err(QStringLiteral("讀取傳送紀錄檔案失敗！") + QStringLiteral(" ") + path);
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
        return ExitRefused;

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
    return code == ExitOk && Interrupted() ? ExitFailed : code;
}

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
        return ExitRefused;

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
    if (!loadConfiguration() || !resolveGateway())
        return ExitRefused;

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

int queryId(const Arguments& a) {
    return singleJob(a, WorkerMode::Query);
}

int cancelId(const Arguments& a) {
    return singleJob(a, WorkerMode::Cancel);
}

int log2csv(const Arguments& a) {
    if (a.positional.size() != 1) {
        err(QStringLiteral("請指定一個傳送紀錄檔。"));
        return ExitRefused;
    }
    const QString path = a.positional.first();
    LogFileReader reader(path);
    if (!reader.open()) {
        err(QStringLiteral("讀取傳送紀錄檔案失敗！") + QStringLiteral(" ") + path);
        return ExitRefused;
    }
    std::vector<SendLogRow> rows;
    rows.reserve(std::size_t(reader.available()));
    SendLogRow row;
    while (reader.next(row))
        rows.push_back(row);
    const CsvEncoding encoding =
        a.switches.contains(QStringLiteral("--big5")) ? CsvEncoding::Big5 : CsvEncoding::Utf8WithBom;
    writeRaw(LogCsv(rows, encoding));
    if (reader.damaged()) {
        err(reader.damageMessage());
        return ExitFailed;
    }
    return ExitOk;
}

int segmentCommand(const Arguments& a) {
    if (!a.positional.isEmpty()) {
        err(QStringLiteral("多餘的參數：%1").arg(a.positional.join(QLatin1Char(' '))));
        return ExitRefused;
    }
    MessageText message;
    if (!readMessageText(a, &message))
        return ExitRefused;
    QByteArray bytes = message.raw;
    if (!message.isRaw && !toBig5Argument(message.text, &bytes))
        return ExitRefused;
    const Segments segments = segment(bytes);
    out(QString::number(segments.count));
    for (int k = 1; k <= segments.count; ++k)
        out(escapeCell(fromBig5(segmentText(segments.block, k))));
    return ExitOk;
}

struct Command {
    const char* name;
    OptionSpec known;
    std::function<int(const Arguments&)> run;
};

std::vector<Command> commands() {
    const QSet<QString> help{kHelpSwitch, QStringLiteral("-h")};
    const QSet<QString> rowValues{QStringLiteral("--log"), QStringLiteral("--rows"), QStringLiteral("--out")};
    const QSet<QString> textValues{QStringLiteral("--text"), QStringLiteral("--text-file")};
    QSet<QString> sendValues = textValues;
    sendValues.unite(QSet<QString>{QStringLiteral("--list"), QStringLiteral("--at"), QStringLiteral("--limit"),
                                   QStringLiteral("--log")});
    const QSet<QString> big5 = QSet<QString>(help).unite({QStringLiteral("--big5")});
    return {
        {"login-test", {{}, help}, loginTest},
        {"send", {sendValues, QSet<QString>(big5).unite({QStringLiteral("--replace")})}, send},
        {"query", {rowValues, help}, query},
        {"cancel", {rowValues, help}, cancel},
        {"query-id", {{}, help}, queryId},
        {"cancel-id", {{}, help}, cancelId},
        {"resend", {rowValues, help}, resend},
        {"log2csv", {{}, big5}, log2csv},
        {"segment", {textValues, big5}, segmentCommand},
    };
}

int runCommandLine(const QStringList& arguments) {
    const GlobalOptions global = ParseGlobalOptions(arguments);
    if (!global.error.isEmpty()) {
        err(global.error);
        err(ProgramHelp());
        return ExitRefused;
    }
    if (global.command.isEmpty()) {
        if (global.help) {
            out(ProgramHelp());
            return ExitOk;
        }
        err(ProgramHelp());
        return ExitRefused;
    }
    if (global.command == QLatin1String("help")) {
        const QString topic = global.rest.value(0);
        const QString text = topic.isEmpty() ? ProgramHelp() : CommandHelp(topic);
        if (text.isEmpty()) {
            err(QStringLiteral("沒有這個指令：%1").arg(topic));
            return ExitRefused;
        }
        out(text);
        return ExitOk;
    }
    for (const Command& command : commands()) {
        if (global.command != QLatin1String(command.name))
            continue;
        const Arguments args = ParseArguments(global.rest, command.known);
        if (global.help || args.switches.contains(kHelpSwitch) || args.switches.contains(QStringLiteral("-h"))) {
            out(CommandHelp(global.command));
            return ExitOk;
        }
        if (!args.error.isEmpty()) {
            err(args.error);
            err(CommandHelp(global.command));
            return ExitRefused;
        }
        if (!enterStartDir(global.startDir))
            return ExitRefused;
        if (global.verbose)
            SetMessageAreaSink([](const QString& line) { err(line); });
        if (global.replyWaitSeconds > 0)
            SendThd::setReplyWaitSeconds(global.replyWaitSeconds);
        InstallInterruptHandler();
        const int code = command.run(args);
        SetMessageAreaSink(nullptr);
        return code;
    }
    err(QStringLiteral("沒有這個指令：%1").arg(global.command));
    err(ProgramHelp());
    return ExitRefused;
}

} // namespace

int Run(const QStringList& arguments) {
    // A closed pipe on standard output makes a write fail rather than end the program before the send
    // log is saved; the failure is then reported like any other.
    std::signal(SIGPIPE, SIG_IGN);
    const int code = runCommandLine(arguments);
    if (!OutputFailed() || code == ExitNotSaved)
        return code;
    err(QStringLiteral("無法寫出標準輸出：%1").arg(OutputError()));
    return ExitNoOutput;
}

} // namespace norvi::cli
