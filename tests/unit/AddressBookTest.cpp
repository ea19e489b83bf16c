#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"
#include "support/BookRecords.h"
#include "support/FileBytes.h"
#include "support/StartFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstring>
#include <functional>

using namespace norvi;
using test::group;
using test::member;
using test::readAll;

namespace {

QByteArray header(int32_t m, int32_t g) {
    QByteArray h(8, 0);
    qToLittleEndian<qint32>(m, h.data());
    qToLittleEndian<qint32>(g, h.data() + 4);
    return h;
}

template <typename T> QByteArray image(const T& r) {
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
}

class AddressBookTest : public ::testing::Test {
protected:
    AddressBook book;
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        book.setFilePath(AddressBookPath(m_dir.path()));
    }
    void write(const QByteArray& bytes) const { test::writeAll(book.filePath(), bytes); }
    test::StartFolder m_dir;
};

TEST_F(AddressBookTest, FileHoldsCountsThenMembersThenGroupsInIdOrder) {
    EXPECT_TRUE(LoadAddressBook(book).message.isEmpty()); // no file yet: an empty book, nothing said
    const sMember m1 = member(300, "C", "0912"), m2 = member(100, "A", "@0911;0919", "d"), m3 = member(200, "B");
    const sGroup g1 = group(-50, {{0, 100}, {3, -70}}), g2 = group(-70, {{0, 200}});
    for (const sMember& m : {m1, m2, m3})
        book.putMember(m);
    book.putGroup(g1);
    book.putGroup(g2);
    ASSERT_TRUE(SaveAddressBook(book).ok);
    const QByteArray bytes = readAll(book.filePath());
    EXPECT_EQ(bytes.size(), 9488);
    EXPECT_EQ(bytes, header(3, 2) + image(m2) + image(m3) + image(m1) + image(g2) + image(g1));

    book.clear();
    const AddressBookResult loaded = LoadAddressBook(book);
    EXPECT_TRUE(loaded.ok && !loaded.damaged && loaded.message.isEmpty());
    EXPECT_EQ(image(book.MemberMap().at(100)), image(m2));
    EXPECT_EQ(image(book.GroupMap().at(-50)), image(g1));
}

TEST_F(AddressBookTest, DuplicateIdsLoadAsOneAndAFullFieldStopsAtItsWidth) {
    write(header(2, 0) + image(member(7, "first")) + image(member(7, "later", QByteArray(120, '9'), "DESC")));
    EXPECT_FALSE(LoadAddressBook(book).damaged);
    ASSERT_EQ(book.MemberMap().size(), 1u);
    EXPECT_EQ(getField(book.MemberMap().at(7).name), "later");
    EXPECT_EQ(getField(book.MemberMap().at(7).msisdn), QByteArray(120, '9'));
    ASSERT_TRUE(SaveAddressBook(book).ok);
    EXPECT_EQ(readAll(book.filePath()).left(8), header(1, 0));
}

