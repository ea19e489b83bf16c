#pragma once

#include <QByteArray>

#include <functional>
#include <vector>

// A text file read a piece of whole lines at a time, each line kept up to a cap: what lies past the cap is
// skipped as it is read and never held, so a file of one line of hundreds of megabytes costs no more memory
// than a line of the cap. The part of a line that is kept ends at a whole character of the file's encoding.
namespace norvi {

enum class LineEncoding { Big5, Utf8 };

class CappedLineReader {
public:
    // Reads up to `size` bytes into `into`: how many, 0 at the end, -1 when reading failed.
    using Source = std::function<qint64(char* into, qint64 size)>;
    CappedLineReader(Source source, qsizetype cap, LineEncoding encoding);
    // A source reading `fd` from where it stands; the descriptor stays the caller's.
    static Source fromDescriptor(int fd);

    // The next piece of whole lines with their line ends (CR LF, LF or CR), about 256 KB. False at the
    // end of the file, and when reading failed (failed()).
    bool next(QByteArray* piece);
    bool failed() const { return m_failed; }
    // The lines of the last piece that were longer than the cap, numbered from 0 over the whole file.
    const std::vector<qint64>& cutLines() const { return m_cut; }
    // Those of them that are not text of the encoding from end to end (a byte past the cap breaks it, or is a
    // NUL), in the same numbering: what was skipped of a line is checked as the kept part is.
    const std::vector<qint64>& foreignLines() const { return m_foreign; }

    // Whether a stream of bytes is text of an encoding: checked a piece at a time as it passes, a character
    // that a piece ends in carried over to the next.
    class TextCheck {
    public:
        explicit TextCheck(LineEncoding encoding) : m_encoding(encoding) {}
        void feed(const char* data, qsizetype size);
        // True when everything fed was text, with no character left unfinished. Starts over afterwards.
        bool finish();

    private:
        LineEncoding m_encoding;
        QByteArray m_carry;
        bool m_text = true;
    };

private:
    void append(const char* data, qsizetype size);
    void cutLongLine();
    qsizetype wholeLinesEnd() const;

    Source m_source;
    qsizetype m_cap;
    LineEncoding m_encoding;
    bool m_ended = false;
    bool m_failed = false;
    QByteArray m_pending;             // read after the last piece handed out, each line at most cap + 1 bytes
    qsizetype m_lineSeen = 0;         // bytes of the line being read, kept or skipped
    bool m_afterCr = false;           // the last byte read was a CR: an LF now ends no further line
    qint64 m_linesEnded = 0;          // line ends read so far
    qint64 m_piecesLines = 0;         // lines in the pieces handed out
    std::vector<qint64> m_cutPending; // cut lines not yet handed out
    std::vector<qint64> m_cut;
    TextCheck m_longLine;                 // the line being read, from its start, once it is past the cap
    std::vector<qint64> m_foreignPending; // cut lines that are not text, not yet handed out
    std::vector<qint64> m_foreign;
};

} // namespace norvi
