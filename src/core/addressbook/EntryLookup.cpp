#include "addressbook/EntryLookup.h"

#include "shared/Big5.h"
#include "shared/FixedField.h"
#include "shared/Global.h"

#include <cstring>

namespace norvi {

QList<int32_t> FindEntriesByName(const QByteArray& name) {
    const QByteArray wanted = name.trimmed();
    QList<int32_t> ids;
    if (wanted.isEmpty())
        return ids;
    for (const auto& [id, member] : MemberMap)
        if (getField(member.name).trimmed() == wanted)
            ids.append(id);
    // GroupMap runs from the most negative id; the groups are listed by their creation like members.
    QList<int32_t> groups;
    for (const auto& [id, group] : GroupMap)
        if (getField(group.name).trimmed() == wanted)
            groups.prepend(id);
    return ids + groups;
}

NamedEntry RecipientEntryForName(const QByteArray& name) {
    NamedEntry result;
    const QList<int32_t> ids = FindEntriesByName(name);
    if (ids.isEmpty()) {
        result.error = QString::fromUtf8("通訊錄中沒有名為「%1」的成員或群組！").arg(fromBig5(name.trimmed()));
        return result;
    }
    if (ids.size() > 1) {
        result.error = QString::fromUtf8("通訊錄中有 %1 筆名為「%2」的成員或群組，無法判斷要傳送給哪一筆！")
                           .arg(ids.size())
                           .arg(fromBig5(name.trimmed()));
        return result;
    }
    const int32_t id = ids.first();
    std::memset(&result.entry, 0, sizeof(result.entry));
    result.entry.id = id;
    result.entry.kind = KindAddressBook;
    const QByteArray label = id > 0 ? getField(MemberMap.at(id).name) : getField(GroupMap.at(id).name);
    putCString(result.entry.label, label);
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
