// AddressBook.bin as the program reads it. Whatever the bytes: only complete records are used, never a
// byte past them, and every record kept has the sign of its kind and numbers that can be dialled; the
// book saves to bytes that load back without damage to the same bytes; a file that loads without
// damage and holds its records in ascending id order saves to exactly its own bytes. Walking the groups
// of a damaged book (cycles, dead slots) ends, and sending to every group queues each number once.

#include "FuzzCheck.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"

#include <QByteArray>
#include <QtEndian>

#include <cstdint>
#include <set>

using namespace norvi;

namespace {

// The book every case of this program fills and reads.
AddressBook g_book;

constexpr qint64 kHeader = 8;
constexpr qint64 kMember = sizeof(sMember);
constexpr qint64 kGroup = sizeof(sGroup);

// Whether the ids of `count` records from `offset` rise strictly, as a save writes them.
bool ascending(const QByteArray& bytes, qint64 offset, qint64 stride, int count) {
    for (int i = 1; i < count; ++i) {
        const auto before = qFromLittleEndian<qint32>(bytes.constData() + offset + (i - 1) * stride);
        const auto after = qFromLittleEndian<qint32>(bytes.constData() + offset + i * stride);
        if (after <= before)
            return false;
    }
    return true;
}

void checkNumbers(const sMember& m) {
    const QByteArray msisdn(m.msisdn, qsizetype(qstrnlen(m.msisdn, sizeof m.msisdn)));
    const MsisdnNumbers split = SplitMsisdn(msisdn);
    if (split.numbers.isEmpty())
        return;
    // Only numbers a phone can dial are kept: printable ASCII.
    for (const QByteArray& n : split.numbers)
        for (const char c : n)
            FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    FUZZ_CHECK(split.defaultIndex >= 0 && split.defaultIndex < split.numbers.size());
    // Joined as the editor stores them, the numbers read back the same, the same one the default.
    const MsisdnNumbers again = SplitMsisdn(JoinMsisdn(split.numbers, split.defaultIndex));
    bool clean = true;
    for (const QByteArray& n : split.numbers)
        clean = clean && !n.startsWith('@');
    if (clean) {
        FUZZ_CHECK(again.numbers == split.numbers);
        FUZZ_CHECK(again.defaultIndex == split.defaultIndex);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const AddressBookResult loaded = ParseAddressBook(g_book, bytes);

    FUZZ_CHECK(loaded.membersRead >= 0 && loaded.groupsRead >= 0);
    FUZZ_CHECK(kHeader + kMember * loaded.membersRead + kGroup * loaded.groupsRead <=
               qMax<qint64>(qint64(size), kHeader));
    FUZZ_CHECK(g_book.MemberMap().size() <= std::size_t(loaded.membersRead));
    FUZZ_CHECK(g_book.GroupMap().size() <= std::size_t(loaded.groupsRead));
    FUZZ_CHECK(loaded.damaged == !loaded.message.isEmpty());
    for (const auto& [id, member] : g_book.MemberMap()) {
        FUZZ_CHECK(id > 0 && member.id == id);
        checkNumbers(member);
    }
    for (const auto& [id, group] : g_book.GroupMap())
        FUZZ_CHECK(id < 0 && group.id == id);

    const QByteArray image = AddressBookImage(g_book);
    FUZZ_CHECK(image.size() ==
               kHeader + kMember * qint64(g_book.MemberMap().size()) + kGroup * qint64(g_book.GroupMap().size()));
    if (!loaded.damaged) {
        FUZZ_CHECK(qint64(size) == kHeader + kMember * loaded.membersRead + kGroup * loaded.groupsRead);
        const qint64 groupsAt = kHeader + kMember * loaded.membersRead;
        if (ascending(bytes, kHeader, kMember, loaded.membersRead) &&
            ascending(bytes, groupsAt, kGroup, loaded.groupsRead))
            FUZZ_CHECK(image == bytes);
    }

    // Group walks end on any book, and a run to every group queues each number at most once.
    for (const auto& [id, group] : g_book.GroupMap()) {
        (void)GroupContains(g_book, id, id);
        (void)group;
    }
    ParsedRecipients parsed;
    for (const auto& [id, group] : g_book.GroupMap()) {
        sMtData entry{};
        entry.id = id;
        entry.kind = KindAddressBook;
        parsed.RecipientList.push_back(entry);
        (void)group;
    }
    std::list<sSendContent> SendQueue;
    const SendQueueResult queued = BuildSendQueue(g_book, ComposeInput::fromText("hi", false), parsed, SendQueue);
    std::set<QByteArray> numbers(queued.queuedNumbers.begin(), queued.queuedNumbers.end());
    FUZZ_CHECK(numbers.size() == queued.queuedNumbers.size());
    FUZZ_CHECK(queued.queuedNumbers.size() <= g_book.MemberMap().size());

    // What was saved loads back whole, as the same book.
    const AddressBookResult again = ParseAddressBook(g_book, image);
    FUZZ_CHECK(!again.damaged);
    FUZZ_CHECK(AddressBookImage(g_book) == image);
    return 0;
}
