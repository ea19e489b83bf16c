#include "cli/CliBook.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliOutput.h"

#include "core/addressbook/BookFile.h"
#include "core/addressbook/BookGuard.h"
#include "core/compose/EntryLookup.h"
#include "core/exchange/AddressSheet.h"
#include "core/exchange/AddressTransfer.h"
#include "core/exchange/ColumnMapping.h"
#include "core/exchange/ExchangeState.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"

#include <QSet>

namespace norvi::cli {

namespace {

const QString kSpace = QStringLiteral("--space");
const QString kBig5 = QStringLiteral("--big5");
const QString kMap = QStringLiteral("--map");
const QString kFields = QStringLiteral("--fields");
const QString kGroup = QStringLiteral("--group");
const QString kHeader = QStringLiteral("--header");

// A field named on the command line: the English word or the column's own name.
int fieldCode(const QString& word) {
    const QString w = word.trimmed();
    if (w == QLatin1String("name") || w == QStringLiteral("名稱"))
        return FieldName;
    if (w == QLatin1String("msisdn") || w == QStringLiteral("行動電話"))
        return FieldMsisdn;
    if (w == QLatin1String("desc") || w == QStringLiteral("說明") || w == QStringLiteral("備註"))
        return FieldDesc;
    return -1;
}

bool noPositional(const Arguments& a, int expected, Console& console) {
    if (a.positional.size() <= expected)
        return true;
    console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.mid(expected).join(QLatin1Char(' '))));
    return false;
}

// The book as the desktop program reads it at start. A damaged book is read as far as it goes (the
// next save keeps the old file aside); one that cannot be read at all is not worked on.
bool loadBook(AddressBook& book, Console& console) {
    const AddressBookResult loaded = LoadAddressBook(book);
    if (!loaded.message.isEmpty())
        console.err(loaded.message);
    return loaded.ok;
}

// ---- list ----

// A cell of Big5 bytes for a tab-separated line, escaped as escapeCell does, without touching the
// second byte of a two-byte character (which may be a backslash).
QByteArray escapeBig5Cell(const QByteArray& text) {
    QByteArray escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (isBig5LeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
            escaped += c;
            escaped += text.at(++i);
            continue;
        }
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\n':
            escaped += "\\n";
            break;
        default:
            if (isControlByte(c))
                escaped +=
                    "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
            else
                escaped += c;
        }
    }
    return escaped;
}

QByteArray groupEntries(const sGroup& g) {
    QByteArray ids;
    for (const int32_t slot : g.members) {
        if (slot == 0)
            continue;
        if (!ids.isEmpty())
            ids += ',';
        ids += QByteArray::number(slot);
    }
    return ids;
}

// The book is listed as it is read, never held whole (a book of a million members is 424 MB).
int list(const Arguments& a, const QString& bookPath, Console& console) {
    if (!noPositional(a, 1, console))
        return ExitRefused;
    const bool raw = a.switches.contains(kBig5);
    // The texts are Big5 in the book; without --big5 every cell is converted for the terminal.
    const auto line = [raw, &console](const QList<QByteArray>& cells) {
        if (raw) {
            QByteArray bytes;
            for (const QByteArray& cell : cells)
                bytes += (bytes.isEmpty() ? QByteArray() : QByteArray("\t")) + escapeBig5Cell(cell);
            console.writeRaw(bytes + '\n');
            return;
        }
        QStringList texts;
        for (const QByteArray& cell : cells)
            texts << escapeCell(fromBig5(cell));
        console.out(texts.join(QLatin1Char('\t')));
    };
    QString said;
    bool damaged = false;
    const AddressBookResult listed = ListAddressBook(
        bookPath,
        [&said, &damaged, &console](const AddressBookResult& loaded) {
            said = loaded.message;
            damaged = loaded.damaged;
            if (!said.isEmpty())
                console.err(said);
        },
        [&line](const sMember& m) {
            line({"member", QByteArray::number(m.id), getField(m.name), getField(m.msisdn), getField(m.desc)});
        },
        [&line](const sGroup& g) {
            line({"group", QByteArray::number(g.id), getField(g.name), groupEntries(g)});
        });
    if (!listed.ok && listed.message != said)
        console.err(listed.message);
    // What a damaged book lists is not all it held: a script must not take it for the whole book.
    if (!listed.ok)
        return ExitRefused;
    return damaged || listed.damaged ? ExitFailed : ExitOk;
}

// ---- import ----

