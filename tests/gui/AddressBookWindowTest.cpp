#include "WindowTest.h"

#include "addressbook/AddressBook.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstring>

using namespace norvi;
using namespace norvi::test;

namespace {

// The address book window is created with the other windows at start; creating it loads AddressBook.bin
// from the start folder.
class AddressBookWindowTest : public WindowTest {
protected:
    void writeBook(int members, int announced) {
        QFile f(QDir(m_dir.path()).filePath(QStringLiteral("AddressBook.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const int32_t counts[2] = {announced, 0};
        f.write(reinterpret_cast<const char*>(counts), sizeof counts);
        for (int i = 0; i < members; ++i) {
            sMember m{};
            m.id = 100 + i;
            std::strcpy(m.name, "member");
            f.write(reinterpret_cast<const char*>(&m), sizeof m);
        }
    }
};

} // namespace

TEST_F(AddressBookWindowTest, CreatingTheWindowLoadsTheBookSilently) {
    writeBook(2, 2);
    startWindows(false);
    EXPECT_EQ(MemberMap.size(), 2u);
    EXPECT_TRUE(m_prompts.messages().isEmpty());
}

TEST_F(AddressBookWindowTest, DamagedBookLoadsItsCompleteRecordsAndTellsTheUser) {
    writeBook(2, 5);
    startWindows(false);
    EXPECT_EQ(MemberMap.size(), 2u);
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_TRUE(m_prompts.messages().first().contains(QStringLiteral("通訊錄檔案已損壞")));
}
