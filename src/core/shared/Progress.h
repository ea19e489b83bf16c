#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QEvent>
#include <QString>

namespace norvi {

// The posted message that drives the shared progress window. Its number stays the system's own.
constexpr int WM_SHOWPROCESS = 0x8064;

// Operation states: what a WM_SHOWPROCESS says is going on.
enum ProgressState : int {
    StateImporting = 0,
    StateImported = 1,
    StateExporting = 2,
    StateExported = 3,
    StateListLoading = 4,
    StateListLoaded = 5,
    StateLogSaving = 6,
    StateLogSaved = 7,
    StateLogLoading = 8,
    StateLogLoaded = 9,
    StateCounting = 10,
    StateSending = 11,
    StateSent = 12,
    StateQuerying = 13,
    StateQueried = 14,
    StateCancelling = 15,
    StateCancelled = 16,
    // A save that could not be written ends here, so the window and the operation log never read "完成"
    // for it.
    StateLogSaveFailed = 17,
};

// How a gateway run (send, query, cancel) ended, counted by its worker: messages or rows the gateway
// took (a send accepted, a query answered, a reservation cancelled), those that failed (the cut exchange
// of a stop among them), and those the run never reached because it was stopped or gave up.
struct RunOutcome {
    bool known = false; // false for operations that count nothing (loads, saves)
    int succeeded = 0;
    int failed = 0;
    int notReached = 0;
    bool stopped = false;   // 中斷, a signal, or giving up on a gateway that does not answer
    bool gaveUp = false;    // stopped after transport failures in a row
    int uncertain = 0;      // requests that went out and got no answer: counted apart from the failures
    QString stopReason;     // why a run stopped that the user did not stop (a refused login)
    int notReservation = 0; // rows a cancellation passed by: never reservations
    int skippedFinal = 0;   // rows a query or cancellation passed by: their answer is final already
    int skippedNotSent = 0; // rows a query or cancellation passed by: the message never went out
    QString results; // a query's answered rows by what became of their messages ("已送達 2 筆、失敗 1 筆")
};

// The status text of a run's end: the state's own text, or 已中斷 for a stopped run, or 失敗 when
// nothing succeeded, then the counts ("簡訊傳送完成：成功 18 筆，失敗 2 筆", "簡訊傳送已中斷：成功 4 筆，
// 失敗 1 筆，未傳送 24 筆"). A query or cancellation names each part once: "簡訊查詢完成，查詢 30 筆：有回覆
// 16 筆（已送達 2 筆、失敗 14 筆）、未能查詢 0 筆、略過 14 筆（未成功送出）". An outcome that is not known
// leaves the state's text alone.
QString RunOutcomeText(int endState, const RunOutcome& outcome);

// What one WM_SHOWPROCESS says, as a value its receivers read as it stands.
struct ProgressReport {
    ProgressState state = StateCounting;
    // A step state: how many steps it stands for. Rows a query passes by, each done in an instant, travel
    // together rather than one event each. Zero only names the step state: a send run's count is done and
    // its first answer is awaited, so the text moves on from "簡訊通數計算中..." before any step is counted.
    int steps = 1;
    // An end state of a gateway run: what succeeded, failed and was not reached (known false for the rest).
    RunOutcome counts;
    // The send-log row the step finished, by its id; 0 for a step about no one row.
    quint64 row = 0;
    // The status text: the state's own, or at an end with known counts the run's end (RunOutcomeText).
    QString text;
};
ProgressReport ReportOf(ProgressState state, const RunOutcome& counts = {}, int steps = 1, quint64 row = 0);

// Made by a worker and read and deleted on the user-interface thread, which Qt's event queue orders
// (core/shared/RaceDetector.h tells a race detector so).
class ShowProcessEvent : public QEvent {
public:
    explicit ShowProcessEvent(ProgressReport report);
    ~ShowProcessEvent() override;
    const ProgressReport& report() const;

private:
    ProgressReport m_report;
};

QString ProgressStateText(int state);
bool IsStepState(int state); // 0, 2, 4, 6, 8, 11, 13, 15
bool IsEndState(int state);  // 1, 3, 5, 7, 9, 12, 14, 16, 17

// The bookkeeping of the progress window without the window: position, texts and the summary.
class ProgressTracker {
public:
    void start(int maximum);      // what FormShow resets
    void setMaximum(int maximum); // callers may learn the step count only after showing the window
    // The operation begins now: its start time and "0 / M" are shown from here, before the first step.
    void begin(qint64 msecsSinceEpoch);
    // The clock moved on while nothing else did (a wait on the gateway): the elapsed time and the rate
    // follow it.
    void tick(qint64 msecsSinceEpoch);
    // Handles one report at a time given as milliseconds since the epoch (which costs no time-zone lookup per
    // step); returns true when it was an end state. The status text is the report's.
    bool handle(const ProgressReport& report, qint64 msecsSinceEpoch);
    // The same for a state and its counts.
    bool handle(ProgressState state, const QDateTime& now, const RunOutcome& outcome = {});
    bool handle(ProgressState state, qint64 msecsSinceEpoch, const RunOutcome& outcome = {});

    int position() const { return m_position; }
    int maximum() const { return m_maximum; }
    // The maximum grows with the steps when more arrive than were announced, so the bar and the text
    // always show the same share.
    int barValue() const { return m_position < m_maximum ? m_position : m_maximum; }
    bool done() const { return m_done; }
    bool started() const { return m_started; } // a step has arrived, so the time labels are shown
    QString statusText() const { return m_status; }
    const RunOutcome& outcome() const { return m_outcome; }
    QString progressText() const { return m_progress; }
    QString startTimeText() const { return m_startTime; }
    QString elapsedText() const { return m_elapsed; }
    QString averageText() const { return m_average; }
    // The five-line summary written to the message area and the operation log at an end state.
    QString summary() const;

private:
    void updateTimes(qint64 nowMs);
    void updateProgressText();

    int m_maximum = 0;
    int m_position = 0;
    bool m_done = false;
    bool m_failed = false;
    bool m_started = false;
    qint64 m_startMs = 0;
    RunOutcome m_outcome;
    QString m_status, m_progress, m_startTime, m_elapsed, m_average;
};

} // namespace norvi