// A damaged file yields its complete records, says so, and survives the next save under another name.
TEST_F(AddressBookTest, DamagedFileLoadsCompleteRecordsAndIsKeptAsideBeforeTheNextSave) {
    const QByteArray m = image(member(1, "a")), m2 = image(member(2, "b")), g = image(group(-1, {{0, 1}}));
    const struct {
        const char* name;
        QByteArray bytes;
        int members, groups;
    } cases[] = {
        {"short inside members", header(3, 1) + m + m2 + m.left(100), 2, 0},
        {"short inside groups", header(2, 2) + m + m2 + g + g.left(10), 2, 1},
        {"negative member count", header(-1, 1) + m + g, 0, 0},
        {"negative group count", header(2, -3) + m + m2 + g, 2, 0},
        {"trailing bytes", header(1, 0) + m + "xxxxxxx", 1, 0},
        {"header cut", QByteArray(5, 0), 0, 0},
    };
    Clock::setFixed(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    const QString kept = book.filePath() + QStringLiteral(".damaged-20240506070809");
    for (const auto& c : cases) {
        QFile::remove(kept);
        write(c.bytes);
        const AddressBookResult loaded = LoadAddressBook(book);
        EXPECT_TRUE(loaded.ok && loaded.damaged) << c.name;
        EXPECT_EQ(int(book.MemberMap().size()), c.members) << c.name;
        EXPECT_EQ(int(book.GroupMap().size()), c.groups) << c.name;
        EXPECT_TRUE(
            loaded.message.contains(QStringLiteral("只讀到 %1 位成員、%2 個群組").arg(c.members).arg(c.groups)) ||
            loaded.message.contains(QStringLiteral("已讀到 %1 位成員").arg(c.members)))
            << c.name << loaded.message.toStdString();

        const AddressBookResult saved = SaveAddressBook(book);
        EXPECT_TRUE(saved.ok && saved.keptAs == kept && saved.message.contains(kept)) << c.name;
        EXPECT_EQ(readAll(kept), c.bytes) << c.name;
        EXPECT_EQ(readAll(book.filePath()).size(), 8 + 424 * c.members + 4104 * c.groups) << c.name;
        EXPECT_TRUE(SaveAddressBook(book).keptAs.isEmpty()) << c.name; // only the first save moves it
    }
}

// The sign of an id decides everywhere whether it is a member or a group: a record with the wrong sign
// would be sent as the other kind, or meet a record of the other kind under the same id.
TEST_F(AddressBookTest, RecordsWhoseIdHasTheWrongSignAreLeftOutNamedAndKeptAside) {
    const QByteArray bytes = header(4, 3) + image(member(5, "Good", "0911")) + image(member(-2, "Minus", "0922")) +
                             image(member(0, "Zero")) + image(member(6, "Also")) + image(group(-1, {{0, 5}})) +
                             image(group(2, {{0, 6}})) + image(group(-2, {{0, 6}}));
    write(bytes);
    const AddressBookResult loaded = LoadAddressBook(book);
    EXPECT_TRUE(loaded.ok && loaded.damaged);
    EXPECT_EQ(book.MemberMap().size(), 2u);
    EXPECT_EQ(book.GroupMap().size(), 2u);
    EXPECT_EQ(book.MemberMap().count(-2) + book.MemberMap().count(0) + book.GroupMap().count(2), 0u);
    EXPECT_EQ(getField(book.GroupMap().at(-2).name), QByteArray()) << "the group -2, not the member -2";
    const QStringList lines = loaded.message.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << loaded.message.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("通訊錄檔案已損壞：第 2 筆成員紀錄「Minus」的識別碼 -2 不是正數，已略過。"));
    EXPECT_EQ(lines[1], QStringLiteral("通訊錄檔案已損壞：第 3 筆成員紀錄「Zero」的識別碼 0 不是正數，已略過。"));
    EXPECT_EQ(lines[2], QStringLiteral("通訊錄檔案已損壞：第 2 筆群組紀錄「」的識別碼 2 不是負數，已略過。"));

    // The records left out are not lost: the file is kept as it was before the next save replaces it.
    const AddressBookResult saved = SaveAddressBook(book);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(readAll(saved.keptAs), bytes);
    EXPECT_EQ(readAll(book.filePath()).left(8), header(2, 2));

    // Thousands of broken records name a few and count the rest.
    QByteArray many = header(20, 0);
    for (int i = 0; i < 20; ++i)
        many += image(member(-100 - i, "x"));
    write(many);
    const QString text = LoadAddressBook(book).message;
    EXPECT_EQ(text.count(QStringLiteral("不是正數")), 5) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("另有 15 筆紀錄的識別碼不符或內容無效")));
    EXPECT_TRUE(book.MemberMap().empty());
}

