#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace norvi {

// Appends one time-stamped line to the day's operation log (logFiles/yyyymmdd.dbg). Any thread;
// serialised by LogLock; the file is opened and closed per line. A line that cannot be written is
// dropped silently. `text` is Big5.
void WriteOpLog(const QByteArray& text);

// Appends one time-stamped line to the message area. User-interface thread only. The desktop program
// installs the message area as the sink; without a sink the line goes nowhere.
void ShowMsgLine(const QByteArray& text);
void SetMessageAreaSink(std::function<void(const QString& line)> sink);

// "yyyy/MM/dd HH:mm:ss" + two spaces + text.
QString StampedLine(const QString& text);

} // namespace norvi
