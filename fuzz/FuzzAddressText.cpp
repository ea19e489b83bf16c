// Address book text files as the import reads them, in both types. Whatever the bytes: every line is
// either Big5 text or carries its problem, never a "?" put in for a character; the import adds one
// member per data line or names the line; a member's name and number are stored trimmed, the number
// without the characters the import takes out, every field Big5 text cut at a whole character. The
// export of the imported members, imported again, gives the same members.

#include "FuzzCheck.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/exchange/AddressTransfer.h"
#include "core/exchange/ColumnMapping.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"
#include "core/shared/InputFile.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

using namespace norvi;

namespace {

// The book every case of this program fills and reads.
AddressBook g_book;

struct Fields {
    QByteArray name, msisdn, desc;
    bool operator==(const Fields& o) const { return name == o.name && msisdn == o.msisdn && desc == o.desc; }
};

std::vector<Fields> book() {
    std::vector<Fields> list;
    for (const auto& [id, m] : g_book.MemberMap()) {
        FUZZ_CHECK(id > 0 && m.id == id);
        list.push_back({getField(m.name), getField(m.msisdn), getField(m.desc)});
    }
    return list;
}

void checkMember(const Fields& m) {
    FUZZ_CHECK(TrimBlank(m.name).size() == m.name.size());
    FUZZ_CHECK(TrimBlank(m.msisdn).size() == m.msisdn.size());
    // Single-byte characters only: "_" and "~" are also second bytes of Big5 characters.
    for (qsizetype i = 0; i < m.msisdn.size(); ++i) {
        const char c = m.msisdn.at(i);
        if (isBig5LeadByte(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        FUZZ_CHECK(c != '-' && c != '_' && c != '~' && c != '*' && c != '(' && c != ')');
    }
    FUZZ_CHECK(IsBig5Text(m.name) && IsBig5Text(m.msisdn) && IsBig5Text(m.desc));
}

int dataLines(const AddressTextFile& file) {
    const int header = file.headerIndex();
    int count = 0;
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        count += !file.lines[i].blank && int(i) > header ? 1 : 0;
    return count;
}

void importAndCheck(const AddressTextFile& file, char delimiter, const std::array<int, 3>& codes) {
    g_book.clear();
    int reported = 0;
    const ImportSummary summary = ImportAddressText(g_book, file, QStringLiteral("f"), codes, delimiter,
                                                    [&reported](const QString&) { ++reported; });
    FUZZ_CHECK(summary.added + summary.skipped == dataLines(file));
    FUZZ_CHECK(reported == summary.skipped);
    const std::vector<Fields> members = book();
    FUZZ_CHECK(int(members.size()) == summary.added);
    for (const Fields& m : members)
        checkMember(m);

    // All three fields exported in comma type: every member one line, never blank, Big5 throughout.
    std::vector<int32_t> ids;
    for (const auto& entry : g_book.MemberMap())
        ids.push_back(entry.first);
    const QByteArray exported = AddressTextImage(g_book, ids, ',', {true, true, true});
    const AddressTextFile again = ParseAddressText(exported);
    FUZZ_CHECK(again.encoding == TextEncoding::Big5);
    g_book.clear();
    const ImportSummary back = ImportAddressText(
        g_book, again, QStringLiteral("g"), ColumnMapping::fromHeader(again.headerColumns(',')).columnCodes(), ',', {});
    FUZZ_CHECK(back.added == summary.added && back.skipped == 0);
    const std::vector<Fields> returned = book();
    FUZZ_CHECK(returned.size() == members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        // A comma inside a name or a number moves the columns after it; the last column keeps the rest.
        if (members[i].name.contains(',') || members[i].msisdn.contains(','))
            continue;
        FUZZ_CHECK(returned[i] == members[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const AddressTextFile file = ParseAddressText(bytes);
    for (const AddressTextLine& line : file.lines) {
        if (line.problem.isEmpty())
            FUZZ_CHECK(IsBig5Text(line.text));
        else
            FUZZ_CHECK(line.text.isEmpty()); // a line of NUL bytes alone is blank and passed over
    }

    for (const char delimiter : {',', ' '}) {
        const ColumnMapping mapping = ColumnMapping::fromHeader(file.headerColumns(delimiter));
        FUZZ_CHECK(mapping.size() <= kExchangeColumns);
        std::array<int, 4> seen{};
        for (const int code : mapping.columnCodes())
            FUZZ_CHECK(code == FieldNone || ++seen[std::size_t(code)] == 1);
        importAndCheck(file, delimiter, mapping.columnCodes());
        importAndCheck(file, delimiter, {FieldName, FieldMsisdn, FieldDesc});
        importAndCheck(file, delimiter, {FieldDesc, FieldNone, FieldName});
    }
    g_book.clear();
    return 0;
}
