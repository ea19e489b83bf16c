#pragma once

#include "workers/SendLogAccess.h"

#include <functional>

namespace norvi {

// The send log as a worker reaches it: every call runs on the user-interface thread against the
// wrapped access (the model behind the main window's list) while the worker waits. The wrapped access
// is only ever touched on that thread, so it needs no lock of its own.
class UiThreadSendLog : public SendLogAccess {
public:
    explicit UiThreadSendLog(SendLogAccess& onUiThread) : m_log(onUiThread) {}

    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;
    void setQueryResult(int row, const QByteArray& code, const QByteArray& result) override;

    int rowCount() override;
    QByteArray text(int row, int column) override;
    int rowImage(int row) override;
    int codeImage(int row) override;

    QVector<int> selectedRows() override;
    bool isSelected(int row) override;
    void setSelected(int row, bool selected) override;

    // Several steps on the wrapped access in one trip to the user-interface thread, so a job that
    // reads a row's cells and then marks it pays for one hand-over rather than one per cell.
    void batch(const std::function<void(SendLogAccess& log)>& steps);

private:
    SendLogAccess& m_log;
};

} // namespace norvi
