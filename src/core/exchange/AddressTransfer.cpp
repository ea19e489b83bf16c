#include "core/exchange/AddressTransfer.h"

#include "core/addressbook/BookFile.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"

#include <QFileInfo>

#include <cstring>

namespace norvi {

namespace {

constexpr qsizetype kNameWidth = sizeof(sMember::name);
constexpr qsizetype kMsisdnWidth = sizeof(sMember::msisdn);
constexpr qsizetype kDescWidth = sizeof(sMember::desc);

// People write numbers as 02-2345-6789, (02)23456789 or 0912_345_678; the gateway wants the digits.
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

// A line break inside a stored value would split its member over two lines of the file.
QByteArray oneLine(QByteArray value) {
    value.replace('\r', ' ');
    value.replace('\n', ' ');
    return value;
}

void appendFields(QByteArray& line, const std::array<QByteArray, 3>& values, const ExportFields& fields,
                  char delimiter) {
    bool first = true;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (!fields[k])
            continue;
        if (!first)
            line += delimiter;
        line += values[k];
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

bool MemberFromLine(QByteArrayView line, const std::array<int, 3>& codes, char delimiter, sMember* member,
                    int* missing) {
    const QList<QByteArrayView> columns = SplitColumns(line, delimiter);
    std::memset(member, 0, sizeof *member);
    for (int j = 0; j < kExchangeColumns; ++j) {
        const int code = codes[std::size_t(j)];
        if (code == FieldNone)
            continue;
        if (j >= columns.size()) {
            *missing = j;
            return false;
        }
        const QByteArrayView column = columns.at(j);
        switch (code) {
        case FieldName:
            putField(member->name, trimmedCut(TrimBlank(column), kNameWidth));
            break;
        case FieldMsisdn:
            putField(member->msisdn, trimmedCut(numberText(column), kMsisdnWidth));
            break;
        case FieldDesc:
            putField(member->desc, CutBig5(column, kDescWidth));
            break;
        default:
            break;
        }
    }
    return true;
}

ImportSummary ImportAddressText(AddressBook& book, const AddressTextFile& file, const QString& path,
                                const std::array<int, 3>& codes, char delimiter, const ProblemSink& problems,
                                const TransferProgress& progress) {
    ImportSummary summary;
    if (progress.start)
        progress.start(int(file.lines.size()));
    const int header = file.headerIndex();
    // One id search per line from the current second would walk the whole run already handed out;
    // the allocator gives the same ids and carries on where the run ends.
    EntryIdAllocator ids(book, EntryKind::Member);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (progress.step)
            progress.step();
        const AddressTextLine& line = file.lines[i];
        const int number = int(i) + 1;
        if (line.blank || int(i) <= header)
            continue;
        if (!line.problem.isEmpty()) {
            if (problems)
                problems(LineProblemText(path, number, line.problem));
            ++summary.skipped;
            continue;
        }
        sMember member;
        int missing = 0;
        if (!MemberFromLine(line.text, codes, delimiter, &member, &missing)) {
            if (problems)
                problems(ShortLineText(path, number, missing));
            ++summary.skipped;
            continue;
        }
        member.id = ids.next(EntryIdStart(EntryKind::Member));
        book.putMember(member);
        ++summary.added;
        if (line.cut && problems)
            problems(LongLineText(path, number));
    }
    return summary;
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
            appendFields(text, {oneLine(getField(m.name)), oneLine(getField(m.msisdn)), oneLine(getField(m.desc))},
                         fields, delimiter);
        }
        if (progress.step)
            progress.step();
    }
    return text;
}

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
