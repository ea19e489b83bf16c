#include "cli/CliCommandTable.h"

#include "cli/CliBook.h"
#include "cli/CliOptOut.h"
#include "cli/CliRowJobs.h"
#include "cli/CliRunLog.h"
#include "cli/CliSend.h"
#include "cli/CliSetup.h"
#include "cli/CliTools.h"

#include <QSet>

namespace norvi::cli {

const QString kHelpSwitch = QStringLiteral("--help");

namespace {
// A command that works on the files it is given alone, never on the start folder's.
std::function<int(const Arguments&, Config&, Console&)> withoutSettings(int (*run)(const Arguments&, Console&)) {
    return [run](const Arguments& a, Config&, Console& console) { return run(a, console); };
}
} // namespace

std::vector<Command> commands() {
    const QSet<QString> help{kHelpSwitch, QStringLiteral("-h")};
    const QSet<QString> rowValues{QStringLiteral("--log"), QStringLiteral("--rows"), QStringLiteral("--out")};
    const QSet<QString> textValues{QStringLiteral("--text"), QStringLiteral("--text-file")};
    QSet<QString> sendValues = textValues;
    sendValues.unite(QSet<QString>{QStringLiteral("--list"), QStringLiteral("--at"), QStringLiteral("--limit"),
                                   QStringLiteral("--log")});
    const QSet<QString> sendSwitches{QStringLiteral("--replace"),           QStringLiteral("--append"),
                                     QStringLiteral("--allow-odd-numbers"), QStringLiteral("--allow-empty-fields"),
                                     QStringLiteral("--keep-duplicates"),   QStringLiteral("--night-ok"),
                                     QStringLiteral("--dry-run"),           QStringLiteral("--json")};
    const QSet<QString> big5 = QSet<QString>(help).unite({QStringLiteral("--big5")});
    return {
        {"login-test", {{}, help}, loginTest},
        {"send", {sendValues, QSet<QString>(big5).unite(sendSwitches)}, send},
        {"query",
         {QSet<QString>(rowValues).unite({QStringLiteral("--every"), QStringLiteral("--for")}),
          QSet<QString>(help).unite({QStringLiteral("--follow")})},
         query},
        {"cancel", {rowValues, help}, cancel},
        {"query-id", {{}, help}, queryId},
        {"cancel-id", {{}, help}, cancelId},
        {"resend",
         {rowValues, QSet<QString>(help).unite({QStringLiteral("--include-uncertain"), QStringLiteral("--night-ok")})},
         resend},
        {"log2csv", {{}, QSet<QString>(big5).unite({QStringLiteral("--raw")})}, withoutSettings(log2csv)},
        {"report",
         {{QStringLiteral("--log")}, QSet<QString>(big5).unite({QStringLiteral("--json")})},
         withoutSettings(report)},
        {"finish", {{QStringLiteral("--out")}, help}, withoutSettings(finishCommand)},
        {"segment", {textValues, big5}, withoutSettings(segmentCommand)},
        {"book", BookOptions(), Book},
        {"optout", OptOutOptions(), OptOut},
    };
}

} // namespace norvi::cli
