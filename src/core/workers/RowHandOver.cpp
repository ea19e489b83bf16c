#include "core/workers/RowHandOver.h"

#include "core/workers/UiThread.h"

#include "core/sendlog/LogStream.h"
#include "core/shared/Big5.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"

#include <QCoreApplication>
#include <QTimer>

namespace norvi {

namespace {
constexpr int kMostQueued = 512;
// A batch is run this long after its first write at the latest: rows still appear at once to the eye.
constexpr int kBatchMs = 4;
// A batch this large is run without waiting for its time, so the worker seldom reaches kMostQueued.
constexpr std::size_t kBatchWrites = 128;

// A step in a batch is handed to the progress window at once, on the user-interface thread where the window
// lives: posting it from there would cost that thread a wake-up and an event for every row of the batch.
void showStep(int state) {
    if (QObject* target = ProgressTarget()) {
        ShowProcessEvent step(state);
        QCoreApplication::sendEvent(target, &step);
    }
}
} // namespace

void RowHandOver::Target::drain() {
    std::vector<Write> writes;
    {
        std::lock_guard<std::mutex> guard(lock);
        writes.swap(pending);
        // The next batch is likely as large: it is not grown again a write at a time.
        pending.reserve(writes.size());
        drainPosted = false;
        urgentPosted = false;
    }
    for (Write& write : writes) {
        write(*this);
        --queued;
    }
}

RowHandOver::RowHandOver(JobRows& onUiThread) : m_target(std::make_shared<Target>(onUiThread)) {}

RowHandOver::~RowHandOver() {
    // A fill still held is not lost with its wrapper: it lands behind the worker's earlier writes (its row
    // among them) that may still be waiting, at once when this is the user-interface thread.
    if (!m_held)
        return;
    if (UiThread::isCurrent()) {
        m_target->drain();
        m_held(*m_target);
        return;
    }
    handOver(std::move(m_held), nullptr, false);
}

void RowHandOver::handOver(Write held, Write write, bool gather) {
    bool postLater = false;
    bool postNow = false;
    {
        std::lock_guard<std::mutex> guard(m_target->lock);
        for (Write* w : {&held, &write}) {
            if (!*w)
                continue;
            m_target->pending.push_back(std::move(*w));
            ++m_target->queued;
        }
        if (gather && !m_target->drainPosted) {
            m_target->drainPosted = true;
            postLater = true;
        } else if (!m_target->urgentPosted && (!gather || m_target->pending.size() >= kBatchWrites)) {
            m_target->urgentPosted = true;
            postNow = true;
        }
    }
    // One hand-over starts the batch's timer on the user-interface thread; the rows that follow join the
    // batch without waking that thread. Any other write goes at once, with whatever is pending before it.
    if (postLater)
        UiThread::post([target = m_target] {
            QTimer::singleShot(kBatchMs, QCoreApplication::instance(), [target] { target->drain(); });
        });
    if (postNow)
        UiThread::post([target = m_target] { target->drain(); });
}

void RowHandOver::queue(Write write, bool gather) {
    Write held = std::move(m_held);
    m_held = nullptr;
    // On the user-interface thread itself a write is done at once, so a following read sees it.
    if (UiThread::isCurrent()) {
        m_target->drain();
        if (held)
            held(*m_target);
        write(*m_target);
        return;
    }
    handOver(std::move(held), std::move(write), gather);
    // A worker faster than the user-interface thread waits for it now and then, so the writes (and the
    // progress steps posted between them) on their way stay a bounded few, however long the run.
    if (m_target->queued.load() > kMostQueued)
        wait([](JobRows&) {});
}

void RowHandOver::wait(const std::function<void(JobRows& log)>& read) {
    Write held = std::move(m_held);
    m_held = nullptr;
    // The batch handed over so far runs first, however far its time is: the read sees every write.
    UiThread::run([&] {
        m_target->drain();
        if (held)
            held(*m_target);
        read(m_target->log);
    });
}

quint64 RowHandOver::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                            const QByteArray& sendTime) {
    const quint64 id = ++m_nextRowId;
    if (m_journal) {
        m_lastRowId = id;
        m_lastRow = SendLogRow{};
        m_lastRow.texts[ColName] = caption;
        m_lastRow.image = image;
        m_lastRow.texts[ColMobile] = mobile;
        m_lastRow.texts[ColSendTime] = sendTime;
    }
    queue([=](Target& t) { t.rowIds[id] = t.log.addRow(caption, image, mobile, sendTime); }, true);
    return id;
}

