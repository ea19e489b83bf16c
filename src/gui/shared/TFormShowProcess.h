#pragma once

#include "core/shared/Progress.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norvi {
class RunActivity;
}

namespace norvi {

// How the window that started an operation waits for it: disabled as a whole, or (the main window, whose
// menu bar keeps 結束, 關於 and the view toggles while a job runs) with only the commands it locks itself.
enum class OwnerWait { Disabled, LocksItself };

// "作業進度": the one progress window every long operation shares. Driven only by posted
// WM_SHOWPROCESS events, so workers report without touching it. While running it disables `owner` (unless
// the owner locks its own commands); its button first offers 中斷 (stopPressed: the job's owner sets the job's
// StopFlag, which ends a gateway wait at once, but for an answer already on its way, which gets a short grace; the
// button then reads 正在中斷…, and pressed again ends the grace and is disabled until the end arrives), then 確定 once
// an end state arrived. While a gateway job waits for a reply, a line beside the button says so and for how long
// ("等待閘道回應… 12 秒") and which recipient or MsgId it is on, read from the running job's activity (watch) a few
// times a second.
//
// A caller names the owner through startOperation, shows the window, sets the maximum (before the first step)
// and then posts states or starts the worker that posts them.
//
// It is created without a parent: a window that is the child of the owner would be disabled with it, and
// its button could never be pressed. Each show keeps it above its owner instead (see WindowStacking.h).
class TFormShowProcess : public QDialog {
    Q_OBJECT
public:
    TFormShowProcess();
    ~TFormShowProcess() override;

    QWidget* owner() const { return m_owner; }
    // Where the jobs whose progress this window shows publish their waits: the program's JobRegistry.
    void watch(const RunActivity* activity) { m_activity = activity; }
    bool closesOwner() const { return m_closeOwner; }
    void setMaximum(int maximum);

    // Readies the window for an operation of `owner` with `maximum` steps and shows it, in the order a
    // caller must keep; `modal` when a modal window is open, which would otherwise keep the button from
    // being pressed. When it still shows an earlier operation (a save just before a load), that
    // operation's states are handled first, so its summary is written before the window starts over.
    void startOperation(QWidget* owner, bool closeOwner, int maximum, bool modal = false,
                        OwnerWait wait = OwnerWait::Disabled);
    // Closes the window without a press of its button (an operation that could not start, the program
    // ending): states still queued are handled first, so an ended operation's summary is written; the
    // owner is enabled again and, when the operation had ended, closed as 確定 would.
    void dismiss();

    const ProgressTracker& tracker() const { return m_tracker; }

signals:
    // The user pressed 中斷 (again: the grace of an answer on its way ends too).
    void stopPressed();

public slots:
    // The window has no close box; Esc and the window manager's close must not end it either.
    void reject() override {}

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private slots:
    void ButtonOkClick();

private:
    QPointer<QWidget> m_owner; // disabled while the operation runs
    // Close the owner too when the user confirms the end; a dialog owner is rejected, which also ends its
    // modal show when it is hidden.
    bool m_closeOwner = false;
    OwnerWait m_ownerWait = OwnerWait::Disabled;
    void FormShow();
    void handleReport(const ProgressReport& report);
    void showTimeLabels(bool visible);
    void fitWidth(int clientWidth);
    // The bar, "N / M" and the time labels, as the tracker has them.
    void showCounts();
    // An end state arrived: 確定, the summary to the message area and the operation log.
    void endShown();
    void showWaiting();
    // The button's caption; the button grows for a longer one and stays at the window's right edge.
    // Whether Return presses the window's button (at the end, 確定) or does nothing (while the run goes).
    void takesReturn(bool takes);
    void setButtonText(const QString& text);

    ProgressTracker m_tracker;
    QLabel* m_labelStatus = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_labelProgress = nullptr;
    QLabel* m_captionStartTime = nullptr;
    QLabel* m_captionElapsed = nullptr;
    QLabel* m_captionAverage = nullptr;
    QLabel* m_labelStartTime = nullptr;
    QLabel* m_labelElapsed = nullptr;
    QLabel* m_labelAverage = nullptr;
    QPushButton* m_button = nullptr;
    QLabel* m_labelWait = nullptr;
    QTimer m_waitTimer;
    const RunActivity* m_activity = nullptr;
    bool m_stopping = false;
};

} // namespace norvi
