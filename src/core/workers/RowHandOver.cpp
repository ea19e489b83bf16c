#include "core/workers/RowHandOver.h"

#include "core/workers/JobChannel.h"
#include "core/workers/StopRows.h"
#include "core/workers/UiThread.h"

#include "core/sendlog/LogStream.h"
#include "core/shared/Big5.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace norvi {

namespace {
// A worker this many writes ahead of the user-interface thread waits for it.
constexpr int kMostQueued = 2048;
// A batch is run this long after its first write at the latest: rows still appear at once to the eye.
constexpr int kBatchMs = 4;
// A batch this large is run without waiting for its time, so the worker seldom reaches kMostQueued. A
// send run's row is two writes (the row, then its fill with its step), and a fast gateway answers a few
// hundred rows within one kBatchMs: each batch run early costs the user-interface thread a wake-up and
// the worker a system call to wake it, both on the way of the next exchange.
constexpr std::size_t kBatchWrites = 1024;

} // namespace

void RowHandOver::Write::run(Target& target) {
    switch (kind) {
    case Kind::Add:
        if (target.log)
            target.rowIds.emplace_back(id, target.log->addRow(a, image, b, c));
        return;
    case Kind::Fill: {
        const auto it = std::find_if(target.rowIds.rbegin(), target.rowIds.rend(),
                                     [this](const std::pair<quint64, quint64>& p) { return p.first == id; });
        quint64 logId = 0;
        if (it != target.rowIds.rend()) {
            logId = it->second;
            target.log->fillSendResult(logId, a, image, b, c);
            target.rowIds.erase(std::next(it).base()); // a row is filled once
        }
        // A step in a batch is handed to the progress window at once, on the user-interface thread where the
        // window lives: posting it from there would cost that thread a wake-up and an event for every row.
        if (step >= 0)
            target.channel->showProcessNow(ReportOf(ProgressState(step), {}, 1, logId));
        return;
    }
    case Kind::Walk:
        if (target.answers)
            target.answers->walked(ids, image != 0);
        return;
    case Kind::Answer:
        if (target.answers)
            target.answers->answered(id, a, b);
        return;
    case Kind::Line:
        // Shown with the lines next to it in the batch: before the next call, or at the batch's end.
        target.lines.append(std::move(line));
        return;
    case Kind::Step:
        target.channel->showProcessNow(ReportOf(ProgressState(step), {}, steps, id));
        return;
    case Kind::Call:
        target.showLines(); // a call may show lines of its own, or ask a question under them
        call(target);
        return;
    case Kind::None:
        return;
    }
}

void RowHandOver::Target::showLines() {
    if (lines.isEmpty())
        return;
    const QStringList shown = std::move(lines);
    lines = QStringList();
    ShowMessageAreaLines(shown);
}

RowHandOver::Write RowHandOver::call(std::function<void(Target& target)> routine) {
    Write w;
    w.kind = Write::Kind::Call;
    w.call = std::move(routine);
    return w;
}

bool RowHandOver::Target::drain() {
    // The emptied buffer of the last drain becomes the worker's next one, so a run of equal batches
    // allocates nothing. A write that drains again from inside finds no spare and uses a new buffer.
    std::vector<Write> writes = std::move(spare);
    spare = std::vector<Write>();
    {
        std::lock_guard<std::mutex> guard(lock);
        writes.swap(pending);
        urgentPosted = false;
    }
    const bool any = !writes.empty();
    // The rows of one drain take their sorted places together (JobRows::beginBatch). Only rows and fills
    // (and the lines and steps among them) are batched: a call may read the rows, and finds them in place.
    bool batching = false;
    for (Write& write : writes) {
        const bool row = write.kind != Write::Kind::Call;
        if (log && row != batching) {
            if (row)
                log->beginBatch();
            else
                log->endBatch();
            batching = row;
        }
        write.run(*this);
        --queued;
    }
    if (batching)
        log->endBatch();
    // The batch's lines after its rows: nothing is drawn before the drain is over, so a user meets every
    // line with the rows it follows.
    showLines();
    // The rows a list job came to in this batch show in the list together.
    if (answers && any)
        answers->settle();
    writes.clear();
    if (writes.capacity() > spare.capacity())
        spare = std::move(writes);
    return any;
}

