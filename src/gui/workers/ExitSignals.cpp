#include "gui/workers/ExitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace norvi {

namespace {

int g_pipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction g_previous[3];

extern "C" void onExitSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // Nothing else is safe in a handler; a full pipe already holds a request to end.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

ExitSignals::ExitSignals() {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

ExitSignals::~ExitSignals() {
    if (g_pipe[0] < 0)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void ExitSignals::readPipe() {
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1)
        emit received(number);
}

} // namespace norvi
