#pragma once

#include "core/compose/ListFileRecords.h"
#include "core/compose/RecipientRecords.h"

#include <QByteArray>

#include <list>
#include <map>

namespace norvi {

// What the send dialog read from its recipient field and its last list file. The dialog keeps it from one
// load or parse to the next; a run is built from it and never sees it again.
struct ParsedRecipients {
    std::map<int32_t, sLoadMt> ListFileRows; // the loaded recipient list file, by line
    // The numbers of ListFileRows longer than a row keeps, whole as they stand in the file, by line: a
    // refusal at 傳送 quotes what the user must correct, not the row's cut copy.
    std::map<int32_t, QByteArray> ListFileLongNumbers;
    std::list<sMtData> RecipientList; // the recipient field's entries, in field order
};

} // namespace norvi