void RowHandOver::Target::drainOnTimer(const std::shared_ptr<Target>& self) {
    // While a run keeps handing rows over the timer stays armed, so its batches cost the worker nothing
    // to announce; the first turn that finds nothing disarms it, and the next row arms it again.
    if (drain()) {
        QTimer::singleShot(kBatchMs, QCoreApplication::instance(), [self] { self->drainOnTimer(self); });
        return;
    }
    std::unique_lock<std::mutex> guard(lock);
    if (!pending.empty()) {
        // Handed over between the drain and here, by a worker that saw the timer armed.
        guard.unlock();
        QTimer::singleShot(kBatchMs, QCoreApplication::instance(), [self] { self->drainOnTimer(self); });
        return;
    }
    timerArmed = false;
}

bool RowHandOver::batchTimerArmed() const {
    std::lock_guard<std::mutex> guard(m_target->lock);
    return m_target->timerArmed;
}

bool RowHandOver::callerIsUiThread() {
    const std::thread::id self = std::this_thread::get_id();
    const void* app = QCoreApplication::instance();
    if (self != m_askedBy || app != m_askedIn) {
        m_askedBy = self;
        m_askedIn = app;
        m_askedOnUi = UiThread::isCurrent();
    }
    return m_askedOnUi;
}

RowHandOver::RowHandOver(JobRows* rows, RowAnswers* answers, std::shared_ptr<const JobChannel> channel)
    : m_target(std::make_shared<Target>(rows, answers, std::move(channel))) {}

RowHandOver::~RowHandOver() {
    // A fill still held is not lost with its wrapper: it lands behind the worker's earlier writes (its row
    // among them) that may still be waiting, at once when this is the user-interface thread.
    if (!m_held)
        return;
    if (UiThread::isCurrent()) {
        m_target->drain();
        m_held.run(*m_target);
        return;
    }
    handOver(std::move(m_held), Write{}, false);
}

void RowHandOver::handOver(Write held, Write write, bool gather) {
    bool arm = false;
    bool postNow = false;
    {
        std::lock_guard<std::mutex> guard(m_target->lock);
        for (Write* w : {&held, &write}) {
            if (!*w)
                continue;
            m_target->pending.push_back(std::move(*w));
            ++m_target->queued;
        }
        if (gather && !m_target->timerArmed) {
            m_target->timerArmed = true;
            arm = true;
        } else if (!m_target->urgentPosted && (!gather || m_target->pending.size() >= kBatchWrites)) {
            m_target->urgentPosted = true;
            postNow = true;
        }
    }
    // One hand-over starts the batch's timer on the user-interface thread; the rows that follow join the
    // batch without waking that thread. Any other write goes at once, with whatever is pending before it.
    if (arm)
        m_target->channel->post([target = m_target] {
            QTimer::singleShot(kBatchMs, QCoreApplication::instance(), [target] { target->drainOnTimer(target); });
        });
    if (postNow)
        m_target->channel->post([target = m_target] { target->drain(); });
}

void RowHandOver::queue(Write write, bool gather) {
    Write held = std::move(m_held);
    m_held = Write{};
    // On the user-interface thread itself a write is done at once, so a following read sees it.
    if (callerIsUiThread()) {
        m_target->drain();
        if (held)
            held.run(*m_target);
        write.run(*m_target);
        m_target->showLines();
        return;
    }
    handOver(std::move(held), std::move(write), gather);
    // A worker faster than the user-interface thread waits for it now and then, so the writes (and the
    // progress steps posted between them) on their way stay a bounded few, however long the run.
    if (m_target->queued.load() > kMostQueued)
        waitForWrites();
}

void RowHandOver::waitForWrites() {
    Write held = std::move(m_held);
    m_held = Write{};
    // The batch handed over so far runs first, however far its time is.
    m_target->channel->run([&] {
        m_target->drain();
        if (held)
            held.run(*m_target);
    });
}

void RowHandOver::showLine(const QByteArray& text) {
    Write write;
    write.kind = Write::Kind::Line;
    write.line = MessageAreaLine(text);
    queue(std::move(write), true);
}

void RowHandOver::step(const ProgressReport& report) {
    Write write;
    write.kind = Write::Kind::Step;
    write.step = report.state;
    write.steps = report.steps;
    write.id = report.row;
    queue(std::move(write), true);
}

