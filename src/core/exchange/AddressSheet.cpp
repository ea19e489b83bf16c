#include "core/exchange/AddressSheet.h"

#include "core/exchange/AddressText.h"
#include "core/shared/Big5.h"
#include "core/shared/XlsxReader.h"

namespace norvi {

namespace {

// A cell that holds a number counts as a telephone number for the header guess, as its text would.
bool rowHasPhoneNumber(const AddressRecord& record) {
    for (qsizetype i = 0; i < record.columns.size(); ++i)
        if (record.numbers.value(i) || LooksLikePhoneNumber(record.columns.at(i)))
            return true;
    return false;
}

} // namespace

bool ReadAddressSheet(const QString& path, HeaderChoice header, AddressRecords* records, QString* error) {
    *records = AddressRecords();
    XlsxReader reader;
    if (!reader.open(path)) {
        *error = reader.error();
        return false;
    }
    qint64 kept = 0;
    SheetRow row;
    while (reader.nextRow(&row)) {
        AddressRecord record;
        record.line = int(row.row - 1);
        record.cut = row.cut;
        for (std::size_t i = 0; i < row.cells.size() && i < std::size_t(kExchangeColumns); ++i) {
            QByteArray bytes;
            QString unmappable;
            if (!toBig5(row.cells[i].text, bytes, &unmappable)) {
                record.problem =
                    QStringLiteral("的文字「%1」(%2)無法以Big5碼表示").arg(unmappable, unmappableCode(unmappable));
                record.shown = row.cells[i].text.left(kMaxAddressLineBytes);
                record.columns.clear();
                record.numbers.clear();
                break;
            }
            record.cut = record.cut || bytes.size() > kMaxAddressLineBytes;
            record.columns << CutBig5(bytes, kMaxAddressLineBytes);
            record.numbers << row.cells[i].number;
            kept += record.columns.last().size();
        }
        if (kept > kMaxAddressTextBytes) {
            *error = QStringLiteral("匯入檔 %1 超過 %2 MB，無法匯入。")
                         .arg(path, QString::number(kMaxAddressTextBytes / (qint64(1024) * 1024)));
            *records = AddressRecords();
            return false;
        }
        records->records.push_back(record);
    }
    if (!reader.error().isEmpty()) {
        *error = reader.error();
        *records = AddressRecords();
        return false;
    }
    if (!records->records.empty()) {
        const AddressRecord& first = records->records.front();
        records->header = header == HeaderChoice::Yes ||
                          (header == HeaderChoice::Auto && first.problem.isEmpty() && !rowHasPhoneNumber(first));
    }
    return true;
}

bool ReadAddressFile(const QString& path, char delimiter, HeaderChoice header, AddressRecords* records,
                     QString* error) {
    if (FileLooksLikeWorkbook(path))
        return ReadAddressSheet(path, header, records, error);
    AddressTextFile file;
    if (!ReadAddressText(path, &file, error))
        return false;
    *records = ReadAddressRecords(file, delimiter, header);
    return true;
}

} // namespace norvi
