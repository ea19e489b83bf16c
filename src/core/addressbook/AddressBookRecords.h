#pragma once

#include <cstdint>

namespace norvi {

constexpr int kGroupSlots = 1000;

#pragma pack(push, 1)
// One member of the address book; the same image in memory and in AddressBook.bin.
struct sMember {
    int32_t id;       // always > 0
    char name[100];   // stored trimmed
    char msisdn[120]; // numbers joined by ";", the default one marked with a leading "@" when there are several
    char desc[200];
};

// One group; slots hold member ids (> 0), sub-group ids (< 0) or 0 for an empty slot.
struct sGroup {
    int32_t id; // always < 0
    char name[100];
    int32_t members[kGroupSlots];
};
#pragma pack(pop)

static_assert(sizeof(sMember) == 424, "sMember is 424 bytes");
static_assert(sizeof(sGroup) == 4104, "sGroup is 4,104 bytes");

} // namespace norvi
