#include "core/shared/FixedField.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

using namespace norvi;

TEST(FixedField, TextThatFillsItsFieldHasNoTerminatorAndReadsBackWhole) {
    char record[12];
    std::memset(record, 'X', sizeof record);
    putField(record, 10, QByteArray("0123456789"));
    EXPECT_EQ(record[10], 'X'); // nothing written past the field
    EXPECT_EQ(getField(record, 10), QByteArray("0123456789"));
}

TEST(FixedField, LongerTextIsCutAtTheWidthAndShorterTextIsZeroFilled) {
    char field[4];
    putField(field, QByteArray("12345"));
    EXPECT_EQ(getField(field), QByteArray("1234"));
    std::memset(field, 'X', sizeof field);
    putField(field, QByteArray("1"));
    EXPECT_EQ(field[1], 0);
    EXPECT_EQ(field[3], 0);
    EXPECT_EQ(getField(field), QByteArray("1"));
}

TEST(FixedField, CStringFieldKeepsRoomForTheTerminator) {
    char field[5];
    putCString(field, QByteArray("abcdefg"));
    EXPECT_EQ(getField(field), QByteArray("abcd"));
    EXPECT_EQ(field[4], 0);
}

TEST(Big5, RoundTripsChineseAndRefusesCharactersWithoutABig5Form) {
    QByteArray bytes;
    ASSERT_TRUE(toBig5(QStringLiteral("簡訊ABC"), bytes));
    EXPECT_EQ(bytes.toHex(), QByteArray("c2b2b054414243"));
    EXPECT_EQ(fromBig5(bytes), QStringLiteral("簡訊ABC"));

    QString bad;
    EXPECT_FALSE(toBig5(QStringLiteral("您好😀"), bytes, &bad));
    EXPECT_EQ(bad, QStringLiteral("😀"));
    EXPECT_TRUE(unmappableMessage(bad).contains(QStringLiteral("U+1F600")));
}
