#pragma once

#include "core/shared/Config.h"
#include "core/shared/StopSignal.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <vector>

namespace norvi {

class SendLogModel;

// One round of the follow-up: the list query of the rows whose answer is not final yet, run in the
// background. It gets its rows as values and gives its answers back as values, each naming its row by
// the send log's row id, so the user may sort, delete or add rows while it runs. It never waits for the
// user-interface thread, so that thread may wait for it: a job of the user's makes the round yield and
// waits at most for the exchange in flight. Apart from that, what it asks and writes is what the list
// query does: the same attempts, texts and record lines, and no missing answer replaces a known one.
class FollowUpRound : public QThread {
    Q_OBJECT
public:
    struct Ask {
        quint64 rowId = 0;
        QByteArray msgId;
        QByteArray sendResult; // names the message in the record
        bool answered = false; // the row holds an earlier answer, kept unless a new one comes
    };
    FollowUpRound(const GatewayTarget& gateway, std::vector<Ask> asks);
    // The rows of `model` a round asks about (IsUnsettled), in list order.
    static std::vector<Ask> unsettledRows(const SendLogModel& model);
    ~FollowUpRound() override;

    // Ends the round before its next request. An exchange whose request went out gets the stop's grace
    // for its answer; `now` ends even that wait (the program is ending).
    void yieldNow(bool now = false);
    bool yielded() const { return m_yielded.load(); }

signals:
    // Big5 cells for the row with `rowId`.
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result);
    // A line for the message area (Big5); the operation log has it already.
    void reported(const QByteArray& line);
    // The account cannot log in (wrong password, unknown or suspended account): following up is pointless.
    void loginRefused(const QString& reason);

protected:
    void run() override;

private:
    void report(const QByteArray& line);

    const GatewayTarget m_gateway;
    const std::vector<Ask> m_asks;
    StopFlag m_stop;
    std::atomic<bool> m_yielded{false};
};

} // namespace norvi
