#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/shared/SaveFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The plan of a send run: every short message it is about to send, written beside the file its rows go to
// (the desktop program's journal, norvi-cli's ".partial") before its first request, and removed when the
// run has ended with a row for each. A run killed half-way leaves it, so whoever takes the rows over (the
// desktop program's next start, norvi-cli finish) adds a row for each message the run never reached.
//
// The file is "JOURNAL.plan", plain text in the program's encoding (Big5), written whole and put in place
// atomically. Its lines end with LF; fields are separated by a tab, and a tab, CR, LF or backslash inside a
// field is written as \t, \r, \n or \\:
//   norvi-plan 1
//   before  N                                   rows the journal held when the run began
//   M       SEGMENT                             a short message of the run's common text (in order)
//   R       IMAGE  NUMBER  NAME                 a recipient who gets the common text: one row per M line
//   S       IMAGE  NUMBER  NAME  SEGMENT ...    a recipient with a text of its own, one field per message
// The messages go out in the order of the R and S lines; IMAGE is the row's image (11, 14 or 15).
namespace norvi {

class RunPlanWriter {
public:
    // The plan of a run whose rows go to `journal`, which holds `rowsBefore` rows when the run begins.
    RunPlanWriter(const QString& journal, qint64 rowsBefore);

    bool open();
    // One recipient's short messages, in the order they are sent.
    void add(int image, const QByteArray& name, const QByteArray& number, const std::vector<QByteArray>& segments);
    // On disk, in place; false with errorString() (the plan is then not there, and nothing may be sent).
    bool commit();
    QString errorString() const;

private:
    void line(const QList<QByteArray>& fields);

    SaveFile m_file;
    qint64 m_before;
    std::vector<QByteArray> m_common; // the common text's segments, once an R line uses them
    bool m_commonWritten = false;
    QByteArray m_buffer;
};

QString RunPlanPath(const QString& journal);
// The plan goes once its run has a row for every message.
void RemoveRunPlan(const QString& journal);

// The rows to add for the messages of an interrupted run that have none in its journal.
struct UnreachedRows {
    bool planned = false; // a plan was found
    bool fits = true;     // the journal's rows are the plan's first messages, so the rest are known
    QString problem;      // why a plan that was found cannot be used
    std::vector<SendLogRow> rows;
    int notSent = 0; // the messages without a row: never sent
    int damaged = 0; // the messages whose rows a power cut left damaged: they may have gone out
};

// The text of the rows of the messages the run never reached.
QByteArray InterruptedNotSentText();

// For `journal`, which holds `rowCount` whole rows: the plan's messages from the first without a row on,
// stamped `sendTime`, when the journal's last row goes to the number the plan has there. A run records each
// message's row before its request ("可能已送出" until the answer replaces it), so a message without a row
// never went out: its row says "未傳送：程式中斷", which 失敗重發 sends. The messages of records a power cut damaged
// at the journal's end (LogFileReader::damagedTail, not counted in `rowCount`) were reached: "紀錄已損壞，可能已送出".
UnreachedRows FindUnreachedRows(const QString& journal, qint64 rowCount, const QByteArray& sendTime);

// Adds what `more` found to `into` (the rows of several journals), a plan that does not fit included.
void AddUnreachedRows(UnreachedRows* into, const UnreachedRows& more);

// What recovery says of the rows it added (empty when it added none and every plan fitted).
QString UnreachedRowsText(const UnreachedRows& unreached);

} // namespace norvi
