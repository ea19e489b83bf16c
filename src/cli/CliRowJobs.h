#pragma once

#include "cli/CliArgs.h"

// The jobs on the rows of a send log (query, cancel, resend) and on one MsgId (query-id, cancel-id).
namespace norvi::cli {

int query(const Arguments& a);
int cancel(const Arguments& a);
int resend(const Arguments& a);
int queryId(const Arguments& a);
int cancelId(const Arguments& a);

} // namespace norvi::cli
