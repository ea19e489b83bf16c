#include "core/shared/Big5.h"

#include <gtest/gtest.h>

using namespace norvi;

namespace {

// Bytes that are not whole Big5 characters show as U+FFFD wherever they stand, also a lead byte whose
// second byte never comes because the text ends.
TEST(Big5Test, BrokenCharactersShowAsReplacementAlsoAtTheEnd) {
    const QString bad(QChar::ReplacementCharacter);
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {{"\xA4\xA4", QStringLiteral("中")},     {"\xB0", bad},
                 {"ab\xA4", QStringLiteral("ab") + bad}, {"\xA4\xA4\xA4", QStringLiteral("中") + bad},
                 {"\xA4\n", bad + QStringLiteral("\n")}, {"", QString()}};
    for (const auto& c : cases)
        EXPECT_EQ(fromBig5(c.bytes), c.text) << c.bytes.toHex().constData();
}

} // namespace
