#include "core/shared/Clock.h"

#include <mutex>

namespace norvi::Clock {

namespace {
std::mutex g_lock;
bool g_fixed = false;
QDateTime g_time;
qint64 g_step = 0;
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
