#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace norvi {

// A manual-reset event: once set it stays set until reset, and wakes every waiter.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}

    void set() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_set = true;
        }
        m_changed.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_set = false;
    }
    bool isSet() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_set;
    }
    // Returns false when the time ran out before the event was set.
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, timeout, [this] { return m_set; });
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_set;
};

} // namespace norvi
