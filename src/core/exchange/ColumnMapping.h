#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// The wizard's mapping list without its widgets: which text column goes to which address book field
// (import), or which fields are written (export). Each field is assigned to at most one column.
namespace norvi {

struct AddressRecords;

struct MappingRow {
    QString caption; // the column's header text, or "欄 n" for an empty one; the field's name on export
    int code = 0;    // FieldCode
    bool checked = false;
};

class ColumnMapping {
public:
    // Import: one row per header column. A column named "名稱", "行動電話", "說明" or "備註" (or name, msisdn,
    // desc in any case) gets its field, checked, unless an earlier column already has that field.
    static ColumnMapping fromHeader(const QStringList& columns);
    // Import: from the header, or for a file without one a row per column, captioned with the first data
    // line's text, the number where a telephone number stands and the name and description in the others.
    static ColumnMapping fromRecords(const AddressRecords& file);
    // Export: the three fields "名稱", "行動電話", "說明", all checked.
    static ColumnMapping forExport();

    const std::vector<MappingRow>& rows() const { return m_rows; }
    int size() const { return int(m_rows.size()); }
    const MappingRow& row(int i) const { return m_rows.at(std::size_t(i)); }

    // The mapping dialog's 確定 on row `index`: `code` 0 clears it (unchecked); any other field is taken
    // from the first other row that had it.
    void assign(int index, int code, bool checked);
    // A check box changed by the user.
    void setChecked(int index, bool checked) { m_rows.at(std::size_t(index)).checked = checked; }

    // Import: the field of each of the three columns, 0 for an unchecked or missing row.
    std::array<int, 3> columnCodes() const;
    // Whether the import would fill a name or a number: without either it is refused.
    bool mapsNameOrNumber() const;
    bool anyChecked() const;

    // Export: whether each field's row is checked, in the order name, number, description.
    std::array<bool, 3> exportFlags() const;

private:
    std::vector<MappingRow> m_rows;
};

// Whether column codes fill a name or a number: an import without either is refused.
bool MapsNameOrNumber(const std::array<int, 3>& codes);

// What the wizard says when neither 名稱 nor 行動電話 is mapped, and when no field is checked for export.
QString NoNameOrNumberText();
QString NoExportFieldText();

} // namespace norvi