// Names with control characters and numbers that are not printable ASCII come from damaged or foreign
// bytes; sending to them reaches nobody. They are left out, named (escaped), and the file kept aside.
TEST_F(AddressBookTest, MembersAndNumbersThatCannotBeRealAreLeftOutNamedAndKeptAside) {
    const QByteArray bytes = header(6, 2) + image(member(1, "Good", "@0911;0922")) +
                             image(member(2, "Bell\x07", "0933")) +
                             image(member(3, "Mixed",
                                          "0944;@09\x01"
                                          "55;\xA4\xA4")) +
                             image(member(4, "Junk", "\x1b;\xff")) + image(member(5, "NoNumber")) +
                             image(member(6, "Spaced", "+886 912")) + image(group(-1, {{0, 1}})) + image(group(-2, {}));
    QByteArray withBadGroup = bytes;
    std::memcpy(withBadGroup.data() + 8 + 6 * sizeof(sMember) + sizeof(sGroup) + 4, "G\n", 2);
    write(withBadGroup);
    const AddressBookResult loaded = LoadAddressBook(book);
    EXPECT_TRUE(loaded.ok && loaded.damaged);
    EXPECT_EQ(book.MemberMap().size(), 4u);
    EXPECT_EQ(getField(book.MemberMap().at(1).msisdn), "@0911;0922");
    EXPECT_EQ(getField(book.MemberMap().at(3).msisdn), "0944") << "the default went with its number: the first is it";
    EXPECT_EQ(getField(book.MemberMap().at(5).msisdn), "");
    EXPECT_EQ(getField(book.MemberMap().at(6).msisdn), "+886 912");
    EXPECT_EQ(book.MemberMap().count(2) + book.MemberMap().count(4), 0u);
    EXPECT_EQ(book.GroupMap().size(), 1u);
    const QStringList lines = loaded.message.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 5) << loaded.message.toStdString();
    EXPECT_EQ(
        lines.mid(0, 5),
        (QStringList{
            QStringLiteral("通訊錄檔案已損壞：第 2 筆成員紀錄的名稱「Bell\\x07」含有控制字元，已略過。"),
            QStringLiteral("通訊錄檔案已損壞：成員「Mixed」的門號「09\\x0155」不是手機門號，已略過。"),
            QStringLiteral("通訊錄檔案已損壞：成員「Mixed」的門號「中」不是手機門號，已略過。"),
            QStringLiteral("通訊錄檔案已損壞：成員「Junk」的門號「\\x1B」不是手機門號，已略過。"),
            QStringLiteral("通訊錄檔案已損壞：成員「Junk」的門號「%1」不是手機門號，已略過。").arg(fromBig5("\xff"))}));
    EXPECT_TRUE(loaded.message.contains(QStringLiteral("另有 2 筆紀錄"))) << loaded.message.toStdString();

    const AddressBookResult saved = SaveAddressBook(book);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(readAll(saved.keptAs), withBadGroup) << "copied aside before the save drops anything";
}

// Random bytes with plausible counts, and the fuzz corpora: whatever loads can be dialled.
TEST_F(AddressBookTest, HostileFilesLoadOnlyRealNamesAndNumbers) {
    QRandomGenerator random(26);
    std::vector<QByteArray> files;
    for (int i = 0; i < 100; ++i) {
        const int m = int(random.bounded(1, 8));
        QByteArray bytes = header(m, 0);
        for (int k = 0; k < m; ++k) {
            QByteArray record(sizeof(sMember), '\0');
            for (char& b : record)
                b = char(random.bounded(256));
            qToLittleEndian<qint32>(qint32(random.bounded(1, 1000)), record.data());
            bytes += record;
        }
        files.push_back(bytes);
    }
    QDirIterator corpus(QStringLiteral(NORVI_FUZZ_CORPUS), QDir::Files, QDirIterator::Subdirectories);
    while (corpus.hasNext())
        files.push_back(readAll(corpus.next()));
    for (const QByteArray& bytes : files) {
        ParseAddressBook(book, bytes);
        for (const auto& [id, m] : book.MemberMap()) {
            EXPECT_LT(firstControlByte(getField(m.name)), 0);
            for (const QByteArray& number : SplitMsisdn(getField(m.msisdn)).numbers)
                for (const char c : number)
                    EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << number.toHex().toStdString();
        }
    }
}

