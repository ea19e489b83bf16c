#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace norvi {

// SIGTERM (a desktop log-out), SIGHUP and SIGINT, turned into a signal on the user-interface thread: the
// handler only writes the signal's number into a pipe, which a socket notifier reads in the event loop, so
// the program can stop its job and end in an orderly way instead of dying with rows in flight. One at a
// time; the handlers are taken back when it goes.
class ExitSignals : public QObject {
    Q_OBJECT
public:
    ExitSignals();
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
    struct sigaction m_previous[3] = {}; // the handlers taken back when this goes
};

} // namespace norvi
