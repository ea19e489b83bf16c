#include "core/shared/SecretMemory.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace norvi {

bool KeepSecretsOutOfDumps() {
    // Both: a core size limit alone is undone by a handler that raises it again (a crash reporter), and
    // the dumpable flag alone would still let a core pattern pipe receive the dump on some systems.
    const bool notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    const rlimit none{0, 0};
    const bool noCore = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return notDumpable && noCore;
}

} // namespace norvi
