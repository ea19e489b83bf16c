#include "core/shared/Clock.h"

#include <limits>
#include <mutex>

namespace norvi::Clock {

namespace {
std::mutex g_lock;
bool g_fixed = false;
QDateTime g_time;
qint64 g_step = 0;
qint64 g_stampSecond = std::numeric_limits<qint64>::min(); // the second g_stamp shows
QByteArray g_stamp;

const QString& rowStampFormat() {
    static const QString format = QStringLiteral("yyyyMMddHHmmss");
    return format;
}
} // namespace

QDateTime now() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_fixed)
        return QDateTime::currentDateTime();
    const QDateTime t = g_time;
    g_time = g_time.addMSecs(g_step);
    return t;
}

qint64 nowMSecsSinceEpoch() {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (!g_fixed)
            return QDateTime::currentMSecsSinceEpoch();
    }
    return now().toMSecsSinceEpoch();
}

QByteArray rowStamp() {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (!g_fixed) {
            const qint64 second = QDateTime::currentSecsSinceEpoch();
            if (second != g_stampSecond) {
                g_stamp = QDateTime::fromSecsSinceEpoch(second).toString(rowStampFormat()).toLatin1();
                g_stampSecond = second;
            }
            return g_stamp;
        }
    }
    // A fixed clock moves with every call, as now() does, and keeps the kind of time (local or UTC) it was given.
    return now().toString(rowStampFormat()).toLatin1();
}

void setFixed(const QDateTime& fixed, qint64 stepMs) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_fixed = true;
    g_time = fixed;
    g_step = stepMs;
}

void reset() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_fixed = false;
}

QString stamp(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

} // namespace norvi::Clock
