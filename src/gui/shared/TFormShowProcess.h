#pragma once

#include "shared/Progress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norvi {

// "作業進度": the one progress window every long operation shares. Driven only by posted
// WM_SHOWPROCESS events, so workers report without touching it. While running it disables `owner`;
// its button first offers 中斷 (sets StopFlag), then 確定 once an end state arrived.
class TFormShowProcess : public QDialog {
    Q_OBJECT
public:
    explicit TFormShowProcess(QWidget* parent = nullptr);
    ~TFormShowProcess() override;

    // The one created at start-up (the last created instance).
    static TFormShowProcess* instance();

    QWidget* owner = nullptr; // disabled while the operation runs
    bool closeOwner = false;  // close owner too when the user confirms the end
    void setMaximum(int maximum);

    const ProgressTracker& tracker() const { return m_tracker; }
    void ButtonOkClick();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override; // FormShow

private:
    void handleState(int state);

    ProgressTracker m_tracker;
    QLabel* m_labelStatus = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_labelProgress = nullptr;
    QLabel* m_labelStartTime = nullptr;
    QLabel* m_labelElapsed = nullptr;
    QLabel* m_labelAverage = nullptr;
    QPushButton* m_button = nullptr;
};

} // namespace norvi
