#pragma once

#include "GatewaySimulator.h"

#include <QString>
#include <QStringList>

namespace norvi::gwsim {

// Reads norvi-gwsim's options (the arguments after the program name) into `options`. `help` is set
// for --help. Returns false with a one-line error for an unknown option or a bad value.
bool parseCommandLine(const QStringList& args, SimOptions& options, bool& help, QString* error);

// The --help text.
QString usageText();

} // namespace norvi::gwsim
