#include "core/compose/EntryLookup.h"

#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <cstring>

namespace norvi {

namespace {

QString memberName(const sMember& member) {
    return fromBig5(getField(member.name));
}

QString groupName(const sGroup& group) {
    return fromBig5(getField(group.name));
}

// Everything after the name lookup goes by the id's sign alone: a record whose id has the wrong sign,
// or whose id also belongs to a record of the other kind, would send to another entry than the one
// named. Empty when the record can be used.
QString wrongRecordText(const AddressBook& book, const NamedId& match) {
    const sMember* member = book.member(match.id);
    const sGroup* group = book.group(match.id);
    if (member && group)
        return QStringLiteral("通訊錄資料有誤：成員「%1」與群組「%2」的識別碼同為 %3。")
            .arg(memberName(*member), groupName(*group), QString::number(match.id));
    if (match.member && match.id <= 0)
        return QStringLiteral("通訊錄資料有誤：成員「%1」的識別碼 %2 不是正數。")
            .arg(memberName(*member), QString::number(match.id));
    if (!match.member && match.id >= 0)
        return QStringLiteral("通訊錄資料有誤：群組「%1」的識別碼 %2 不是負數。")
            .arg(groupName(*group), QString::number(match.id));
    return QString();
}

} // namespace

QList<int32_t> FindEntriesByName(const AddressBook& book, const QByteArray& name) {
    QList<int32_t> ids;
    for (const NamedId& match : book.entriesNamed(name))
        ids.append(match.id);
    return ids;
}

NamedEntry RecipientEntryForName(const AddressBook& book, const QByteArray& name) {
    NamedEntry result;
    const QString shown = fromBig5(name.trimmed());
    const std::vector<NamedId> matches = book.entriesNamed(name);
    if (matches.empty()) {
        result.error = QStringLiteral("通訊錄中沒有名為「%1」的成員或群組！").arg(shown);
        return result;
    }
    if (matches.size() > 1) {
        result.error = QStringLiteral("通訊錄中有 %1 筆名為「%2」的成員或群組，無法判斷要傳送給哪一筆！")
                           .arg(QString::number(matches.size()), shown);
        return result;
    }
    const NamedId match = matches.front();
    const QString wrong = wrongRecordText(book, match);
    if (!wrong.isEmpty()) {
        result.error = wrong + QStringLiteral("無法傳送給「%1」！").arg(shown);
        return result;
    }
    std::memset(&result.entry, 0, sizeof(result.entry));
    result.entry.id = match.id;
    result.entry.kind = KindAddressBook;
    const QByteArray label =
        match.member ? getField(book.member(match.id)->name) : getField(book.group(match.id)->name);
    putBig5CString(result.entry.label, label);
    result.ok = true;
    return result;
}

sMtData TypedNumberEntry(const QByteArray& number) {
    sMtData entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.kind = KindTyped;
    putCString(entry.label, number);
    return entry;
}

} // namespace norvi
