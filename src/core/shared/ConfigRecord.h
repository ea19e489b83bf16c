#pragma once

#include <cstdint>

namespace norvi {

#pragma pack(push, 1)
// NorviSMSAp.cfg is exactly one of these, little-endian, no header.
struct sConfig {
    char reserved[8];   // never interpreted; read and written back unchanged
    char logFiles[256]; // operation-log folder and default folder of saved send logs
    char gwIp[20];      // gateway address as typed: dotted address, ";" list, or host name
    int32_t gwPort;
    char gwAccount[20];
    char gwPasswd[20]; // plain text, so the file is written owner-only
};
#pragma pack(pop)
static_assert(sizeof(sConfig) == 328, "sConfig is the 328-byte image of NorviSMSAp.cfg");

} // namespace norvi
