#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/exchange/AddressRecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The two transfers between the address book and its text files, shared by the wizard and norvi-cli:
// the import turns every data line into a new member of the book, the export writes given members.
namespace norvi {

// How a transfer shows its progress: `start` once with the number of steps, `step` after each.
struct TransferProgress {
    std::function<void(int maximum)> start;
    std::function<void()> step;
};

// Where a line-level problem goes: the desktop program writes it to the message area and the
// operation log, norvi-cli prints it.
using ProblemSink = std::function<void(const QString& line)>;

struct ImportSummary {
    int added = 0;     // members put into the book
    int skipped = 0;   // data lines reported and left out
    QStringList named; // the first kNamedSkippedLines of them with why: "第 3 行 門號「小華"」不是手機門號"

    // "新增 N 位成員", then "未匯入 N 行：第 3 行 …" when lines were left out.
    QString text() const;
};
constexpr int kNamedSkippedLines = 3;

// Imports the data records of `file` (every record after the header, when it has one) as new members with
// `codes`, the field of each of the three columns. Ids are the ones NewEntryId would hand out line by line.
// A line without the column of the description has an empty one. A record that gives no member the book
// would keep (the column of the name or number missing, text that is
// not text, a number that is no telephone number, a name with a control character, nothing at all) is
// reported through `problems` with its line number (from 1, counting every line) and left out. `path`
// names the file in the reports. The caller saves the book.
ImportSummary ImportAddressRecords(AddressBook& book, const AddressRecords& file, const QString& path,
                                   const std::array<int, 3>& codes, const ProblemSink& problems,
                                   const TransferProgress& progress = {});

// The member a record's columns give, without its id. False when a column that `codes` needs is missing
// (`missing` is then its 0-based index, `problem` empty) or the member could not be stored as it is
// (`problem` says why).
bool MemberFromColumns(const QList<QByteArray>& columns, const std::array<int, 3>& codes, sMember* member, int* missing,
                       QString* problem);

// The fields an export writes, in the order name, number, description.
using ExportFields = std::array<bool, 3>;

// The export file's bytes: the header line, then one line per member of `memberIds` that the book
// holds, in that order; each line ends with CR LF. In a comma-separated file a value with a comma, a
// double quote or a line break is written in double quotes (its quotes doubled), so it reads back as one
// value; a space-separated file has no quoting, and a line break inside a value becomes a space there.
QByteArray AddressTextImage(const AddressBook& book, const std::vector<int32_t>& memberIds, char delimiter,
                            const ExportFields& fields, const TransferProgress& progress = {});

struct ExportResult {
    bool ok = true;
    QString message; // why nothing (or not all) was written, in the user's words
    int written = 0; // member lines
};

// Writes the export file at `path`, replacing an existing file only once everything is written.
// Refuses the address book's own file.
ExportResult ExportAddressText(const AddressBook& book, const QString& path, const std::vector<int32_t>& memberIds,
                               char delimiter, const ExportFields& fields, const TransferProgress& progress = {});

// The message lines and boxes of the transfers.
QString ShortLineText(const QString& path, int number, int missingColumn);
QString ImportDoneText();
QString ExportDoneText();

} // namespace norvi
