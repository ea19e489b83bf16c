#include "cli/CliSend.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"
#include "cli/CliRunLog.h"
#include "cli/CliSendRows.h"
#include "cli/CliSetup.h"

#include "core/addressbook/BookFile.h"
#include "core/compose/EntryLookup.h"
#include "core/compose/ListFileInput.h"
#include "core/compose/MessageCount.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/OptOutList.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SendSummary.h"
#include "core/compose/SendValidation.h"
#include "core/compose/StreamedSendRun.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/OpLog.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SendSettings.h"
#include "core/shared/SystemErrorText.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace norvi::cli {

namespace {

// The recipients named on the command line, in order, into RecipientList.
bool collectRecipients(const AddressBook& book, const QStringList& recipients, std::list<sMtData>& RecipientList,
                       Console& console) {
    for (const QString& arg : recipients) {
        if (arg.startsWith(QLatin1Char('='))) {
            QByteArray name;
            if (!toBig5Argument(arg.mid(1), &name, console))
                return false;
            const NamedEntry named = RecipientEntryForName(book, name);
            if (!named.ok) {
                console.err(named.error);
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
        if (!toBig5Argument(number, &bytes, console))
            return false;
        RecipientList.push_back(TypedNumberEntry(bytes));
    }
    return true;
}

// The names given as =NAME, which are all a run reads of the book; one without a Big5 form is refused by
// collectRecipients.
QList<QByteArray> namesOf(const QStringList& recipients) {
    QList<QByteArray> names;
    QByteArray name;
    for (const QString& arg : recipients)
        if (arg.startsWith(QLatin1Char('=')) && toBig5(arg.mid(1), name))
            names.append(name);
    return names;
}

// --at and --limit as the send dialog's drop-downs would hold them. A limit of 0 is refused here, with the
// reason: the dialog's 0:00 means no limit, but typed on a command line it reads as a mistake.
QString scheduleRequest(const Arguments& a, SendRequest* request) {
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
        if (ok && minutes == 0)
            return QStringLiteral("選項 --limit 需要 1 到 1440 的分鐘數：%1；不限時間請不要加 --limit。").arg(text);
        if (ok && minutes > 0) {
            // Anything past a day is refused by the limit check as too long, however far past.
            const qlonglong kept = std::min<qlonglong>(minutes, 24 * 60 + 1);
            request->limitHour = QString::number(kept / 60);
            request->limitMinute = QString::number(kept % 60);
        } else {
            request->limitHour = QStringLiteral("0");
            request->limitMinute = text; // not a number: the limit check names the format
        }
    }
    return QString();
}

// A finished, whole log whose rows `send --append` keeps in front of its own; anything else is named.
bool checkLogToAppend(const QString& path, Console& console) {
    LogFileReader reader(path);
    if (!readEveryRecord(reader, path, console))
        return false;
    if (!reader.damaged())
        return true;
    console.err(reader.damageMessage());
    if (reader.unfinished())
        console.err(FinishHint(path));
    console.err(QStringLiteral("不完整或已損壞的傳送紀錄檔不能以 --append 接續，請以 --log 指定另一個檔案。"));
    return false;
}

// The log named by --log is locked at once and held to the end, so it is checked before anything else is
// done and nobody changes it between the check and its replacement. No run replaces a log: an existing one
// is refused unless --append keeps its rows. ExitOk to go on.
int claimNamedLog(const Arguments& a, const QString& startDir, CliRunLog& log, Console& console) {
    const bool append = a.switches.contains(QStringLiteral("--append"));
    if (!a.values.contains(QStringLiteral("--log"))) {
        if (!append)
            return ExitOk;
        console.err(QStringLiteral("--append 需要以 --log 指定要接續的傳送紀錄檔。"));
        return ExitRefused;
    }
    const QString path = a.value(QStringLiteral("--log"));
    // Before its lock is taken: a pipe, a device or the program's own file gets no lock file beside it either.
    if (const QString refusal = OutputRefusal(path, startDir); !refusal.isEmpty()) {
        console.err(refusal);
        return ExitRefused;
    }
    if (!log.lockTarget(path)) {
        console.err(log.error());
        console.err(QStringLiteral("無法記錄傳送結果，沒有傳送任何簡訊。"));
        return ExitNotSaved;
    }
    if (RefuseWhileUnfinished({path}, console))
        return ExitRefused;
    const QFileInfo existing(path);
    if (!existing.exists() || existing.size() == 0)
        return ExitOk;
    if (append)
        return checkLogToAppend(path, console) ? ExitOk : ExitRefused;
    console.err(QStringLiteral("傳送紀錄檔 %1 已存在，不會被覆寫：要把這次的紀錄接在原有的各列之後請加上 --append，"
                               "否則請以 --log 指定另一個檔名。")
                    .arg(path));
    return ExitRefused;
}

// Six short messages are the most a text is sent in; the rest is dropped, as the send dialog says it is. The
// list rows cut so are a line of the summary; `overlong` names them where the summary's lines are not printed.
void warnOfCutTexts(const QByteArray& message, const OverlongRows& overlong, Console& console) {
    const Segments segments = segment(message);
    if (const int dropped = DroppedCharacters(fromBig5(message), segments); dropped > 0)
        console.err(CountLabelText(segments.count, dropped));
    if (overlong.rows > 0)
        console.err(OverlongRowsText(overlong));
}

const QString kDryRun = QStringLiteral("--dry-run");
const QString kJson = QStringLiteral("--json");

// The stop list every send honours, read once before the run: both walks of the run leave out the same.
bool readStopList(const Config& config, OptOutList* optOut, Console& console) {
    QString error;
    if (!ReadOptOutFile(OptOutPath(config.StartDir()), optOut, &error)) {
        console.err(error);
        console.err(QStringLiteral("拒收名單無法讀取，沒有傳送任何簡訊。"));
        return false;
    }
    if (optOut->damagedLines() > 0)
        console.err(optOut->damageText());
    return true;
}

// Why a run that the summary describes is not sent; empty when it may go. Text that is no number refuses it
// unless the caller says it is meant, so does a template whose fields some recipients leave without a value
// (the template never goes out with its marks; with --allow-empty-fields those fields go empty), and a night run
// when the settings ask the command line to refuse it.
QString runRefusal(const Arguments& a, const SendSummary& summary, const SendQueueResult& queued) {
    if (queued.odd.count() > 0 && !a.switches.contains(QStringLiteral("--allow-odd-numbers")))
        return queued.odd.refusal();
    if (!queued.emptyFields.empty() && !a.switches.contains(QStringLiteral("--allow-empty-fields")))
        return queued.emptyFields.refusal();
    if (summary.night && summary.quiet.cliRefuses && !a.switches.contains(QStringLiteral("--night-ok")))
        return QStringLiteral("%1，設定為命令列也拒絕夜間傳送，沒有傳送任何簡訊：要預約 %2 之後的時間請用 --at，"
                              "要照常傳送請加上 --night-ok。")
            .arg(summary.line(SummaryTopic::QuietHours)->text, summary.quiet.endText());
    return QString();
}

// --dry-run: the summary (its lines, or with --json its counts) on standard output, and nothing sent.
int printDryRun(const Arguments& a, const SendSummary& summary, const QString& refusal, Console& console) {
    if (a.switches.contains(kJson))
        console.out(QString::fromUtf8(summary.toJson()));
    else
        for (const QString& line : summary.texts())
            console.out(line);
    if (!refusal.isEmpty()) {
        console.err(refusal);
        return ExitRefused;
    }
    return ExitOk;
}

// What the run leaves out goes into the operation log by name (a blank message by its first), and a night run that
// goes on says so.
void logLeftOut(const SendQueueResult& queued, const SendSummary& summary) {
    for (const QString& named : queued.optedOutNamed)
        WriteOpLog(big5(QStringLiteral("拒收名單：%1 未傳送").arg(named)));
    if (queued.optedOut > queued.optedOutNamed.size())
        WriteOpLog(
            big5(QStringLiteral("拒收名單：另有 %1 筆未傳送").arg(queued.optedOut - queued.optedOutNamed.size())));
    if (const SummaryLine* blank = summary.line(SummaryTopic::BlankTexts))
        WriteOpLog(big5(blank->text));
    if (summary.night)
        WriteOpLog(big5(summary.line(SummaryTopic::QuietHours)->text + QStringLiteral("，命令列照常傳送")));
}

} // namespace

int send(const Arguments& a, Config& config, Console& console) {
    const bool dryRun = a.switches.contains(kDryRun);
    if (a.switches.contains(kJson) && !dryRun) {
        console.err(QStringLiteral("--json 只能與 --dry-run 一起使用。"));
        return ExitRefused;
    }
    if (!loadConfiguration(config, console))
        return ExitRefused;
    CliRunLog log(LogFolder(config), config.StartDir(), console);
    // A dry run writes no log and talks to no gateway: it reads what a run would read and counts.
    if (!dryRun) {
        if (const int claimed = claimNamedLog(a, config.StartDir(), log, console); claimed != ExitOk)
            return claimed;
    }
    // Outlives the run, whose worker reads the members and groups it names: only those are read into it.
    AddressBook book;
    const AddressBookResult loaded =
        LoadAddressBookPart(book, AddressBookPath(config.StartDir()), namesOf(a.positional));
    if (!loaded.message.isEmpty())
        console.err(loaded.message);

    // Only the recipients named one by one: the list file's rows are streamed, never parsed into it.
    ParsedRecipients named;
    if (!collectRecipients(book, a.positional, named.RecipientList, console))
        return ExitRefused;
    // The list file is read a piece at a time, here once to check it, then for the run itself: its rows
    // are never all in memory, nor are the run's messages or rows. The worker shares it, so that a list
    // file changed under the run can be named once the run is over.
    const auto feed = std::make_shared<StreamedSendRun>(book);
    StreamedSendRun& run = *feed;
    int listRows = 0;
    if (a.values.contains(QStringLiteral("--list"))) {
        const QString list = a.value(QStringLiteral("--list"));
        if (!run.setListFile(list, a.switches.contains(QStringLiteral("--big5"))) ||
            !run.countListRows(&listRows, Interrupted)) {
            if (InterruptedBeforeStart(console))
                return ExitFailed;
            if (const QString problem = ListFileProblemText(run.listCheck(), list); !problem.isEmpty())
                console.err(problem);
            return ExitRefused;
        }
        // A line past 64 KB lost its tail as it was read; said in the send dialog's words.
        const QString cut = ListFileCutText(run.listCutLines());
        if (!cut.isEmpty())
            console.err(cut);
        // Rows such as ",0912345678 您好" are never sent; said as the send dialog says it when it loads the list.
        const QString noNumber = ListFileNoNumberText(run.listLinesWithoutNumber(), run.listRowsWithoutNumber());
        if (!noNumber.isEmpty())
            console.err(noNumber);
    }
    MessageText message;
    if (!readMessageText(a, &message, console))
        return ExitRefused;

    SendRequest request;
    request.recipientCount = int(named.RecipientList.size()) + listRows;
    request.message = message.text;
    if (const QString badLimit = scheduleRequest(a, &request); !badLimit.isEmpty()) {
        console.err(badLimit);
        return ExitRefused;
    }
    const SendValidationResult checked = ValidateSend(request);
    if (!checked.ok) {
        console.err(checked.error);
        return ExitRefused;
    }
    GatewayTarget gateway;
    if (!dryRun && !resolveGateway(config, &gateway, console))
        return stoppedOrRefused(console);
    QString settingsProblem;
    const SendSettings settings = ReadSendSettings(config.StartDir(), &settingsProblem);
    if (!settingsProblem.isEmpty())
        console.err(settingsProblem);
    OptOutList optOut;
    if (!readStopList(config, &optOut, console))
        return ExitRefused;

    // The run is walked once before anything starts, so a refused run leaves nothing behind.
    run.setRecipients(std::move(named.RecipientList));
    const QByteArray text = message.isRaw ? message.raw : checked.message;
    run.setInput(ComposeInput::fromText(text, a.switches.contains(QStringLiteral("--replace"))));
    run.setFilter(RecipientFilter{&optOut, a.switches.contains(QStringLiteral("--keep-duplicates")), false});
    const SendQueueResult queued = run.prepare(Interrupted);
    for (const QString& skipped : queued.skipped)
        console.err(skipped);
    if (InterruptedBeforeStart(console))
        return ExitFailed;
    const SendSummary summary = SummarizeSend(queued, {request.reservation, checked.orderTime, checked.limitMinutes},
                                              settings.quiet, Clock::now());
    if (!queued.ok) {
        // A run whose every recipient was left out is told why, line by line, before it is refused; the
        // summary's last line already is the refusal then, which is not said a second time.
        QStringList lines;
        if (queued.leftOut() > 0)
            lines = summary.texts();
        const QString problem = queued.message.isEmpty()
                                    ? ListFileProblemText(run.listCheck(), a.value(QStringLiteral("--list")))
                                    : queued.message;
        if (!problem.isEmpty() && !lines.contains(problem))
            lines << problem;
        for (const QString& line : lines)
            console.err(line);
        return ExitRefused;
    }
    // As in the send dialog, after a run that could not be sent at all was refused; nobody is asked on the
    // command line, so text that is no number refuses the run unless the caller says it is meant.
    const QString refusal = runRefusal(a, summary, queued);
    if (dryRun) {
        // The preview warns of what the run would drop, as the run itself does.
        if (refusal.isEmpty())
            warnOfCutTexts(text, a.switches.contains(kJson) ? queued.overlong : OverlongRows{}, console);
        return printDryRun(a, summary, refusal, console);
    }
    if (!refusal.isEmpty() || summary.shows(settings.summary))
        for (const QString& line : summary.texts())
            console.err(line);
    if (!refusal.isEmpty()) {
        console.err(refusal);
        return ExitRefused;
    }
    // A run with list rows to cut always prints its summary, which names them.
    warnOfCutTexts(text, OverlongRows{}, console);

    // The log is on disk before the first message goes; a log that cannot be started sends nothing.
    const QString logOption = a.value(QStringLiteral("--log"));
    NoteUnfinishedLogs({LogFolder(config), logOption.isEmpty() ? QString() : QFileInfo(logOption).absolutePath()},
                       console);
    const bool logStarted =
        a.switches.contains(QStringLiteral("--append")) ? log.startAppending(logOption) : log.start(logOption);
    if (!logStarted) {
        console.err(log.error());
        console.err(QStringLiteral("無法記錄傳送結果，沒有傳送任何簡訊。"));
        return ExitNotSaved;
    }
    logLeftOut(queued, summary);
    CliSendRows rows(console);
    JobRegistry jobs;
    CliProgress progress(jobs, console);
    progress.tracker().start(queued.totalCount);
    CliOwner owner(console);

    SendThd* worker = nullptr;
    QString error;
    jobs.setJournal(&log);
    const bool started = StartSendRun(
        jobs,
        SendRun{feed, SendSchedule{request.reservation, checked.orderTime.toLatin1(), checked.limitMinutes}, gateway,
                &owner, BlankTextsEndNote(queued.blank)},
        &rows, &error, &worker);
    if (started) {
        PassInterruptToWorker(jobs);
        progress.tracker().setMaximum(queued.totalCount);
        waitForEnd(worker, progress);
    }
    jobs.setJournal(nullptr);
    if (!started) {
        // What keeps a run from starting here is its plan beside the log, which could not be written.
        log.abandon();
        console.err(error);
        return ExitNotSaved;
    }

    const bool saved = log.finish();
    printSummary(progress, console);
    if (!run.lateProblem().isEmpty())
        console.err(run.lateProblem());
    if (!saved) {
        console.err(WithReason(saveFailedText(log.target()), log.error()));
        return ExitNotSaved;
    }
    console.err(QStringLiteral("傳送紀錄已儲存：%1").arg(log.target()));
    return Interrupted() || rows.anyFailed() || !run.lateProblem().isEmpty() ? ExitFailed : ExitOk;
}

} // namespace norvi::cli
