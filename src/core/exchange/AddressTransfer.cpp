#include "core/exchange/AddressTransfer.h"

#include "core/addressbook/BookFile.h"
#include "core/compose/ListFileSheet.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/ShownText.h"
#include "core/shared/SystemErrorText.h"
#include "core/shared/XlsxWriter.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace norvi {

namespace {

constexpr qsizetype kNameWidth = sizeof(sMember::name);
constexpr qsizetype kMsisdnWidth = sizeof(sMember::msisdn);
constexpr qsizetype kDescWidth = sizeof(sMember::desc);

// People write numbers as 02-2345-6789, (02)23456789, 0912 345 678 or 0912_345_678; the gateway wants the
// digits.
// Only whole characters are taken out: "_" and "~" can also be the second byte of a Big5 character.
QByteArray numberText(QByteArrayView column) {
    const QByteArrayView text = TrimBlank(column);
    QByteArray number;
    number.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isBig5LeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
            number += c;
            number += text[++i];
            continue;
        }
        switch (c) {
        case '-':
        case '_':
        case '~':
        case '*':
        case '(':
        case ')':
        case ' ':
            break;
        default:
            number += c;
        }
    }
    return number;
}

// A name is stored trimmed, also when the cut at the field's width ends at a space.
QByteArray trimmedCut(QByteArrayView text, qsizetype width) {
    return TrimBlank(CutBig5(text, width)).toByteArray();
}

// A line break inside a stored value would split its member over two lines of a space-separated file.
QByteArray oneLine(QByteArray value) {
    value.replace('\r', ' ');
    value.replace('\n', ' ');
    return value;
}

// A comma-separated value that holds a comma, a quote or a line break goes in double quotes, its quotes
// doubled, as spreadsheets write and read it.
QByteArray csvValue(const QByteArray& value) {
    const bool quote = value.contains(',') || value.contains('"') || value.contains('\r') || value.contains('\n');
    if (!quote)
        return value;
    QByteArray quoted = value;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

void appendFields(QByteArray& line, const std::array<QByteArray, 3>& values, const ExportFields& fields,
                  char delimiter) {
    bool first = true;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (!fields[k])
            continue;
        if (!first)
            line += delimiter;
        line += delimiter == ',' ? csvValue(values[k]) : oneLine(values[k]);
        first = false;
    }
    line += "\r\n";
}

bool isAddressBookFile(const QString& path, const QString& book) {
    if (book.isEmpty())
        return false;
    return SameFile(path, book) || QFileInfo(path).absoluteFilePath() == QFileInfo(book).absoluteFilePath();
}

} // namespace

namespace {

// Why a member made from a line would not be kept by the book's load, or would be of no use; empty when it
// is fine. `number` is the number text before it was cut to the field.
QString memberProblem(const sMember& member, const QByteArray& number) {
    const QByteArray name = getField(member.name);
    if (!IsRealName(name))
        return QStringLiteral("名稱「%1」含有控制字元").arg(shownBig5(name));
    if (number.size() > kMsisdnWidth)
        return QStringLiteral("門號「%1」超過 %2 個位元組").arg(shownBig5(number)).arg(kMsisdnWidth);
    for (const QByteArray& piece : SplitMsisdn(number).numbers) {
        // A number without a digit is a word in the wrong column, most often a header taken for data.
        const bool digit = std::any_of(piece.cbegin(), piece.cend(), [](char c) { return c >= '0' && c <= '9'; });
        if (!IsRealNumber(piece) || !digit)
            return QStringLiteral("門號「%1」不是手機門號").arg(shownBig5(piece));
    }
    if (name.isEmpty() && number.isEmpty())
        return QStringLiteral("沒有名稱也沒有門號");
    return QString();
}

// "第 3 行 門號「x」不是手機門號"; a reason that reads on from the line number ("的文字…", "不是Big5文字")
// follows it directly.
QString namedLine(int number, const QString& reason) {
    const bool attached = reason.startsWith(QChar(u'的')) || reason.startsWith(QChar(u'不'));
    return QStringLiteral("第 %1 行").arg(number) + (attached ? QString() : QStringLiteral(" ")) + reason;
}

} // namespace