// The listing read as the file goes gives what a load gives, entry for entry and word for word: for a file
// in order as this program writes it, and for files out of order, with an id twice, damaged or cut.
TEST_F(AddressBookTest, AListingGivesTheEntriesAndWordsOfALoad) {
    const sMember a = member(1, "A", "0911"), b = member(2, "B", "0922"), c = member(3, "C", "0933");
    const sGroup g1 = group(-9, {{0, 1}}), g2 = group(-4, {{0, 2}});
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"in order", header(3, 2) + image(a) + image(b) + image(c) + image(g1) + image(g2)},
        {"members out of order", header(3, 0) + image(c) + image(a) + image(b)},
        {"groups out of order", header(1, 2) + image(a) + image(g2) + image(g1)},
        {"an id twice", header(3, 0) + image(a) + image(b) + image(member(2, "B2", "0929"))},
        {"a wrong id and a bad number",
         header(3, 0) + image(a) + image(member(-3, "X", "0")) + image(member(5, "Y", "09\x01"))},
        {"cut", QByteArray(header(2, 1) + image(a) + image(b) + image(g1)).chopped(10)},
        {"shorter than its counts", header(2, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bytes);
        AddressBook loaded;
        loaded.setFilePath(book.filePath());
        const AddressBookResult load = LoadAddressBook(loaded);
        QByteArray expected;
        for (const auto& [id, m] : loaded.MemberMap())
            expected += image(m);
        for (const auto& [id, g] : loaded.GroupMap())
            expected += image(g);
        QByteArray listed;
        QString said;
        const AddressBookResult list = ListAddressBook(
            book.filePath(), [&said](const AddressBookResult& r) { said = r.message; },
            [&listed](const sMember& m) { listed += image(m); }, [&listed](const sGroup& g) { listed += image(g); });
        EXPECT_EQ(listed, expected);
        EXPECT_EQ(said, load.message);
        EXPECT_EQ(list.ok, load.ok);
        EXPECT_EQ(list.damaged, load.damaged);
    }
    QFile::remove(book.filePath());
    ASSERT_TRUE(QDir().mkdir(book.filePath()));
    QString said;
    EXPECT_FALSE(ListAddressBook(
                     book.filePath(), [&said](const AddressBookResult& r) { said = r.message; },
                     [](const sMember&) { ADD_FAILURE(); }, [](const sGroup&) { ADD_FAILURE(); })
                     .ok);
    EXPECT_TRUE(said.startsWith(QStringLiteral("讀取通訊錄檔案失敗！"))) << said.toStdString();
}

// What a send to a name reads of a book: the entries of that name, and all a named group reaches (members,
// groups, the ids that are gone), in the order the expansion walks them.
QByteArray readForName(const AddressBook& book, const QByteArray& name) {
    QByteArray read;
    QList<int32_t> seen;
    std::function<void(int32_t)> walk = [&](int32_t id) {
        read += QByteArray::number(id) + ':';
        if (const sMember* m = id > 0 ? book.member(id) : nullptr)
            read += image(*m);
        const sGroup* g = id < 0 ? book.group(id) : nullptr;
        if (!g || seen.contains(id))
            return;
        seen.append(id);
        read += image(*g);
        for (const int32_t slot : g->members)
            if (slot != 0)
                walk(slot);
    };
    for (const NamedId& entry : book.entriesNamed(name))
        walk(entry.id);
    return read;
}

