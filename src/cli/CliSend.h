#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

// norvi-cli send: the send dialog's job, recipients and message from the command line.
namespace norvi::cli {

int send(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
