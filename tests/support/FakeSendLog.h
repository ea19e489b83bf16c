#pragma once

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogRows.h"
#include "core/sendlog/RowAnswers.h"
#include "core/workers/UiThread.h"

#include <QList>
#include <QVector>

#include <atomic>
#include <deque>
#include <functional>

namespace norvi::test {

// An in-memory send log in list order (rows are appended, never sorted), as a send run writes it, a list job
// answers into it and a starter reads it. It counts every call made off the user-interface thread, which must
// never happen: workers reach it through RowHandOver.
class FakeSendLog : public JobRows, public RowAnswers, public LogRows {
public:
    struct Row {
        quint64 id = 0;
        int image = ImageNone;
        int codeImage = ImageNone;
        bool selected = false;
        QByteArray cells[kSendLogColumns]; // 0 is the caption
    };

    QList<Row> rows;
    mutable std::atomic<int> offThreadCalls{0};
    int fillCalls = 0;
    // Runs inside addRow while the worker waits for its row, with the number of rows added so far.
    std::function<void(int added)> onAddRow;
    // Runs inside answered, after the row (its position) got its answer.
    std::function<void(int row)> onQueryResult;
    int selectionWrites = 0; // hand-overs of walked rows

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
    void walkBegins(bool allRows) override { m_walkAll = allRows; }
    void walked(const QVector<quint64>& ids, bool asked) override {
        check();
        ++selectionWrites;
        // As the list shows it: an all-rows job selects what it asks, a selected-rows job lets go of the rest.
        if (asked != m_walkAll)
            return;
        for (const quint64 id : ids)
            if (const int position = positionOf(id); position >= 0)
                rows[position].selected = asked;
    }
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) override {
        check();
        const int row = positionOf(rowId);
        if (row < 0)
            return;
        rows[row].cells[ColQueryCode] = code;
        rows[row].cells[ColQueryResult] = result;
        if (onQueryResult)
            onQueryResult(row);
    }

    int rowCount() const override { return check(), int(rows.size()); }
    const SendLogRow& row(int position) const override {
        check();
        while (int(m_views.size()) <= position)
            m_views.emplace_back();
        SendLogRow& view = m_views[std::size_t(position)];
        const Row& r = rows.at(position);
        for (int c = 0; c < kSendLogColumns; ++c)
            view.texts[std::size_t(c)] = r.cells[c];
        view.image = r.image;
        view.codeImage = r.codeImage;
        return view;
    }
    quint64 rowId(int position) const override { return check(), rows.at(position).id; }
    QVector<int> selectedRows() const override { return check(), selection(); }

    int positionOf(quint64 id) const {
        for (int i = 0; i < rows.size(); ++i)
            if (rows.at(i).id == id)
                return i;
        return -1;
    }
    // Exactly these rows selected, as the main window shows what a resend takes.
    void selectExactly(const QVector<int>& marked) {
        for (Row& r : rows)
            r.selected = false;
        setSelectedRows(marked, true);
    }
    // Whole rows of the selection at once, as the list would take the user's clicks.
    void setSelectedRows(const QVector<int>& marked, bool selected) {
        for (int row : marked)
            rows[row].selected = selected;
    }

private:
    void check() const {
        if (!UiThread::isCurrent())
            ++offThreadCalls;
    }
    quint64 m_nextId = 0;
    bool m_walkAll = false;
    // The rows as row() hands them out: a deque, so handing out one never moves another.
    mutable std::deque<SendLogRow> m_views;
};

} // namespace norvi::test
