#pragma once

#include "cli/CliArgs.h"

#include <QString>

#include <functional>
#include <vector>

// The commands norvi-cli knows: each name with the options it takes and the function that runs it.
namespace norvi::cli {

extern const QString kHelpSwitch;

struct Command {
    const char* name;
    OptionSpec known;
    std::function<int(const Arguments&)> run;
};

std::vector<Command> commands();

} // namespace norvi::cli
