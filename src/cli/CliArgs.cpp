#include "cli/CliArgs.h"

#include <QVector>

#include <algorithm>

namespace norvi::cli {

namespace {

// An hour is longer than any gateway takes to answer.
constexpr int kMaxReplyWaitSeconds = 3600;

bool isOption(const QString& arg) {
    return arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
}

// Whether the option's value names a file to read or write.
bool namesAFile(const QString& option) {
    for (const char* name : {"--out", "--xlsx", "--log", "--list", "--text-file"})
        if (option == QLatin1String(name))
            return true;
    return false;
}

} // namespace

Arguments ParseArguments(const QStringList& args, const OptionSpec& known) {
    Arguments out;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsEnded || !isOption(arg)) {
            out.positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg;
        QString value;
        bool inlineValue = false;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 2) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            inlineValue = true;
        }
        if (known.switches.contains(name) && !inlineValue) {
            out.switches.insert(name);
        } else if (known.withValue.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    out.error = QStringLiteral("選項 %1 需要一個值。").arg(name);
                    return out;
                }
                value = args.at(++i);
            }
            if (out.values.contains(name)) {
                out.error = QStringLiteral("選項 %1 只能指定一次。").arg(name);
                return out;
            }
            // An empty name (a variable that was not set, say) is asked for as a missing one, never read or
            // written as a file called "" or "  ".
            if (namesAFile(name) && value.trimmed().isEmpty()) {
                out.error = QStringLiteral("選項 %1 需要一個檔案名稱。").arg(name);
                return out;
            }
            out.values.insert(name, value);
        } else {
            out.error = QStringLiteral("無法識別的選項：%1").arg(arg);
            return out;
        }
    }
    return out;
}

GlobalOptions ParseGlobalOptions(const QStringList& args) {
    GlobalOptions out;
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("-C")) {
            if (i + 1 >= args.size()) {
                out.error = QStringLiteral("選項 -C 需要一個目錄。");
                return out;
            }
            out.startDir = args.at(++i);
        } else if (arg.startsWith(QLatin1String("-C")) && arg.size() > 2) {
            out.startDir = arg.mid(2);
        } else if (arg == QLatin1String("-v")) {
            out.verbose = true;
        } else if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            out.quiet = true;
        } else if (arg == QLatin1String("--reply-wait") || arg.startsWith(QLatin1String("--reply-wait="))) {
            QString value;
            if (arg.contains(QLatin1Char('=')))
                value = arg.section(QLatin1Char('='), 1);
            else if (i + 1 < args.size())
                value = args.at(++i);
            bool ok = false;
            out.replyWaitSeconds = value.toInt(&ok);
            if (!ok || out.replyWaitSeconds < 1 || out.replyWaitSeconds > kMaxReplyWaitSeconds) {
                out.error =
                    QStringLiteral("選項 --reply-wait 需要 1 到 %1 的秒數：%2").arg(kMaxReplyWaitSeconds).arg(value);
                return out;
            }
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out.help = true;
        } else if (isOption(arg)) {
            out.error = QStringLiteral("無法識別的選項：%1").arg(arg);
            return out;
        } else {
            break;
        }
    }
    if (i < args.size()) {
        out.command = args.at(i);
        out.rest = args.mid(i + 1);
    }
    return out;
}

bool ParseRowList(const QString& text, int rowCount, QVector<int>* rows, QString* error) {
    rows->clear();
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& raw : items) {
        const QString item = raw.trimmed();
        bool ok = false;
        const int row = item.toInt(&ok);
        const bool digitsOnly =
            !item.isEmpty() && std::all_of(item.begin(), item.end(), [](QChar c) { return c.isDigit(); });
        if (!ok || !digitsOnly) {
            *error = QStringLiteral("列號「%1」不是數字；請以逗號分隔從 0 起算的列號，例如 0,2,5。").arg(item);
            return false;
        }
        if (row >= rowCount) {
            *error = QStringLiteral("列號 %1 超出範圍：傳送紀錄共有 %2 筆（列號 0 到 %3）。")
                         .arg(row)
                         .arg(rowCount)
                         .arg(rowCount - 1);
            return false;
        }
        if (!rows->contains(row))
            rows->append(row);
    }
    std::sort(rows->begin(), rows->end());
    return true;
}

bool ParseDuration(const QString& text, QChar plainUnit, qint64 minSeconds, qint64 maxSeconds, qint64* seconds) {
    const QString typed = text.trimmed().toLower();
    const bool hasUnit = !typed.isEmpty() && !typed.back().isDigit();
    const QChar unit = hasUnit ? typed.back() : plainUnit;
    const QString digits = hasUnit ? typed.chopped(1) : typed;
    const qint64 perUnit = unit == u's' ? 1 : unit == u'm' ? 60 : unit == u'h' ? 3600 : 0;
    // Digits only: toLongLong would also take "+5" or " 5", which a typo could produce.
    const bool digitsOnly = !digits.isEmpty() && digits.size() <= 9 &&
                            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (perUnit == 0 || !digitsOnly)
        return false;
    *seconds = digits.toLongLong() * perUnit;
    return *seconds >= minSeconds && *seconds <= maxSeconds;
}

} // namespace norvi::cli
