#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>

// Writing one of the program's files whole: the configuration, the address book, a send log.
namespace norvi {

// A regular file (or one that does not exist yet) is written to a temporary file beside it, which
// replaces it only when everything was written: a failed save never leaves a cut file where a good one
// was. A symbolic link keeps being a link; the file it points to is the one replaced.
//
// A character device or a named pipe cannot be replaced that way without destroying it: renaming a
// temporary file over /dev/null turns it into a regular file for the whole system. Such a target is
// opened and written directly, as any program writes to it. Anything else that is not a regular file
// (a folder, a block device, a socket) is refused by open().
class SaveFile {
public:
    explicit SaveFile(const QString& path);

    bool open();
    qint64 write(const char* data, qint64 size);
    qint64 write(const QByteArray& data) { return write(data.constData(), data.size()); }
    // The permissions of the replacing file, set before anything is written into it. A device or a pipe
    // written directly keeps its own.
    void setPermissions(QFileDevice::Permissions permissions);
    // Nothing written so far replaces the file; commit() then returns false.
    void cancelWriting();
    // Puts the written file in place (or finishes the direct write); false when a write failed, the
    // writing was cancelled or the file could not be replaced.
    bool commit();

    bool writesDirectly() const { return m_direct; }
    QString errorString() const;

private:
    QString m_path;
    QSaveFile m_replacing;
    QFile m_target;
    bool m_direct = false;
    bool m_cancelled = false;
    bool m_writeFailed = false;
    QString m_refusal;
};

// True when both paths name the same existing file, whatever links or "." and ".." lead to it.
bool SameFile(const QString& a, const QString& b);

} // namespace norvi
