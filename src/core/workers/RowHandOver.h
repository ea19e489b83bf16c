#pragma once

#include "core/sendlog/JobRows.h"
#include "core/sendlog/RowAnswers.h"
#include "core/sendlog/SendLogRow.h"
#include "core/shared/Progress.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace norvi {

class JobChannel;
class LogStream;

// The hand-over of a job's rows and answers from its worker to the user-interface thread: every call runs on
// that thread against the wrapped send log (the model behind the main window's list, norvi-cli's rows), so it
// is only ever touched there and needs no lock of its own. Every call only writes: a worker reads nothing of
// the send log; what it needs was handed to it as values when it started.
//
// Writes are queued for the user-interface thread and return at once: a send run would otherwise hand the
// thread over twice per short message and spend most of its time waiting for the window instead of the
// gateway. Writes from one worker reach the user-interface thread in the order they were made. A row's fill
// waits for the worker's next call (in a send run the next row follows at once) and the two share one
// hand-over; flush() sends everything on its way and waits for it. A send run's rows gather for a few
// milliseconds (or a thousand writes) and are run together by a timer on the user-interface thread that stays
// armed while rows keep coming: a worker that wakes that thread for every row, or even for every batch,
// spends as much time on those wake-ups as on the gateway.
class RowHandOver : public JobRows, public RowAnswers {
public:
    // Used from one thread: a worker, or (calls then run directly) the user-interface thread. Everything
    // goes there through the job's `channel`: a send run's rows to `rows`, a list job's answers to `answers`
    // (either may be null when the job makes none).
    RowHandOver(JobRows* rows, RowAnswers* answers, std::shared_ptr<const JobChannel> channel);
    ~RowHandOver() override;

    // The returned id names the row in later calls on this object (not on the wrapped access).
    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;

    void walked(const QVector<quint64>& rowIds, bool asked) override;
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) override;

    // A progress step (WM_SHOWPROCESS) for the row filled last, handed to the progress window on the
    // user-interface thread once that fill has reached the wrapped access: the step travels in the fill's
    // hand-over instead of one of its own, and the window never counts a row the send log does not show yet.
    void stepAfterFill(ProgressState state);

    // A message-area line said about a row (a refusal, an answer that is not one): stamped now, queued behind
    // the writes before it and shown with the other lines of its batch in one append, so a run whose every
    // message gets a line does not wait for the window once a message. A call, a question or a flush after it
    // finds it shown. `text` is Big5; the operation log is the caller's.
    void showLine(const QByteArray& text);
    // A progress step (WM_SHOWPROCESS) queued behind the writes before it: the window counts the rows of a list
    // job once their answers are in the send log, and the steps of a batch cost no event each.
    void step(const ProgressReport& report);

    // Runs `routine` on the user-interface thread once every write handed over before it has reached the
    // wrapped access (a held fill still waits for the next call), and waits for it: what the worker says
    // there (a message line, a question) comes after the rows it made first. False when it could not run.
    bool runAfterWrites(const std::function<void()>& routine);
    // The same without waiting: `routine` is queued behind those writes.
    bool postAfterWrites(std::function<void()> routine);

    // Returns once every queued write has reached the wrapped access, and the journal's rows the disk.
    void flush();

    // The record of the run's rows (norvi-cli's log, the desktop program's journal): every filled row is
    // written into it here, on the worker's thread, before it is handed to the user-interface thread.
    void setJournal(LogStream* journal) { m_journal = journal; }
    // The row `rowId` (the one added last) is about to be sent with `content`: it goes into the journal at
    // once as an uncertain row (StopRows::inFlightText), which its fill then rewrites in place. A program
    // killed while the gateway has the message so leaves a row that says it may have gone, and no resend
    // sends it again without the user saying so.
    void recordBeforeRequest(quint64 rowId, const QByteArray& content);
    // True once a row could not be recorded: the run must stop. The reason went to the message area and
    // the operation log.
    bool recordFailed() const { return m_recordFailed; }

    // Whether a batch's timer is armed or on its way: tests wait for it to disarm, so the rows they hand
    // over next must arm it again. From any thread.
    bool batchTimerArmed() const;

