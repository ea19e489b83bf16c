#include "core/exchange/ColumnMapping.h"

#include "core/exchange/AddressRecords.h"
#include "core/shared/Big5.h"

namespace norvi {

namespace {

// The names the export writes, the wizard shows and a spreadsheet's author would type.
int automaticCode(const QString& column) {
    const QString text = column.trimmed();
    const auto is = [&text](const char* word) { return text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0; };
    if (text == QStringLiteral("名稱") || is("name"))
        return FieldName;
    if (text == QStringLiteral("行動電話") || is("msisdn"))
        return FieldMsisdn;
    if (text == QStringLiteral("說明") || text == QStringLiteral("備註") || is("desc"))
        return FieldDesc;
    return FieldNone;
}

constexpr int kSampleCharacters = 16;

// "欄 1：林,小華": a file without names shows what its first data line holds in each column.
QString sampleCaption(int index, const AddressRecord* first) {
    QString caption = QStringLiteral("欄 %1").arg(index + 1);
    if (!first || index >= first->columns.size())
        return caption;
    QString sample = fromBig5(TrimBlank(first->columns.at(index)).toByteArray()).simplified();
    if (sample.isEmpty())
        return caption;
    if (sample.size() > kSampleCharacters)
        sample = sample.left(kSampleCharacters) + QStringLiteral("…");
    return caption + QStringLiteral("：") + sample;
}

} // namespace

ColumnMapping ColumnMapping::fromHeader(const QStringList& columns) {
    ColumnMapping mapping;
    for (int i = 0; i < columns.size() && i < kExchangeColumns; ++i) {
        int code = automaticCode(columns.at(i));
        for (const MappingRow& earlier : mapping.m_rows)
            if (code != FieldNone && earlier.code == code)
                code = FieldNone;
        MappingRow row;
        row.caption = columns.at(i).isEmpty() ? QStringLiteral("欄 %1").arg(i + 1) : columns.at(i);
        row.code = code;
        row.checked = code != FieldNone;
        mapping.m_rows.push_back(row);
    }
    return mapping;
}

// Without names, the first column that holds a telephone number is the number, the first other the name and
// the next the description, the order the export writes them in.
ColumnMapping ColumnMapping::fromRecords(const AddressRecords& file) {
    if (file.header)
        return fromHeader(file.headerColumns());
    ColumnMapping mapping;
    const AddressRecord* first = file.firstData();
    const int columns = file.dataColumns();
    int number = -1;
    for (int i = 0; first && i < columns && i < first->columns.size(); ++i) {
        if (LooksLikePhoneNumber(first->columns.at(i))) {
            number = i;
            break;
        }
    }
    std::vector<int> others = {FieldName, FieldMsisdn, FieldDesc};
    if (number >= 0)
        others.erase(others.begin() + 1);
    std::size_t next = 0;
    for (int i = 0; i < columns; ++i) {
        MappingRow row;
        row.caption = sampleCaption(i, first);
        if (i == number)
            row.code = FieldMsisdn;
        else if (next < others.size())
            row.code = others[next++];
        row.checked = row.code != FieldNone;
        mapping.m_rows.push_back(row);
    }
    return mapping;
}

ColumnMapping ColumnMapping::forExport() {
    ColumnMapping mapping;
    for (const int code : {FieldName, FieldMsisdn, FieldDesc})
        mapping.m_rows.push_back({FieldDisplayName(code), code, true});
    return mapping;
}

void ColumnMapping::assign(int index, int code, bool checked) {
    MappingRow& row = m_rows.at(std::size_t(index));
    row.code = code;
    row.checked = code != FieldNone && checked;
    if (code == FieldNone)
        return;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (int(i) != index && m_rows[i].code == code) {
            m_rows[i].code = FieldNone;
            m_rows[i].checked = false;
            break;
        }
    }
}

std::array<int, 3> ColumnMapping::columnCodes() const {
    std::array<int, 3> codes{FieldNone, FieldNone, FieldNone};
    for (std::size_t i = 0; i < m_rows.size() && i < codes.size(); ++i)
        codes[i] = m_rows[i].checked ? m_rows[i].code : FieldNone;
    return codes;
}

bool ColumnMapping::mapsNameOrNumber() const {
    return MapsNameOrNumber(columnCodes());
}

bool MapsNameOrNumber(const std::array<int, 3>& codes) {
    for (const int code : codes)
        if (code == FieldName || code == FieldMsisdn)
            return true;
    return false;
}

bool ColumnMapping::anyChecked() const {
    for (const MappingRow& row : m_rows)
        if (row.checked)
            return true;
    return false;
}

std::array<bool, 3> ColumnMapping::exportFlags() const {
    std::array<bool, 3> flags{false, false, false};
    for (const MappingRow& row : m_rows)
        if (row.code >= FieldName && row.code <= FieldDesc)
            flags[std::size_t(row.code - 1)] = row.checked;
    return flags;
}

QString NoNameOrNumberText() {
    return QStringLiteral("您至少必須對應下列其中一個欄位至通訊錄內容：名稱、行動電話");
}

QString NoExportFieldText() {
    return QStringLiteral("您至少必須選擇一個欄位");
}

} // namespace norvi
