#pragma once

#include "core/compose/ListFileRecords.h"
#include "core/compose/RecipientRecords.h"

#include <QByteArray>

#include <list>
#include <map>

// The send dialog's working lists. They live for the whole run; ProcessState.cpp defines them.
namespace norvi {

extern std::map<int32_t, sLoadMt> ListFileRows; // the loaded recipient list file, by line
// The numbers of ListFileRows longer than a row keeps, whole as they stand in the file, by line: a
// refusal at 傳送 quotes what the user must correct, not the row's cut copy.
extern std::map<int32_t, QByteArray> ListFileLongNumbers;
extern std::list<sMtData> RecipientList;  // the recipient field's entries, in field order
extern std::list<sSendContent> SendQueue; // the messages of the next send run
class SendFeed;
extern SendFeed* SendQueueFeed; // when set, the next send run takes its messages from it, not SendQueue

} // namespace norvi
