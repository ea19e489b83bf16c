#pragma once

#include <QString>

#include <functional>

namespace norvi {

// An advisory lock (flock) on a lock file beside a file that programs read, change and write back whole
// (AddressBook.bin, a ".log"): "NAME.lock", which is never renamed or removed, so every program locks the
// same file whatever happened to NAME meanwhile. The holder writes who it is into the lock file, so a
// program that finds it taken can say who holds it. Released by unlock(), by the destructor, or when the
// process ends, however it ends.
class FileLock {
public:
    // `path` is the file to be protected; the lock file is `path` + ".lock".
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock if nobody holds it. False when another holds it (holder() says who) or the lock file
    // cannot be made (error() says why).
    bool tryLock();
    // Takes the lock, waiting for it as long as it takes; `waiting` runs once if the lock is held by
    // another when asked (to say that the program waits, and for whom).
    bool lock(const std::function<void(const QString& holder)>& waiting = {});
    void unlock();
    bool locked() const { return m_locked; }

    // Who held the lock when it was last found taken: "程式 (PID n)"; or empty when not known.
    QString holder() const { return m_holder; }
    QString error() const { return m_error; }

    static QString lockPathFor(const QString& path) { return path + QStringLiteral(".lock"); }

private:
    bool openFile();
    void readHolder();
    void writeHolder();

    QString m_lockPath;
    int m_fd = -1;
    bool m_locked = false;
    QString m_holder;
    QString m_error;
};

} // namespace norvi
