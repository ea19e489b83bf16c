#include "core/shared/CappedLines.h"

#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace norvi {

namespace {

constexpr qsizetype kPiece = qsizetype(256) * 1024;

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

} // namespace

CappedLineReader::CappedLineReader(Source source, qsizetype cap, LineEncoding encoding)
    : m_source(std::move(source)), m_cap(cap), m_encoding(encoding), m_longLine(encoding) {}

// The bytes of `data` that end at a whole character; the rest (a character cut by the piece's end) waits.
void CappedLineReader::TextCheck::feed(const char* data, qsizetype size) {
    if (!m_text)
        return;
    QByteArray text = m_carry + QByteArray::fromRawData(data, size);
    qsizetype whole = text.size();
    if (m_encoding == LineEncoding::Big5) {
        qsizetype i = 0;
        while (i < text.size())
            i += isBig5LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        whole = i > text.size() ? text.size() - 1 : text.size();
    } else {
        qsizetype start = text.size();
        while (start > 0 && text.size() - start < 3 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
            --start;
        if (start > 0) {
            const auto lead = static_cast<unsigned char>(text[start - 1]);
            const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (lead >= 0xC0 && lead < 0xF8 && text.size() - (start - 1) < length)
                whole = start - 1;
        }
    }
    m_carry = text.mid(whole);
    text.truncate(whole);
    m_text = m_encoding == LineEncoding::Big5 ? IsBig5Text(text) : IsUtf8Text(text);
}

bool CappedLineReader::TextCheck::finish() {
    const bool text = m_text && m_carry.isEmpty();
    m_carry.clear();
    m_text = true;
    return text;
}

CappedLineReader::Source CappedLineReader::fromDescriptor(int fd) {
    return [fd](char* into, qint64 size) -> qint64 {
        for (;;) {
            const ssize_t n = ::read(fd, into, std::size_t(size));
            if (n >= 0 || errno != EINTR)
                return qint64(n);
        }
    };
}

// Line ends are kept as they are, so the lines split as they would uncut; of a line's other bytes only the
// first cap (and one more, to tell where a character ends) are kept.
void CappedLineReader::append(const char* data, qsizetype size) {
    const char* const end = data + size;
    while (data < end) {
        const char* stop = data;
        while (stop < end && !isLineEnd(*stop))
            ++stop;
        const qsizetype room = qMax<qsizetype>(0, m_cap + 1 - m_lineSeen);
        // A line that goes past what is kept is checked whole as it passes: from its start (still pending)
        // the moment it first does, then every byte that follows.
        if (m_lineSeen + (stop - data) > m_cap) {
            if (m_lineSeen <= m_cap)
                m_longLine.feed(m_pending.constData() + m_pending.size() - m_lineSeen, m_lineSeen);
            m_longLine.feed(data, stop - data);
        }
        m_pending.append(data, qMin(room, qsizetype(stop - data)));
        m_lineSeen += stop - data;
        if (stop != data)
            m_afterCr = false;
        if (stop == end)
            return;
        // The LF of a CR LF ends the line its CR ended.
        if (!(m_afterCr && *stop == '\n')) {
            cutLongLine();
            ++m_linesEnded;
        }
        m_afterCr = *stop == '\r';
        m_pending.append(*stop);
        m_lineSeen = 0;
        data = stop + 1;
    }
}

// A line longer than the cap loses what is past it, at a whole character of the file's encoding.
void CappedLineReader::cutLongLine() {
    if (m_lineSeen <= m_cap)
        return;
    if (!m_longLine.finish())
        m_foreignPending.push_back(m_linesEnded);
    const qsizetype start = m_pending.size() - (m_cap + 1);
    const char* line = m_pending.constData() + start;
    qsizetype keep = 0;
    if (m_encoding == LineEncoding::Big5) {
        while (keep < m_cap) {
            const qsizetype next = isBig5LeadByte(static_cast<unsigned char>(line[keep])) ? keep + 2 : keep + 1;
            if (next > m_cap)
                break;
            keep = next;
        }
    } else {
        keep = m_cap;
        while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80)
            --keep; // the character the cut falls in goes whole
    }
    m_pending.truncate(start + keep);
    m_cutPending.push_back(m_linesEnded);
    m_lineSeen = 0;
}

// Where the last whole line of what is pending ends: after its last LF, or after a CR that something
// follows (a CR at the very end may be the first half of a CR LF).
qsizetype CappedLineReader::wholeLinesEnd() const {
    for (qsizetype i = m_pending.size() - 1; i >= 0; --i) {
        if (m_pending[i] == '\n')
            return i + 1;
        if (m_pending[i] == '\r' && i + 1 < m_pending.size())
            return i + 1;
    }
    return 0;
}

bool CappedLineReader::next(QByteArray* piece) {
    m_cut.clear();
    m_foreign.clear();
    QByteArray chunk(kPiece, Qt::Uninitialized);
    qsizetype end = 0;
    while (!m_ended) {
        const qint64 n = m_source(chunk.data(), chunk.size());
        if (n < 0) {
            m_failed = true;
            return false;
        }
        m_ended = n == 0;
        append(chunk.constData(), qsizetype(n));
        if (m_ended) {
            cutLongLine();
            end = m_pending.size();
            break;
        }
        end = wholeLinesEnd();
        if (end > 0)
            break; // else one line longer than a piece: read on
    }
    if (end == 0)
        return false;
    *piece = m_pending.left(end);
    m_pending.remove(0, end);
    // The lines this piece holds: the line ends in it, and a last line without one at the end of the file.
    qint64 lines = m_pending.isEmpty() && m_ended && !isLineEnd(piece->back()) ? 1 : 0;
    for (qsizetype i = 0; i < piece->size(); ++i) {
        if (!isLineEnd(piece->at(i)))
            continue;
        if (piece->at(i) == '\r' && i + 1 < piece->size() && piece->at(i + 1) == '\n')
            ++i;
        ++lines;
    }
    m_piecesLines += lines;
    std::size_t taken = 0;
    while (taken < m_cutPending.size() && m_cutPending[taken] < m_piecesLines)
        m_cut.push_back(m_cutPending[taken++]);
    m_cutPending.erase(m_cutPending.begin(), m_cutPending.begin() + std::ptrdiff_t(taken));
    taken = 0;
    while (taken < m_foreignPending.size() && m_foreignPending[taken] < m_piecesLines)
        m_foreign.push_back(m_foreignPending[taken++]);
    m_foreignPending.erase(m_foreignPending.begin(), m_foreignPending.begin() + std::ptrdiff_t(taken));
    return true;
}

} // namespace norvi
