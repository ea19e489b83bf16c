#include "gui/workers/ExitSignals.h"

#include "core/shared/StopSignal.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace norvi {

namespace {

const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void onExitSignal(int signalNumber) {
    // Nothing else is safe in a handler: the number goes into the pipe this object reads.
    (void)WriteSignalPipe(signalNumber);
}

} // namespace

ExitSignals::ExitSignals() {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::readPipe);
    SetSignalPipe(m_pipe[1]);
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
}

ExitSignals::~ExitSignals() {
    if (m_pipe[0] < 0)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    ReleaseSignalPipe(m_pipe[1]);
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void ExitSignals::readPipe() {
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        emit received(number);
}

} // namespace norvi
