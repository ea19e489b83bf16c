#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

// norvi-cli book list|import|export: the address book and its text files, over the same core as the
// desktop program's address book window and its import and export wizard.
namespace norvi::cli {

// The options of the book command.
OptionSpec BookOptions();
int Book(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
