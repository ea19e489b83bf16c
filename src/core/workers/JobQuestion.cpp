#include "core/workers/JobQuestion.h"

#include "core/shared/StopSignal.h"

#include <mutex>

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace norvi {

// Shared by the worker and the routine on its way: whichever lets go last closes the descriptor.
struct JobQuestion::State {
    std::mutex lock;
    bool settled = false;
    std::optional<bool> answer;
    // Readable once settled, so one poll waits for the answer and the stop together.
    const int settledFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (settledFd >= 0)
            ::close(settledFd);
    }

    void settle(std::optional<bool> given) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (settled)
                return;
            settled = true;
            answer = given;
        }
        const uint64_t one = 1;
        if (settledFd >= 0)
            (void)!::write(settledFd, &one, sizeof one);
    }
    bool isSettled(std::optional<bool>* given) {
        std::lock_guard<std::mutex> guard(lock);
        *given = answer;
        return settled;
    }
};

// Travels inside the routine: when the routine goes without having asked, the worker hears it.
struct JobQuestion::Unasked {
    std::shared_ptr<State> state;
    explicit Unasked(std::shared_ptr<State> s) : state(std::move(s)) {}
    Unasked(const Unasked&) = delete;
    Unasked& operator=(const Unasked&) = delete;
    ~Unasked() { state->settle(std::nullopt); }
};

JobQuestion::JobQuestion(std::shared_ptr<const StopFlag> stop)
    : m_stop(std::move(stop)), m_state(std::make_shared<State>()) {}

std::function<void()> JobQuestion::asking(std::function<bool()> ask) const {
    auto unasked = std::make_shared<Unasked>(m_state);
    return [unasked, stop = m_stop, ask = std::move(ask)] {
        if (!stop->wake().raised())
            unasked->state->settle(ask());
    };
}

std::optional<bool> JobQuestion::wait() const {
    const StopSignal& stop = m_stop->wake();
    std::optional<bool> given;
    for (;;) {
        if (m_state->isSettled(&given))
            return given;
        if (stop.raised())
            return std::nullopt;
        pollfd fds[2] = {{m_state->settledFd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        // Without a descriptor (none could be made) the wait looks again now and then instead.
        const bool blind = m_state->settledFd < 0 || stop.fd() < 0;
        if (::poll(fds, 2, blind ? 50 : -1) < 0 && errno != EINTR)
            ::poll(nullptr, 0, 50); // out of resources for a moment: look again shortly
    }
}

} // namespace norvi
