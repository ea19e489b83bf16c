#pragma once

#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/RunPlan.h"
#include "core/sendlog/SendLogRow.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace norvi {

// The desktop program's journal of send-log rows the user has not saved yet: a ".log" in the start folder
// ("norvi-journal-TIME-PID.log"), written by the workers as rows come, with the same rules as norvi-cli's
// logs (the count -1 until it is settled, one write per row, synced within a second and at the end of a
// run). One per running program, created exclusively and locked while the program runs, so no other
// program takes a live one. It goes when its rows are saved, cleared or not wanted; one left behind (a
// crash, a kill, a log-out) is offered back at the next start.
//
// The answers of list jobs (查詢, 取消預約, 追蹤傳送結果) are journalled beside the rows, in a file of the same
// kind named after the journal (answersPath), one record per message rewritten as each new answer lands. At the
// next start each answer takes the place of its message's row; one whose row is not in the journal (a row of a
// saved log the user had loaded) comes back as a row of its own after them.
class DesktopJournal : public RowJournal {
public:
    explicit DesktopJournal(const QString& folder);
    ~DesktopJournal() override;

    LogStream* beginRun(QString* error) override;
    void rowsSettled() override;
    void answered(const SendLogRow& row) override;
    void answersDone() override;
    QString path() const { return m_stream.isOpen() ? m_stream.path() : QString(); }

    // Where the answers beside the journal `journal` are kept.
    static QString answersPath(const QString& journal);
    // The journal's rows with the answers kept beside them: each in place of its message's row (the same MsgId
    // and number), the latest of a message's answers winning; the answers whose row is not among `rows` are
    // appended to `own`, in the order they first came.
    static void placeAnswers(std::vector<SendLogRow>* rows, const std::vector<SendLogRow>& answers,
                             std::vector<SendLogRow>* own);
    // Removes a journal left behind with the answers and the plan beside it.
    static void removeLeftBehind(const QString& journal);

    // Why the records of the journal or of the answers beside it cannot all be read (a damaged record before
    // sound ones), empty when they can.
    // Such a journal is never taken nor removed: the rows after the damage would be lost, and its plan would
    // take their messages, which went out, for ones never sent.
    static QString refusal(const QString& journal);

    // Journals in the folder that no running program holds.
    static QStringList leftBehind(const QString& folder);
    // What journals left behind hold: their whole rows, and the rows their interrupted runs' plans add for
    // the messages never reached (RunPlan.h).
    static int rowsLeft(const QStringList& journals, UnreachedRows* unreached);

    // The rows of journals left behind, taken over, each journal's unreached messages after its rows: they go
    // into this program's own journal (which is created for them) and the old files and their plans are
    // removed. The rows are appended to `rows`; `unreached` says what was added. A journal another program
    // takes at the same moment is skipped. False with `error` when this journal cannot be made.
    bool adopt(const QStringList& journals, std::vector<SendLogRow>* rows, UnreachedRows* unreached, QString* error);

    // The same rows written as a finished ".log" under `target` (a new name), and the journals and their plans
    // removed. False with `error`, the journals then stay.
    static bool keepAsLog(const QStringList& journals, const QString& target, int* rows, UnreachedRows* unreached,
                          QString* error);

private:
    bool open(QString* error);
    bool openAnswers(QString* error);
    void answersFailed(const QString& error);

    QString m_folder;
    LogStream m_stream;
    LogStream m_answers;
    QHash<QByteArray, qint64> m_answerAt; // each message's record in m_answers
    bool m_answersFailSaid = false;
};

} // namespace norvi
