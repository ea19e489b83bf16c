#pragma once

#include <QString>

namespace norvi {

class Config;

// The start-up step for the log folder: an empty configured folder becomes "logfiles" under the start
// folder (in memory only; the configuration file changes through the settings dialog alone), and a missing
// folder is created (a relative one under the start folder, see LogFolder). Returns false with the text to
// show in the message area when there is no usable folder afterwards; the operation log then drops its
// lines, as it does for any unwritable folder.
bool PrepareLogFolder(Config& config, QString* problem);
// The first step of it alone, for the desktop program, which asks before it makes a folder: the folder the
// logs go to, an empty setting filled in memory with "logfiles" under the start folder.
QString StartLogFolder(Config& config);

// Where logs go for a folder as configured: a relative folder belongs to the start folder, like every
// other file of the program; the folder the command happened to be typed in, or that a dialog left
// current, must not decide where logs go.
QString LogFolderPath(const QString& startDir, const QString& folder);

// A log folder as the settings window is given it, before it is stored: where it would put the logs (a
// relative folder under `startDir`, as LogFolder takes it), whether it is there, and whether the program may
// write into it; `reason` is the system's reason when it may not.
struct LogFolderCheck {
    QString path;
    bool exists = false;
    bool writable = false;
    QString reason;
};
LogFolderCheck CheckLogFolder(const QString& startDir, const QString& typed);
// Makes the folder and the folders above it. False with the system's reason.
bool CreateFolders(const QString& path, QString* reason);

} // namespace norvi
