#include "workers/UiThreadSendLog.h"

#include "workers/UiThread.h"

namespace norvi {

quint64 UiThreadSendLog::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                                const QByteArray& sendTime) {
    quint64 id = 0;
    UiThread::run([&] { id = m_log.addRow(caption, image, mobile, sendTime); });
    return id;
}

void UiThreadSendLog::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                     const QByteArray& content) {
    UiThread::run([&] { m_log.fillSendResult(rowId, code, codeImage, result, content); });
}

void UiThreadSendLog::setQueryResult(int row, const QByteArray& code, const QByteArray& result) {
    UiThread::run([&] { m_log.setQueryResult(row, code, result); });
}

int UiThreadSendLog::rowCount() {
    int n = 0;
    UiThread::run([&] { n = m_log.rowCount(); });
    return n;
}

QByteArray UiThreadSendLog::text(int row, int column) {
    QByteArray t;
    UiThread::run([&] { t = m_log.text(row, column); });
    return t;
}

int UiThreadSendLog::rowImage(int row) {
    int image = ImageNone;
    UiThread::run([&] { image = m_log.rowImage(row); });
    return image;
}

int UiThreadSendLog::codeImage(int row) {
    int image = ImageNone;
    UiThread::run([&] { image = m_log.codeImage(row); });
    return image;
}

QVector<int> UiThreadSendLog::selectedRows() {
    QVector<int> rows;
    UiThread::run([&] { rows = m_log.selectedRows(); });
    return rows;
}

bool UiThreadSendLog::isSelected(int row) {
    bool selected = false;
    UiThread::run([&] { selected = m_log.isSelected(row); });
    return selected;
}

void UiThreadSendLog::setSelected(int row, bool selected) {
    UiThread::run([&] { m_log.setSelected(row, selected); });
}

void UiThreadSendLog::batch(const std::function<void(SendLogAccess& log)>& steps) {
    UiThread::run([&] { steps(m_log); });
}

} // namespace norvi
