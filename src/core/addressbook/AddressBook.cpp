#include "core/addressbook/AddressBook.h"

#include "core/addressbook/BookFileMemory.h"

#include "core/shared/Clock.h"

#include <QByteArrayView>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace norvi {

namespace {

bool isFree(const AddressBook& book, EntryKind kind, int64_t id) {
    if (id < INT32_MIN || id > INT32_MAX)
        return true;
    return kind == EntryKind::Member ? book.MemberMap().count(int32_t(id)) == 0
                                     : book.GroupMap().count(int32_t(id)) == 0;
}

// A name as the lookup compares it: the stored field up to its first NUL, trimmed.
template <std::size_t N> QByteArrayView nameKey(const char (&field)[N]) {
    const void* zero = std::memchr(field, 0, N);
    const std::size_t n = zero ? std::size_t(static_cast<const char*>(zero) - field) : N;
    return QByteArrayView(field, qsizetype(n)).trimmed();
}

uint32_t nameHash(QByteArrayView name) {
    return uint32_t(qHash(name, std::size_t(0)));
}

} // namespace

AddressBook::AddressBook(QObject* parent) : QObject(parent) {}

AddressBook::~AddressBook() = default;

BookFileMemory& AddressBook::fileMemory() {
    if (!m_fileMemory)
        m_fileMemory = std::make_unique<BookFileMemory>();
    return *m_fileMemory;
}

const sMember* AddressBook::member(int32_t id) const {
    const auto it = m_members.find(id);
    return it == m_members.end() ? nullptr : &it->second;
}

const sGroup* AddressBook::group(int32_t id) const {
    const auto it = m_groups.find(id);
    return it == m_groups.end() ? nullptr : &it->second;
}

// A new number or description leaves the name index as it is; a new entry or a new name does not.
const sMember& AddressBook::putMember(const sMember& member) {
    const sMember* old = this->member(member.id);
    if (!old || nameKey(old->name) != nameKey(member.name))
        nameMayChange();
    const sMember& stored = m_members.insert_or_assign(member.id, member).first->second;
    emit changed();
    return stored;
}

const sGroup& AddressBook::putGroup(const sGroup& group) {
    const sGroup* old = this->group(group.id);
    if (!old || nameKey(old->name) != nameKey(group.name))
        nameMayChange();
    const sGroup& stored = m_groups.insert_or_assign(group.id, group).first->second;
    emit changed();
    return stored;
}

bool AddressBook::eraseMember(int32_t id) {
    if (!m_members.erase(id))
        return false;
    nameMayChange();
    emit changed();
    return true;
}

bool AddressBook::eraseGroup(int32_t id) {
    if (!m_groups.erase(id))
        return false;
    nameMayChange();
    emit changed();
    return true;
}

void AddressBook::eraseAllGroups() {
    m_groups.clear();
    nameMayChange();
    emit changed();
}

void AddressBook::detachFromGroups(int32_t id) {
    bool detached = false;
    for (auto& entry : m_groups) {
        for (int32_t& slot : entry.second.members) {
            if (slot == id) {
                slot = 0;
                detached = true;
                break;
            }
        }
    }
    if (detached)
        emit changed();
}

void AddressBook::replace(std::map<int32_t, sMember> members, std::map<int32_t, sGroup> groups) {
    m_members = std::move(members);
    m_groups = std::move(groups);
    nameMayChange();
    emit changed();
}

void AddressBook::clear() {
    replace({}, {});
}

void AddressBook::nameMayChange() {
    m_nameIndexStale = true;
    m_nameBuckets = {};
    m_nameIndex = {};
}

void AddressBook::buildNameIndex() const {
    const std::size_t entries = m_members.size() + m_groups.size();
    std::size_t buckets = 16;
    while (buckets < entries)
        buckets *= 2;
    m_nameBuckets.assign(buckets, -1);
    m_nameIndex.clear();
    m_nameIndex.reserve(entries);
    const auto add = [this, buckets](QByteArrayView name, int32_t id, bool group) {
        const uint32_t hash = nameHash(name);
        int32_t& head = m_nameBuckets[hash & (buckets - 1)];
        m_nameIndex.push_back({hash, id, head, group});
        head = int32_t(m_nameIndex.size() - 1);
    };
    for (const auto& [id, member] : m_members)
        add(nameKey(member.name), id, false);
    for (const auto& [id, group] : m_groups)
        add(nameKey(group.name), id, true);
    m_nameIndexStale = false;
}