bool MemberFromColumns(const QList<QByteArray>& columns, const std::array<int, 3>& codes, sMember* member, int* missing,
                       QString* problem) {
    std::memset(member, 0, sizeof *member);
    problem->clear();
    QByteArray number;
    for (int j = 0; j < kExchangeColumns; ++j) {
        const int code = codes[std::size_t(j)];
        if (code == FieldNone)
            continue;
        if (j >= columns.size()) {
            // A description is often left off the end of a line; a name or number never is by mistake.
            if (code == FieldDesc)
                continue;
            *missing = j;
            return false;
        }
        const QByteArray& column = columns.at(j);
        switch (code) {
        case FieldName:
            putField(member->name, trimmedCut(TrimBlank(column), kNameWidth));
            break;
        case FieldMsisdn:
            // A number cut at the field's width would be somebody else's number: it is refused whole.
            number = TrimBlank(numberText(column)).toByteArray();
            putField(member->msisdn, CutBig5(number, kMsisdnWidth));
            break;
        case FieldDesc:
            putField(member->desc, CutBig5(column, kDescWidth));
            break;
        default:
            break;
        }
    }
    *problem = memberProblem(*member, number);
    return problem->isEmpty();
}

namespace {

// A workbook's number cell in the column of numbers: a mobile number that lost its leading 0 gets it back;
// any other number cell there cannot be told back and refuses its row (`problem`).
QList<QByteArray> numberCellsRestored(const AddressRecord& record, const std::array<int, 3>& codes, QString* problem) {
    QList<QByteArray> columns = record.columns;
    for (qsizetype j = 0; j < columns.size() && j < kExchangeColumns; ++j) {
        if (codes[std::size_t(j)] != FieldMsisdn || !record.numbers.value(j))
            continue;
        QString restored;
        const QString value = QString::fromLatin1(columns.at(j));
        if (!NumberCellAsPhone(value, &restored)) {
            *problem = QStringLiteral("門號 %1 是數值儲存格，無法確定原本的號碼（開頭的 0 可能已遺失）").arg(value);
            return {};
        }
        columns[j] = restored.toLatin1();
    }
    return columns;
}

bool isWorkbookName(const QString& path) {
    return path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
}

} // namespace

ImportSummary ImportAddressRecords(AddressBook& book, const AddressRecords& file, const QString& path,
                                   const std::array<int, 3>& codes, const ProblemSink& problems,
                                   const TransferProgress& progress) {
    ImportSummary summary;
    if (progress.start)
        progress.start(int(file.records.size()));
    const auto skip = [&](int number, const QString& line, const QString& reason) {
        if (problems)
            problems(line);
        ++summary.skipped;
        if (summary.named.size() < kNamedSkippedLines)
            summary.named.append(namedLine(number, reason));
    };
    // One id search per line from the current second would walk the whole run already handed out;
    // the allocator gives the same ids and carries on where the run ends.
    EntryIdAllocator ids(book, EntryKind::Member);
    for (std::size_t i = 0; i < file.records.size(); ++i) {
        if (progress.step)
            progress.step();
        if (i == 0 && file.header)
            continue;
        const AddressRecord& record = file.records[i];
        const int number = record.line + 1;
        if (!record.problem.isEmpty()) {
            skip(number, LineProblemText(path, number, record.problem), record.problem);
            continue;
        }
        QString problem;
        const QList<QByteArray> columns = numberCellsRestored(record, codes, &problem);
        if (!problem.isEmpty()) {
            skip(number, LineProblemText(path, number, problem), problem);
            continue;
        }
        sMember member;
        int missing = 0;
        if (!MemberFromColumns(columns, codes, &member, &missing, &problem)) {
            if (problem.isEmpty())
                skip(number, ShortLineText(path, number, missing), QStringLiteral("欄位數不足 %1 個").arg(missing + 1));
            else
                skip(number, LineProblemText(path, number, problem), problem);
            continue;
        }
        member.id = ids.next(EntryIdStart(EntryKind::Member));
        book.putMember(member);
        ++summary.added;
        if (record.cut && problems)
            problems(LongLineText(path, number));
    }
    return summary;
}

QString ImportSummary::text() const {
    QString text = QStringLiteral("新增 %1 位成員").arg(added);
    if (skipped > 0) {
        text += QStringLiteral("\n未匯入 %1 行：").arg(skipped) + named.join(QStringLiteral("；"));
        if (skipped > named.size())
            text += QStringLiteral("…");
    }
    return text;
}

