#pragma once

#include <functional>
#include <memory>
#include <optional>

namespace norvi {

class StopFlag;

// A question a worker puts to the window that started its job (whether to go on after failures), and the
// worker's wait for the answer. The answer comes back through this object rather than through a call the
// worker blocks in, so a stop ends the wait the way it ends every wait on the gateway: a stopped run leaves
// its rows and ends even while nobody answers the box. The user-interface side closes its box on a stop
// (JobSupervisor); an answer that comes after the worker stopped waiting changes nothing.
class JobQuestion {
public:
    // A question that `stop` takes back: the stop of the job that asks it, kept alive by the routine too.
    explicit JobQuestion(std::shared_ptr<const StopFlag> stop);

    // The routine to hand to the user-interface thread: it calls `ask` there and hands the answer back. It
    // asks nothing once the stop is raised (the stop came first, and nobody would close that box), and
    // destroyed unrun (the application went first), it hands back that no answer will come.
    std::function<void()> asking(std::function<bool()> ask) const;

    // Waits for the answer, or until the stop is raised (at once when it already is). Nothing when the wait
    // was stopped or the question was dropped unasked.
    std::optional<bool> wait() const;

private:
    struct State;
    struct Unasked;
    const std::shared_ptr<const StopFlag> m_stop;
    std::shared_ptr<State> m_state;
};

} // namespace norvi
