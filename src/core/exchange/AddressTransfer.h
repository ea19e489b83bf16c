#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/exchange/AddressText.h"

#include <QByteArray>
#include <QString>

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
    int added = 0;   // members put into the book
    int skipped = 0; // data lines reported and left out
};

// Imports the data lines of `file` (every non-blank line after the header) as new members with
// `codes`, the field of each of the three columns. Ids are the ones NewEntryId would hand out line by
// line. A line with fewer columns than an assigned column needs, or one that is not text, is reported
// through `problems` with its number (from 1, counting every line) and left out. `path` names the file
// in the reports. The caller saves the book.
ImportSummary ImportAddressText(AddressBook& book, const AddressTextFile& file, const QString& path,
                                const std::array<int, 3>& codes, char delimiter, const ProblemSink& problems,
                                const TransferProgress& progress = {});

// The member a data line gives, without its id. False when the line lacks a column that `codes` needs;
// `missing` is then that column's 0-based index.
bool MemberFromLine(QByteArrayView line, const std::array<int, 3>& codes, char delimiter, sMember* member,
                    int* missing);

// The fields an export writes, in the order name, number, description.
using ExportFields = std::array<bool, 3>;

// The export file's bytes: the header line, then one line per member of `memberIds` that the book
// holds, in that order; each line ends with CR LF. Values are written as stored, delimiters included;
// a line break inside a value becomes a space so that one member stays one line.
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
