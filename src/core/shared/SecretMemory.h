#pragma once

namespace norvi {

// Keeps the gateway password, once it is in memory, out of core dumps: the process is made non-dumpable
// (no core file, and another process of the same user cannot read its memory through ptrace or
// /proc/PID/mem) and its core size limit set to 0, for the rest of the process's life. Safe to call more
// than once and from any thread. False when the system refused either step.
bool KeepSecretsOutOfDumps();

} // namespace norvi
