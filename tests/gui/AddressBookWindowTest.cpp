#include "addressbook/TFormAdrBk.h"

#include "ScriptedPrompts.h"
#include "addressbook/AddressBook.h"
#include "shared/Global.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

using namespace norvi;
using norvi::test::ScriptedPrompts;

namespace {

class AddressBookWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        StartDir = m_dir.path();
        MemberMap.clear();
        GroupMap.clear();
    }
    void TearDown() override {
        MemberMap.clear();
        GroupMap.clear();
    }
    void writeBook(int members, int announced) {
        QFile f(QDir(m_dir.path()).filePath("AddressBook.bin"));
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
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(AddressBookWindowTest, CreatingTheWindowLoadsTheBookSilently) {
    writeBook(2, 2);
    ScriptedPrompts prompts;
    TFormAdrBk window;
    EXPECT_EQ(MemberMap.size(), 2u);
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(AddressBookWindowTest, DamagedBookLoadsItsCompleteRecordsAndTellsTheUser) {
    writeBook(2, 5);
    ScriptedPrompts prompts;
    TFormAdrBk window;
    EXPECT_EQ(MemberMap.size(), 2u);
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages().first().contains(QString::fromUtf8("通訊錄檔案已損壞")));
}
