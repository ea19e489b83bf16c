#pragma once

#include "core/shared/Progress.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace norvi {

// What the running job is doing now, published by its worker and its gateway client and read, without
// waiting for the worker, by the progress window's timer and the command line's progress bar: the tally so
// far, whether a gateway reply is being waited for and since when, and the recipient (or MsgId) it is on.
// Every member is safe to call from any thread.
class RunActivity {
public:
    // A job starts: nothing counted, nothing waited for.
    void reset();

    // A wait on the gateway (connection, login, request, reply) begins or ends.
    void beginWait();
    void endWait();
    // How long the current wait has lasted, in milliseconds; -1 while none goes on.
    int64_t waitingMs() const;

    // The recipient's number or the MsgId the job is on (Big5).
    void setSubject(const QByteArray& subject);
    // The same, read as WaitSubject(ordinal, subject, row) says it. The text is made only when it is read
    // (when a wait lasts long enough to be shown): a send run sets it for every short message, and making
    // it there (a formatted Big5 text a message) cost the run a tenth of its speed.
    void setSubject(const QByteArray& subject, int ordinal, bool row = false);
    QByteArray subject() const;

    void countSucceeded() { m_succeeded.fetch_add(1, std::memory_order_relaxed); }
    void countFailed() { m_failed.fetch_add(1, std::memory_order_relaxed); }
    // An answer counted as a success or failure is taken back: the question is asked again.
    void uncountAnswer(bool succeeded) { (succeeded ? m_succeeded : m_failed).fetch_sub(1, std::memory_order_relaxed); }
    void countNotReached(int n = 1) { m_notReached.fetch_add(n, std::memory_order_relaxed); }
    // A row whose request went out and got no answer: neither success nor failure.
    void countUncertain() { m_uncertain.fetch_add(1, std::memory_order_relaxed); }
    // Rows a query or cancellation passed by, by why.
    void countSkippedNotReservation() { m_notReservation.fetch_add(1, std::memory_order_relaxed); }
    void countSkippedFinal() { m_skippedFinal.fetch_add(1, std::memory_order_relaxed); }
    void countSkippedNotSent() { m_skippedNotSent.fetch_add(1, std::memory_order_relaxed); }
    // Why the run stopped, when it was not the user (a refused login's text, as the row says it).
    void setStopReason(const QString& reason);
    // What the rows a query walked say now, class by class ("已送達 38 筆，處理中 2 筆").
    void setResults(const QString& results);
    void markStopped() { m_stopped.store(true); }
    void markGaveUp() { m_gaveUp.store(true); }

    RunOutcome outcome() const;

    // Milliseconds on a clock that only goes forward.
    static int64_t monotonicMs();

private:
    std::atomic<int64_t> m_waitSince{-1};
    std::atomic<int> m_succeeded{0};
    std::atomic<int> m_failed{0};
    std::atomic<int> m_notReached{0};
    std::atomic<int> m_uncertain{0};
    std::atomic<int> m_notReservation{0};
    std::atomic<int> m_skippedFinal{0};
    std::atomic<int> m_skippedNotSent{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_gaveUp{false};
    mutable std::mutex m_subjectLock;
    QByteArray m_subject;
    int m_subjectOrdinal = 0;    // under m_subjectLock: 0 when the subject stands alone
    bool m_subjectIsRow = false; // under m_subjectLock
    QString m_stopReason;        // under m_subjectLock
    QString m_results;           // under m_subjectLock
};

// What a wait is for, as the progress shows it: "第 3 通 0933000003", the short message the progress will count
// third once done (a send), or "第 3 筆 MSGID", the third row a query or cancellation walks.
QByteArray WaitSubject(int ordinal, const QByteArray& subject, bool row = false);

} // namespace norvi
