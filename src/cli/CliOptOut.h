#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

// norvi-cli optout list|add|remove|import|export: the stop list (拒收名單, OptOut.txt in the start folder)
// that every send leaves out, the same file and rules as the desktop program's 拒收名單 window.
namespace norvi::cli {

OptionSpec OptOutOptions();
int OptOut(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
