#include "workers/UiThreadSendLog.h"

#include "workers/UiThread.h"

namespace norvi {

UiThreadSendLog::UiThreadSendLog(SendLogAccess& onUiThread) : m_target(std::make_shared<Target>(onUiThread)) {}

UiThreadSendLog::~UiThreadSendLog() = default;

void UiThreadSendLog::queue(std::function<void(Target& target)> write) {
    // On the user-interface thread itself a write is done at once, so a following read sees it.
    if (UiThread::isCurrent()) {
        write(*m_target);
        return;
    }
    UiThread::post([target = m_target, write = std::move(write)] { write(*target); });
}

quint64 UiThreadSendLog::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                                const QByteArray& sendTime) {
    const quint64 id = ++m_nextRowId;
    queue([=](Target& t) { t.rowIds[id] = t.log.addRow(caption, image, mobile, sendTime); });
    return id;
}

void UiThreadSendLog::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                     const QByteArray& content) {
    queue([=](Target& t) {
        const auto it = t.rowIds.find(rowId);
        if (it == t.rowIds.end())
            return;
        t.log.fillSendResult(it->second, code, codeImage, result, content);
        t.rowIds.erase(it); // a row is filled once
    });
}

void UiThreadSendLog::setQueryResult(int row, const QByteArray& code, const QByteArray& result) {
    queue([=](Target& t) { t.log.setQueryResult(row, code, result); });
}

void UiThreadSendLog::setSelected(int row, bool selected) {
    queue([=](Target& t) { t.log.setSelected(row, selected); });
}

int UiThreadSendLog::rowCount() {
    int n = 0;
    UiThread::run([&] { n = m_target->log.rowCount(); });
    return n;
}

QByteArray UiThreadSendLog::text(int row, int column) {
    QByteArray t;
    UiThread::run([&] { t = m_target->log.text(row, column); });
    return t;
}

int UiThreadSendLog::rowImage(int row) {
    int image = ImageNone;
    UiThread::run([&] { image = m_target->log.rowImage(row); });
    return image;
}

int UiThreadSendLog::codeImage(int row) {
    int image = ImageNone;
    UiThread::run([&] { image = m_target->log.codeImage(row); });
    return image;
}

QVector<int> UiThreadSendLog::selectedRows() {
    QVector<int> rows;
    UiThread::run([&] { rows = m_target->log.selectedRows(); });
    return rows;
}

bool UiThreadSendLog::isSelected(int row) {
    bool selected = false;
    UiThread::run([&] { selected = m_target->log.isSelected(row); });
    return selected;
}

void UiThreadSendLog::batch(const std::function<void(SendLogAccess& log)>& steps) {
    UiThread::run([&] { steps(m_target->log); });
}

void UiThreadSendLog::flush() {
    // Queued calls run in order, so once an empty call has run every earlier write has too.
    UiThread::run([] {});
}

} // namespace norvi
