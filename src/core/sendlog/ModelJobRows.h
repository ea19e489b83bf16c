#pragma once

#include "core/sendlog/JobRows.h"

class QItemSelectionModel;

namespace norvi {

class SendLogModel;

// The jobs' door to the send log, working directly on a model and its selection. The command-line front
// end and the tests use it as it is; the desktop program runs each call on the user-interface thread.
class ModelJobRows : public JobRows {
public:
    ModelJobRows(SendLogModel& model, QItemSelectionModel& selection);

    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;
    void setQueryResult(int row, const QByteArray& code, const QByteArray& result) override;

    int rowCount() override;
    QByteArray text(int row, int column) override;
    int rowImage(int row) override;
    int codeImage(int row) override;
    quint64 addedOrder(int row) override;
    quint32 addedRun(int row) override;
    void startRun() override { ++m_run; }

    QVector<int> selectedRows() override;
    int selectedCount() const; // without listing the rows: cheap enough for every insert
    bool isSelected(int row) override;
    void setSelected(int row, bool selected) override;
    // One change of the selection: runs of neighbouring rows become one range each.
    void setSelectedRows(const QVector<int>& rows, bool selected) override;

private:
    bool valid(int row) const;

    SendLogModel& m_model;
    QItemSelectionModel& m_selection;
    quint32 m_run = 0; // the send run whose rows addRow adds now
};

} // namespace norvi
