#include "core/addressbook/BookEdits.h"

#include "core/shared/FixedField.h"

#include <algorithm>

namespace norvi {

bool AddToFirstFreeSlot(sGroup& group, int32_t id) {
    for (int32_t& slot : group.members) {
        if (slot == 0) {
            slot = id;
            return true;
        }
    }
    return false;
}

bool ClearFirstSlot(sGroup& group, int32_t id) {
    for (int32_t& slot : group.members) {
        if (slot == id) {
            slot = 0;
            return true;
        }
    }
    return false;
}

std::vector<int32_t> GroupEntryIds(const sGroup& group) {
    std::vector<int32_t> ids;
    for (const int32_t slot : group.members)
        if (slot != 0)
            ids.push_back(slot);
    return ids;
}

bool WriteGroupSlots(sGroup& group, const std::vector<int32_t>& ids) {
    if (ids.size() > std::size_t(kGroupSlots))
        return false;
    std::fill(std::begin(group.members), std::end(group.members), 0);
    std::copy(ids.begin(), ids.end(), group.members);
    return true;
}

void EraseEntry(AddressBook& book, int32_t id) {
    if (id == 0)
        return;
    book.detachFromGroups(id);
    if (id > 0)
        book.eraseMember(id);
    else
        book.eraseGroup(id);
}

QList<QByteArray> GroupsHolding(const AddressBook& book, int32_t id) {
    QList<QByteArray> names;
    for (const auto& entry : book.GroupMap()) {
        const sGroup& group = entry.second;
        if (std::find(std::begin(group.members), std::end(group.members), id) != std::end(group.members))
            names.append(getField(group.name));
    }
    return names;
}

NumberList::NumberList(const QByteArray& stored) {
    const MsisdnNumbers split = SplitMsisdn(stored);
    m_numbers = split.numbers;
    m_default = split.defaultIndex;
}

void NumberList::add(const QByteArray& number) {
    m_numbers.append(number);
    if (m_default < 0)
        m_default = 0;
}

void NumberList::replace(int row, const QByteArray& number) {
    if (row >= 0 && row < count())
        m_numbers[row] = number;
}

void NumberList::setDefault(int row) {
    if (row >= 0 && row < count())
        m_default = row;
}

void NumberList::remove(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    bool defaultRemoved = false;
    int defaultShift = 0;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= count())
            continue;
        m_numbers.removeAt(row);
        if (row == m_default)
            defaultRemoved = true;
        else if (row < m_default)
            ++defaultShift;
    }
    if (m_numbers.isEmpty())
        m_default = -1;
    else if (defaultRemoved)
        m_default = 0;
    else
        m_default -= defaultShift;
}

QByteArray NumberList::storedText() const {
    return m_numbers.isEmpty() ? QByteArray() : JoinMsisdn(m_numbers, m_default);
}

} // namespace norvi
