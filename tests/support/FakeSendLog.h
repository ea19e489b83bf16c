#pragma once

#include "workers/SendLogAccess.h"
#include "workers/UiThread.h"

#include <QList>
#include <QVector>

#include <atomic>
#include <functional>

namespace norvi::test {

// An in-memory send log in list order (rows are appended, never sorted). It notes every call made
// off the user-interface thread, which must never happen: the worker reaches it only through
// UiThreadSendLog.
class FakeSendLog : public SendLogAccess {
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
    int addRowCalls = 0;
    int fillCalls = 0;
    // Runs inside addRow, on the user-interface thread while the worker waits: lets a test act at an
    // exact point of a run. Receives the number of rows added so far, this one included.
    std::function<void(int added)> onAddRow;

    // A row as it would be after a send, for query and resend tests.
    Row& append(const QByteArray& caption, int image, const QByteArray& sendCode, const QByteArray& sendResult,
                const QByteArray& queryCode = QByteArray(), int codeImage = ImageNone, bool selected = false) {
        Row r;
        r.id = ++m_nextId;
        r.image = image;
        r.codeImage = codeImage;
        r.selected = selected;
        r.cells[ColName] = caption;
        r.cells[ColMobile] = "0912345678";
        r.cells[ColSendTime] = "20240102030405";
        r.cells[ColSendCode] = sendCode;
        r.cells[ColSendResult] = sendResult;
        r.cells[ColQueryCode] = queryCode;
        r.cells[ColContent] = "hello";
        rows.append(r);
        return rows.last();
    }

    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                   const QByteArray& sendTime) override {
        check();
        ++addRowCalls;
        Row r;
        r.id = ++m_nextId;
        r.image = image;
        r.cells[ColName] = caption;
        r.cells[ColMobile] = mobile;
        r.cells[ColSendTime] = sendTime;
        rows.append(r);
        if (onAddRow)
            onAddRow(addRowCalls);
        return r.id;
    }
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override {
        check();
        ++fillCalls;
        for (Row& r : rows) {
            if (r.id != rowId)
                continue;
            r.cells[ColSendCode] = code;
            r.codeImage = codeImage;
            r.cells[ColSendResult] = result;
            r.cells[ColQueryCode].clear();
            r.cells[ColQueryResult].clear();
            r.cells[ColContent] = content;
        }
    }
    void setQueryResult(int row, const QByteArray& code, const QByteArray& result) override {
        check();
        rows[row].cells[ColQueryCode] = code;
        rows[row].cells[ColQueryResult] = result;
    }
    int rowCount() override {
        check();
        return int(rows.size());
    }
    QByteArray text(int row, int column) override {
        check();
        return rows.at(row).cells[column];
    }
    int rowImage(int row) override {
        check();
        return rows.at(row).image;
    }
    int codeImage(int row) override {
        check();
        return rows.at(row).codeImage;
    }
    QVector<int> selectedRows() override {
        check();
        QVector<int> out;
        for (int i = 0; i < rows.size(); ++i)
            if (rows.at(i).selected)
                out.append(i);
        return out;
    }
    bool isSelected(int row) override {
        check();
        return rows.at(row).selected;
    }
    void setSelected(int row, bool selected) override {
        check();
        rows[row].selected = selected;
    }

    QVector<int> selection() const {
        QVector<int> out;
        for (int i = 0; i < rows.size(); ++i)
            if (rows.at(i).selected)
                out.append(i);
        return out;
    }

private:
    void check() {
        if (!UiThread::isCurrent())
            ++offThreadCalls;
    }
    quint64 m_nextId = 0;
};

} // namespace norvi::test
