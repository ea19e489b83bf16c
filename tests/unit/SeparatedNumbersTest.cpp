#include "core/compose/SeparatedNumbers.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace norvi;

namespace {

QStringList utf8List(std::initializer_list<const char*> utf8) {
    QStringList list;
    for (const char* s : utf8)
        list << QString::fromUtf8(s);
    return list;
}

TEST(SeparatedNumbersTest, SplitsOnlyWhatIsSeveralWholeNumbers) {
    const struct {
        const char* typed;
        std::initializer_list<const char*> numbers;
    } cases[] = {
        {"0912000501,0912000502 0912000503", {"0912000501", "0912000502", "0912000503"}},
        {"0912000501， 0912000502、+886912000503", {"0912000501", "0912000502", "+886912000503"}},
        {"0912000501\t0912000502", {"0912000501", "0912000502"}},
        {"0912000501", {}},
        {"0912000501,", {}},       // one number and a stray comma
        {"0912 345 678", {}},      // one number written in groups
        {"0912000501,王小明", {}}, // a name is no number
        {"0912000501,12345", {}},  // nor a short code beside a number
    };
    for (const auto& c : cases)
        EXPECT_EQ(SeparatedNumbers(big5(QString::fromUtf8(c.typed))), utf8List(c.numbers)) << c.typed;
}

sMtData typedEntry(const char* text) {
    sMtData entry;
    std::memset(&entry, 0, sizeof entry);
    entry.kind = KindTyped;
    putCString(entry.label, big5(QString::fromUtf8(text)));
    return entry;
}

TEST(SeparatedNumbersTest, EachNumberBecomesATypedRecipientInItsPlace) {
    sMtData member = typedEntry("0912000501,0912000502");
    member.kind = KindAddressBook; // an entry's label is its name, whatever it holds
    member.id = 7;
    std::list<sMtData> entries = {typedEntry("0911000001"), typedEntry("0912000501,0912000502"), member,
                                  typedEntry("0913000001 0913000002")};
    EXPECT_EQ(EntriesWithSeparatedNumbers(entries),
              (QStringList{QStringLiteral("0912000501,0912000502"), QStringLiteral("0913000001 0913000002")}));
    SplitSeparatedNumbers(entries);
    QStringList labels;
    for (const sMtData& e : entries)
        labels << QStringLiteral("%1:%2").arg(e.kind).arg(fromBig5(getField(e.label)));
    EXPECT_EQ(labels, utf8List({"2:0911000001", "2:0912000501", "2:0912000502", "0:0912000501,0912000502",
                                "2:0913000001", "2:0913000002"}));
}

} // namespace