// "--map name,msisdn,desc": the field of columns 1 to 3; an empty item or "-" leaves a column out.
bool parseMap(const QString& text, std::array<int, 3>* codes, Console& console) {
    const QStringList items = text.split(QLatin1Char(','));
    if (items.size() > kExchangeColumns) {
        console.err(QStringLiteral("--map 最多對應 3 個欄位：%1").arg(text));
        return false;
    }
    QSet<int> seen;
    *codes = {FieldNone, FieldNone, FieldNone};
    for (int i = 0; i < items.size(); ++i) {
        const QString item = items.at(i).trimmed();
        if (item.isEmpty() || item == QLatin1String("-"))
            continue;
        const int code = fieldCode(item);
        if (code < 0) {
            console.err(QStringLiteral("--map 的欄位「%1」不是 name、msisdn 或 desc。").arg(item));
            return false;
        }
        if (seen.contains(code)) {
            console.err(QStringLiteral("--map 的欄位「%1」只能對應一個文字欄位。").arg(item));
            return false;
        }
        seen.insert(code);
        (*codes)[std::size_t(i)] = code;
    }
    return true;
}

// "--header yes|no|auto": whether the file's first line names its columns; auto guesses from the line.
bool parseHeader(const Arguments& a, HeaderChoice* choice, Console& console) {
    *choice = HeaderChoice::Auto;
    if (!a.values.contains(kHeader))
        return true;
    const QString value = a.value(kHeader).trimmed();
    if (value == QLatin1String("yes"))
        *choice = HeaderChoice::Yes;
    else if (value == QLatin1String("no"))
        *choice = HeaderChoice::No;
    else if (value != QLatin1String("auto")) {
        console.err(QStringLiteral("--header 只能是 yes、no 或 auto：%1").arg(value));
        return false;
    }
    return true;
}

QString mappingLine(const std::array<int, 3>& codes, const QStringList& header) {
    QStringList parts;
    for (int i = 0; i < kExchangeColumns; ++i) {
        const int code = codes[std::size_t(i)];
        if (code == FieldNone)
            continue;
        const QString caption = header.value(i);
        parts << QStringLiteral("第%1欄%2→%3")
                     .arg(QString::number(i + 1), caption.isEmpty() ? QString() : QStringLiteral("「%1」").arg(caption),
                          FieldDisplayName(code));
    }
    return QStringLiteral("欄位對應：") + parts.join(QStringLiteral("，"));
}

int import(const Arguments& a, AddressBook& book, Console& console) {
    // An empty name ("", or spaces) names no file: said as when none is given, not as a file that failed.
    if (a.positional.size() < 2 || a.positional.at(1).trimmed().isEmpty()) {
        console.err(QStringLiteral("請指定要匯入的檔案。"));
        return ExitRefused;
    }
    if (!noPositional(a, 2, console))
        return ExitRefused;
    const QString path = a.positional.at(1);
    const char delimiter = ExchangeDelimiter(a.switches.contains(kSpace) ? TextFileSpace : TextFileComma);
    std::array<int, 3> codes{};
    if (a.values.contains(kMap) && !parseMap(a.value(kMap), &codes, console))
        return ExitRefused;
    HeaderChoice headerChoice = HeaderChoice::Auto;
    if (!parseHeader(a, &headerChoice, console))
        return ExitRefused;
    // Read, changed and written under the book's lock: an import or a desktop program's save meanwhile
    // waits, and neither writes back a book without the other's members.
    QString lockError;
    if (!LockAddressBook(
            book,
            [&console](const QString& holder) {
                console.err(
                    QStringLiteral("通訊錄檔案正由%1使用中，等候它結束…")
                        .arg(holder.isEmpty() ? QStringLiteral("另一個程式") : QStringLiteral(" %1 ").arg(holder)));
            },
            &lockError)) {
        console.err(lockError);
        return ExitRefused;
    }
    if (!loadBook(book, console))
        return ExitRefused;

    AddressRecords records;
    QString error;
    if (!ReadAddressFile(path, delimiter, headerChoice, &records, &error)) {
        console.err(error);
        return ExitRefused;
    }
    const ColumnMapping mapping = ColumnMapping::fromRecords(records);
    if (!a.values.contains(kMap))
        codes = mapping.columnCodes();
    if (!MapsNameOrNumber(codes)) {
        console.err(NoNameOrNumberText());
        return ExitRefused;
    }
    // The columns by their names, or without names by what the first data line holds in them.
    QStringList captions = records.headerColumns();
    if (const AddressRecord* first = records.firstData(); !records.header && first)
        for (const QByteArray& column : first->columns)
            captions << fromBig5(TrimBlank(column).toByteArray());
    console.out(HeaderChoiceText(records.header) + QStringLiteral("；") + mappingLine(codes, captions));

    const ImportSummary summary =
        ImportAddressRecords(book, records, path, codes, [&console](const QString& line) { console.err(line); });
    if (summary.added > 0) {
        const AddressBookResult saved = SaveAddressBook(book);
        if (!saved.ok) {
            console.err(saved.message);
            return ExitNotSaved;
        }
        if (!saved.message.isEmpty())
            console.err(saved.message);
    }
    QString done = summary.text();
    done.replace(QLatin1Char('\n'), QStringLiteral("；"));
    console.out(ImportDoneText() + QStringLiteral("：") + done);
    return summary.skipped > 0 ? ExitFailed : ExitOk;
}

