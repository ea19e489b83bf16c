#pragma once

#include <cstdint>

namespace norvi {

#pragma pack(push, 1)
// One row of a recipient list file.
struct sLoadMt {
    int32_t line;      // 0-based line index in the file
    char msisdn[30];   // first column, cut to 30 bytes
    char content[960]; // the rest of the line: the recipient's own text or its placeholder values
};
#pragma pack(pop)

} // namespace norvi
