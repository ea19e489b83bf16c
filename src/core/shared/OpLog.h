#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace norvi {

// Appends one time-stamped line to the day's operation log (logFiles/yyyymmdd.dbg). Any thread;
// serialised by the writer's own lock; the file is opened and closed per line, and each line is one write with
// O_APPEND. A line that cannot be written whole is dropped whole; the first such failure (again after a
// line was written) is said in the message area, or to the reporter set below. `text` is Big5.
void WriteOpLog(const QByteArray& text);
// The folder the lines go to from now on (LogFolder of the settings in use); empty: lines are dropped. The
// owner of the settings says it whenever they change.
void SetOpLogFolder(const QString& folder);
// Where a failed write of the operation log is said instead of the message area (norvi-cli: standard
// error); any thread. nullptr: the message area. The next failure is said again.
void SetOpLogFailureReporter(std::function<void(const QString& text)> reporter);

// Appends one time-stamped line to the message area. User-interface thread only. The desktop program
// installs the message area as the sink; without a sink the line goes nowhere.
void ShowMsgLine(const QByteArray& text);
void SetMessageAreaSink(std::function<void(const QString& line)> sink);
// Where lines shown together go instead, in one call (the desktop's message area: one append for them all);
// without it they go to the sink one by one.
void SetMessageAreaBatchSink(std::function<void(const QStringList& lines)> sink);
// The message area's form of `text` now: stamped, its CR LF breaks as the area breaks lines. Any thread: a
// worker stamps its line when it says it, and the line may be shown a few milliseconds later.
QString MessageAreaLine(const QByteArray& text);
// Shows lines made by MessageAreaLine, in order, with one append: each append costs the area a layout,
// however many lines it brings. User-interface thread only.
void ShowMessageAreaLines(const QStringList& lines);

// "yyyy/MM/dd HH:mm:ss" + two spaces + text.
QString StampedLine(const QString& text);

} // namespace norvi
