#pragma once

#include <QByteArray>

#include <zip.h>

#include <map>
#include <string>

// Workbooks made part by part, for tests of what a reader makes of a sheet a spreadsheet program writes, and
// of a damaged one. The container is made by libzip, as a spreadsheet program's would be.
namespace norvi::test {

struct WorkbookParts {
    std::map<std::string, QByteArray> parts;

    // A workbook of one sheet `sheet`, with the shared strings `strings` when not empty.
    static WorkbookParts standard(const QByteArray& sheet, const QByteArray& strings) {
        WorkbookParts w;
        w.parts["[Content_Types].xml"] = "<Types/>";
        w.parts["_rels/.rels"] =
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
            R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)"
            R"(officeDocument" Target="xl/workbook.xml"/></Relationships>)";
        w.parts["xl/workbook.xml"] =
            R"(<workbook xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
            R"(<sheets><sheet name="S" sheetId="1" r:id="rId7"/></sheets></workbook>)";
        QByteArray rels = R"(<Relationships><Relationship Id="rId7" Type="x/worksheet" )"
                          R"(Target="worksheets/sheet1.xml"/>)";
        if (!strings.isEmpty())
            rels += R"(<Relationship Id="rId8" Type="x/sharedStrings" Target="/xl/sharedStrings.xml"/>)";
        w.parts["xl/_rels/workbook.xml.rels"] = rels + "</Relationships>";
        w.parts["xl/worksheets/sheet1.xml"] = sheet;
        if (!strings.isEmpty())
            w.parts["xl/sharedStrings.xml"] = strings;
        return w;
    }

    // The container's bytes.
    QByteArray zip() const {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
        zip_t* archive = zip_open_from_source(buffer, ZIP_CREATE | ZIP_TRUNCATE, &error);
        zip_source_keep(buffer);
        for (const auto& [name, bytes] : parts) {
            zip_source_t* part = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
            zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8);
        }
        zip_close(archive);
        QByteArray out;
        zip_stat_t st;
        if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
            out.resize(qsizetype(st.size));
            out.resize(qsizetype(zip_source_read(buffer, out.data(), st.size)));
            zip_source_close(buffer);
        }
        zip_source_free(buffer);
        zip_error_fini(&error);
        return out;
    }
};

// A sheet's XML, a row at a time.
struct SheetXml {
    QByteArray rows;
    void row(int number, const char* cells) {
        rows += "<row r=\"" + QByteArray::number(number) + "\">" + cells + "</row>";
    }
    QByteArray xml() const { return "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"; }
};

} // namespace norvi::test
