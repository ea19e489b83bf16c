#pragma once

#include "core/sendlog/LogFile.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace norvi::test {

// The whole file, or nothing when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The rows of a send log file as its reader gives them, or none when it cannot be opened.
inline std::vector<SendLogRow> readLog(const QString& path) {
    std::vector<SendLogRow> rows;
    LogFileReader reader(path);
    if (!reader.open())
        return rows;
    SendLogRow row;
    while (reader.next(row))
        rows.push_back(row);
    return rows;
}

} // namespace norvi::test
