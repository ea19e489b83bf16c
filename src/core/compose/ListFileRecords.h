#pragma once

#include <QtGlobal>

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

// The most of one list file line that is kept. A row keeps 30 bytes of number and 960 of content, so
// nothing past this is ever sent; the rest of a longer line is skipped as it is read, never held.
constexpr qsizetype kMaxListLineBytes = 64 * 1024;

} // namespace norvi
