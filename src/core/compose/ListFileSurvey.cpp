#include "core/compose/ListFileSurvey.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"

#include <QStringDecoder>

#include <cerrno>

namespace norvi {

namespace {

// ASCII without NUL bytes: text in either encoding, every character with a Big5 form.
bool isPlain(QByteArrayView bytes) {
    for (const char c : bytes)
        if (c == '\0' || static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Where the last whole line of `bytes` ends: after its last LF, or after a CR that something follows (a CR
// at the very end may be the first half of a CR LF, which ends one line, not two).
qsizetype wholeLinesEnd(QByteArrayView bytes) {
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        if (bytes[i] == '\n')
            return i + 1;
        if (bytes[i] == '\r' && i + 1 < bytes.size())
            return i + 1;
    }
    return 0;
}

// How much of `text` (beginning at a character) is whole characters: a character the end cuts into waits
// for the rest of its line.
qsizetype wholeChars(QByteArrayView text, bool big5) {
    const qsizetype n = text.size();
    if (big5) {
        qsizetype i = 0;
        while (i < n)
            i += isBig5LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        return i > n ? n - 1 : n;
    }
    qsizetype start = n;
    while (start > 0 && n - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return n;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    if (lead < 0xC0 || lead >= 0xF8)
        return n; // no character begins here that more bytes could complete
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    return n - (start - 1) < length ? start - 1 : n;
}

// One encoding's check: the first line that is not text in it. Whole lines are checked as the whole-file
// check does; a line longer than a piece is checked a part at a time, each part cut after its last whole
// character (no character holds a line end, so a line is text exactly when each of its parts is).
class EncodingCheck {
public:
    explicit EncodingCheck(bool big5) : m_big5(big5) {}
    qint64 firstBad() const { return m_bad; }

    // Whole lines, the first numbered `line` (what part() took of it is not in `piece`).
    void lines(QByteArrayView piece, bool plain, qint64 line) {
        if (m_bad != 0 || (plain && m_carry.isEmpty()))
            return;
        const QByteArray text =
            m_carry.isEmpty() ? QByteArray::fromRawData(piece.data(), piece.size()) : m_carry + piece.toByteArray();
        m_carry.clear();
        if (const int bad = m_big5 ? FirstNonBig5Line(text) : FirstNonUtf8Line(text))
            m_bad = line + bad - 1;
    }
    // A part of line `line`, which goes on.
    void part(QByteArrayView piece, bool plain, qint64 line) {
        if (m_bad != 0 || (plain && m_carry.isEmpty()))
            return;
        QByteArray text = m_carry + piece.toByteArray();
        const qsizetype whole = wholeChars(text, m_big5);
        m_carry = text.sliced(whole);
        text.truncate(whole);
        if (!(m_big5 ? IsBig5Text(text) : IsUtf8Text(text)))
            m_bad = line;
    }
    // The file ended in line `line` without a line end: a character begun there never ends.
    void end(qint64 line) {
        if (m_bad == 0 && !m_carry.isEmpty())
            m_bad = line;
    }

private:
    bool m_big5;
    QByteArray m_carry; // the start of a character a part ended in
    qint64 m_bad = 0;
};

// The first character without a Big5 form, of text read as UTF-8. One decoder reads the whole file, so
// that only a byte order mark at its very start is taken as one, as when the file is decoded whole.
class Big5Forms {
public:
    const QString& first() const { return m_first; }
    void feed(QByteArrayView piece, bool plain) {
        if (!m_first.isEmpty())
            return;
        const QString text = m_decoder.decode(piece);
        QByteArray converted;
        if (!plain)
            toBig5(text, converted, &m_first);
    }

private:
    QStringDecoder m_decoder{QStringConverter::Utf8};
    QString m_first;
};

} // namespace

ListFileSurvey SurveyListFile(const CappedLineReader::Source& read, qint64 limit, qsizetype pieceSize) {
    ListFileSurvey survey;
    EncodingCheck utf8(false);
    EncodingCheck big5(true);
    Big5Forms forms;
    qint64 line = 1;     // the number of the first line not yet looked at to its end
    bool inLine = false; // part of that line has been looked at
    const auto look = [&](QByteArrayView bytes, bool wholeLines) {
        const bool plain = isPlain(bytes);
        if (survey.nulLine == 0) {
            if (wholeLines) {
                if (const qsizetype nul = FirstListLineWithNul(bytes))
                    survey.nulLine = line + nul - 1;
            } else if (bytes.contains('\0')) {
                survey.nulLine = line;
            }
        }
        if (wholeLines) {
            utf8.lines(bytes, plain, line);
            big5.lines(bytes, plain, line);
        } else {
            utf8.part(bytes, plain, line);
            big5.part(bytes, plain, line);
        }
        if (utf8.firstBad() == 0)
            forms.feed(bytes, plain);
        if (wholeLines)
            line += CountListFileLines(bytes);
        inLine = !wholeLines;
    };

    QByteArray pending; // the start of a line not yet looked at, at most a piece
    qint64 total = 0;
    for (;;) {
        const qsizetype have = pending.size();
        pending.resize(have + pieceSize);
        const qint64 n = read(pending.data() + have, pieceSize);
        if (n < 0) {
            survey.error = errno;
            survey.readFailed = true;
            return survey;
        }
        pending.resize(have + qsizetype(n));
        total += n;
        if (total > limit) {
            survey.tooLarge = true;
            return survey;
        }
        if (n == 0)
            break;
        if (const qsizetype end = wholeLinesEnd(pending)) {
            look(QByteArrayView(pending).first(end), true);
            pending.remove(0, end);
        }
        // A line longer than a piece is looked at in parts; a CR at the end waits, it may begin a CR LF.
        if (pending.size() >= pieceSize && pending != "\r") {
            const qsizetype part = pending.endsWith('\r') ? pending.size() - 1 : pending.size();
            look(QByteArrayView(pending).first(part), false);
            pending.remove(0, part);
        }
    }
    if (!pending.isEmpty()) {
        look(pending, true); // the last lines, the very last with or without its line end
    } else if (inLine) {
        utf8.end(line);
        big5.end(line);
        ++line;
    }
    survey.lines = line - 1;
    survey.notUtf8Line = utf8.firstBad();
    survey.notBig5Line = big5.firstBad();
    if (survey.notUtf8Line == 0)
        survey.unmappable = forms.first();
    return survey;
}

} // namespace norvi
