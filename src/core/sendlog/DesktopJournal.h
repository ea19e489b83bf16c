#pragma once

#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/RunPlan.h"
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

    QString m_folder;
    LogStream m_stream;
};

} // namespace norvi
