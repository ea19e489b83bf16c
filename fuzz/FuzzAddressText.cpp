// Address book text files as the import reads them, in both types, with and without a header. Whatever the
// bytes: every line is either Big5 text or carries its problem, never a "?" put in for a character; the
// import adds one member per data record or names the line; a member's name and number are stored trimmed,
// the number without the characters the import takes out, every field Big5 text cut at a whole character,
// and nothing the book's load would call damaged. The export of the imported members, imported again,
// gives the same members.

#include "FuzzCheck.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/exchange/AddressTransfer.h"
#include "core/exchange/ColumnMapping.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
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

void importAndCheck(const AddressTextFile& file, char delimiter, HeaderChoice header, std::array<int, 3> codes) {
    const AddressRecords records = ReadAddressRecords(file, delimiter, header);
    if (codes[0] < 0)
        codes = ColumnMapping::fromRecords(records).columnCodes();
    g_book.clear();
    int reported = 0;
    const ImportSummary summary =
        ImportAddressRecords(g_book, records, QStringLiteral("f"), codes, [&reported](const QString&) { ++reported; });
    FUZZ_CHECK(summary.added + summary.skipped == int(records.records.size()) - (records.header ? 1 : 0));
    FUZZ_CHECK(reported == summary.skipped);
    const std::vector<Fields> members = book();
    FUZZ_CHECK(int(members.size()) == summary.added);
    for (const Fields& m : members)
        checkMember(m);
    AddressBook loaded;
    FUZZ_CHECK(!ParseAddressBook(loaded, AddressBookImage(g_book)).damaged);

    // All three fields exported in comma type, quoted where they need it: Big5 throughout, and read back
    // with its header the same members.
    std::vector<int32_t> ids;
    for (const auto& entry : g_book.MemberMap())
        ids.push_back(entry.first);
    const QByteArray exported = AddressTextImage(g_book, ids, ',', {true, true, true});
    const AddressTextFile again = ParseAddressText(exported);
    FUZZ_CHECK(again.encoding == TextEncoding::Big5);
    const AddressRecords back = ReadAddressRecords(again, ',', HeaderChoice::Yes);
    g_book.clear();
    const ImportSummary returnedSummary =
        ImportAddressRecords(g_book, back, QStringLiteral("g"), ColumnMapping::fromRecords(back).columnCodes(), {});
    FUZZ_CHECK(returnedSummary.added == summary.added && returnedSummary.skipped == 0);
    const std::vector<Fields> returned = book();
    FUZZ_CHECK(returned.size() == members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        // A line break comes back as CR LF; one cut in half at the field's width does not come back alone.
        if (members[i].desc.contains('\r') || members[i].desc.contains('\n'))
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
        for (const HeaderChoice header : {HeaderChoice::Auto, HeaderChoice::Yes, HeaderChoice::No}) {
            const ColumnMapping mapping = ColumnMapping::fromRecords(ReadAddressRecords(file, delimiter, header));
            FUZZ_CHECK(mapping.size() <= kExchangeColumns);
            std::array<int, 4> seen{};
            for (const int code : mapping.columnCodes())
                FUZZ_CHECK(code == FieldNone || ++seen[std::size_t(code)] == 1);
            importAndCheck(file, delimiter, header, mapping.columnCodes());
        }
        importAndCheck(file, delimiter, HeaderChoice::Auto, {FieldName, FieldMsisdn, FieldDesc});
        importAndCheck(file, delimiter, HeaderChoice::No, {FieldDesc, FieldNone, FieldName});
    }
    g_book.clear();
    return 0;
}
