#pragma once

#include "core/shared/Clock.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"

#include <QByteArray>
#include <QEvent>
#include <QObject>

// A job's owner with no window: nothing to close, no box to show.
class BenchOwner : public norvi::JobOwner {
public:
    void closeForm() override {}
    void showResultBox(const QByteArray&, const QByteArray&) override {}
};

// The command-line front end's progress: the window's bookkeeping, stamped with the clock per step, and the
// steps counted.
class TrackerTarget : public QObject {
public:
    norvi::ProgressTracker tracker;
    int steps = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::Type(norvi::WM_SHOWPROCESS))
            return QObject::event(e);
        const norvi::ProgressReport& report = static_cast<norvi::ShowProcessEvent*>(e)->report();
        if (norvi::IsStepState(report.state))
            steps += report.steps;
        tracker.handle(report, norvi::Clock::nowMSecsSinceEpoch());
        return true;
    }
};