private:
    struct Target;
    // One write handed to the user-interface thread. A send run's rows and fills travel as plain data, so a
    // row costs no allocation of its own on the way; the rarer writes carry their call.
    struct Write {
        enum class Kind : uint8_t { None, Add, Fill, Walk, Answer, Line, Step, Call };
        Kind kind = Kind::None;
        int image = 0;        // Add: the row image; Fill: the code image; Walk: 1 for rows asked about
        int step = -1;        // Fill: the progress step shown once it has landed; -1 for none; Step: the state
        int steps = 0;        // Step: the steps it counts
        quint64 id = 0;       // the row, as this object numbered it; Step, Answer: the send log's row
        QByteArray a, b, c;   // Add: caption, mobile, send time; Fill: code, result, content; Answer: code, result
        QVector<quint64> ids; // Walk: the send log's rows
        QString line;         // Line: as the message area shows it
        std::function<void(Target& target)> call;

        explicit operator bool() const { return kind != Kind::None; }
        void run(Target& target);
    };
    // What the queued writes share on the user-interface thread: the wrapped access and the ids it
    // gave to the rows this object added. Kept alive by the queued writes themselves.
    struct Target {
        Target(JobRows* rows, RowAnswers* answers, std::shared_ptr<const JobChannel> channel)
            : log(rows), answers(answers), channel(std::move(channel)) {}
        JobRows* const log;
        RowAnswers* const answers;
        const std::shared_ptr<const JobChannel> channel;
        // The send log's id of each row added and not yet filled. A row is filled soon after it was added,
        // so this holds a few at most and is searched from the newest.
        std::vector<std::pair<quint64, quint64>> rowIds;
        std::atomic<int> queued{0}; // writes on their way, not yet run
        std::mutex lock;
        std::vector<Write> pending; // under lock: handed over, in order, not yet run
        bool timerArmed = false;    // under lock: a batch's timer runs, or is on its way to be started
        bool urgentPosted = false;  // under lock: a drain that does not wait for the timer is on its way
        // The buffer the last drain emptied, kept for the next with its room: user-interface thread only.
        std::vector<Write> spare;
        // The lines of the drain under way not shown yet: user-interface thread only.
        QStringList lines;
        // Shows them in one append.
        void showLines();
        // Runs what is pending, in order; on the user-interface thread. True when there was something.
        bool drain();
        // The batch timer's turn: drains, and stays armed while writes keep coming.
        void drainOnTimer(const std::shared_ptr<Target>& self);
    };
    // Hands the writes over to the user-interface thread, behind every write handed over before: with
    // `gather` (a send run's rows) in a batch that runs within kBatchMs, else at once.
    void handOver(Write held, Write write, bool gather);
    void queue(Write write, bool gather = false);
    static Write call(std::function<void(Target& target)> routine);
    // Waits until every write handed over before, a held one included, has run on the user-interface thread.
    void waitForWrites();

    // A row's fill is held until the next call (in a send run its progress step, at once), so the two
    // travel in one hand-over, and a read or flush takes it along before reading.
    Write m_held;
    // The row this object added last, completed by its fill and written to the journal.
    void record(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                const QByteArray& content);
    void recordingFailed(const SendLogRow* unrecorded);
    LogStream* m_journal = nullptr;
    SendLogRow m_lastRow;
    quint64 m_lastRowId = 0;
    qint64 m_lastRowIndex = -1; // its place in the journal once recorded before its request
    bool m_recordFailed = false;
    std::shared_ptr<Target> m_target;
    quint64 m_nextRowId = 0; // worker thread only

    // Whether the caller is the user-interface thread, asked twice a row: the answer is kept for the thread
    // and the application it was found for, since finding the current thread is not free.
    bool callerIsUiThread();
    std::thread::id m_askedBy;
    const void* m_askedIn = nullptr;
    bool m_askedOnUi = false;
};

} // namespace norvi
