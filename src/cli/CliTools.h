#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

// The tools that need no gateway: a send log as CSV, its rows counted by what became of their messages, a
// message cut into its segments.
namespace norvi::cli {

int log2csv(const Arguments& a, Console& console);
int report(const Arguments& a, Console& console);
int segmentCommand(const Arguments& a, Console& console);

} // namespace norvi::cli
