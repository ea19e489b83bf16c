#include "core/compose/RecipientField.h"
#include "core/compose/SeparatedNumbers.h"

#include "core/compose/TrimEnds.h"

#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <cstring>

namespace norvi {

namespace {

bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control;
}

// At most `maxBytes` of Big5 text, never half a two-byte character.
QByteArray cutBig5(const QByteArray& text, int maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    int n = 0;
    while (n < maxBytes) {
        const int step = isBig5LeadByte(static_cast<unsigned char>(text[n])) ? 2 : 1;
        if (n + step > maxBytes)
            break;
        n += step;
    }
    return text.left(n);
}

// The characters SeparatedNumbers takes as standing between two numbers.
bool isNumberRunSeparator(QChar c) {
    return c == u',' || c == u'，' || c == u'、' || c.isSpace();
}

bool isAscii(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

FieldEntryKey KeyOfEntry(const sMtData& entry) {
    FieldEntryKey key;
    if (entry.kind == KindAddressBook || entry.kind == KindListRow) {
        key.entry = true;
        key.kind = entry.kind;
        key.id = entry.id;
    }
    return key;
}

bool IsFieldSeparator(QChar c) {
    const char16_t u = c.unicode();
    return u == u';' || u == u'\r' || u == u'\n' || u == QChar::LineSeparator || u == QChar::ParagraphSeparator;
}

QStringView TrimPiece(QStringView text) {
    return TrimEnds(text, isTrimmed);
}

void RecipientFieldReader::addRun(QStringView text, const FieldEntryKey& key, int position) {
    if (!key.entry) {
        if (m_typed.isEmpty())
            m_typedStart = position;
        m_typed += text;
        return;
    }
    flushTyped();
    const QStringView piece = TrimPiece(text);
    addPiece(piece, key, position + int(piece.data() - text.data()));
}

void RecipientFieldReader::endLine() {
    flushTyped();
}

void RecipientFieldReader::flushTyped() {
    if (m_typed.isEmpty())
        return;
    const QStringView typed(m_typed);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= typed.size(); ++i) {
        if (i < typed.size() && !IsFieldSeparator(typed[i]))
            continue;
        const QStringView piece = TrimPiece(typed.sliced(start, i - start));
        addPiece(piece, FieldEntryKey(), m_typedStart + int(piece.data() - typed.data()));
        start = i + 1;
    }
    m_typed.clear();
}

void RecipientFieldReader::addPiece(QStringView piece, const FieldEntryKey& key, int position) {
    if (piece.isEmpty())
        return;
    if (key.entry && key.kind == KindListRow && !m_keepListRows)
        return;
    QByteArray label;
    if (isAscii(piece)) {
        label = piece.toLatin1();
    } else {
        label = m_encoder.encode(piece);
        if (m_encoder.hasError()) {
            m_encoder.resetState();
            if (m_unmappable.isEmpty())
                toBig5(piece.toString(), label, &m_unmappable);
            return;
        }
    }
    // Numbers typed with "," or blanks between them stay one piece until the user lets them be split; a
    // piece too long for a label is cut between two of its numbers, so that split loses none of them.
    if (!key.entry && label.size() >= int(sizeof(sMtData::label)) && !SeparatedNumbers(label).isEmpty()) {
        addNumberRun(piece, position);
        return;
    }
    sMtData& entry = m_entries.emplace_back();
    std::memset(&entry, 0, sizeof entry);
    entry.kind = key.entry ? key.kind : uint8_t(KindTyped);
    entry.id = key.entry ? key.id : 0;
    putCString(entry.label, cutBig5(label, int(sizeof entry.label) - 1));
    m_spans.push_back({position, int(piece.size())});
}

void RecipientFieldReader::addNumberRun(QStringView run, int position) {
    constexpr qsizetype room = qsizetype(sizeof(sMtData::label)) - 1;
    qsizetype start = 0;    // where the piece being gathered begins
    qsizetype end = 0;      // where its last whole number ends
    qsizetype bytes = 0;    // Big5 bytes from `start` to the character read
    qsizetype endBytes = 0; // ... and to `end`
    const auto big5Width = [](QChar c) { return c.unicode() < 0x80 ? 1 : 2; }; // what a label's byte cut counts
    for (qsizetype i = 0; i <= run.size(); ++i) {
        const bool separator = i == run.size() || isNumberRunSeparator(run[i]);
        if (separator && i > 0 && !isNumberRunSeparator(run[i - 1])) {
            if (bytes > room && end > start) {
                addPiece(run.sliced(start, end - start), FieldEntryKey(), position + int(start));
                start = end;
                bytes -= endBytes;
                while (isNumberRunSeparator(run[start])) {
                    bytes -= big5Width(run[start]);
                    ++start;
                }
            }
            end = i;
            endBytes = bytes;
        }
        if (i < run.size())
            bytes += big5Width(run[i]);
    }
    addPiece(run.sliced(start), FieldEntryKey(), position + int(start));
}

int RecipientFieldReader::finish(std::list<sMtData>& RecipientList) {
    flushTyped();
    RecipientList.clear();
    RecipientList.splice(RecipientList.end(), m_entries);
    return int(RecipientList.size());
}

QString LabelText(const sMtData& entry) {
    const QByteArray label = getField(entry.label);
    for (const char c : label)
        if (static_cast<unsigned char>(c) >= 0x80)
            return fromBig5(label);
    return QString::fromLatin1(label);
}

int RecipientFieldHeight(int requested, int baseHeight) {
    if (requested > 4 * baseHeight)
        return 4 * baseHeight - 15;
    return requested < baseHeight ? baseHeight : requested;
}

} // namespace norvi
