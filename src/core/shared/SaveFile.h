#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writing one of the program's files whole: the configuration, the address book, a send log.
namespace norvi {

// A regular file (or one that does not exist yet) is written to a temporary file beside it, which
// replaces it only when everything was written and is on disk: a failed or killed save never leaves a
// cut file where a good one was. A symbolic link keeps being a link; the file it points to is the one
// replaced, and keeps its permissions.
//
// The temporary file is ".NAME.norvi-save-XXXXXX" in the target's folder, locked while its save runs.
// A save killed half-way leaves it behind; the next save of the same file removes every such file whose
// lock nobody holds, so leftovers never pile up and a save still running elsewhere is left alone.
//
// A character device or a named pipe cannot be replaced that way without destroying it: renaming a
// temporary file over /dev/null turns it into a regular file for the whole system. Such a target is
// opened and written directly, as any program writes to it. Anything else that is not a regular file
// (a folder, a block device, a socket) is refused by open().
class SaveFile {
public:
    explicit SaveFile(const QString& path);
    // A save neither committed nor cancelled is thrown away: the target stays as it was.
    ~SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    bool open();
    qint64 write(const char* data, qint64 size);
    qint64 write(const QByteArray& data) { return write(data.constData(), data.size()); }
    // The permissions of the replacing file, set before anything is written into it. A device or a pipe
    // written directly keeps its own.
    void setPermissions(QFileDevice::Permissions permissions);
    // Nothing written so far replaces the file; commit() then returns false.
    void cancelWriting();
    // Puts the written file in place (or finishes the direct write); false when a write failed, the
    // writing was cancelled or the file could not be replaced. The target is then as it was before.
    bool commit();

    bool writesDirectly() const { return m_direct; }
    // The temporary file of a replacing save while it is open, for a library that writes a file only by its
    // name: it opens and fills this one, which commit() then puts in place. Empty for a direct write.
    const QString& temporaryPath() const { return m_temporaryPath; }
    QString errorString() const;

    // The steps of a replacing save, for tests that make one of them fail.
    enum class Step { Open, Write, Flush, Rename };
    // The `nth` time (from 1) any save reaches `step` from now on, the step fails as the system call
    // would (a write first puts half of its bytes in the temporary file). One fault is armed at a time.
    static void failAtForTest(Step step, int nth);
    static void clearFaultForTest();
    // Whether the armed fault has fired since it was armed.
    static bool faultFiredForTest();

    // The prefix of this target's temporary files in its folder, for tests that look for leftovers.
    static QString temporaryPrefix(const QString& fileName);

private:
    bool openReplacing();
    bool flushBuffer();
    bool writeOut(const char* data, qint64 size);
    void discard();
    bool fail(const QString& what, int error);

    QString m_path;
    QString m_finalPath;     // the file replaced: m_path with its symbolic links followed
    QString m_temporaryPath; // while a replacing save is open
    int m_fd = -1;
    QByteArray m_buffer;
    QFile m_target; // a device or a pipe, written directly
    bool m_direct = false;
    bool m_cancelled = false;
    bool m_failed = false;
    QString m_error;
};

// Six random letters and digits, the unique part of a temporary file's name beside its target.
QString RandomNameChars();
// The file a save of `path` replaces: `path` with its symbolic links followed (also to a file not there yet).
QString SaveTargetPath(const QString& path);
// A character device or a named pipe, written directly rather than replaced.
bool SaveTargetIsDirect(const QString& path);
// A folder, a block device or a socket, which a save refuses.
bool SaveTargetIsRefused(const QString& path);

// True when both paths name the same existing file, whatever links or "." and ".." lead to it.
bool SameFile(const QString& a, const QString& b);

} // namespace norvi
