#include "cli/CliOptOut.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"

#include "core/compose/OptOutList.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/OpLog.h"

namespace norvi::cli {

namespace {

const QString kNote = QStringLiteral("--note");

// The operation log is kept in the configured folder; without a configuration the change is still made.
void loadLogFolder(Config& config, Console& console) {
    if (!ReadConfig(config))
        return;
    QString problem;
    if (!PrepareLogFolder(config, &problem))
        console.err(problem);
}

void logChange(const QString& text) {
    WriteOpLog(big5(text));
}

bool optOutArgument(const Arguments& a, const QString& what, QString* value, Console& console) {
    if (a.positional.size() < 2 || a.positional.at(1).trimmed().isEmpty()) {
        console.err(QStringLiteral("請指定%1。").arg(what));
        return false;
    }
    if (a.positional.size() > 2) {
        console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.mid(2).join(QLatin1Char(' '))));
        return false;
    }
    *value = a.positional.at(1).trimmed();
    return true;
}

int listOptOut(const QString& path, Console& console) {
    OptOutList optOut;
    QString error;
    if (!ReadOptOutFile(path, &optOut, &error)) {
        console.err(error);
        return ExitRefused;
    }
    for (const OptOutEntry& entry : optOut.entries())
        console.out(escapeCell(fromBig5(entry.number)) + QLatin1Char('\t') + escapeCell(fromBig5(entry.added)) +
                    QLatin1Char('\t') + escapeCell(fromBig5(entry.note)));
    if (optOut.damagedLines() > 0)
        console.err(optOut.damageText());
    return ExitOk;
}

int addOptOut(const Arguments& a, const QString& path, Console& console) {
    QString typed;
    QByteArray number;
    QByteArray note;
    if (!optOutArgument(a, QStringLiteral("要加入的號碼"), &typed, console) ||
        !toBig5Argument(typed, &number, console) || !toBig5Argument(a.value(kNote), &note, console))
        return ExitRefused;
    OptOutAdd added = OptOutAdd::NotANumber;
    QString error;
    const bool changed = ChangeOptOutFile(
        path,
        [&](OptOutList& list) {
            added = list.add(number, note, Clock::now().date());
            return added == OptOutAdd::Added;
        },
        nullptr, &error);
    if (!changed) {
        console.err(error);
        return ExitRefused;
    }
    switch (added) {
    case OptOutAdd::Added:
        logChange(QStringLiteral("拒收名單新增 %1").arg(typed) +
                  (note.isEmpty() ? QString() : QStringLiteral("（%1）").arg(fromBig5(note))));
        console.out(QStringLiteral("已加入拒收名單：%1").arg(typed));
        return ExitOk;
    case OptOutAdd::AlreadyListed:
        console.out(QStringLiteral("%1 已在拒收名單中。").arg(typed));
        return ExitOk;
    case OptOutAdd::NotANumber:
        break;
    }
    console.err(QStringLiteral("「%1」不是手機門號，沒有加入拒收名單。").arg(typed));
    return ExitRefused;
}

int removeOptOut(const Arguments& a, const QString& path, Console& console) {
    QString typed;
    QByteArray number;
    if (!optOutArgument(a, QStringLiteral("要移除的號碼"), &typed, console) || !toBig5Argument(typed, &number, console))
        return ExitRefused;
    int removed = 0;
    QString error;
    if (!ChangeOptOutFile(
            path,
            [&](OptOutList& list) {
                removed = list.remove(number);
                return removed > 0;
            },
            nullptr, &error)) {
        console.err(error);
        return ExitRefused;
    }
    if (removed == 0) {
        console.err(QStringLiteral("%1 不在拒收名單中。").arg(typed));
        return ExitRefused;
    }
    logChange(QStringLiteral("拒收名單移除 %1").arg(typed));
    console.out(QStringLiteral("已從拒收名單移除：%1").arg(typed));
    return ExitOk;
}

int importOptOut(const Arguments& a, const QString& path, Console& console) {
    QString file;
    if (!optOutArgument(a, QStringLiteral("要匯入的檔案"), &file, console))
        return ExitRefused;
    const OptOutImport read = ReadOptOutImport(file);
    if (!read.error.isEmpty()) {
        console.err(read.error);
        return ExitRefused;
    }
    OptOutImportCount count;
    QString error;
    if (!ChangeOptOutFile(
            path,
            [&](OptOutList& list) {
                count = AddImported(list, read, Clock::now().date());
                return count.added > 0;
            },
            nullptr, &error)) {
        console.err(error);
        return ExitRefused;
    }
    const QString done = OptOutImportText(count, read);
    logChange(QStringLiteral("拒收名單從 %1 ").arg(file) + done);
    console.out(done);
    return read.skipped > 0 ? ExitFailed : ExitOk;
}

int exportOptOut(const Arguments& a, const QString& path, const QString& startDir, Console& console) {
    QString file;
    if (!optOutArgument(a, QStringLiteral("要匯出的檔案"), &file, console))
        return ExitRefused;
    OptOutList optOut;
    QString error;
    if (!ReadOptOutFile(path, &optOut, &error) || !ExportOptOut(optOut, file, startDir, &error)) {
        console.err(error);
        return ExitRefused;
    }
    if (optOut.damagedLines() > 0)
        console.err(optOut.damageText());
    // The lines written: a number the file holds twice (as 0912… and +886…) is written, and counted, twice.
    console.out(QStringLiteral("拒收名單 %1 筆寫入 %2").arg(optOut.entries().size()).arg(file));
    return ExitOk;
}

} // namespace

OptionSpec OptOutOptions() {
    return {{kNote}, {QStringLiteral("--help"), QStringLiteral("-h")}};
}

int OptOut(const Arguments& a, Config& config, Console& console) {
    const QString action = a.positional.value(0);
    if (action != QLatin1String("add") && a.values.contains(kNote)) {
        console.err(QStringLiteral("選項 --note 只能用於 optout add。"));
        return ExitRefused;
    }
    const QString path = OptOutPath(config.StartDir());
    loadLogFolder(config, console);
    if (action == QLatin1String("list")) {
        if (a.positional.size() > 1) {
            console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.mid(1).join(QLatin1Char(' '))));
            return ExitRefused;
        }
        return listOptOut(path, console);
    }
    if (action == QLatin1String("add"))
        return addOptOut(a, path, console);
    if (action == QLatin1String("remove"))
        return removeOptOut(a, path, console);
    if (action == QLatin1String("import"))
        return importOptOut(a, path, console);
    if (action == QLatin1String("export"))
        return exportOptOut(a, path, config.StartDir(), console);
    console.err(
        action.isEmpty()
            ? QStringLiteral("請指定 list、add、remove、import 或 export。")
            : QStringLiteral("optout 沒有「%1」這個動作；請指定 list、add、remove、import 或 export。").arg(action));
    return ExitRefused;
}

} // namespace norvi::cli
