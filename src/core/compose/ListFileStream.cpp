#include "core/compose/ListFileStream.h"

#include "core/compose/RecipientLists.h"
#include "core/compose/SegmentMessage.h"
#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace norvi {

namespace {

constexpr qint64 kPiece = 1024 * 1024;

// Where the last whole line of `bytes` ends: after its last LF, or after a CR that something follows
// (a CR at the very end may be the first half of a CR LF).
qsizetype wholeLinesEnd(const QByteArray& bytes) {
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        if (bytes[i] == '\n')
            return i + 1;
        if (bytes[i] == '\r' && i + 1 < bytes.size())
            return i + 1;
    }
    return 0;
}

qint64 modifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

bool ListFileStream::open(const QString& path, bool big5) {
    m_big5 = big5;
    m_check = {};
    m_file.close();
    // Only a regular file: it is read twice (a check, then the lines to send), and a pipe or device
    // could neither be read again nor be relied on to end.
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    if (fd < 0) {
        m_check.problem = notAFile ? ListFileProblem::NotAFile : ListFileProblem::CannotOpen;
        m_check.refusal = InputRefusalText(path, reason);
        m_check.reason = reason;
        return false;
    }
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        m_check.reason = SystemErrorText(errno);
        ::close(fd);
        m_check.problem = ListFileProblem::CannotOpen;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        m_check.reason = SystemErrorText(errno);
        m_file.close();
        m_check.problem = ListFileProblem::CannotOpen;
        return false;
    }
    m_size = st.st_size;
    m_modified = modifiedNs(st);
    if (m_size > kMaxListFileBytes) {
        m_check.problem = ListFileProblem::TooLarge;
        return false;
    }
    return rewind();
}

bool ListFileStream::rewind() {
    struct stat st {};
    if (::fstat(m_file.handle(), &st) != 0 || st.st_size != m_size || modifiedNs(st) != m_modified || !m_file.seek(0)) {
        m_check.problem = ListFileProblem::Changed;
        return false;
    }
    m_check = {};
    m_nul = m_encoding = m_unmappable = {};
    m_ended = false;
    m_pending.clear();
    m_lineSeen = 0;
    m_block.clear();
    m_lines.clear();
    m_next = 0;
    m_firstLine = 0;
    m_lineCount = 0;
    return true;
}

bool ListFileStream::readPiece(QByteArray* piece, bool* last) {
    piece->resize(kPiece);
    const qint64 n = m_file.read(piece->data(), kPiece);
    if (n < 0) {
        m_check.reason = SystemErrorText(errno);
        m_check.problem = ListFileProblem::ReadError;
        return false;
    }
    piece->resize(n);
    *last = n == 0;
    return true;
}

// The next piece, appended to m_pending with every line cut at kMaxListLineBytes.
bool ListFileStream::readCapped(bool* last) {
    QByteArray piece;
    if (!readPiece(&piece, last))
        return false;
    appendCapped(piece.constData(), piece.size());
    return true;
}

// Line ends are kept as they are, so the lines split as they would uncut; of a line's other bytes only
// the first kMaxListLineBytes (and one more, to tell where a character ends) are kept.
void ListFileStream::appendCapped(const char* data, qsizetype size) {
    const char* const end = data + size;
    while (data < end) {
        const char* stop = data;
        while (stop < end && *stop != '\n' && *stop != '\r')
            ++stop;
        const qsizetype room = qMax<qsizetype>(0, kMaxListLineBytes + 1 - m_lineSeen);
        m_pending.append(data, qMin(room, qsizetype(stop - data)));
        m_lineSeen += stop - data;
        if (stop == end)
            return;
        cutLongLine();
        m_pending.append(*stop);
        m_lineSeen = 0;
        data = stop + 1;
    }
}

// A line longer than the cap loses what is past it, at a whole character of the file's encoding.
void ListFileStream::cutLongLine() {
    if (m_lineSeen <= kMaxListLineBytes)
        return;
    const qsizetype start = m_pending.size() - (kMaxListLineBytes + 1);
    const QByteArrayView line(m_pending.constData() + start, kMaxListLineBytes + 1);
    qsizetype keep = kMaxListLineBytes;
    if (m_big5) {
        keep = WholeCharsLength(line, kMaxListLineBytes);
    } else {
        while (keep > 0 && (uchar(line[keep]) & 0xC0) == 0x80)
            --keep; // the character the cut falls in goes whole
    }
    m_pending.truncate(start + keep);
    m_lineSeen = 0;
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
        if (const int line = m_big5 ? FirstNonBig5Line(raw) : FirstNonUtf8Line(raw)) {
            m_encoding.problem = m_big5 ? ListFileProblem::NotBig5 : ListFileProblem::NotUtf8;
            m_encoding.line = firstLine + line;
        }
    }
}

// Takes the next piece of whole lines into m_lines. False at the end of the file or at a problem.
bool ListFileStream::takeBlock() {
    while (!m_ended) {
        bool last = false;
        if (!readCapped(&last))
            return false;
        m_ended = last;
        if (m_ended)
            cutLongLine();
        const qsizetype end = m_ended ? m_pending.size() : wholeLinesEnd(m_pending);
        if (end == 0 && !m_ended)
            continue; // one line longer than a piece: read on
        QByteArray raw = m_pending.left(end);
        m_pending.remove(0, end);
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
    while (!m_ended) {
        bool last = false;
        if (!readCapped(&last))
            return;
        m_ended = last;
        if (m_ended)
            cutLongLine();
        const qsizetype end = m_ended ? m_pending.size() : wholeLinesEnd(m_pending);
        const QByteArray raw = m_pending.left(end);
        m_pending.remove(0, end);
        const qint64 first = m_lineCount;
        m_lineCount += CountListFileLines(raw);
        problemAt(raw, first);
    }
    if (m_nul.problem != ListFileProblem::None)
        m_check = m_nul;
    else if (m_encoding.problem != ListFileProblem::None)
        m_check = m_encoding;
    else if (m_lineCount > kMaxListFileLines)
        m_check = {ListFileProblem::TooManyLines, 0, m_lineCount, QString(), QString(), QString()};
    else
        m_check = m_unmappable;
}

bool ListFileStream::next(QByteArrayView* line, qint64* index) {
    if (m_check.problem != ListFileProblem::None)
        return false;
    if (m_next >= m_lines.size() && !takeBlock())
        return false;
    *index = m_firstLine + m_next;
    *line = m_lines.at(m_next++);
    return true;
}

} // namespace norvi
