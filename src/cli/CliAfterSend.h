#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

// What comes after a send without the gateway: who a log's messages did not reach, and the month's usage over
// the log folder.
namespace norvi::cli {

int undelivered(const Arguments& a, Console& console);
int usage(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
