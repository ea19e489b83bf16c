#include "core/shared/RunActivity.h"

#include "core/shared/Big5.h"

#include <ctime>

namespace norvi {

int64_t RunActivity::monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void RunActivity::reset() {
    m_waitSince.store(-1);
    m_succeeded.store(0);
    m_failed.store(0);
    m_notReached.store(0);
    m_stopped.store(false);
    m_gaveUp.store(false);
    m_uncertain.store(0);
    m_notReservation.store(0);
    m_skippedFinal.store(0);
    m_skippedNotSent.store(0);
    std::lock_guard<std::mutex> guard(m_subjectLock);
    m_subject.clear();
    m_subjectOrdinal = 0;
    m_stopReason.clear();
    m_results.clear();
}

void RunActivity::beginWait() {
    m_waitSince.store(monotonicMs(), std::memory_order_relaxed);
}

void RunActivity::endWait() {
    m_waitSince.store(-1, std::memory_order_relaxed);
}

int64_t RunActivity::waitingMs() const {
    const int64_t since = m_waitSince.load(std::memory_order_relaxed);
    if (since < 0)
        return -1;
    const int64_t waited = monotonicMs() - since;
    return waited > 0 ? waited : 0;
}

void RunActivity::setSubject(const QByteArray& subject) {
    setSubject(subject, 0);
}

void RunActivity::setSubject(const QByteArray& subject, int ordinal, bool row) {
    std::lock_guard<std::mutex> guard(m_subjectLock);
    m_subject = subject;
    m_subjectOrdinal = ordinal;
    m_subjectIsRow = row;
}

QByteArray RunActivity::subject() const {
    std::lock_guard<std::mutex> guard(m_subjectLock);
    return m_subjectOrdinal > 0 ? WaitSubject(m_subjectOrdinal, m_subject, m_subjectIsRow) : m_subject;
}

void RunActivity::setStopReason(const QString& reason) {
    std::lock_guard<std::mutex> guard(m_subjectLock);
    m_stopReason = reason;
}

void RunActivity::setResults(const QString& results) {
    std::lock_guard<std::mutex> guard(m_subjectLock);
    m_results = results;
}

RunOutcome RunActivity::outcome() const {
    RunOutcome o;
    o.known = true;
    o.succeeded = m_succeeded.load();
    o.failed = m_failed.load();
    o.notReached = m_notReached.load();
    o.stopped = m_stopped.load();
    o.gaveUp = m_gaveUp.load();
    o.uncertain = m_uncertain.load();
    o.notReservation = m_notReservation.load();
    o.skippedFinal = m_skippedFinal.load();
    o.skippedNotSent = m_skippedNotSent.load();
    std::lock_guard<std::mutex> guard(m_subjectLock);
    o.stopReason = m_stopReason;
    o.results = m_results;
    return o;
}

QByteArray WaitSubject(int ordinal, const QByteArray& subject, bool row) {
    return big5(QStringLiteral("第 %1 %2 ").arg(ordinal).arg(row ? QStringLiteral("筆") : QStringLiteral("通"))) +
           subject;
}

} // namespace norvi
