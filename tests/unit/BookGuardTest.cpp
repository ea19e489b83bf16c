// Two programs on one AddressBook.bin: a save never replaces a book somebody changed since it was read;
// their entries are read again and this program's own changes made to them, and what both changed is
// kept twice. A save finds the book's lock taken and says by whom.
#include "core/addressbook/BookGuard.h"
#include "support/BookRecords.h"
#include "support/FileBytes.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/shared/Big5.h"
#include "core/shared/FileLock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

using namespace norvi;

namespace {

class BookGuardTest : public ::testing::Test {
protected:
    AddressBook book;
    QString bookPath() const { return QDir(m_dir.path()).filePath(QStringLiteral("AddressBook.bin")); }

    // Another program's change: the file read, changed and written by other hands.
    void otherProgram(const std::function<void(AddressBook&)>& change) {
        AddressBook other;
        ParseAddressBook(other, test::readAll(bookPath()));
        change(other);
        test::writeAll(bookPath(), AddressBookImage(other));
        laterStamp();
    }

    // Moves the file's time stamp a second on, as a write that came later would have: two writes within one
    // tick of the file system's clock would otherwise carry the same stamp.
    void laterStamp() const {
        QFile file(bookPath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QDateTime stamp = file.fileTime(QFileDevice::FileModificationTime);
        ASSERT_TRUE(file.setFileTime(stamp.addSecs(1), QFileDevice::FileModificationTime));
    }

    std::map<int32_t, QByteArray> namesOnDisk() {
        AddressBook onDisk;
        ParseAddressBook(onDisk, test::readAll(bookPath()));
        std::map<int32_t, QByteArray> names;
        for (const auto& [id, m] : onDisk.MemberMap())
            names[id] = getField(m.name);
        return names;
    }

    void startWith(std::initializer_list<sMember> members) {
        for (const sMember& m : members)
            book.putMember(m);
        ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
        book.clear();
        ASSERT_TRUE(LoadAddressBook(book, bookPath()).ok);
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(BookGuardTest, ChangesOfBothProgramsAreKeptWhenTheyTouchedDifferentEntries) {
    startWith({test::member(1, "A", "0911"), test::member(2, "B", "0922"), test::member(3, "C", "0933")});
    otherProgram([](AddressBook& other) {
        other.putMember(test::member(10, "Imported", "0955"));
        other.eraseMember(3);
    });
    // This program, still with the book as it read it: renames A, adds D.
    book.putMember(test::member(1, "A2", "0911"));
    book.putMember(test::member(4, "D", "0944"));
    const AddressBookResult saved = SaveAddressBook(book, bookPath());
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_TRUE(saved.reloaded);
    EXPECT_TRUE(saved.message.contains(QStringLiteral("已被其他程式變更"))) << saved.message.toStdString();
    const std::map<int32_t, QByteArray> expected{{1, "A2"}, {2, "B"}, {4, "D"}, {10, "Imported"}};
    EXPECT_EQ(namesOnDisk(), expected);
    // The book in memory is what was written, and the next save has nothing to mend.
    EXPECT_EQ(book.MemberMap().size(), 4u);
    const AddressBookResult again = SaveAddressBook(book, bookPath());
    EXPECT_FALSE(again.reloaded);
}

TEST_F(BookGuardTest, AnEntryBothChangedKeepsThisProgramsVersionAndTheOtherFileBeside) {
    startWith({test::member(1, "A", "0911")});
    otherProgram([](AddressBook& other) { other.putMember(test::member(1, "Theirs", "0911")); });
    book.putMember(test::member(1, "Mine", "0911"));
    const AddressBookResult saved = SaveAddressBook(book, bookPath());
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(namesOnDisk(), (std::map<int32_t, QByteArray>{{1, "Mine"}}));
    const QStringList kept = QDir(m_dir.path()).entryList({QStringLiteral("AddressBook.bin.changed-*")});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(saved.message.contains(kept.first())) << saved.message.toStdString();
    EXPECT_TRUE(test::readAll(QDir(m_dir.path()).filePath(kept.first())).contains("Theirs"));
}

TEST_F(BookGuardTest, TwoNewEntriesUnderOneIdStayTwoAndGroupsFollowTheirMember) {
    startWith({test::member(1, "A", "0911")});
    otherProgram([](AddressBook& other) { other.putMember(test::member(5, "TheirNew", "0955")); });
    book.putMember(test::member(5, "MyNew", "0966"));
    book.putGroup(test::group(-1, {{0, 5}, {1, 1}}));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
    const std::map<int32_t, QByteArray> names = namesOnDisk();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names.at(5), "TheirNew");
    int32_t mine = 0;
    for (const auto& [id, name] : names)
        if (name == "MyNew")
            mine = id;
    ASSERT_NE(mine, 0);
    EXPECT_EQ(book.GroupMap().at(-1).members[0], mine) << "the group holds the member it was given";
}

// The file is compared by its content: one written back as it was is no change, and one changed with its
// size and time put back as they were is still a change.
TEST_F(BookGuardTest, AChangeIsToldByContentNotBySizeAndTime) {
    startWith({test::member(1, "A", "0911"), test::member(2, "B", "0922")});
    otherProgram([](AddressBook&) {}); // the same bytes, a later time
    book.putMember(test::member(3, "C", "0933"));
    AddressBookResult saved = SaveAddressBook(book, bookPath());
    ASSERT_TRUE(saved.ok);
    EXPECT_FALSE(saved.reloaded);

    const QByteArray written = test::readAll(bookPath());
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(bookPath()).constData(), &before), 0);
    otherProgram([](AddressBook& other) { other.putMember(test::member(2, "X", "0922")); });
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(bookPath()).constData(), times, 0), 0);
    ASSERT_EQ(test::readAll(bookPath()).size(), written.size());
    book.putMember(test::member(1, "A2", "0911"));
    saved = SaveAddressBook(book, bookPath());
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(saved.reloaded);
    EXPECT_EQ(namesOnDisk(), (std::map<int32_t, QByteArray>{{1, "A2"}, {2, "X"}, {3, "C"}}));
}

