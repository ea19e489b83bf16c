#pragma once

#include <QByteArray>

namespace norvi {

class SendLogAccess;
class SendThd;

// The job of a query worker (delivery status) or a cancel worker (reservations): either one MsgId
// typed into the query dialog, answered in a box, or the rows of the send log, answered in each row's
// 查詢碼 and 查詢結果 cells.
class QueryJob {
public:
    explicit QueryJob(SendThd& worker);
    void run();

    // What a row offers the job: whether to ask about it and, if so, which MsgId.
    struct RowPlan {
        bool ask = false;
        QByteArray sendResult;
        QByteArray msgId;
    };
    // The eligibility rule, from the row's cells. `sendCodeImage` is the image of the 傳送碼 cell.
    static RowPlan planRow(const QByteArray& sendCode, int sendCodeImage, const QByteArray& queryCode,
                           const QByteArray& sendResult);
    static bool isRetryCode(int code);

private:
    void runSingle();
    void runRows();
    bool readRow(int position, bool allRows, const QVector<int>& selected, int* row, RowPlan* plan);
    void askRow(int row, const RowPlan& plan);

    SendThd& m_worker;
    bool m_cancel;
};

} // namespace norvi
