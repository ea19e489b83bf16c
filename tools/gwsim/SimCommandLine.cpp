#include "SimCommandLine.h"

#include "core/compose/NumberKey.h"
#include "core/shared/Big5.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>

namespace norvi::gwsim {

namespace {

// A pause longer than an hour plays no gateway worth playing.
constexpr int kMaxPauseMs = 3600 * 1000;

bool toInt(const QString& text, int min, int max, int& out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

// "A:B" with both parts present.
bool splitPair(const QString& text, QString& first, QString& second) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    first = text.left(colon);
    second = text.mid(colon + 1);
    return true;
}

} // namespace

QString usageText() {
    return QStringLiteral(
        "Usage: norvi-gwsim [options]\n"
        "Plays the SMS gateway: 266-byte requests, 244-byte replies, over TCP.\n"
        "\n"
        "  --listen ADDR            address to listen on (default 127.0.0.1)\n"
        "  --port N                 TCP port (default 8000; 0 picks a free port)\n"
        "  --account NAME:PASSWORD  an account that may log in (repeatable; default demo:demo)\n"
        "  --deliver-after SECONDS  a message counts as delivered this long after it is due (default 2)\n"
        "  --fail-delivery NUMBER[,NUMBER...]\n"
        "                           queries about messages to these numbers answer 17 (cannot be delivered)\n"
        "                           once the messages are due (see --deliver-after); repeatable\n"
        "  --max-connections N      logged-in connections allowed at once (default 64)\n"
        "  --fail-sends CODE:COUNT  answer the next COUNT send requests with CODE\n"
        "  --close-after N          close each connection instead of answering request N+1\n"
        "  --silent-after N         never answer a connection's requests after N replies\n"
        "  --split-replies          send each reply in two parts: 100 bytes, a pause of 100 ms, the rest\n"
        "  --split-at N             the first part of a split reply is N bytes long (1 to 243)\n"
        "  --reply-pause MS         pause MS milliseconds between the two parts of a split reply\n"
        "  --trickle-replies MS     send each reply one byte at a time, MS milliseconds apart\n"
        "  --reply-delay MS         answer each request after the login MS milliseconds late\n"
        "  --double-replies         send each reply after the login twice\n"
        "  --junk-after N           follow each reply after the login with N zero bytes\n"
        "  --stale-copy-after MS    send a copy of each reply after the login MS milliseconds after it\n"
        "  --help                   show this text\n"
        "\n"
        "Prints the address it listens on, then one line per request. Stops on SIGINT or SIGTERM.\n");
}

bool parseCommandLine(const QStringList& args, SimOptions& options, bool& help, QString* error) {
    const auto bad = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    help = false;
    bool accountsGiven = false;
    // The reply pacing switches are read together and checked against each other at the end.
    bool split = false;
    int splitAt = ReplyPacing::kDefaultSplitAt;
    int pauseMs = ReplyPacing::kDefaultPauseMs;
    int trickleMs = 0;
    for (int i = 0; i < args.size(); ++i) {
        QString name = args.at(i);
        QString value;
        bool inlineValue = false;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args.at(++i);
            return true;
        };
        const bool flag = name == QLatin1String("--help") || name == QLatin1String("-h") ||
                          name == QLatin1String("--split-replies") || name == QLatin1String("--double-replies");
        static const QStringList valueOptions = {
            QStringLiteral("--listen"),          QStringLiteral("--port"),
            QStringLiteral("--account"),         QStringLiteral("--deliver-after"),
            QStringLiteral("--max-connections"), QStringLiteral("--fail-sends"),
            QStringLiteral("--close-after"),     QStringLiteral("--silent-after"),
            QStringLiteral("--split-at"),        QStringLiteral("--reply-pause"),
            QStringLiteral("--trickle-replies"), QStringLiteral("--reply-delay"),
            QStringLiteral("--junk-after"),      QStringLiteral("--stale-copy-after"),
            QStringLiteral("--fail-delivery")};
        if (!flag && !valueOptions.contains(name))
            return bad(QStringLiteral("unknown option %1 (see --help)").arg(name));
        if (flag && inlineValue)
            return bad(QStringLiteral("%1 takes no value").arg(name));
        if (!flag && !takeValue())
            return bad(QStringLiteral("%1 needs a value").arg(name));

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            help = true;
        } else if (name == QLatin1String("--split-replies")) {
            split = true;
        } else if (name == QLatin1String("--double-replies")) {
            options.replyFaults.twice = true;
        } else if (name == QLatin1String("--reply-delay")) {
            if (!toInt(value, 0, kMaxPauseMs, options.replyFaults.delayMs))
                return bad(QStringLiteral("--reply-delay: not a number of milliseconds (0 to %1): %2")
                               .arg(kMaxPauseMs)
                               .arg(value));
        } else if (name == QLatin1String("--stale-copy-after")) {
            if (!toInt(value, 0, kMaxPauseMs, options.replyFaults.staleCopyAfterMs))
                return bad(QStringLiteral("--stale-copy-after: not a number of milliseconds (0 to %1): %2")
                               .arg(kMaxPauseMs)
                               .arg(value));
        } else if (name == QLatin1String("--junk-after")) {
            if (!toInt(value, 0, 16 * 1024 * 1024, options.replyFaults.junkBytes))
                return bad(QStringLiteral("--junk-after: not a number of bytes: %1").arg(value));
        } else if (name == QLatin1String("--listen")) {
            in_addr a{};
            if (::inet_pton(AF_INET, value.toLatin1().constData(), &a) != 1)
                return bad(QStringLiteral("--listen: not an IPv4 address: %1").arg(value));
            options.listen = value.toLatin1();
        } else if (name == QLatin1String("--port")) {
            if (!toInt(value, 0, 65535, options.port))
                return bad(QStringLiteral("--port: not a port number (0 to 65535): %1").arg(value));
        } else if (name == QLatin1String("--account")) {
            QString account, password;
            QByteArray account5, password5;
            if (!splitPair(value, account, password))
                return bad(QStringLiteral("--account: expected NAME:PASSWORD, got %1").arg(value));
            if (!toBig5(account, account5) || !toBig5(password, password5))
                return bad(QStringLiteral("--account: %1 has characters without a Big5 form").arg(value));
            if (!accountsGiven)
                options.accounts.clear(); // the first account given replaces the demo account
            accountsGiven = true;
            options.accounts[account5] = password5;
        } else if (name == QLatin1String("--deliver-after")) {
            if (!toInt(value, 0, 7 * 24 * 3600, options.deliverAfterSeconds))
                return bad(QStringLiteral("--deliver-after: not a number of seconds: %1").arg(value));
        } else if (name == QLatin1String("--fail-delivery")) {
            for (const QString& number : value.split(QLatin1Char(','))) {
                const QByteArray key = NumberKey(number.trimmed().toLatin1());
                const bool digits = !key.isEmpty() && std::all_of(key.cbegin(), key.cend(), [](char c) {
                    return (c >= '0' && c <= '9') || c == '+';
                });
                if (!digits)
                    return bad(QStringLiteral("--fail-delivery: not a telephone number: %1").arg(number));
                options.failDelivery.insert(key);
            }
        } else if (name == QLatin1String("--max-connections")) {
            if (!toInt(value, 1, 100000, options.maxConnections))
                return bad(QStringLiteral("--max-connections: not a positive number: %1").arg(value));
        } else if (name == QLatin1String("--fail-sends")) {
            QString code, count;
            if (!splitPair(value, code, count) || !toInt(code, 0, 255, options.failSendsCode) ||
                !toInt(count, 0, INT_MAX, options.failSendsCount))
                return bad(QStringLiteral("--fail-sends: expected CODE:COUNT (code 0 to 255), got %1").arg(value));
        } else if (name == QLatin1String("--close-after")) {
            if (!toInt(value, 0, INT_MAX, options.closeAfter))
                return bad(QStringLiteral("--close-after: not a number: %1").arg(value));
        } else if (name == QLatin1String("--silent-after")) {
            if (!toInt(value, 0, INT_MAX, options.silentAfter))
                return bad(QStringLiteral("--silent-after: not a number: %1").arg(value));
        } else if (name == QLatin1String("--split-at")) {
            split = true;
            if (!toInt(value, 1, int(sizeof(sGwReply)) - 1, splitAt))
                return bad(QStringLiteral("--split-at: not a number of bytes from 1 to 243: %1").arg(value));
        } else if (name == QLatin1String("--reply-pause")) {
            split = true;
            if (!toInt(value, 0, kMaxPauseMs, pauseMs))
                return bad(QStringLiteral("--reply-pause: not a number of milliseconds (0 to %1): %2")
                               .arg(kMaxPauseMs)
                               .arg(value));
        } else if (name == QLatin1String("--trickle-replies")) {
            if (!toInt(value, 1, kMaxPauseMs, trickleMs))
                return bad(QStringLiteral("--trickle-replies: not a number of milliseconds (1 to %1): %2")
                               .arg(kMaxPauseMs)
                               .arg(value));
        }
    }
    if (split && trickleMs > 0)
        return bad(QStringLiteral("--trickle-replies cannot be combined with a split reply"));
    if (trickleMs > 0)
        options.pacing = ReplyPacing::trickle(trickleMs);
    else if (split)
        options.pacing = ReplyPacing::split(splitAt, pauseMs);
    return true;
}

} // namespace norvi::gwsim
