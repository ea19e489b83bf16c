#pragma once

#include "core/addressbook/AddressBookRecords.h"

#include <map>

// The address book in memory. It lives for the whole run; ProcessState.cpp defines it.
namespace norvi {

extern std::map<int32_t, sGroup> GroupMap;
extern std::map<int32_t, sMember> MemberMap;

} // namespace norvi