// ---- export ----

bool parseFields(const QString& text, ExportFields* fields, Console& console) {
    *fields = {false, false, false};
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int code = fieldCode(item);
        if (code < 0) {
            console.err(QStringLiteral("--fields 的欄位「%1」不是 name、msisdn 或 desc。").arg(item.trimmed()));
            return false;
        }
        (*fields)[std::size_t(code - 1)] = true;
    }
    if (!(*fields)[0] && !(*fields)[1] && !(*fields)[2]) {
        console.err(NoExportFieldText());
        return false;
    }
    return true;
}

// The members of the group called `name`, as its list in the address book window shows them: its
// direct member entries in slot order, without its sub-groups.
bool groupMembers(const AddressBook& book, const QString& name, std::vector<int32_t>* ids, Console& console) {
    QByteArray bytes;
    if (!toBig5Argument(name, &bytes, console))
        return false;
    QList<int32_t> groups;
    for (const int32_t id : FindEntriesByName(book, bytes))
        if (id < 0)
            groups << id;
    if (groups.isEmpty()) {
        console.err(QStringLiteral("通訊錄中沒有名稱為「%1」的群組。").arg(name));
        return false;
    }
    if (groups.size() > 1) {
        console.err(
            QStringLiteral("通訊錄中有 %1 個名稱為「%2」的群組，無法判斷要匯出哪一個。").arg(groups.size()).arg(name));
        return false;
    }
    for (const int32_t slot : book.GroupMap().at(groups.first()).members)
        if (slot > 0 && book.member(slot))
            ids->push_back(slot);
    return true;
}

int exportBook(const Arguments& a, AddressBook& book, Console& console) {
    // An empty name ("", or spaces) names no file: said as when none is given, not as a file that failed.
    if (a.positional.size() < 2 || a.positional.at(1).trimmed().isEmpty()) {
        console.err(QStringLiteral("請指定匯出的檔案。"));
        return ExitRefused;
    }
    if (!noPositional(a, 2, console))
        return ExitRefused;
    const QString path = a.positional.at(1);
    const char delimiter = ExchangeDelimiter(a.switches.contains(kSpace) ? TextFileSpace : TextFileComma);
    ExportFields fields{true, true, true};
    if (a.values.contains(kFields) && !parseFields(a.value(kFields), &fields, console))
        return ExitRefused;
    if (!loadBook(book, console))
        return ExitRefused;

    std::vector<int32_t> ids;
    if (a.values.contains(kGroup)) {
        if (!groupMembers(book, a.value(kGroup), &ids, console))
            return ExitRefused;
    } else {
        ids.reserve(book.MemberMap().size());
        for (const auto& entry : book.MemberMap())
            ids.push_back(entry.first);
    }
    const ExportResult result = ExportAddressText(book, path, ids, delimiter, fields);
    if (!result.ok) {
        console.err(result.message);
        return ExitRefused;
    }
    console.out(ExportDoneText() + QStringLiteral("：%1 位成員寫入 %2").arg(result.written).arg(path));
    return ExitOk;
}

} // namespace

OptionSpec BookOptions() {
    return {{kMap, kFields, kGroup, kHeader}, {kSpace, kBig5, QStringLiteral("--help"), QStringLiteral("-h")}};
}

// Options that belong to another action are refused rather than ignored.
bool optionsFit(const Arguments& a, const QSet<QString>& allowed, Console& console) {
    QStringList given = a.values.keys();
    given += QStringList(a.switches.begin(), a.switches.end());
    for (const QString& option : given) {
        if (!allowed.contains(option)) {
            console.err(QStringLiteral("選項 %1 不能用於 book %2。").arg(option, a.positional.value(0)));
            return false;
        }
    }
    return true;
}

int Book(const Arguments& a, Config& config, Console& console) {
    const QString action = a.positional.value(0);
    if (action == QLatin1String("list") && !optionsFit(a, {kBig5}, console))
        return ExitRefused;
    if (action == QLatin1String("import") && !optionsFit(a, {kSpace, kMap, kHeader}, console))
        return ExitRefused;
    if (action == QLatin1String("export") && !optionsFit(a, {kSpace, kFields, kGroup}, console))
        return ExitRefused;
    if (action == QLatin1String("list"))
        return list(a, AddressBookPath(config.StartDir()), console);
    // Each run reads the book afresh into a book of its own.
    AddressBook book;
    book.setFilePath(AddressBookPath(config.StartDir()));
    if (action == QLatin1String("import"))
        return import(a, book, console);
    if (action == QLatin1String("export"))
        return exportBook(a, book, console);
    console.err(action.isEmpty()
                    ? QStringLiteral("請指定 list、import 或 export。")
                    : QStringLiteral("book 沒有「%1」這個動作；請指定 list、import 或 export。").arg(action));
    return ExitRefused;
}

} // namespace norvi::cli
