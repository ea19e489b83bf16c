#pragma once

#include "core/compose/ComposeState.h"
#include "core/compose/ListFileSheet.h"

#include <QString>

#include <functional>
#include <vector>

// A recipient list file as the send dialog's 上載... reads it: within the size and line limits, without NUL
// bytes, and in Big5 or UTF-8 (whichever the whole file is), so that the rows hold Big5 like every record.
namespace norvi {

class StopFlag;

// The file is read twice, a piece at a time, and never held whole: once to check it (every byte, as a
// check of the whole file would), then into the rows, each line kept to its first 64 KB (kMaxListLineBytes).
class RecipientListFile {
public:
    RecipientListFile() = default;
    ~RecipientListFile();
    RecipientListFile(const RecipientListFile&) = delete;
    RecipientListFile& operator=(const RecipientListFile&) = delete;

    // Opens the file and reads it through once. False when it is refused, with error() saying why; nothing
    // has been read into any rows then.
    bool check(const QString& path);
    // The second reading, of a file check() passed: `into`'s ListFileRows and entries as ReadListFileLines
    // makes them, `step` once before each line, stopping early once `stop` (none by default) is asked for.
    // False when the file could not be read again or changed since it was checked (error()); `into` then
    // keeps no row of it.
    bool readRows(ParsedRecipients& into, const std::function<void()>& step = {}, const StopFlag* stop = nullptr);

    const QString& error() const { return m_error; }
    qint64 lineCount() const { return m_lines; }
    bool isUtf8() const { return m_utf8; }
    // The list is the first sheet of a workbook (.xlsx), told by the file's content.
    bool isWorkbook() const { return m_workbook; }
    // The lines (from 0) that readRows() cut at kMaxListLineBytes.
    const std::vector<qint64>& cutLines() const { return m_cut; }

private:
    bool fail(const QString& error);
    bool checkSheet();
    bool readSheetRows(ParsedRecipients& into, const std::function<void()>& step, const std::function<bool()>& stopped);

    int m_fd = -1;
    QString m_path;
    qint64 m_size = 0;
    qint64 m_modified = 0;
    qint64 m_lines = 0;
    bool m_utf8 = false;
    bool m_workbook = false;
    QString m_error;
    std::vector<qint64> m_cut;
};

// What the user should know about the rows just read into `parsed`'s ListFileRows: rows without a number are never
// sent, and a number longer than 29 bytes would refuse the whole run at 傳送; `cutLines` (from 0) lost what
// lay past 64 KB. Empty when there is nothing to say. Lines are numbered from 1, as an editor shows them.
QString ListFileRowNotes(const ParsedRecipients& parsed, const std::vector<qint64>& cutLines = {});
// "發訊名單第 N 行超過 64 KB，超過的部分未讀取。" for lines (from 0) cut as they were read; empty for none.
QString ListFileCutText(const std::vector<qint64>& cutLines);
// How many line numbers a note names before it says how many more there are.
constexpr int kNamedListLines = 10;
// "發訊名單第 N 行沒有電話號碼，這些行不會傳送。" for the first lines (from 1) of `count` lines without a number;
// empty for none.
QString ListFileNoNumberText(const QList<qint64>& firstLines, qint64 count);

} // namespace norvi
