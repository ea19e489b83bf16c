#include "core/shared/Seams.h"

namespace norvi {

namespace {
Seams g_seams; // the one process-wide set of seams, described in Seams.h
} // namespace

Seams& TheSeams() {
    return g_seams;
}

void InjectedFault::arm(int step, int nth) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_armed = true;
    m_fired = false;
    m_step = step;
    m_nth = nth;
    m_seen = 0;
}

void InjectedFault::clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_armed = false;
    m_fired = false;
}

bool InjectedFault::fired() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_fired;
}

bool InjectedFault::at(int step) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_armed || m_fired || m_step != step || ++m_seen < m_nth)
        return false;
    m_fired = true;
    return true;
}

} // namespace norvi
