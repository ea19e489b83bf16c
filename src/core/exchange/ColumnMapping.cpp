#include "core/exchange/ColumnMapping.h"

#include "core/exchange/AddressText.h"

namespace norvi {

namespace {

int automaticCode(const QString& text) {
    if (text == QStringLiteral("名稱"))
        return FieldName;
    if (text == QStringLiteral("行動電話"))
        return FieldMsisdn;
    if (text == QStringLiteral("備註"))
        return FieldDesc;
    return FieldNone;
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
