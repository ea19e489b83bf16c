#pragma once

#include "core/sendlog/JobRows.h"
#include "core/workers/UiThread.h"

#include <QList>
#include <QVector>

#include <atomic>
#include <functional>

namespace norvi::test {

// An in-memory send log in list order (rows are appended, never sorted). It counts every call made
// off the user-interface thread, which must never happen: workers reach it through RowHandOver.
class FakeSendLog : public JobRows {
public:
    struct Row {
        quint64 id = 0;
        int image = ImageNone;
        int codeImage = ImageNone;
        bool selected = false;
        QByteArray cells[kSendLogColumns]; // 0 is the caption
    };

    QList<Row> rows;
    std::atomic<int> offThreadCalls{0};
    int fillCalls = 0;
    // Runs inside addRow while the worker waits for its row, with the number of rows added so far.
    std::function<void(int added)> onAddRow;
    // Runs inside setQueryResult, after the row got its answer.
    std::function<void(int row)> onQueryResult;
    int selectionWrites = 0; // calls that change the selection

    // A row as a finished send leaves it.
    Row& append(const QByteArray& caption, const QByteArray& sendCode, const QByteArray& sendResult,
                const QByteArray& queryCode = QByteArray(), int codeImage = ImageNone, bool selected = false,
                int image = ImageTyped) {
        Row r;
        r.id = ++m_nextId;
        r.image = image;
        r.codeImage = codeImage;
        r.selected = selected;
        r.cells[ColName] = caption;
        r.cells[ColMobile] = "0912345678";
        r.cells[ColSendCode] = sendCode;
        r.cells[ColSendResult] = sendResult;
        r.cells[ColQueryCode] = queryCode;
        r.cells[ColContent] = "hello";
        rows.append(r);
        return rows.last();
    }
    QVector<int> selection() const {
        QVector<int> out;
        for (int i = 0; i < rows.size(); ++i)
            if (rows.at(i).selected)
                out.append(i);
        return out;
    }

    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                   const QByteArray& sendTime) override {
        check();
        Row r;
        r.id = ++m_nextId;
        r.image = image;
        r.cells[ColName] = caption;
        r.cells[ColMobile] = mobile;
        r.cells[ColSendTime] = sendTime;
        rows.append(r);
        if (onAddRow)
            onAddRow(int(rows.size()));
        return r.id;
    }
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override {
        check();
        ++fillCalls;
        for (Row& r : rows) {
            if (r.id == rowId) {
                r.cells[ColSendCode] = code;
                r.codeImage = codeImage;
                r.cells[ColSendResult] = result;
                r.cells[ColContent] = content;
            }
        }
    }
    void setQueryResult(int row, const QByteArray& code, const QByteArray& result) override {
        check();
        rows[row].cells[ColQueryCode] = code;
        rows[row].cells[ColQueryResult] = result;
        if (onQueryResult)
            onQueryResult(row);
    }
    int rowCount() override { return check(), int(rows.size()); }
    QByteArray text(int row, int column) override { return check(), rows.at(row).cells[column]; }
    int rowImage(int row) override { return check(), rows.at(row).image; }
    int codeImage(int row) override { return check(), rows.at(row).codeImage; }
    QVector<int> selectedRows() override { return check(), selection(); }
    bool isSelected(int row) override { return check(), rows.at(row).selected; }
    void setSelected(int row, bool selected) override {
        check();
        ++selectionWrites;
        rows[row].selected = selected;
    }
    void setSelectedRows(const QVector<int>& marked, bool selected) override {
        check();
        ++selectionWrites;
        for (int row : marked)
            rows[row].selected = selected;
    }

private:
    void check() {
        if (!UiThread::isCurrent())
            ++offThreadCalls;
    }
    quint64 m_nextId = 0;
};

} // namespace norvi::test
