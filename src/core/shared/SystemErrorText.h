#pragma once

#include <QString>

namespace norvi {

// The text of a system error number as the user reads it: the failures a file can meet on its way to
// the disk (a full disk, a quota, a read-only or lost disk, missing rights) in the program's own words,
// any other number in the system's text for the current locale.
QString SystemErrorText(int error);

// A message's own line, then the reason on a line of its own when there is one.
QString WithReason(const QString& text, const QString& reason);

} // namespace norvi
