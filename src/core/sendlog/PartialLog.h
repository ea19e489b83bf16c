#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QString>

#include <vector>

namespace norvi {

class LogFileReader;

// A ".log" that a norvi-cli run left unfinished. A run writes "LOG.XXXXXX.partial" beside the log it is to
// replace (a resend, a query, a cancellation and send --append first copy that log's records into it, then
// add or answer rows) and renames it over the log at its end. A run killed before leaves the partial file,
// with the count -1, every row it had, and its lock free. It is newer than its log: a job that read the
// log instead would not see the rows the killed run made, and would send their messages again.
class PartialLog {
public:
    // What finishing it does.
    enum class Ending {
        NewLog,    // its log is not there (or is the empty name its run took): it becomes that log
        Continues, // it begins with every record of its log (answers in 查詢碼 and 查詢結果 aside): it replaces it
        NothingNew, // it holds no more than its log's first records, unchanged: it is removed
        Elsewhere,  // it does not continue its log: it can only be written to another file
    };

    // Reads what finishing `path` would do.
    explicit PartialLog(const QString& path);

    // "LOG.XXXXXX.partial": true, with LOG, for the name of a partial log file.
    static bool targetOf(const QString& path, QString* target);
    // Whether no program writes the file any more: its lock is free.
    static bool abandoned(const QString& path);
    // The partial files nobody writes any more beside the file a save of `log` replaces, oldest first.
    static std::vector<PartialLog> of(const QString& log);

    const QString& path() const { return m_path; }
    const QString& target() const { return m_target; }
    qint64 wholeRecords() const { return m_wholeRecords; }
    Ending ending() const { return m_ending; }
    // A free name for the file it can be written to when it does not continue its log: "LOG-XXXXXX.log".
    QString elsewhereName() const;
    // The one norvi-cli command that finishes it, as a shell takes it (`program`: how norvi-cli is started),
    // in a sentence: "請以 norvi-cli finish /logs/r.log.Ab12Cd.partial 把它完成為 /logs/r.log。"
    QString advice(const QString& program = QStringLiteral("norvi-cli")) const;

    // Finishes it as ending() says, when that is not Elsewhere: its whole records replace (or become) its
    // log, atomically, and the partial file is removed; one with nothing new is only removed. The caller
    // holds the log's lock (FileLock). False with the reason in `error`.
    bool finish(QString* error) const;

private:
    QString m_path;
    QString m_target;
    qint64 m_wholeRecords = 0;
    Ending m_ending = Ending::Elsewhere;
};

// Writes every whole record `reader` (opened) reads to `to`, which is replaced atomically, with their true
// count. False, with the reason in `error`, when a record is no send-log row or `to` cannot be written;
// `to` is then as it was.
// `after` (rows a plan says the killed run never reached) follow the records.
bool WriteWholeRecords(LogFileReader& reader, const QString& to, QString* error,
                       const std::vector<SendLogRow>& after = {});
// The number of whole records in a log file, whatever its count says (0 when it cannot be read).
int WholeRecordsIn(const QString& path);

} // namespace norvi
