#pragma once

#include <QString>

// The files a user names for the program to write (a send log, a query's result, an exported address book,
// a table of results): never one of the program's own files, never anything but a regular file.
namespace norvi {

// Why `path` may not be written as such an output, or empty when it may. Refused are the program's own files
// (NorviSMSAp.cfg, AddressBook.bin, OptOut.txt, NorviSMSAp.ini, an operation log ".dbg", a lock file ".lock",
// a log still being written ".partial", the desktop program's journal of unsaved rows), whether named directly,
// through a symbolic link or, for the first four of `startDir` (empty: none), by another name of the same file;
// and whatever already stands at the name that is not a regular file (a folder, a named pipe, a device, a
// socket). A name where nothing stands yet is fine. The file itself is never opened: a pipe nobody reads or a
// device cannot hold the caller.
QString OutputRefusal(const QString& path, const QString& startDir = QString());

} // namespace norvi