// The part of the book read for a send's names holds what such a send reads of the whole book, with the load's
// words, and nothing else of a file in order: for files in order, out of order, with an id twice, damaged or cut.
TEST_F(AddressBookTest, APartReadForNamesHoldsWhatASendToThemReads) {
    const sMember a = member(1, "A", "0911"), b = member(2, "B", "0922"), c = member(3, " C ", "0933");
    const sMember twin = member(4, "H", "0944");
    // G holds A and H; H holds C and G again; Lost names a member and a group that are gone.
    const sGroup g = test::named(group(-9, {{0, 1}, {5, -4}}), "G");
    const sGroup h = test::named(group(-4, {{0, 3}, {1, -9}}), "H");
    const sGroup lost = test::named(group(-2, {{0, 77}, {1, -77}}), "Lost");
    const QByteArray inOrder =
        header(4, 3) + image(a) + image(b) + image(c) + image(twin) + image(g) + image(h) + image(lost);
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"in order", inOrder},
        {"an id twice", header(3, 1) + image(a) + image(member(1, "A2", "0919")) + image(c) + image(g)},
        {"out of order", header(2, 2) + image(c) + image(a) + image(h) + image(g)},
        {"a wrong id", header(3, 1) + image(member(-3, "C", "0")) + image(a) + image(c) + image(g)},
        {"cut", QByteArray(header(2, 1) + image(a) + image(c) + image(g)).chopped(10)},
    };
    const QList<QByteArray> names{"A", "C", "G", "H", "Lost", "A2", "Nobody", "  "};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bytes);
        AddressBook whole;
        const AddressBookResult load = LoadAddressBook(whole, book.filePath());
        AddressBook part;
        const AddressBookResult read = LoadAddressBookPart(part, book.filePath(), names);
        EXPECT_EQ(read.message, load.message);
        EXPECT_EQ(read.ok, load.ok);
        EXPECT_EQ(read.damaged, load.damaged);
        for (const QByteArray& name : names)
            EXPECT_EQ(readForName(part, name), readForName(whole, name)) << name.toStdString();
    }
    write(inOrder);
    AddressBook part;
    LoadAddressBookPart(part, book.filePath(), {" G"});
    EXPECT_EQ(part.MemberMap().size(), 2u); // A and C; not B, nor H's namesake
    EXPECT_EQ(part.GroupMap().size(), 2u);  // G and H; not Lost

    QFile::remove(book.filePath());
    EXPECT_EQ(LoadAddressBookPart(part, book.filePath(), names).message, QString());
    ASSERT_TRUE(QDir().mkdir(book.filePath()));
    EXPECT_EQ(LoadAddressBookPart(part, book.filePath(), names).message,
              LoadAddressBook(part, book.filePath()).message);
}

TEST_F(AddressBookTest, UnreadableOrUnwritableFilesAreReportedAndNeverOverwritten) {
    ASSERT_TRUE(QDir().mkpath(book.filePath())); // a folder in the file's place can be neither read nor replaced
    EXPECT_EQ(SaveAddressBook(book).message,
              QStringLiteral("寫入通訊錄檔案失敗！\n%1 不是一般檔案，無法寫入。").arg(book.filePath()));
    book.putMember(member(9));
    const AddressBookResult loaded = LoadAddressBook(book);
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.message,
              QStringLiteral("讀取通訊錄檔案失敗！\n無法讀取檔案 %1：這是資料夾，不是一般檔案。").arg(book.filePath()));
    EXPECT_EQ(book.MemberMap().size(), 1u);
    const AddressBookResult saved = SaveAddressBook(book);
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_TRUE(QFileInfo(saved.keptAs).isDir());
    EXPECT_EQ(readAll(book.filePath()), header(1, 0) + image(member(9)));
}

TEST_F(AddressBookTest, IdsCountOnFromTheSecondAndTheBatchFormGivesTheSameIds) {
    const int64_t t = 1700000000;
    Clock::setFixed(QDateTime::fromSecsSinceEpoch(t));
    EXPECT_EQ(EntryIdStart(EntryKind::Member), t);
    EXPECT_EQ(EntryIdStart(EntryKind::Group), -t);
    // Seconds that repeat, jump, and go back, with ids taken in between.
    const int64_t seconds[] = {t, t, t, t + 1, t + 1, t + 9, t + 2, t + 2, t - 5, t + 30, t + 30, t + 3};
    for (const EntryKind kind : {EntryKind::Member, EntryKind::Group}) {
        const int64_t sign = kind == EntryKind::Member ? 1 : -1;
        std::vector<int32_t> single, batch;
        EntryIdAllocator allocator(book, kind);
        const auto take = [&](int64_t id) {
            if (kind == EntryKind::Member)
                book.putMember(member(int32_t(id)));
            else
                book.putGroup(group(int32_t(id)));
        };
        for (std::vector<int32_t>* ids : {&single, &batch}) {
            book.clear();
            for (const int64_t taken : {t + 4, t + 5, t + 11})
                take(taken * sign);
            for (const int64_t s : seconds) {
                ids->push_back(ids == &single ? NewEntryId(book, kind, s * sign) : allocator.next(s * sign));
                take(ids->back());
            }
        }
        EXPECT_EQ(single[1], sign * (t + 1)); // same second: the next id
        EXPECT_EQ(single, batch);
    }
}