quint64 RowHandOver::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                            const QByteArray& sendTime) {
    const quint64 id = ++m_nextRowId;
    if (m_journal) {
        m_lastRowId = id;
        m_lastRowIndex = -1;
        m_lastRow = SendLogRow{};
        m_lastRow.texts[ColName] = caption;
        m_lastRow.image = image;
        m_lastRow.texts[ColMobile] = mobile;
        m_lastRow.texts[ColSendTime] = sendTime;
    }
    Write add;
    add.kind = Write::Kind::Add;
    add.id = id;
    add.image = image;
    add.a = caption;
    add.b = mobile;
    add.c = sendTime;
    queue(std::move(add), true);
    return id;
}

void RowHandOver::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                 const QByteArray& content) {
    record(rowId, code, codeImage, result, content);
    Write fill;
    fill.kind = Write::Kind::Fill;
    fill.id = rowId;
    fill.image = codeImage;
    fill.a = code;
    fill.b = result;
    fill.c = content;
    if (callerIsUiThread()) {
        queue(std::move(fill));
        return;
    }
    if (m_held)
        queue(Write{}); // sends the earlier fill on its way
    m_held = std::move(fill);
}

void RowHandOver::stepAfterFill(ProgressState state) {
    if (!m_held) {
        m_target->channel->postShowProcess(state); // the fill went straight to the wrapped access
        return;
    }
    // The fill joins the batch with its step now rather than with the next row: the batch is the one
    // hand-over either way, and the row is complete on screen even while the next exchange waits.
    Write fill = std::move(m_held);
    m_held = Write{};
    fill.step = state;
    handOver(std::move(fill), Write{}, true);
    if (m_target->queued.load() > kMostQueued)
        waitForWrites();
}

void RowHandOver::recordBeforeRequest(quint64 rowId, const QByteArray& content) {
    if (!m_journal || rowId != m_lastRowId || m_recordFailed)
        return;
    SendLogRow inFlight = m_lastRow;
    inFlight.texts[ColSendCode] = QByteArray::number(StopRows::kCode);
    inFlight.texts[ColSendResult] = StopRows::inFlightText();
    inFlight.texts[ColContent] = content;
    // Not recorded first, not sent: nothing of this message reached the gateway, so nothing is named.
    if (!m_journal->append(inFlight, &m_lastRowIndex))
        recordingFailed(nullptr);
}

void RowHandOver::record(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                         const QByteArray& content) {
    if (!m_journal || rowId != m_lastRowId || m_recordFailed)
        return;
    m_lastRow.texts[ColSendCode] = code;
    m_lastRow.codeImage = codeImage;
    m_lastRow.texts[ColSendResult] = result;
    m_lastRow.texts[ColContent] = content;
    m_lastRowId = 0;
    const bool recorded =
        m_lastRowIndex >= 0 ? m_journal->rewrite(m_lastRowIndex, m_lastRow) : m_journal->append(m_lastRow);
    m_lastRowIndex = -1;
    if (!recorded)
        recordingFailed(&m_lastRow);
}

void RowHandOver::recordingFailed(const SendLogRow* unrecorded) {
    m_recordFailed = true;
    const QByteArray line =
        big5(QStringLiteral("發訊紀錄無法寫入，作業已停止（%1）。%2")
                 .arg(m_journal->errorString(), unrecorded ? UnrecordedRowText(*unrecorded) : QString()));
    showLine(line); // behind the lines said before it
    WriteOpLog(line);
}

// A list job's marks and answers travel in batches like a send run's rows: a gateway that answers fast
// would otherwise wake the user-interface thread, and have the list show itself, once a row.
void RowHandOver::walked(const QVector<quint64>& rowIds, bool asked) {
    if (rowIds.isEmpty())
        return;
    Write walk;
    walk.kind = Write::Kind::Walk;
    walk.ids = rowIds;
    walk.image = asked ? 1 : 0;
    queue(std::move(walk), true);
}

void RowHandOver::answered(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    Write answer;
    answer.kind = Write::Kind::Answer;
    answer.id = rowId;
    answer.a = code;
    answer.b = result;
    queue(std::move(answer), true);
}

bool RowHandOver::runAfterWrites(const std::function<void()>& routine) {
    return m_target->channel->run([&] {
        m_target->drain();
        routine();
    });
}

bool RowHandOver::postAfterWrites(std::function<void()> routine) {
    return m_target->channel->post([target = m_target, routine = std::move(routine)] {
        target->drain();
        routine();
    });
}

void RowHandOver::flush() {
    // Queued calls run in order, so once this call has run every earlier write has too.
    waitForWrites();
    if (m_journal && !m_recordFailed && m_journal->isOpen())
        m_journal->sync(); // the end of a run is on disk at once, not within the second
}

} // namespace norvi
