#pragma once

#include <QDateTime>

// "Now" for the whole program: reservation limits, file names by date, ids by the second and the
// day's operation log all ask here, so a test can set the time. Safe to call from any thread.
namespace norvi::Clock {

QDateTime now();
// The same instant as now() as milliseconds since the epoch, without the local-time conversion, for
// what measures intervals many times a second (the progress window's rate).
qint64 nowMSecsSinceEpoch();

// now() as "yyyyMMddHHmmss" (Latin-1), the time of a send-log row. A run stamps many rows a second, and
// each conversion to local time checks the time-zone file, so the text is made once per second.
QByteArray rowStamp();

// Tests: make now() return `fixed` (advanced by `step` milliseconds after each call), until reset.
void setFixed(const QDateTime& fixed, qint64 stepMs = 0);
void reset();

// "yyyy/MM/dd HH:mm:ss": the fixed date-and-time form of the message area and the operation log.
QString stamp(const QDateTime& t);

} // namespace norvi::Clock
