#include "core/compose/ListFileStream.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace norvi {

namespace {

qint64 streamModifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

ListFileStream::~ListFileStream() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ListFileStream::open(const QString& path, bool big5) {
    m_big5 = big5;
    m_check = {};
    m_cut.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    // Only a regular file: it is read twice (a check, then the lines to send), and a pipe or device
    // could neither be read again nor be relied on to end.
    QString reason;
    bool notAFile = false;
    m_fd = OpenInputFile(path, &reason, &notAFile);
    if (m_fd < 0) {
        m_check.problem = notAFile ? ListFileProblem::NotAFile : ListFileProblem::CannotOpen;
        m_check.refusal = InputRefusalText(path, reason);
        m_check.reason = reason;
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        m_check.reason = SystemErrorText(errno);
        ::close(m_fd);
        m_fd = -1;
        m_check.problem = ListFileProblem::CannotOpen;
        return false;
    }
    m_size = st.st_size;
    m_modified = streamModifiedNs(st);
    m_path = path;
    m_sheet.reset();
    if (FileLooksLikeWorkbook(path)) {
        m_sheet = std::make_unique<ListFileSheet>();
        return rewind();
    }
    if (m_size > kMaxListFileBytes) {
        m_check.problem = ListFileProblem::TooLarge;
        return false;
    }
    return rewind();
}

bool ListFileStream::rewind() {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || st.st_size != m_size || streamModifiedNs(st) != m_modified ||
        ::lseek(m_fd, 0, SEEK_SET) != 0) {
        m_check.problem = ListFileProblem::Changed;
        return false;
    }
    m_check = {};
    m_nul = m_encoding = m_unmappable = {};
    m_lineCount = 0;
    if (m_sheet) {
        m_sheet = std::make_unique<ListFileSheet>();
        if (!m_sheet->open(m_path)) {
            m_check.problem = ListFileProblem::Workbook;
            m_check.refusal = m_sheet->error();
            return false;
        }
        return true;
    }
    m_reader = std::make_unique<CappedLineReader>(CappedLineReader::fromDescriptor(m_fd), kMaxListLineBytes,
                                                  m_big5 ? LineEncoding::Big5 : LineEncoding::Utf8);
    m_block.clear();
    m_lines.clear();
    m_next = 0;
    m_firstLine = 0;
    m_lineCount = 0;
    return true;
}

// The next piece of whole lines, each cut at kMaxListLineBytes. False at the end, and when reading failed
// (then a ReadError).
bool ListFileStream::readPiece(QByteArray* piece) {
    if (m_reader->next(piece)) {
        // The same lines come again after a rewind; each is named once.
        for (const qint64 line : m_reader->cutLines())
            if (m_cut.empty() || line > m_cut.back())
                m_cut.push_back(line);
        m_pieceForeign = m_reader->foreignLines().empty() ? 0 : m_reader->foreignLines().front() + 1;
        return true;
    }
    if (m_reader->failed()) {
        m_check.reason = SystemErrorText(errno);
        m_check.problem = ListFileProblem::ReadError;
    }
    return false;
}

// The problems of one piece of whole lines, the first of each kind kept.
void ListFileStream::problemAt(const QByteArray& raw, qint64 firstLine) {
    if (m_nul.problem == ListFileProblem::None) {
        if (const qsizetype line = FirstListLineWithNul(raw)) {
            m_nul.problem = ListFileProblem::NulByte;
            m_nul.line = firstLine + line;
        }
    }
    if (m_encoding.problem == ListFileProblem::None) {
        // A line too long to keep whole is named as a short one would be: its skipped part was checked as
        // it was read (m_pieceForeign), what was kept of it is checked here.
        qint64 bad = 0;
        if (const int line = m_big5 ? FirstNonBig5Line(raw) : FirstNonUtf8Line(raw))
            bad = firstLine + line;
        if (m_pieceForeign != 0 && (bad == 0 || m_pieceForeign < bad))
            bad = m_pieceForeign;
        if (bad != 0) {
            m_encoding.problem = m_big5 ? ListFileProblem::NotBig5 : ListFileProblem::NotUtf8;
            m_encoding.line = bad;
        }
    }
}

// Takes the next piece of whole lines into m_lines. False at the end of the file or at a problem.
bool ListFileStream::takeBlock() {
    QByteArray raw;
    while (readPiece(&raw)) {
        const qint64 first = m_lineCount;
        m_lineCount += CountListFileLines(raw);
        problemAt(raw, first);
        if (m_nul.problem != ListFileProblem::None || m_encoding.problem != ListFileProblem::None ||
            m_lineCount > kMaxListFileLines) {
            checkRest();
            return false;
        }
        if (m_big5) {
            m_block = raw;
        } else {
            QStringDecoder decoder(QStringConverter::Utf8);
            QString unmappable;
            if (!toBig5(decoder.decode(raw), m_block, &unmappable)) {
                m_unmappable.problem = ListFileProblem::Unmappable;
                m_unmappable.unmappable = unmappable;
                checkRest();
                return false;
            }
        }
        m_lines = SplitListFileLines(m_block);
        m_next = 0;
        m_firstLine = first;
        if (!m_lines.isEmpty())
            return true;
    }
    return false;
}

// After the first problem the rest of the file is only looked at: a problem of a higher rank further on
// is the one named, as a check of the whole file would name it.
void ListFileStream::checkRest() {
    QByteArray raw;
    while (readPiece(&raw)) {
        const qint64 first = m_lineCount;
        m_lineCount += CountListFileLines(raw);
        problemAt(raw, first);
    }
    if (m_check.problem == ListFileProblem::ReadError)
        return;
    if (m_nul.problem != ListFileProblem::None)
        m_check = m_nul;
    else if (m_encoding.problem != ListFileProblem::None)
        m_check = m_encoding;
    else if (m_lineCount > kMaxListFileLines)
        m_check = {ListFileProblem::TooManyLines, 0, m_lineCount, QString(), QString(), QString()};
    else
        m_check = m_unmappable;
}

bool ListFileStream::nextSheetLine(QByteArrayView* line, qint64* index) {
    if (!m_sheet->next(&m_sheetLine, index)) {
        if (!m_sheet->error().isEmpty()) {
            m_check.problem = ListFileProblem::Workbook;
            m_check.refusal = m_sheet->error();
        }
        return false;
    }
    for (const qint64 cut : m_sheet->cutLines())
        if (m_cut.empty() || cut > m_cut.back())
            m_cut.push_back(cut);
    m_lineCount = *index + 1;
    *line = m_sheetLine;
    return true;
}

bool ListFileStream::next(QByteArrayView* line, qint64* index) {
    if (m_check.problem != ListFileProblem::None)
        return false;
    if (m_sheet)
        return nextSheetLine(line, index);
    if (m_next >= m_lines.size() && !takeBlock())
        return false;
    *index = m_firstLine + m_next;
    *line = m_lines.at(m_next++);
    return true;
}

} // namespace norvi
