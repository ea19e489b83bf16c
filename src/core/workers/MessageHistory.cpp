#include "core/workers/MessageHistory.h"

#include "core/sendlog/LogRows.h"
#include "core/workers/RowCodes.h"
#include "core/workers/StopRows.h"

#include <algorithm>
#include <utility>

namespace norvi {

Attempt AttemptOf(const QByteArray& sendCode, const QByteArray& sendResult, const QByteArray& queryCode) {
    if (StopRows::isUncertain(sendCode, sendResult))
        return Attempt::Uncertain;
    if (RowCodes::valueOr(sendCode) != 0)
        return Attempt::Failed;
    const int query = RowCodes::valueOr(queryCode);
    if (RowCodes::isNotFailed(query))
        return Attempt::Sent;
    return query == RowCodes::kNoSuchMessage ? Attempt::Unknown : Attempt::Failed;
}

qint64 MessageHistory::add(const QByteArray& mobile, const QByteArray& content, Attempt attempt, quint32 run) {
    const qint64 number = m_rows++;
    const Key key{mobile, content};
    const auto found = m_open.find(key);
    if (found != m_open.end()) {
        std::vector<Open>& open = found.value();
        const auto otherRun = [run](const Open& o) { return run == 0 || o.run != run; };
        // A surely failed message before one that may have gone: a resend that left the uncertain ones
        // alone resent the failed one.
        auto chosen = std::find_if(open.begin(), open.end(),
                                   [&](const Open& o) { return otherRun(o) && o.attempt == Attempt::Failed; });
        if (chosen == open.end())
            chosen = std::find_if(open.begin(), open.end(), otherRun);
        if (chosen != open.end()) {
            const qint64 earlier = chosen->latest;
            if (IsOpenAttempt(attempt)) {
                *chosen = Open{number, attempt, run};
            } else {
                open.erase(chosen);
                if (open.empty())
                    m_open.erase(found);
            }
            return earlier;
        }
    }
    if (IsOpenAttempt(attempt))
        m_open[key].push_back(Open{number, attempt, run});
    return -1;
}

void MessageCounter::add(const SendLogRow& row) {
    const DeliveryCells cells = DeliveryCellsOf(row);
    const qint64 earlier = m_history.add(row.texts[ColMobile], row.texts[ColContent],
                                         AttemptOf(cells.sendCode, cells.sendResult, cells.queryCode));
    if (earlier >= 0)
        m_classes[std::size_t(earlier)] = kSuperseded;
    m_classes.push_back(quint8(ClassifyDelivery(cells)));
}

DeliveryCounts MessageCounter::counts() const {
    DeliveryCounts counts;
    for (const quint8 c : m_classes)
        if (c != kSuperseded)
            counts.add(Delivery(c));
    return counts;
}

LogHistories ReadHistories(const LogRows& log) {
    const int n = log.rowCount();
    std::vector<std::pair<quint64, int>> order;
    order.reserve(std::size_t(n));
    for (int position = 0; position < n; ++position)
        order.emplace_back(log.rowId(position), position);
    std::sort(order.begin(), order.end());
    LogHistories h;
    h.added.reserve(n);
    for (const auto& [added, position] : order)
        h.added.append(position);
    MessageHistory history;
    std::vector<int> answeredBy(std::size_t(n), -1); // by the row's number in added order
    for (int k = 0; k < n; ++k) {
        const int position = h.added[k];
        const SendLogRow& row = log.row(position);
        const qint64 earlier =
            history.add(row.texts[ColMobile], row.texts[ColContent],
                        AttemptOf(row.texts[ColSendCode], row.texts[ColSendResult], row.texts[ColQueryCode]),
                        log.addedRun(position));
        if (earlier >= 0)
            answeredBy[std::size_t(earlier)] = k;
    }
    // From the last row back, so each row finds the latest of its history in one step.
    std::vector<int> latest(static_cast<std::size_t>(n));
    for (int k = n; k-- > 0;)
        latest[std::size_t(k)] = answeredBy[std::size_t(k)] < 0 ? k : latest[std::size_t(answeredBy[std::size_t(k)])];
    h.latest.resize(n);
    for (int k = 0; k < n; ++k)
        h.latest[h.added[k]] = h.added[latest[std::size_t(k)]];
    return h;
}

DeliveryCounts CountMessages(const LogRows& log, const QVector<int>& rows) {
    const QVector<int> latest = ReadHistories(log).latest;
    std::vector<char> counted(std::size_t(latest.size()), 0);
    DeliveryCounts counts;
    const auto count = [&](int row) {
        if (row < 0 || row >= latest.size())
            return;
        const int last = latest[row];
        if (counted[std::size_t(last)])
            return;
        counted[std::size_t(last)] = 1;
        counts.add(ClassifyDelivery(DeliveryCellsOf(log.row(last))));
    };
    if (rows.isEmpty()) {
        for (int row = 0; row < latest.size(); ++row)
            count(row);
    } else {
        for (int row : rows)
            count(row);
    }
    return counts;
}

} // namespace norvi
