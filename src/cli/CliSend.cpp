#include "CliSend.h"

#include "CliCommands.h"
#include "CliInput.h"
#include "CliJob.h"
#include "CliOutput.h"
#include "CliSetup.h"

#include "addressbook/AddressBook.h"
#include "compose/ComposeState.h"
#include "compose/EntryLookup.h"
#include "compose/RecipientLists.h"
#include "compose/SendValidation.h"
#include "sendlog/LogFile.h"
#include "sendlog/ModelSendLog.h"
#include "sendlog/SendLogModel.h"
#include "shared/Clock.h"
#include "shared/Config.h"
#include "shared/Global.h"
#include "shared/LogFolderSetup.h"
#include "workers/JobStarter.h"
#include "workers/SendThd.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QRegularExpression>

#include <list>

namespace norvi::cli {

namespace {

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

} // namespace

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
        return stoppedOrRefused();

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

} // namespace norvi::cli
