#include "core/compose/NumberKey.h"
#include "core/compose/OddNumbers.h"

#include <gtest/gtest.h>

using namespace norvi;

TEST(NumberKeyTest, OneMobileNumberHasOneKeyHoweverItIsWritten) {
    const struct {
        const char *written, *key, *sent;
    } cases[] = {
        {"0912345678", "0912345678", "0912345678"},
        {"0912-345-678", "0912345678", "0912345678"},
        {"0912 345 678", "0912345678", "0912345678"},
        {"0912.345.678", "0912345678", "0912345678"},
        {"(0912)345-678", "0912345678", "0912345678"},
        {"+886912345678", "0912345678", "+886912345678"}, // keeps its "+": it goes out as international
        {"+886 912-345-678", "0912345678", "+886912345678"},
        {"886912345678", "0912345678", "886912345678"},
        {"00886912345678", "0912345678", "00886912345678"},
        {" 0912345678 ", "0912345678", "0912345678"},
        // The trunk 0 kept after the country code, as people often write it.
        {"+886 0912-345-678", "0912345678", "+8860912345678"},
        {"8860912345678", "0912345678", "8860912345678"},
        {"008860912345678", "0912345678", "008860912345678"},
        // Compared as written: not a Taiwan mobile number after the prefix, or another country.
        {"+886223456789", "+886223456789", "+886223456789"},
        {"88691234567", "88691234567", "88691234567"},       // one digit short
        {"8869123456789", "8869123456789", "8869123456789"}, // one digit long
        {"+88609123456789", "+88609123456789", "+88609123456789"},
        {"+8860223456789", "+8860223456789", "+8860223456789"},
        {"+85291234567", "+85291234567", "+85291234567"},
        {"02-2345-6789", "0223456789", "0223456789"},
        {"0912345678", "0912345678", "0912345678"},
        // No number even without separators: sent (and shown) as written.
        {"abc-def", "abcdef", "abc-def"},
        {"12", "12", "12"},
        {"0912-345-67x", "091234567x", "0912-345-67x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumberKey(c.written), QByteArray(c.key)) << c.written;
        EXPECT_EQ(SentNumber(c.written), QByteArray(c.sent)) << c.written;
    }
}

// A number written with separators is a number: nobody is asked about it, and it is no odd number.
TEST(NumberKeyTest, SeparatorsMakeNoOddNumber) {
    OddNumbers odd;
    for (const char* number : {"0912-345-678", "0912 345 678", "(02)2345-6789", "+886 912 345 678"})
        EXPECT_FALSE(odd.addTyped(number)) << number;
    EXPECT_TRUE(odd.addTyped("0912-345-67x"));
    EXPECT_TRUE(odd.addListLine(2, "call-me"));
    EXPECT_EQ(odd.summary(), QStringLiteral("以下 2 筆不是手機門號：0912-345-67x、第 3 行 call-me"));
}
