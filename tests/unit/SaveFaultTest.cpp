// Saves that fail part-way: every step of replacing the address book, the configuration and a send log
// made to fail in turn (creating the temporary file, each write, forcing it to disk, the rename). The
// file must stay exactly as it was, nothing of the failed save may stay behind, and the next save works.

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/SaveFile.h"
#include "support/BookRecords.h"
#include "support/FileBytes.h"
#include "support/StartFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace norvi {
namespace {

using test::readAll;

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The book the saves write; like the send log, one for the table's functions to share.
AddressBook g_book;

// Enough records that a save takes several writes.
void fillBook(int members, int groups, char mark) {
    AddressBook& book = g_book;
    book.clear();
    for (int i = 1; i <= members; ++i)
        book.putMember(test::member(i, QByteArray(1, mark) + QByteArray::number(i), "0912000000"));
    for (int i = 1; i <= groups; ++i)
        book.putGroup(test::group(-i, {{0, 1}, {999, i}}));
}

SendLogModel* logOf(int rows, char mark) {
    auto* model = new SendLogModel;
    for (int i = 0; i < rows; ++i) {
        SendLogRow row;
        row.texts[ColName] = QByteArray(1, mark);
        row.texts[ColMobile] = "09120" + QByteArray::number(10000 + i);
        row.texts[ColSendCode] = "0";
        row.texts[ColContent] = QByteArray(150, mark);
        model->addRow(row);
    }
    return model;
}

struct Target {
    const char* name;
    const char* file;
    std::function<void()> makeOld; // the data of the file as it stands
    std::function<void()> makeNew; // the data the failing save tries to write
    std::function<bool(const QString& path)> save;
    int writes; // at least this many writes reach the temporary file
};

class SaveFaultTest : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { SaveFile::clearFaultForTest(); }
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    test::StartFolder m_dir;
};

TEST_P(SaveFaultTest, EveryFailedStepLeavesTheOldFileWholeAndNothingBehind) {
    const Target& t = GetParam();
    const QString file = path(t.file);
    t.makeOld();
    ASSERT_TRUE(t.save(file));
    const QByteArray old = readAll(file);
    ASSERT_FALSE(old.isEmpty());
    const QStringList before = entries(m_dir.path());

    const struct {
        SaveFile::Step step;
        const char* name;
    } steps[] = {{SaveFile::Step::Open, "open"},
                 {SaveFile::Step::Write, "write"},
                 {SaveFile::Step::Flush, "flush"},
                 {SaveFile::Step::Rename, "rename"}};
    t.makeNew();
    int faults = 0;
    for (const auto& s : steps) {
        // The nth occurrence of each step, until the save no longer gets that far.
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(std::string(s.name) + " #" + std::to_string(nth));
            SaveFile::failAtForTest(s.step, nth);
            const bool saved = t.save(file);
            if (!SaveFile::faultFiredForTest()) {
                EXPECT_TRUE(saved);
                break;
            }
            ++faults;
            EXPECT_FALSE(saved) << "a failed step is reported";
            EXPECT_EQ(readAll(file), old) << "the file is the old one, whole";
            EXPECT_EQ(entries(m_dir.path()), before) << "no temporary file stays behind";
            ASSERT_LT(nth, 100);
        }
        // The successful save that ended the loop replaced the file: the old one back for the next step,
        // saved by the program itself (a file written behind its back would be another program's change).
        SaveFile::clearFaultForTest();
        t.makeOld();
        ASSERT_TRUE(t.save(file));
        ASSERT_EQ(readAll(file), old);
        t.makeNew();
    }
    EXPECT_GE(faults, 3 + t.writes) << "open, every write, flush and rename were each made to fail";

    SaveFile::clearFaultForTest();
    ASSERT_TRUE(t.save(file));
    EXPECT_NE(readAll(file), old);
    EXPECT_EQ(entries(m_dir.path()), before);
}

std::unique_ptr<SendLogModel> g_log;
sConfig g_settings{};

