#pragma once

#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/SendLogRow.h"

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
class DesktopJournal : public RowJournal {
public:
    explicit DesktopJournal(const QString& folder);
    ~DesktopJournal() override;

    LogStream* beginRun(QString* error) override;
    void rowsSettled() override;
    QString path() const { return m_stream.isOpen() ? m_stream.path() : QString(); }

    // Journals in the folder that no running program holds.
    static QStringList leftBehind(const QString& folder);

    // The rows of journals left behind, taken over: they go into this program's own journal (which is
    // created for them) and the old files are removed. The rows are appended to `rows`. A journal another
    // program takes at the same moment is skipped. False with `error` when this journal cannot be made.
    bool adopt(const QStringList& journals, std::vector<SendLogRow>* rows, QString* error);

    // The rows of journals left behind written as a finished ".log" under `target` (a new name), and the
    // journals removed. False with `error`, the journals then stay.
    static bool keepAsLog(const QStringList& journals, const QString& target, int* rows, QString* error);

private:
    bool open(QString* error);

    QString m_folder;
    LogStream m_stream;
};

} // namespace norvi
