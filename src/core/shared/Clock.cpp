#include "core/shared/Clock.h"

#include "core/shared/Seams.h"

#include <mutex>

namespace norvi::Clock {

namespace {
const QString& rowStampFormat() {
    static const QString format = QStringLiteral("yyyyMMddHHmmss");
    return format;
}

// The test seam of the real programs: NORVI_TEST_NOW=2024-05-01T23:30:00 (local time) makes the clock start
// there when the program starts and run on from it, so a journey can send at night whatever the hour. Read
// once; nothing else reads it.
qint64 testOffsetMs() {
    static const qint64 offset = [] {
        const QByteArray wanted = qgetenv("NORVI_TEST_NOW");
        if (wanted.isEmpty())
            return qint64(0);
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(wanted), Qt::ISODate);
        return at.isValid() ? QDateTime::currentDateTime().msecsTo(at) : qint64(0);
    }();
    return offset;
}
} // namespace

QDateTime now() {
    Seams::ClockState& c = TheSeams().clock;
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.fixed)
        return QDateTime::currentDateTime().addMSecs(testOffsetMs());
    const QDateTime t = c.time;
    c.time = c.time.addMSecs(c.step);
    return t;
}

qint64 nowMSecsSinceEpoch() {
    Seams::ClockState& c = TheSeams().clock;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (!c.fixed)
            return QDateTime::currentMSecsSinceEpoch() + testOffsetMs();
    }
    return now().toMSecsSinceEpoch();
}

QByteArray rowStamp() {
    Seams::ClockState& c = TheSeams().clock;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (!c.fixed) {
            const qint64 second = (QDateTime::currentMSecsSinceEpoch() + testOffsetMs()) / 1000;
            if (second != c.stampSecond) {
                c.stamp = QDateTime::fromSecsSinceEpoch(second).toString(rowStampFormat()).toLatin1();
                c.stampSecond = second;
            }
            return c.stamp;
        }
    }
    // A fixed clock moves with every call, as now() does, and keeps the kind of time (local or UTC) it was given.
    return now().toString(rowStampFormat()).toLatin1();
}

void setFixed(const QDateTime& fixed, qint64 stepMs) {
    Seams::ClockState& c = TheSeams().clock;
    std::lock_guard<std::mutex> guard(c.lock);
    c.fixed = true;
    c.time = fixed;
    c.step = stepMs;
}

void reset() {
    Seams::ClockState& c = TheSeams().clock;
    std::lock_guard<std::mutex> guard(c.lock);
    c.fixed = false;
}

QString stamp(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

} // namespace norvi::Clock
