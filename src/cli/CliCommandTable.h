#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/shared/Config.h"

#include <QString>

#include <functional>
#include <vector>

// The commands norvi-cli knows: each name with the options it takes and the function that runs it.
namespace norvi::cli {

extern const QString kHelpSwitch;

struct Command {
    const char* name;
    OptionSpec known;
    // Runs with the settings of this run, whose start folder is set and whose configuration is not read yet,
    // and prints on the run's console.
    std::function<int(const Arguments&, Config&, Console&)> run;
};

std::vector<Command> commands();

} // namespace norvi::cli
