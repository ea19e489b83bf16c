// A workbook as the program reads a recipient list or an address book from it. Whatever the bytes: the reader
// ends, either with rows or with a refusal in words (never both an open failure and rows); rows come in
// rising order within the sheet's bounds, no row holds more than the columns read or a cell longer than kept,
// and every row becomes a list line or a refusal that names it.

#include "FuzzCheck.h"

#include "core/compose/ListFileSheet.h"
#include "core/shared/XlsxReader.h"

#include <QByteArray>

#include <cstdint>

using namespace norvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    XlsxReader reader;
    if (!reader.openBytes(bytes, QStringLiteral("f.xlsx"))) {
        FUZZ_CHECK(!reader.error().isEmpty());
        SheetRow none;
        FUZZ_CHECK(!reader.nextRow(&none));
        return 0;
    }
    SheetRow row;
    qint64 last = 0;
    bool first = true;
    std::size_t headerCells = 0;
    while (reader.nextRow(&row)) {
        FUZZ_CHECK(row.row > last && row.row <= 1048576);
        last = row.row;
        FUZZ_CHECK(!row.cells.empty() && row.cells.size() <= std::size_t(kMaxSheetColumns));
        for (const SheetCell& cell : row.cells)
            FUZZ_CHECK(cell.text.size() <= kMaxSheetCellChars);
        QByteArray line;
        bool header = false;
        QString problem;
        if (SheetRowListLine(row, first, headerCells, QStringLiteral("f.xlsx"), &line, &header, &problem)) {
            FUZZ_CHECK(problem.isEmpty() && (header ? line.isEmpty() : line.contains(' ')));
            if (header)
                headerCells = SheetFilledCells(row);
        } else
            FUZZ_CHECK(problem.contains(QString::number(row.row)));
        first = false;
    }
    FUZZ_CHECK(!reader.nextRow(&row));
    return 0;
}
