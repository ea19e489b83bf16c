#include "core/addressbook/BookRows.h"

#include "core/shared/FixedField.h"

#include <algorithm>

namespace norvi {

namespace {

inline unsigned char folded(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool sortsBefore(const BookRow& a, const BookRow& b, int column, bool ascending) {
    const int order = CompareBookText(a.text(column), b.text(column));
    return ascending ? order < 0 : order > 0;
}

} // namespace

BookRow MemberRow(const sMember& member, bool details) {
    BookRow row;
    row.id = member.id;
    row.kind = RowKind::Member;
    row.caption = getField(member.name);
    if (details) {
        row.msisdn = getField(member.msisdn);
        row.desc = getField(member.desc);
    }
    return row;
}

BookRow GroupRow(const sGroup& group) {
    BookRow row;
    row.id = group.id;
    row.kind = RowKind::Group;
    row.caption = getField(group.name);
    return row;
}

std::vector<BookRow> AllBookRows(const AddressBook& book) {
    std::vector<BookRow> rows;
    rows.reserve(book.MemberMap().size() + book.GroupMap().size());
    for (const auto& entry : book.MemberMap())
        rows.push_back(MemberRow(entry.second));
    for (const auto& entry : book.GroupMap())
        rows.push_back(GroupRow(entry.second));
    return rows;
}

std::vector<BookRow> GroupRows(const AddressBook& book, const sGroup& group, bool details) {
    std::vector<BookRow> rows;
    for (const int32_t id : group.members) {
        if (id > 0) {
            if (const sMember* member = book.member(id))
                rows.push_back(MemberRow(*member, details));
        } else if (id < 0) {
            if (const sGroup* inner = book.group(id))
                rows.push_back(GroupRow(*inner));
        }
    }
    return rows;
}

int CompareBookText(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const auto* pa = reinterpret_cast<const unsigned char*>(a.constData());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char ca = folded(pa[i]), cb = folded(pb[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::vector<std::size_t> SortedOrder(const std::vector<BookRow>& rows, int column, bool ascending) {
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&rows, column, ascending](std::size_t a, std::size_t b) {
        return sortsBefore(rows[a], rows[b], column, ascending);
    });
    return order;
}

void SortBookRows(std::vector<BookRow>& rows, int column, bool ascending) {
    const std::vector<std::size_t> order = SortedOrder(rows, column, ascending);
    std::vector<BookRow> sorted;
    sorted.reserve(rows.size());
    for (const std::size_t old : order)
        sorted.push_back(std::move(rows[old]));
    rows = std::move(sorted);
}

std::size_t SortedInsertPosition(const std::vector<BookRow>& rows, const BookRow& row, int column, bool ascending) {
    const auto it =
        std::upper_bound(rows.begin(), rows.end(), row, [column, ascending](const BookRow& a, const BookRow& b) {
            return sortsBefore(a, b, column, ascending);
        });
    return std::size_t(it - rows.begin());
}

} // namespace norvi
