#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

// The jobs on the rows of a send log (query, cancel, resend) and on one MsgId (query-id, cancel-id).
namespace norvi::cli {

int query(const Arguments& a, Config& config, Console& console);
int cancel(const Arguments& a, Config& config, Console& console);
int resend(const Arguments& a, Config& config, Console& console);
int queryId(const Arguments& a, Config& config, Console& console);
int cancelId(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
