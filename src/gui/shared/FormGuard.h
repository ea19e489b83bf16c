#pragma once

#include <QObject>

class QWidget;

namespace norvi {

// What every window of the program keeps without each window seeing to it, watched over the whole
// application for as long as this object lives (the window set owns one):
//
// - A window is never smaller than its minimum size. A window manager keeps windows to it; without one (a
//   bare X server, a kiosk) a size imposed from outside would squeeze the controls over each other, so the
//   window takes its minimum back at once.
// - Nothing without a name reads as focused to a screen reader. The parts of a control that pass their focus
//   on to it (an edit's or a list's viewport, the frame of a page control) report its focus as their own;
//   when it takes the focus they carry its name.
class FormGuard : public QObject {
    Q_OBJECT
public:
    FormGuard();
    ~FormGuard() override;
    FormGuard(const FormGuard&) = delete;
    FormGuard& operator=(const FormGuard&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace norvi