INSTANTIATE_TEST_SUITE_P(Files, SaveFaultTest,
                         ::testing::Values(Target{"AddressBook", "AddressBook.bin", [] { fillBook(3, 1, 'a'); },
                                                  [] { fillBook(200, 30, 'b'); },
                                                  [](const QString& p) { return SaveAddressBook(g_book, p).ok; }, 3},
                                           Target{"Configuration", "NorviSMSAp.cfg",
                                                  [] {
                                                      g_settings = sConfig{};
                                                      putField(g_settings.gwAccount, QByteArray("old"));
                                                  },
                                                  [] { putField(g_settings.gwAccount, QByteArray("new")); },
                                                  // The configuration is always a start folder's.
                                                  [](const QString& p) {
                                                      Config config(QFileInfo(p).absolutePath());
                                                      config.setRecord(g_settings);
                                                      return WriteConfig(config);
                                                  },
                                                  1},
                                           Target{"SendLog", "sent.log", [] { g_log.reset(logOf(10, 'o')); },
                                                  [] { g_log.reset(logOf(500, 'n')); },
                                                  [](const QString& p) { return saveLogFile(p, *g_log); }, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

class SaveLeftoverTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return QDir(m_dir.path()).filePath(name); }
    void touch(const QString& name) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("half a save");
    }
    QTemporaryDir m_dir;
};

TEST_F(SaveLeftoverTest, TemporaryFilesOfKilledSavesGoAtTheNextSaveButOneInUseStays) {
    const QString prefix = SaveFile::temporaryPrefix(QStringLiteral("a.log"));
    EXPECT_EQ(prefix, QStringLiteral(".a.log.norvi-save-"));
    touch(prefix + QStringLiteral("Ab12Cd"));
    touch(prefix + QStringLiteral("Zz99zZ"));
    touch(prefix + QStringLiteral("inUse1"));
    touch(prefix + QStringLiteral("longer-than-a-temporary")); // not a name a save makes: left alone
    touch(SaveFile::temporaryPrefix(QStringLiteral("b.log")) + QStringLiteral("Ab12Cd")); // another file's
    // A save that is still running elsewhere holds a lock on its temporary file.
    const int held =
        ::open(QFile::encodeName(path(prefix + QStringLiteral("inUse1"))).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    SaveFile file(path(QStringLiteral("a.log")));
    ASSERT_TRUE(file.open());
    file.write("new");
    ASSERT_TRUE(file.commit());
    ::close(held);

    QStringList left = entries(m_dir.path());
    left.sort();
    QStringList expected{QStringLiteral("a.log"), prefix + QStringLiteral("inUse1"),
                         prefix + QStringLiteral("longer-than-a-temporary"),
                         SaveFile::temporaryPrefix(QStringLiteral("b.log")) + QStringLiteral("Ab12Cd")};
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(readAll(path(QStringLiteral("a.log"))), "new");
}

TEST_F(SaveLeftoverTest, ReplacedFileKeepsItsPermissionsAndANewOneGetsTheUsualOnes) {
    QFile old(path(QStringLiteral("kept.cfg")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(path(QStringLiteral("kept.cfg")), ownerOnly | QFileDevice::ReadGroup));
    for (const char* name : {"kept.cfg", "new.cfg"}) {
        SaveFile file(path(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open());
        file.write("new");
        ASSERT_TRUE(file.commit());
    }
    const auto modeOf = [this](const char* name) {
        struct stat st {};
        ::stat(QFile::encodeName(path(QString::fromUtf8(name))).constData(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(modeOf("kept.cfg"), mode_t(0640));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(modeOf("new.cfg"), mode_t(0666 & ~mask)) << "as any new file: the umask decides";

    // Replaced by the administrator (or a job run as root), a user's file stays the user's, or they could not
    // save it again. Only root can give a file away, so only then can this be seen.
    if (::geteuid() != 0)
        return;
    const QByteArray kept = QFile::encodeName(path(QStringLiteral("kept.cfg")));
    ASSERT_EQ(::chown(kept.constData(), 65534, 65534), 0);
    SaveFile file(path(QStringLiteral("kept.cfg")));
    ASSERT_TRUE(file.open());
    file.write("again");
    ASSERT_TRUE(file.commit());
    struct stat st {};
    ASSERT_EQ(::stat(kept.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, uid_t(65534));
    EXPECT_EQ(st.st_gid, gid_t(65534));
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));
}

} // namespace
} // namespace norvi
