#pragma once

#include <cstdint>

namespace norvi {

#pragma pack(push, 1)
// One send-log row in a ".log" file (after a signed 32-bit record count).
struct sLogRecord {
    int8_t image;          // row image index
    char name[100];        // caption
    char msisdn[30];       // cell 1
    char sendTime[15];     // cell 2
    int8_t codeImage;      // image of the 傳送碼 cell, -1 for none
    char sendCode[4];      // cell 3
    char sendResult[120];  // cell 4
    char queryCode[4];     // cell 5
    char queryResult[120]; // cell 6
    char content[161];     // cell 7
};
#pragma pack(pop)

static_assert(sizeof(sLogRecord) == 556, "sLogRecord is 556 bytes");

} // namespace norvi
