#pragma once

#include "core/compose/ListFileRecords.h"
#include "core/compose/ListFileSheet.h"
#include "core/shared/CappedLines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace norvi {

// What is wrong with a recipient list file, in the order a whole-file check names them: a file too
// large, a line with a NUL byte, a line that is not text in the file's encoding, too many lines, a
// character without a Big5 form. `Changed`: the file was not the same when it was read again.
enum class ListFileProblem {
    None,
    CannotOpen,
    TooLarge,
    ReadError,
    NulByte,
    NotBig5,
    NotUtf8,
    TooManyLines,
    Unmappable,
    Changed,
    NotAFile,
    Workbook // a workbook (.xlsx) refused, or one of its rows: `refusal` says why
};

struct ListFileCheck {
    ListFileProblem problem = ListFileProblem::None;
    qint64 line = 0;    // the line (from 1) of a NUL byte or of text not in the file's encoding
    qint64 lines = 0;   // the file's lines, for TooManyLines
    QString unmappable; // the character, for Unmappable
    QString refusal;    // what is said, for NotAFile and Workbook
    QString reason;     // the system's reason, for CannotOpen and ReadError
};

// A recipient list file read a piece of whole lines at a time, as Big5 lines (a UTF-8 file converted),
// so that a file of a million lines never lies in memory whole. Its checks are those of the whole-file
// reading and name the same line: a first reading checks the whole file, a second (after rewind()) gives
// the lines to send. Only a regular file is read (a pipe or device could not be read twice). A workbook
// (.xlsx, told by its content) gives the lines of its first sheet's rows (ListFileSheet).
class ListFileStream {
public:
    ListFileStream() = default;
    ~ListFileStream();
    ListFileStream(const ListFileStream&) = delete;
    ListFileStream& operator=(const ListFileStream&) = delete;

    bool open(const QString& path, bool big5);
    // Back to the first line. A regular file must be as it was (size and time), else Changed.
    bool rewind();
    // The next line (Big5, without its line end) and its index from 0. False at the end of the file and
    // at the first problem; check() then says which (after the whole file has been looked at, so the
    // problem named is the one a whole-file check would name).
    bool next(QByteArrayView* line, qint64* index);
    const ListFileCheck& check() const { return m_check; }
    qint64 lineCount() const { return m_lineCount; }
    // The lines (from 0) cut at kMaxListLineBytes, of as much of the file as has been read.
    const std::vector<qint64>& cutLines() const { return m_cut; }

private:
    bool readPiece(QByteArray* piece);
    bool takeBlock();
    void checkRest();
    void problemAt(const QByteArray& raw, qint64 firstLine);
    bool nextSheetLine(QByteArrayView* line, qint64* index);

    int m_fd = -1;
    bool m_big5 = false;
    QString m_path;
    std::unique_ptr<ListFileSheet> m_sheet; // a workbook's rows, from the first
    QByteArray m_sheetLine;
    qint64 m_size = 0;
    qint64 m_modified = 0;

    std::unique_ptr<CappedLineReader> m_reader; // from the first line, each line cut at kMaxListLineBytes
    QByteArray m_block;                         // whole lines as Big5
    QList<QByteArrayView> m_lines;
    qsizetype m_next = 0;
    qint64 m_firstLine = 0; // index of m_lines[0]
    qint64 m_lineCount = 0; // lines of the file so far
    ListFileCheck m_check;
    ListFileCheck m_nul, m_encoding, m_unmappable;
    std::vector<qint64> m_cut;
    qint64 m_pieceForeign = 0; // the first line (from 1) of the last piece that is not text past its cap, or 0
};

} // namespace norvi
