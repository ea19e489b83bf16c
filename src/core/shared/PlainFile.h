#pragma once

#include <QString>

// Opening the files the program keeps under fixed names: the lock files and the day's operation log, which
// are written in place, and every file it reads. Nobody else's file may be written through such a name, and
// no read may hang on a pipe or a device.
namespace norvi {

// What a file that is not a plain file of its own is, for a message: "符號連結", "具名管道", "資料夾"...;
// empty for a regular file with one name, or when `path` is not there.
QString UnplainFileKind(const QString& path);
// The same for a file's st_mode: empty for a regular file.
QString FileKindOfMode(unsigned mode);

// Opens a file the program writes in place (`flags`: O_RDWR or O_WRONLY, with O_CREAT, O_APPEND as wanted),
// without following a symbolic link and without waiting on a pipe or device. Before the caller truncates or
// writes a byte, the file must be a regular file with one link: a link planted at the name (symbolic or hard)
// would hand the write to another file, a pipe or device would take it elsewhere. The descriptor, or -1 with
// `reason` set to why (without the path, for the caller's own message).
int OpenInPlaceFile(const QString& path, int flags, QString* reason);

} // namespace norvi
