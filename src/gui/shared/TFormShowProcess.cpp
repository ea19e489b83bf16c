#include "gui/shared/TFormShowProcess.h"

#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/OpLog.h"
#include "core/shared/RunActivity.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"
#include "gui/shared/WindowStacking.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

namespace norvi {

namespace {

constexpr int kProcessMargin = 16;
constexpr int kShownWidth = 417;
constexpr int kBarWidth = 250;
constexpr int kBarHeight = 18;
constexpr int kProcessButtonWidth = 75;
constexpr int kProcessButtonHeight = 25;
constexpr int kRowStatus = 14;
constexpr int kRowBar = 40;
constexpr int kRowStart = 70;
constexpr int kRowElapsed = 92;
constexpr int kRowAverage = 114;
constexpr int kRowButton = 144;
constexpr int kProcessClientHeight = kRowButton + kProcessButtonHeight + 12;
constexpr int kWaitEveryMs = 250;
constexpr int64_t kShowWaitAfterMs = 1000;

// Every label has a fixed size: a label whose size can change asks its window for a new layout with a
// posted event each time its text changes, and with thousands of steps still queued for the window
// each such post searches the whole queue. Only the progress text is resized, when its width changes.
QLabel* makeFixedLabel(QWidget* parent, const QString& text, int x, int y, const char* name = nullptr, int width = 0) {
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    const QSize hint = label->sizeHint();
    label->setFixedSize(width > 0 ? width : hint.width(), hint.height());
    return label;
}

int textWidth(const QLabel* label, const QString& text) {
    return label->fontMetrics().horizontalAdvance(text) + 2 * label->margin() + 2;
}

} // namespace

TFormShowProcess::TFormShowProcess() : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("TFormShowProcess"));
    setWindowTitle(QStringLiteral("作業進度"));
    setModal(false);
    applyFormFont(this);

    auto* captionStatus = makeFixedLabel(this, QStringLiteral("狀態："), kProcessMargin, kRowStatus);
    int statusWidth = 0;
    for (int state = StateImporting; state <= StateLogSaveFailed; ++state)
        statusWidth = std::max(statusWidth, textWidth(captionStatus, ProgressStateText(state)));
    m_labelStatus = makeFixedLabel(this, QString(), kProcessMargin + captionStatus->width(), kRowStatus, "LabelStatus",
                                   statusWidth);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setGeometry(kProcessMargin, kRowBar, kBarWidth, kBarHeight);
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    m_labelProgress = makeFixedLabel(this, QString(), kProcessMargin + kBarWidth + 8, kRowBar + 1, "LabelProgress");

    m_captionStartTime = makeFixedLabel(this, QStringLiteral("開始時間："), kProcessMargin, kRowStart);
    m_captionElapsed = makeFixedLabel(this, QStringLiteral("總共耗費時間："), kProcessMargin, kRowElapsed);
    m_captionAverage = makeFixedLabel(this, QStringLiteral("平均："), kProcessMargin, kRowAverage);
    const int valueLeft = kProcessMargin + m_captionElapsed->width() + 4;
    const int valueWidth = kProcessMargin + kBarWidth - valueLeft;
    m_labelStartTime = makeFixedLabel(this, QString(), valueLeft, kRowStart, "LabelStartTime", valueWidth);
    m_labelElapsed = makeFixedLabel(this, QString(), valueLeft, kRowElapsed, "LabelElapsed", valueWidth);
    m_labelAverage = makeFixedLabel(this, QString(), valueLeft, kRowAverage, "LabelAverage", valueWidth);

    m_button = makeButton(this, QStringLiteral("中斷"), "ButtonOk");
    m_button->resize(kProcessButtonWidth, kProcessButtonHeight);
    connect(m_button, &QPushButton::clicked, this, &TFormShowProcess::ButtonOkClick);

    m_labelWait =
        makeFixedLabel(this, QStringLiteral("等待閘道回應… 0 秒"), kProcessMargin, kRowButton + 4, "LabelWait");
    m_labelWait->clear();
    m_waitTimer.setInterval(kWaitEveryMs);
    connect(&m_waitTimer, &QTimer::timeout, this, &TFormShowProcess::showWaiting);

    showTimeLabels(false);
    fitWidth(kShownWidth);
}

