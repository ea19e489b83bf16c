#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file of `head`, then `megabytes` MB of text without a line end (written a megabyte at a time, so the
// benchmark itself never holds it), then `tail`: the one long line the memory benchmarks feed the readers.
inline bool WriteLongLineFile(const QString& path, const QByteArray& head, int megabytes, const QByteArray& tail) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size())
        return false;
    const QByteArray piece(1024 * 1024, 'a');
    for (int i = 0; i < megabytes; ++i)
        if (file.write(piece) != piece.size())
            return false;
    return file.write(tail) == tail.size();
}
