#pragma once

#include <cstdint>

namespace norvi {

// Origin of a recipient, shared by sMtData and sSendContent.
enum RecipientKind : uint8_t {
    KindAddressBook = 0, // member or group
    KindListRow = 1,     // row of a loaded recipient list file
    KindTyped = 2,       // number typed into the recipient field
};

constexpr int kSegmentCount = 6;
constexpr int kSegmentSize = 161;
constexpr int kSegmentBlockSize = kSegmentCount * kSegmentSize; // 966

#pragma pack(push, 1)
// One entry of the send dialog's recipient field.
struct sMtData {
    int32_t id; // member id > 0, group id <= 0, list-file line, or 0 for a typed number
    char label[100];
    uint8_t kind;
    uint8_t pad_[3];
};

// One outgoing message to one recipient, already cut into short messages.
struct sSendContent {
    int32_t seq;
    uint8_t kind;
    char name[100];
    char msisdn[30];
    char segments[kSegmentCount][kSegmentSize];
    uint8_t pad_[3];
    int32_t segmentCount; // 1 to 6
};
#pragma pack(pop)

static_assert(sizeof(sMtData) == 108, "sMtData is 108 bytes");
static_assert(sizeof(sSendContent) == 1108, "sSendContent is 1108 bytes");

} // namespace norvi
