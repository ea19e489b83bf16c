#pragma once

#include <QStringList>

// norvi-cli [-C DIR] [-v] [-q] [--reply-wait S] COMMAND [ARGUMENTS]: the desktop program's jobs without its windows.
// Every rule comes from norvi_core; this layer reads arguments, runs one job and prints its rows.
namespace norvi::cli {

enum ExitCode {
    ExitOk = 0,
    ExitRefused = 1,  // bad arguments, a failed check, a file or a gateway address that could not be used
    ExitFailed = 2,   // the job ran and some message failed (or was interrupted)
    ExitNotSaved = 3, // the job ran but its send log could not be written
    ExitNoOutput = 4, // what was to be printed on standard output could not be written (its log was saved)
};

// Runs one command; `arguments` excludes the program name. Needs a QCoreApplication.
int Run(const QStringList& arguments);

} // namespace norvi::cli