QByteArray AddressTextImage(const AddressBook& book, const std::vector<int32_t>& memberIds, char delimiter,
                            const ExportFields& fields, const TransferProgress& progress) {
    QByteArray text;
    text.reserve(qsizetype(64 + memberIds.size() * 64));
    appendFields(text, {FieldHeaderName(FieldName), FieldHeaderName(FieldMsisdn), FieldHeaderName(FieldDesc)}, fields,
                 delimiter);
    if (progress.start)
        progress.start(int(memberIds.size()));
    for (const int32_t id : memberIds) {
        if (const sMember* member = book.member(id)) {
            const sMember& m = *member;
            appendFields(text, {getField(m.name), getField(m.msisdn), getField(m.desc)}, fields, delimiter);
        }
        if (progress.step)
            progress.step();
    }
    return text;
}

namespace {

// The chosen fields as a sheet of text cells, the same header names as the text file's.
ExportResult exportWorkbook(const AddressBook& book, const QString& path, const std::vector<int32_t>& memberIds,
                            const ExportFields& fields, const QString& startDir, const TransferProgress& progress) {
    ExportResult result;
    QStringList header;
    const int codes[] = {FieldName, FieldMsisdn, FieldDesc};
    for (int f = 0; f < 3; ++f)
        if (fields[std::size_t(f)])
            header << fromBig5(FieldHeaderName(codes[f]));
    std::vector<QStringList> rows;
    rows.reserve(memberIds.size());
    if (progress.start)
        progress.start(int(memberIds.size()));
    for (const int32_t id : memberIds) {
        if (const sMember* m = book.member(id)) {
            const QByteArray values[] = {getField(m->name), getField(m->msisdn), getField(m->desc)};
            QStringList row;
            for (int f = 0; f < 3; ++f)
                if (fields[std::size_t(f)])
                    row << fromBig5(values[f]);
            rows.push_back(row);
        }
        if (progress.step)
            progress.step();
    }
    QString error;
    if (!WriteXlsxTable(path, header, rows, &error, startDir)) {
        result.ok = false;
        result.message = QStringLiteral("匯出檔%1寫入失敗，原有的檔案未變更：%2").arg(path, error);
        return result;
    }
    result.written = int(rows.size());
    return result;
}

} // namespace

ExportResult ExportAddressText(const AddressBook& book, const QString& path, const std::vector<int32_t>& memberIds,
                               char delimiter, const ExportFields& fields, const TransferProgress& progress) {
    ExportResult result;
    const auto failed = [&result](const QString& message) {
        result.ok = false;
        result.message = message;
        return result;
    };
    // Text written over the book would leave the next start with a damaged book.
    // The book's folder is the start folder, whose configuration is not to be written over either.
    const QString startDir = book.filePath().isEmpty() ? QString() : QFileInfo(book.filePath()).path();
    if (const QString refusal = OutputRefusal(path, startDir); !refusal.isEmpty())
        return failed(refusal);
    if (isAddressBookFile(path, book.filePath()))
        return failed(QStringLiteral("匯出檔%1是通訊錄檔案本身，不能覆寫。").arg(path));
    if (isWorkbookName(path))
        return exportWorkbook(book, path, memberIds, fields, startDir, progress);
    SaveFile file(path);
    if (!file.open())
        return failed(WithReason(QStringLiteral("匯出檔%1開啟失敗").arg(path), file.errorString()));
    const QByteArray text = AddressTextImage(book, memberIds, delimiter, fields, progress);
    file.write(text);
    if (!file.commit())
        return failed(WithReason(QStringLiteral("匯出檔%1寫入失敗，原有的檔案未變更").arg(path), file.errorString()));
    for (const int32_t id : memberIds)
        result.written += book.member(id) ? 1 : 0;
    return result;
}

QString ShortLineText(const QString& path, int number, int missingColumn) {
    return QStringLiteral("匯入檔%1之第%2行欄位數不足%3個(List index out of bounds (%4))")
        .arg(path, QString::number(number), QString::number(missingColumn + 1), QString::number(missingColumn));
}

QString ImportDoneText() {
    return QStringLiteral("通訊錄匯入作業已完成");
}

QString ExportDoneText() {
    return QStringLiteral("通訊錄匯出作業已完成");
}

} // namespace norvi
