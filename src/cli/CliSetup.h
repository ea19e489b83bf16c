#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"
#include "core/shared/Config.h"

#include <QString>

// The set-up commands and the steps every gateway command takes first: the start folder, the
// configuration, the gateway's address.
namespace norvi::cli {

// Takes `dir` (the current folder when empty) as `config`'s start folder; false after saying why.
bool enterStartDir(Config& config, const QString& dir, Console& console);
// What the main window's first show does: read the configuration (without it no gateway command is
// offered) and make sure the log folder exists.
bool loadConfiguration(Config& config, Console& console);
// Where the gateway jobs log in, resolved now; false after saying why (or nothing after Ctrl+C).
bool resolveGateway(const Config& config, GatewayTarget* gateway, Console& console);

int loginTest(const Arguments& a, Config& config, Console& console);

} // namespace norvi::cli