void RowHandOver::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                 const QByteArray& content) {
    record(rowId, code, codeImage, result, content);
    Write fill = [=](Target& t) {
        const auto it = t.rowIds.find(rowId);
        if (it == t.rowIds.end())
            return;
        t.log.fillSendResult(it->second, code, codeImage, result, content);
        t.rowIds.erase(it); // a row is filled once
    };
    if (UiThread::isCurrent()) {
        queue(std::move(fill));
        return;
    }
    if (m_held)
        queue([](Target&) {}); // sends the earlier fill on its way
    m_held = std::move(fill);
}

void RowHandOver::stepAfterFill(int state) {
    if (!m_held) {
        PostShowProcess(state); // the fill went straight to the wrapped access
        return;
    }
    // The fill joins the batch with its step now rather than with the next row: the batch is the one
    // hand-over either way, and the row is complete on screen even while the next exchange waits.
    Write fill = std::move(m_held);
    m_held = nullptr;
    handOver(
        std::move(fill), [state](Target&) { showStep(state); }, true);
    if (m_target->queued.load() > kMostQueued)
        wait([](JobRows&) {});
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
    if (m_journal->append(m_lastRow))
        return;
    m_recordFailed = true;
    const QByteArray line = big5(QStringLiteral("發訊紀錄無法寫入，作業已停止（%1）").arg(m_journal->errorString()));
    UiThread::post([line] { ShowMsgLine(line); });
    WriteOpLog(line);
}

void RowHandOver::setQueryResult(int row, const QByteArray& code, const QByteArray& result) {
    queue([=](Target& t) { t.log.setQueryResult(row, code, result); });
}

void RowHandOver::setSelected(int row, bool selected) {
    queue([=](Target& t) { t.log.setSelected(row, selected); });
}

void RowHandOver::setSelectedRows(const QVector<int>& rows, bool selected) {
    if (rows.isEmpty())
        return;
    queue([=](Target& t) { t.log.setSelectedRows(rows, selected); });
}

int RowHandOver::rowCount() {
    int n = 0;
    wait([&](JobRows& log) { n = log.rowCount(); });
    return n;
}

QByteArray RowHandOver::text(int row, int column) {
    QByteArray t;
    wait([&](JobRows& log) { t = log.text(row, column); });
    return t;
}

int RowHandOver::rowImage(int row) {
    int image = ImageNone;
    wait([&](JobRows& log) { image = log.rowImage(row); });
    return image;
}

int RowHandOver::codeImage(int row) {
    int image = ImageNone;
    wait([&](JobRows& log) { image = log.codeImage(row); });
    return image;
}

QVector<int> RowHandOver::selectedRows() {
    QVector<int> rows;
    wait([&](JobRows& log) { rows = log.selectedRows(); });
    return rows;
}

bool RowHandOver::isSelected(int row) {
    bool selected = false;
    wait([&](JobRows& log) { selected = log.isSelected(row); });
    return selected;
}

void RowHandOver::batch(const std::function<void(JobRows& log)>& steps) {
    wait(steps);
}

bool RowHandOver::runAfterWrites(const std::function<void()>& routine) {
    return UiThread::run([&] {
        m_target->drain();
        routine();
    });
}

void RowHandOver::flush() {
    // Queued calls run in order, so once this call has run every earlier write has too.
    wait([](JobRows&) {});
    if (m_journal && !m_recordFailed && m_journal->isOpen())
        m_journal->sync(); // the end of a run is on disk at once, not within the second
}

} // namespace norvi