TEST_F(AddressBookTest, DetachAndContainmentWalkTheGroups) {
    book.putGroup(group(-1, {{0, 5}, {1, 6}, {2, 5}, {5, -2}}));
    book.putGroup(group(-2, {{4, 6}, {9, 5}, {10, -3}}));
    book.putGroup(group(-3, {{999, 42}}));
    EXPECT_TRUE(GroupContains(book, -1, 42));
    EXPECT_FALSE(GroupContains(book, -3, -1));
    book.putGroup(group(-3, {{0, -1}, {999, 42}})); // a damaged book with a cycle still gives an answer
    EXPECT_FALSE(GroupContains(book, -1, 43));
    EXPECT_TRUE(GroupContains(book, -1, -1));

    book.detachFromGroups(5); // the first slot in every group; the others keep their places
    EXPECT_EQ((std::vector<int32_t>{book.GroupMap().at(-1).members[0], book.GroupMap().at(-1).members[1],
                                    book.GroupMap().at(-1).members[2]}),
              (std::vector<int32_t>{0, 6, 5}));
    EXPECT_EQ(book.GroupMap().at(-2).members[9], 0);
}

// Windows follow the book through changed(): every change says so once, whoever makes it, and a step that
// changes nothing says nothing.
TEST_F(AddressBookTest, EveryChangeIsSignalledAndNothingElse) {
    int signalled = 0;
    QObject::connect(&book, &AddressBook::changed, [&signalled] { ++signalled; });
    const struct {
        const char* what;
        std::function<void()> step;
        int expected;
    } steps[] = {
        {"new member", [&] { book.putMember(member(1, "A")); }, 1},
        {"member again", [&] { book.putMember(member(1, "A", "0911")); }, 1},
        {"new group",
         [&] {
             book.putGroup(group(-1, {{0, 1}}));
         },
         1},
        {"detach", [&] { book.detachFromGroups(1); }, 1},
        {"detach of an id no group holds", [&] { book.detachFromGroups(1); }, 0},
        {"erase a member", [&] { EXPECT_TRUE(book.eraseMember(1)); }, 1},
        {"erase a member that is not there", [&] { EXPECT_FALSE(book.eraseMember(1)); }, 0},
        {"erase a group", [&] { EXPECT_TRUE(book.eraseGroup(-1)); }, 1},
        {"erase a group that is not there", [&] { EXPECT_FALSE(book.eraseGroup(-1)); }, 0},
        {"erase all groups", [&] { book.eraseAllGroups(); }, 1},
        {"load", [&] { ParseAddressBook(book, header(1, 0) + image(member(5, "E", "0955"))); }, 2},
        {"clear", [&] { book.clear(); }, 1},
    };
    for (const auto& s : steps) {
        signalled = 0;
        s.step();
        EXPECT_EQ(signalled, s.expected) << s.what;
    }
}

TEST(Msisdn, SplitsJoinsAndFindsTheDefault) {
    const struct {
        QByteArray text;
        QList<QByteArray> numbers;
        int defaultIndex;
    } cases[] = {{"0912", {"0912"}, 0},
                 {"@0912;0933", {"0912", "0933"}, 0},
                 {"0912;@0933;0955", {"0912", "0933", "0955"}, 1},
                 {";0912;;0933;", {"0912", "0933"}, 0},
                 {"", {}, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.constData());
        const MsisdnNumbers split = SplitMsisdn(c.text);
        EXPECT_EQ(split.numbers, c.numbers);
        EXPECT_EQ(split.defaultIndex, c.defaultIndex);
        EXPECT_EQ(MsisdnDefault(c.text), c.defaultIndex < 0 ? QByteArray() : c.numbers[c.defaultIndex]);
    }
    EXPECT_EQ(JoinMsisdn({"0912"}, 0), "0912");
    EXPECT_EQ(JoinMsisdn({"0912", "0933"}, 0), "@0912;0933");
    EXPECT_EQ(JoinMsisdn({"0912", "0933", "0955"}, 1), "0912;@0933;0955");
}

} // namespace
