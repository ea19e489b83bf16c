#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace norvi::cli {

// The options one command accepts: those that take a value and those that are plain switches.
struct OptionSpec {
    QSet<QString> withValue;
    QSet<QString> switches;
};

// A command's arguments after option parsing. "--name value" and "--name=value" are both accepted;
// "--" ends the options, so a recipient that starts with "-" can still be given after it.
struct Arguments {
    QStringList positional;
    QMap<QString, QString> values;
    QSet<QString> switches;
    QString error; // empty when the arguments were understood

    bool has(const QString& name) const { return values.contains(name) || switches.contains(name); }
    QString value(const QString& name) const { return values.value(name); }
};

Arguments ParseArguments(const QStringList& args, const OptionSpec& known);

// The options in front of the command: -C DIR, -v, -q/--quiet, --reply-wait SECONDS and --help.
struct GlobalOptions {
    QString startDir;
    bool verbose = false;
    bool quiet = false;       // no progress bar on standard error
    int replyWaitSeconds = 0; // 0: the gateway client's own wait
    bool help = false;
    QString command;
    QStringList rest; // the command's own arguments
    QString error;
};

GlobalOptions ParseGlobalOptions(const QStringList& args);

// "0,2,5" as row numbers: every item a non-negative decimal number below `rowCount`, duplicates
// dropped, ascending. False with the reason when an item is not such a number.
bool ParseRowList(const QString& text, int rowCount, QVector<int>* rows, QString* error);

// A length of time as typed: "90s", "5m", "2h", or a plain number counted in `plainUnit` ('s', 'm' or 'h').
// False unless it is a whole number of seconds from `minSeconds` to `maxSeconds`.
bool ParseDuration(const QString& text, QChar plainUnit, qint64 minSeconds, qint64 maxSeconds, qint64* seconds);

} // namespace norvi::cli