TFormShowProcess::~TFormShowProcess() = default;

void TFormShowProcess::setMaximum(int maximum) {
    m_tracker.setMaximum(maximum);
    // A range of 0..0 would turn the bar into a busy indicator; an empty operation shows an empty bar.
    m_bar->setRange(0, maximum > 0 ? maximum : 1);
    m_bar->setValue(m_tracker.barValue());
    if (m_tracker.started() && !m_tracker.done())
        showCounts();
}

void TFormShowProcess::startOperation(QWidget* newOwner, bool closeNewOwner, int maximum, bool modal, OwnerWait wait) {
    if (isVisible()) {
        QCoreApplication::sendPostedEvents(this, WM_SHOWPROCESS);
        hide();
    }
    m_owner = newOwner;
    m_closeOwner = closeNewOwner;
    m_ownerWait = wait;
    setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    show();
    setMaximum(maximum);
}

void TFormShowProcess::dismiss() {
    QCoreApplication::sendPostedEvents(this, WM_SHOWPROCESS);
    if (!isVisible())
        return;
    if (m_tracker.done()) {
        ButtonOkClick();
        return;
    }
    if (m_owner)
        m_owner->setEnabled(true);
    done(QDialog::Rejected);
}

bool TFormShowProcess::event(QEvent* e) {
    if (e->type() == QEvent::Type(WM_SHOWPROCESS)) {
        handleReport(static_cast<ShowProcessEvent*>(e)->report());
        return true;
    }
    return QDialog::event(e);
}

