#pragma once

#include <QString>

namespace norvi {

// The start-up step for the log folder: an empty configured folder becomes "logfiles" under StartDir
// (in memory only; the configuration file changes through the settings dialog alone), and a missing
// folder is created (a relative one under StartDir, see LogFolder). Returns false with the text to show in the message
// area when there is no usable folder afterwards; the operation log then drops its lines, as it does for any unwritable
// folder.
bool PrepareLogFolder(QString* problem);

} // namespace norvi
