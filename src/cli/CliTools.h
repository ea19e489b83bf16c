#pragma once

#include "cli/CliArgs.h"

// The tools that need no gateway: a send log as CSV, its rows counted by what became of their messages, a
// message cut into its segments.
namespace norvi::cli {

int log2csv(const Arguments& a);
int report(const Arguments& a);
int segmentCommand(const Arguments& a);

} // namespace norvi::cli