TEST_F(BookGuardTest, ASaveFindingTheLockTakenSaysWhoHoldsItAndWritesNothing) {
    startWith({test::member(1, "A", "0911")});
    const QByteArray before = test::readAll(bookPath());
    FileLock other(bookPath());
    ASSERT_TRUE(other.tryLock());
    book.putMember(test::member(2, "B", "0922"));
    const AddressBookResult busy = SaveAddressBook(book, bookPath());
    EXPECT_FALSE(busy.ok);
    EXPECT_TRUE(busy.message.contains(QStringLiteral("PID %1").arg(QCoreApplication::applicationPid())))
        << busy.message.toStdString();
    EXPECT_EQ(test::readAll(bookPath()), before);
    EXPECT_TRUE(AddressBookUnsaved(book)) << "the book knows it holds a change the file lacks";
    other.unlock();
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok) << "the change is written with the next save";
    EXPECT_EQ(namesOnDisk().size(), 2u);
    EXPECT_FALSE(AddressBookUnsaved(book));
}

// What a book remembers of its file is the book's own: a second book on the same file in the same process
// (as two windows of two programs would be) is another reader, whose save keeps the first one's change.
TEST_F(BookGuardTest, TwoBooksOnOneFileKeepEachOthersChanges) {
    startWith({test::member(1, "A", "0911"), test::member(2, "B", "0922")});
    AddressBook second;
    ASSERT_TRUE(LoadAddressBook(second, bookPath()).ok);
    book.putMember(test::member(1, "A2", "0911"));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
    laterStamp();
    second.putMember(test::member(2, "B2", "0922"));
    const AddressBookResult saved = SaveAddressBook(second, bookPath());
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_TRUE(saved.reloaded);
    EXPECT_EQ(namesOnDisk(), (std::map<int32_t, QByteArray>{{1, "A2"}, {2, "B2"}}));
}

TEST_F(BookGuardTest, TheLockOfAWholeImportIsHeldByItsBookAndGoesWithIt) {
    startWith({test::member(1, "A", "0911")});
    FileLock probe(bookPath());
    {
        AddressBook importing;
        importing.setFilePath(bookPath());
        QString error;
        ASSERT_TRUE(LockAddressBook(importing, {}, &error)) << error.toStdString();
        ASSERT_TRUE(LoadAddressBook(importing).ok);
        EXPECT_FALSE(probe.tryLock()) << "another program waits";
        importing.putMember(test::member(2, "B", "0922"));
        ASSERT_TRUE(SaveAddressBook(importing).ok) << "its own save needs no second lock";
        EXPECT_FALSE(probe.tryLock()) << "held until the book goes";
    }
    EXPECT_TRUE(probe.tryLock());
    EXPECT_EQ(namesOnDisk().size(), 2u);
}
