#pragma once

#include "core/exchange/AddressRecords.h"

#include <QString>

// An address book kept in a workbook (.xlsx): the rows of its first sheet as the records a text file's lines
// would give, so the wizard's mapping, the header choice and the import itself treat both alike.
namespace norvi {

// The first sheet's rows as records: columns A, B and C (later ones are not read), converted to Big5; a
// row with a character that has no Big5 form carries it as its problem. The record's line is the sheet's row
// number less one. False, with `error`, when the workbook is refused or holds more than kMaxAddressTextBytes.
bool ReadAddressSheet(const QString& path, HeaderChoice header, AddressRecords* records, QString* error);

// The records of the import file at `path`: a workbook (told by its content) or a text file with `delimiter`.
bool ReadAddressFile(const QString& path, char delimiter, HeaderChoice header, AddressRecords* records, QString* error);

} // namespace norvi
