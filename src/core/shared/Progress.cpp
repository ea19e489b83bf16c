#include "core/shared/Progress.h"

#include "core/shared/Clock.h"
#include "core/shared/RaceDetector.h"

#include <QStringList>

#include <algorithm>
#include <utility>

namespace norvi {

namespace {

constexpr int kStateCount = 18;
constexpr qint64 kMsPerSecond = 1000;

const char* const kStateTexts[kStateCount] = {
    "通訊錄匯入中...",   "通訊錄匯入完成",    "通訊錄匯出中...",  "通訊錄匯出完成",    "發訊名單載入中...",
    "發訊名單載入完成",  "發訊紀錄儲存中...", "發訊紀錄儲存完成", "發訊紀錄載入中...", "發訊紀錄載入完成",
    "簡訊通數計算中...", "簡訊傳送中...",     "簡訊傳送完成",     "簡訊查詢中...",     "簡訊查詢完成",
    "預約簡訊取消中...", "預約簡訊取消完成",  "發訊紀錄儲存失敗",
};

bool isKnownState(int state) {
    return state >= 0 && state < kStateCount;
}

// A query's or cancellation's counts, each part named once: "查詢 30 筆：有回覆 16 筆（已送達 2 筆、失敗 14 筆）、
// 未能查詢 0 筆、略過 14 筆（未成功送出）". The rows walked past are counted with why, so the parts add up.
QString rowRunCounts(bool cancel, const RunOutcome& o) {
    const int skipped = o.skippedFinal + o.skippedNotSent + o.notReservation;
    const int all = o.succeeded + o.failed + o.uncertain + o.notReached + skipped;
    QStringList parts;
    QString answered =
        QStringLiteral("%1 %2 筆").arg(cancel ? QStringLiteral("已取消") : QStringLiteral("有回覆")).arg(o.succeeded);
    if (o.succeeded > 0 && !o.results.isEmpty())
        answered += QStringLiteral("（%1）").arg(o.results);
    parts << answered;
    parts << QStringLiteral("%1 %2 筆")
                 .arg(cancel ? QStringLiteral("未能取消") : QStringLiteral("未能查詢"))
                 .arg(o.failed);
    if (o.uncertain > 0)
        parts << QStringLiteral("結果不明 %1 筆").arg(o.uncertain);
    if (o.notReached > 0 || o.stopped)
        parts << QStringLiteral("%1 %2 筆")
                     .arg(cancel ? QStringLiteral("未取消") : QStringLiteral("未查詢"))
                     .arg(o.notReached);
    if (skipped > 0) {
        const struct {
            int count;
            const char* why;
        } reasons[] = {
            {o.skippedFinal, "已有最後結果"}, {o.skippedNotSent, "未成功送出"}, {o.notReservation, "不是預約"}};
        QStringList whys;
        for (const auto& r : reasons)
            if (r.count > 0)
                whys << (r.count == skipped ? QString::fromUtf8(r.why)
                                            : QStringLiteral("%1 %2 筆").arg(QString::fromUtf8(r.why)).arg(r.count));
        parts << QStringLiteral("略過 %1 筆（%2）").arg(skipped).arg(whys.join(QStringLiteral("、")));
    }
    return QStringLiteral("%1 %2 筆：").arg(cancel ? QStringLiteral("取消") : QStringLiteral("查詢")).arg(all) +
           parts.join(QStringLiteral("、"));
}

} // namespace

ProgressReport ReportOf(ProgressState state, const RunOutcome& counts, int steps, quint64 row) {
    ProgressReport report;
    report.state = state;
    report.steps = steps;
    report.counts = counts;
    report.row = row;
    // A step's text is the state's own; only an end with counts has a text made for it.
    report.text = IsEndState(state) && counts.known ? RunOutcomeText(state, counts) : ProgressStateText(state);
    return report;
}

ShowProcessEvent::ShowProcessEvent(ProgressReport report)
    : QEvent(QEvent::Type(WM_SHOWPROCESS)), m_report(std::move(report)) {
    RaceDetector::handedOver(this);
}

ShowProcessEvent::~ShowProcessEvent() {
    RaceDetector::takenOver(this);
}

const ProgressReport& ShowProcessEvent::report() const {
    RaceDetector::takenOver(this);
    return m_report;
}

QString RunOutcomeText(int endState, const RunOutcome& outcome) {
    const QString stateText = ProgressStateText(endState);
    if (!outcome.known)
        return stateText;
    QString head = stateText;
    const QString done = QStringLiteral("完成");
    if (head.endsWith(done)) {
        head.chop(done.size());
        if (outcome.stopped && !outcome.stopReason.isEmpty())
            head += QStringLiteral("已中斷（%1）").arg(outcome.stopReason);
        else if (outcome.stopped)
            head += outcome.gaveUp ? QStringLiteral("已中斷（閘道沒有回應）") : QStringLiteral("已中斷");
        else if (outcome.succeeded == 0 && outcome.failed > 0)
            head += QStringLiteral("失敗");
        else
            head += done;
    }
    if (endState == StateQueried || endState == StateCancelled)
        return head + QStringLiteral("，") + rowRunCounts(endState == StateCancelled, outcome);
    QString text = QStringLiteral("%1：成功 %2 筆，失敗 %3 筆").arg(head).arg(outcome.succeeded).arg(outcome.failed);
    if (outcome.uncertain > 0)
        text += QStringLiteral("，不確定 %1 筆").arg(outcome.uncertain);
    if (outcome.notReached > 0 || outcome.stopped)
        text += QStringLiteral("，未傳送 %1 筆").arg(outcome.notReached);
    // What a resend left out, and why.
    if (!outcome.results.isEmpty())
        text += QStringLiteral("；") + outcome.results;
    return text;
}

QString ProgressStateText(int state) {
    return isKnownState(state) ? QString::fromUtf8(kStateTexts[state]) : QString();
}

bool IsStepState(int state) {
    switch (state) {
    case StateImporting:
    case StateExporting:
    case StateListLoading:
    case StateLogSaving:
    case StateLogLoading:
    case StateSending:
    case StateQuerying:
    case StateCancelling:
        return true;
    default:
        return false;
    }
}

bool IsEndState(int state) {
    switch (state) {
    case StateImported:
    case StateExported:
    case StateListLoaded:
    case StateLogSaved:
    case StateLogLoaded:
    case StateSent:
    case StateQueried:
    case StateCancelled:
    case StateLogSaveFailed:
        return true;
    default:
        return false;
    }
}

void ProgressTracker::start(int maximum) {
    m_maximum = maximum;
    m_position = 0;
    m_done = false;
    m_failed = false;
    m_started = false;
    m_startMs = 0;
    m_outcome = RunOutcome{};
    m_status.clear();
    m_progress.clear();
    m_startTime.clear();
    m_elapsed.clear();
    m_average.clear();
}

void ProgressTracker::setMaximum(int maximum) {
    m_maximum = maximum;
    if (m_started)
        updateProgressText();
}

void ProgressTracker::begin(qint64 nowMs) {
    if (m_started)
        return;
    m_started = true;
    m_startMs = nowMs;
    m_startTime = Clock::stamp(QDateTime::fromMSecsSinceEpoch(nowMs));
    updateProgressText();
    updateTimes(nowMs);
}

void ProgressTracker::tick(qint64 nowMs) {
    if (m_started && !m_done)
        updateTimes(nowMs);
}

void ProgressTracker::updateProgressText() {
    const qint64 percent = m_maximum > 0 ? qint64(m_position) * 100 / m_maximum : 0;
    m_progress = QStringLiteral("%1 / %2(%3%)").arg(m_position).arg(m_maximum).arg(percent);
}

bool ProgressTracker::handle(ProgressState state, const QDateTime& now, const RunOutcome& outcome) {
    return handle(ReportOf(state, outcome), now.toMSecsSinceEpoch());
}

bool ProgressTracker::handle(ProgressState state, qint64 nowMs, const RunOutcome& outcome) {
    return handle(ReportOf(state, outcome), nowMs);
}

bool ProgressTracker::handle(const ProgressReport& report, qint64 nowMs) {
    const int state = report.state;
    if (!isKnownState(state))
        return false;
    m_status = report.text;

    if (IsStepState(state) && report.steps > 0) {
        m_position += std::max(report.steps, 0);
        if (!m_started) {
            m_started = true;
            m_startMs = nowMs;
            m_startTime = Clock::stamp(QDateTime::fromMSecsSinceEpoch(nowMs));
        }
        // More steps than the caller announced stretch the maximum, so the text never runs past the bar
        // ("5 / 3(166%)" beside a full bar) and still counts every step. An operation that announced no
        // maximum at all keeps it at 0 and shows 0 %, beside an empty bar.
        if (m_maximum > 0 && m_position > m_maximum)
            m_maximum = m_position;
        updateProgressText();
        updateTimes(nowMs);
        return false;
    }

    if (IsEndState(state)) {
        m_done = true;
        m_failed = state == StateLogSaveFailed;
        m_outcome = report.counts;
        // An operation that ends without a single step started and ended at the same moment.
        if (!m_started) {
            m_startMs = nowMs;
            m_startTime = Clock::stamp(QDateTime::fromMSecsSinceEpoch(nowMs));
            m_progress = QStringLiteral("0 / %1(0%)").arg(m_maximum);
        }
        updateTimes(nowMs);
        return true;
    }
    return false; // the counting state, and a step state of no step, only change the status text
}

void ProgressTracker::updateTimes(qint64 nowMs) {
    // All of the elapsed time counts, whole days included; a clock set back shows as no time at all.
    qint64 elapsedMs = nowMs - m_startMs;
    if (elapsedMs < 0)
        elapsedMs = 0;
    m_elapsed = QStringLiteral("%1 秒").arg(elapsedMs / kMsPerSecond);
    const double rate = elapsedMs > 0 ? double(m_position) * kMsPerSecond / double(elapsedMs) : double(m_position);
    m_average = QStringLiteral("%1 筆/秒").arg(rate, 0, 'f', 2);
}

QString ProgressTracker::summary() const {
    const QString last = m_failed ? QStringLiteral("未完成：") : QStringLiteral("完成：");
    return QStringLiteral("狀態：%1\r\n開始時間：%2\r\n總共耗費時間：%3\r\n                平均：%4\r\n%5%6")
        .arg(m_status, m_startTime, m_elapsed, m_average, last, m_progress);
}

} // namespace norvi
