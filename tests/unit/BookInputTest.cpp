#include "core/addressbook/BookEdits.h"
#include "core/addressbook/BookTexts.h"

#include <gtest/gtest.h>

using namespace norvi;

namespace {} // namespace

TEST(NumberListTest, FirstNumberIsDefaultAndOneNumberIsStoredBare) {
    NumberList list;
    list.add("0911");
    EXPECT_EQ(list.defaultRow(), 0);
    EXPECT_EQ(list.storedText(), "0911");
    list.add("0922");
    EXPECT_EQ(list.storedText(), "@0911;0922");
    list.setDefault(1);
    EXPECT_EQ(list.storedText(), "0911;@0922");
    EXPECT_EQ(NumberList("0911").defaultRow(), 0);
    EXPECT_EQ(NumberList("0911;;@0922;").defaultRow(), 1);
    EXPECT_EQ(NumberList("0911;@0922").storedText(), "0911;@0922");
}

TEST(NumberListTest, RemovingTheDefaultMovesItToTheFirstRemainingRow) {
    NumberList list("a;b;@c;d");
    list.remove({2});
    EXPECT_EQ(list.storedText(), "@a;b;d");
    NumberList kept("a;b;@c;d");
    kept.remove({0, 3});
    EXPECT_EQ(kept.defaultRow(), 1); // the default stays on its number
    EXPECT_EQ(kept.storedText(), "b;@c");
    kept.remove({1, 0});
    EXPECT_EQ(kept.count(), 0);
    EXPECT_EQ(kept.defaultRow(), -1);
    EXPECT_TRUE(kept.storedText().isEmpty());
    NumberList edited("@a;b");
    edited.replace(0, "x");
    EXPECT_EQ(edited.storedText(), "@x;b");
}

TEST(NumberCheckTest, DigitsWithALeadingPlusPassOtherAsciiAsksOthersAreRefused) {
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0912345678")), NumberCheck::Valid);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("+886912345678")), NumberCheck::Valid);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0912-345-678")), NumberCheck::Unusual);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0912+345")), NumberCheck::Unusual);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0912 345")), NumberCheck::Unusual);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("０９１２３４５６７８")), NumberCheck::NotAscii); // full-width digits
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0912王")), NumberCheck::NotAscii);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("0911;0922")), NumberCheck::Separator);
    EXPECT_EQ(CheckMobileNumber(QStringLiteral("@0911")), NumberCheck::Separator);
    EXPECT_EQ(CheckMobileNumber(QString()), NumberCheck::Empty);
}

TEST(BookTextsTest, QuestionNamesTheNumberAndTheAction) {
    EXPECT_EQ(UnusualNumberQuestion(QStringLiteral("09-1"), true),
              QStringLiteral("輸入的內容 09-1 不是有效的手機門號，\n仍然想新增這個門號？"));
    EXPECT_EQ(UnusualNumberQuestion(QStringLiteral("09-1"), false),
              QStringLiteral("輸入的內容 09-1 不是有效的手機門號，\n仍然想修改這個門號？"));
    EXPECT_EQ(GroupOverfullText(), QStringLiteral("本群組已超過最大成員數(1000)，請移除一些成員！"));
    EXPECT_EQ(GroupNoRoomText(), QStringLiteral("本群組已達最大成員數(1000)，無法再新增其他成員！"));
    EXPECT_EQ(GroupCycleText(QStringLiteral("甲")),
              QStringLiteral("無法將群組'甲'加到這個群組，\n原因是群組'甲'已經包含這個群組"));
}

TEST(BookTextsTest, NamesAreTrimmedAndTextsThatCannotBeStoredAreRefused) {
    const FieldText name = NameFieldText(QStringLiteral(" \t王小明  "), 100, QStringLiteral("名稱"));
    ASSERT_TRUE(name.ok);
    EXPECT_EQ(name.bytes, QByteArray("\xa4\xfd\xa4\x70\xa9\xfa"));
    EXPECT_EQ(PlainFieldText(QStringLiteral(" x "), 200, QStringLiteral("說明")).bytes, " x ");

    const FieldText emoji = NameFieldText(QStringLiteral("小明😀"), 100, QStringLiteral("名稱"));
    EXPECT_FALSE(emoji.ok);
    EXPECT_TRUE(emoji.error.contains(QStringLiteral("😀")));

    EXPECT_TRUE(NameFieldText(QString(50, QChar(0x738B)), 100, QStringLiteral("名稱")).ok); // 50 characters of 2 bytes
    const FieldText longName = NameFieldText(QString(51, QChar(0x738B)), 100, QStringLiteral("名稱"));
    EXPECT_FALSE(longName.ok);
    EXPECT_TRUE(longName.error.contains(QStringLiteral("102")));
}
