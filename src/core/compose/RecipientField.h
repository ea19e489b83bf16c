#pragma once

#include "core/compose/RecipientRecords.h"

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <cstdint>
#include <list>
#include <vector>

// The recipient field's text as recipient entries, without the widget: the window hands its text over
// run by run (a run = characters with the same entry identity), and gets its RecipientList back; the other
// way round it gets the labels to show. The look of an entry (underline, bold, italic) is the window's.
namespace norvi {

// Where an entry of the field comes from, as its characters carry it.
struct FieldEntryKey {
    bool entry = false; // false: typed text
    uint8_t kind = KindTyped;
    int32_t id = 0;

    bool operator==(const FieldEntryKey& o) const {
        return entry == o.entry && (!entry || (kind == o.kind && id == o.id));
    }
    bool operator!=(const FieldEntryKey& o) const { return !(*this == o); }
};

// How an entry of RecipientList is marked in the field: members and groups (kind 0) and list-file rows
// (kind 1) are entries, typed numbers are plain text.
FieldEntryKey KeyOfEntry(const sMtData& entry);

// The characters that end a typed recipient: ";" and the line ends (CR, LF and the toolkit's line and
// paragraph separators).
bool IsFieldSeparator(QChar c);

// Where an entry's text stands in the field, in characters: what the dialog selects to show the user
// which entry it means.
struct FieldSpan {
    int start = 0;
    int length = 0;
};

// Turns the field's runs into RecipientList entries, in field order.
//
// Typed text is split at the separators; every piece is trimmed (spaces and control characters at both
// ends) and empty pieces are dropped. An entry's run is one entry whatever its text holds: the run's
// identity, not a ";" inside a name or a number, says where it begins and ends. A run boundary always
// ends a piece, so digits typed right after an entry are a number of their own.
class RecipientFieldReader {
public:
    explicit RecipientFieldReader(bool keepListRows) : m_keepListRows(keepListRows) {}

    // `position`: where the run begins in the field, for spans().
    void addRun(QStringView text, const FieldEntryKey& key, int position = 0);
    void endLine(); // a paragraph of the field ended

    // Empties RecipientList, appends the entries read and returns their number.
    int finish(std::list<sMtData>& RecipientList);

    // The first typed character that has no Big5 form (the field refuses such input, so this is a
    // fault of the caller), or empty. A piece that holds one is left out.
    QString unmappable() const { return m_unmappable; }

    // The field range of each entry finish() gave, in the same order (trimmed as the entry's text).
    std::vector<FieldSpan> takeSpans() { return std::move(m_spans); }

private:
    void flushTyped();
    void addPiece(QStringView piece, const FieldEntryKey& key, int position);
    void addNumberRun(QStringView run, int position);

    bool m_keepListRows;
    QString m_typed; // typed text since the last piece ended
    int m_typedStart = 0;
    std::vector<FieldSpan> m_spans;
    std::list<sMtData> m_entries;
    QString m_unmappable;
    QStringEncoder m_encoder{"windows-950", QStringConverter::Flag::Stateless};
};

// A label as the field shows it (Big5 to text), with a fast way for the digits that make up most lists.
QString LabelText(const sMtData& entry);

// Spaces and control characters at both ends removed, as the field trims its pieces.
QStringView TrimPiece(QStringView text);

// The field grows with its text: the height it asks for, but at most four times its first height less 15
// once that request exceeds four times the first height; never below the first height.
int RecipientFieldHeight(int requested, int baseHeight);

} // namespace norvi