std::vector<NamedId> AddressBook::entriesNamed(const QByteArray& name) const {
    std::vector<NamedId> found;
    const QByteArrayView wanted = QByteArrayView(name).trimmed();
    if (wanted.isEmpty())
        return found;
    if (m_nameIndexStale)
        buildNameIndex();
    const uint32_t hash = nameHash(wanted);
    // Names that only share the hash are told apart by their bytes.
    for (int32_t at = m_nameBuckets[hash & (m_nameBuckets.size() - 1)]; at >= 0;
         at = m_nameIndex[std::size_t(at)].next) {
        const NameKey& key = m_nameIndex[std::size_t(at)];
        if (key.hash != hash)
            continue;
        const QByteArrayView stored =
            key.group ? nameKey(m_groups.at(key.id).name) : nameKey(m_members.at(key.id).name);
        if (stored == wanted)
            found.push_back({key.id, !key.group});
    }
    // Members first by id, then groups from the id nearest zero: the order in which each kind was created.
    std::sort(found.begin(), found.end(), [](const NamedId& a, const NamedId& b) {
        if (a.member != b.member)
            return a.member;
        return a.member ? a.id < b.id : a.id > b.id;
    });
    return found;
}

int32_t NewEntryId(const AddressBook& book, EntryKind kind, int64_t start) {
    const int64_t step = kind == EntryKind::Member ? 1 : -1;
    int64_t id = start;
    while (!isFree(book, kind, id))
        id += step;
    return int32_t(id);
}

int64_t EntryIdStart(EntryKind kind) {
    const int64_t seconds = Clock::now().toSecsSinceEpoch();
    return kind == EntryKind::Member ? seconds : -seconds;
}

int32_t EntryIdAllocator::next(int64_t start) {
    // Work in the direction ids grow, so members and groups share one rule.
    const int64_t step = m_kind == EntryKind::Member ? 1 : -1;
    const int64_t from = start * step;
    int64_t candidate;
    if (m_active && from >= m_runStart && from <= m_last) {
        candidate = m_last + 1;
    } else {
        candidate = from;
        m_runStart = from;
    }
    while (!isFree(m_book, m_kind, candidate * step))
        ++candidate;
    m_last = candidate;
    m_active = true;
    return int32_t(candidate * step);
}

bool GroupContains(const AddressBook& book, int32_t groupId, int32_t id) {
    // A visited set keeps a damaged book with a cycle from looping for ever.
    std::unordered_set<int32_t> visited{groupId};
    std::vector<int32_t> pending{groupId};
    while (!pending.empty()) {
        const int32_t current = pending.back();
        pending.pop_back();
        const sGroup* group = book.group(current);
        if (!group)
            continue;
        for (const int32_t slot : group->members) {
            if (slot == 0)
                continue;
            if (slot == id)
                return true;
            if (slot < 0 && visited.insert(slot).second)
                pending.push_back(slot);
        }
    }
    return false;
}

MsisdnNumbers SplitMsisdn(const QByteArray& msisdn) {
    MsisdnNumbers result;
    for (QByteArray piece : msisdn.split(';')) {
        const bool marked = piece.startsWith('@');
        if (marked)
            piece.remove(0, 1);
        if (piece.isEmpty())
            continue;
        if (marked && result.defaultIndex < 0)
            result.defaultIndex = int(result.numbers.size());
        result.numbers.append(piece);
    }
    if (result.defaultIndex < 0 && !result.numbers.isEmpty())
        result.defaultIndex = 0;
    return result;
}

QByteArray MsisdnDefault(const QByteArray& msisdn) {
    const MsisdnNumbers split = SplitMsisdn(msisdn);
    return split.defaultIndex < 0 ? QByteArray() : split.numbers.at(split.defaultIndex);
}

QByteArray JoinMsisdn(const QList<QByteArray>& numbers, int defaultIndex) {
    if (numbers.size() == 1)
        return numbers.first();
    if (defaultIndex < 0 || defaultIndex >= numbers.size())
        defaultIndex = 0;
    QByteArray text;
    for (int i = 0; i < numbers.size(); ++i) {
        if (i)
            text += ';';
        if (i == defaultIndex)
            text += '@';
        text += numbers.at(i);
    }
    return text;
}

} // namespace norvi