void TFormShowProcess::showEvent(QShowEvent* e) {
    // A window restored by the window system is not a new operation.
    // Before the dialog places itself: it opens centred on the owner. An owner that hid itself for the run
    // (the query dialog) is not on screen, so the window it belongs to stands in for it.
    if (!e->spontaneous()) {
        QWidget* anchor = m_owner;
        if (anchor && anchor->isHidden() && anchor->parentWidget())
            anchor = anchor->parentWidget();
        keepAbove(this, anchor);
    }
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFormShowProcess::FormShow() {
    m_tracker.start(m_tracker.maximum());
    m_bar->setValue(0);
    m_labelStatus->clear();
    m_labelProgress->clear();
    showTimeLabels(false);
    setButtonText(QStringLiteral("中斷"));
    m_button->setEnabled(true);
    // The window opens under a key just pressed: Return that confirmed the summary, pressed twice or held, would
    // stop the run the user has just started. While it runs only a click or Space on 中斷 stops it.
    takesReturn(false);
    m_stopping = false;
    m_labelWait->clear();
    m_waitTimer.start();
    if (m_owner && m_ownerWait == OwnerWait::Disabled)
        m_owner->setEnabled(false);
    fitWidth(kShownWidth);
    // The clock runs from the operation's start, not from its first step.
    m_tracker.begin(Clock::nowMSecsSinceEpoch());
    showCounts();
}

void TFormShowProcess::takesReturn(bool takes) {
    m_button->setAutoDefault(takes);
    m_button->setDefault(takes);
}

void TFormShowProcess::setButtonText(const QString& text) {
    m_button->setText(text);
    const int wanted = std::max(kProcessButtonWidth, m_button->fontMetrics().horizontalAdvance(text) + 24);
    if (wanted != m_button->width()) {
        m_button->resize(wanted, kProcessButtonHeight);
        fitWidth(width());
    }
}

void TFormShowProcess::showWaiting() {
    if (m_tracker.done())
        return;
    // A wait on the gateway moves no step: the elapsed time and the rate still follow the clock.
    m_tracker.tick(Clock::nowMSecsSinceEpoch());
    m_labelElapsed->setText(m_tracker.elapsedText());
    m_labelAverage->setText(m_tracker.averageText());
    QString text;
    if (m_stopping) {
        text = QStringLiteral("正在中斷…");
    } else if (m_activity) {
        const int64_t waited = m_activity->waitingMs();
        if (waited >= kShowWaitAfterMs) {
            text = QStringLiteral("等待閘道回應… %1 秒").arg(waited / 1000);
            const QString subject = fromBig5(m_activity->subject());
            if (!subject.isEmpty())
                text += QStringLiteral("：") + subject;
        }
    }
    if (text != m_labelWait->text())
        m_labelWait->setText(text);
}

void TFormShowProcess::handleReport(const ProgressReport& report) {
    const bool ended = m_tracker.handle(report, Clock::nowMSecsSinceEpoch());
    if (ended && report.counts.known) {
        // The counts make the end's text longer than any state's: the label grows for it, once.
        const int wanted = textWidth(m_labelStatus, m_tracker.statusText());
        if (wanted > m_labelStatus->width())
            m_labelStatus->setFixedWidth(wanted);
    }
    m_labelStatus->setText(m_tracker.statusText());
    if (!(IsStepState(report.state) && report.steps > 0) && !ended)
        return;

    showCounts();
    if (!ended) {
        // The window follows the length of the progress text.
        fitWidth(m_labelProgress->x() + m_labelProgress->width() + kProcessMargin);
        return;
    }
    endShown();
}

void TFormShowProcess::showCounts() {
    if (m_tracker.maximum() > m_bar->maximum())
        m_bar->setMaximum(m_tracker.maximum());
    m_bar->setValue(m_tracker.barValue());
    const QString progress = m_tracker.progressText();
    // Digits share one width, so the text is measured again only when its length changes.
    if (progress.size() != m_labelProgress->text().size()) {
        const int progressWidth = textWidth(m_labelProgress, progress);
        if (progressWidth != m_labelProgress->width())
            m_labelProgress->setFixedWidth(progressWidth);
    }
    m_labelProgress->setText(progress);
    m_labelStartTime->setText(m_tracker.startTimeText());
    m_labelElapsed->setText(m_tracker.elapsedText());
    m_labelAverage->setText(m_tracker.averageText());
    if (m_labelStartTime->isHidden())
        showTimeLabels(true);
}

void TFormShowProcess::endShown() {
    setButtonText(QStringLiteral("確定"));
    m_button->setEnabled(true);
    takesReturn(true);
    m_waitTimer.stop();
    m_labelWait->clear();
    fitWidth(std::max(width(), m_labelStatus->x() + m_labelStatus->width() + kProcessMargin));
    const QByteArray summary = big5(m_tracker.summary());
    ShowMsgLine(summary);
    WriteOpLog(summary);
}

void TFormShowProcess::ButtonOkClick() {
    if (!m_tracker.done()) {
        // Every wait on the gateway ends at once but for an answer already on its way, which gets a short
        // grace; the operation reports its end itself. The button says the stop was taken until then, and
        // pressed again ends the grace as well.
        const bool again = m_stopping;
        emit stopPressed();
        m_stopping = true;
        setButtonText(QStringLiteral("正在中斷…"));
        m_button->setEnabled(!again);
        showWaiting();
        return;
    }
    if (m_owner) {
        m_owner->setEnabled(true);
        if (m_closeOwner) {
            if (auto* dialog = qobject_cast<QDialog*>(m_owner.data()))
                dialog->reject();
            else
                m_owner->close();
        }
    }
    done(QDialog::Accepted);
}

void TFormShowProcess::showTimeLabels(bool visible) {
    for (QLabel* label : {m_labelProgress, m_captionStartTime, m_captionElapsed, m_captionAverage, m_labelStartTime,
                          m_labelElapsed, m_labelAverage})
        label->setVisible(visible);
}

void TFormShowProcess::fitWidth(int clientWidth) {
    if (clientWidth == width() && m_button->x() == clientWidth - m_button->width() - kProcessMargin)
        return;
    setFixedSize(clientWidth, kProcessClientHeight);
    m_button->move(clientWidth - m_button->width() - kProcessMargin, kRowButton);
    m_labelWait->setFixedWidth(std::max(0, m_button->x() - kProcessMargin - 8));
}

} // namespace norvi
