#include "gui/sendlog/TFormQuerySMS.h"

#include "core/sendlog/ModelJobRows.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/RunActivity.h"
#include "core/workers/JobStarter.h"
#include "core/workers/QueryJob.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"
#include "core/workers/StopRows.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace norvi {

namespace {

// The texts that differ between the two modes: query first, cancel second.
struct ModeTexts {
    QString query;
    QString cancel;
    QString in(bool queryMode) const { return queryMode ? query : cancel; }
};

const ModeTexts kModeTitle{QStringLiteral("狀態查詢"), QStringLiteral("取消預約")};
const ModeTexts kOneRec{QStringLiteral("單筆查詢"), QStringLiteral("單筆預約取消")};
const ModeTexts kSelRec{QStringLiteral("發訊紀錄列視框所選紀錄查詢"), QStringLiteral("發訊紀錄列視框所選紀錄預約取消")};
const ModeTexts kAllRec{QStringLiteral("發訊紀錄列視框所有紀錄查詢"), QStringLiteral("發訊紀錄列視框所有紀錄預約取消")};
const ModeTexts kButton{QStringLiteral("查詢"), QStringLiteral("確定")};
const ModeTexts kNoSelection{QStringLiteral("請選擇欲查詢的訊息！"), QStringLiteral("請選擇欲取消的預約訊息！")};
const ModeTexts kEmptyLog{QStringLiteral("沒有已發送待查詢的訊息！"), QStringLiteral("沒有已發送待取消的預約訊息！")};

} // namespace

TFormQuerySMS::TFormQuerySMS(ModelJobRows& sendLog, JobSupervisor& jobs, const Config& config, QWidget* parent)
    : QDialog(parent), m_sendLog(sendLog), m_jobs(jobs), m_config(config) {
    setObjectName(QStringLiteral("TFormQuerySMS"));
    applyFormFont(this);
    setWindowTitle(kModeTitle.in(true));

    m_allRec = makeRadio(this, QString(), "RadioButtonAllRec");
    m_selRec = makeRadio(this, QString(), "RadioButtonSelRec");
    m_oneRec = makeRadio(this, QString(), "RadioButton1Rec");
    m_editMsgId = makeEdit(this, "EditMsgId");
    m_editMsgId->setMinimumWidth(180);
    m_label1 = makeLabel(this, QStringLiteral("MsgId："), m_editMsgId);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_buttonQuery = makeButton(this, kButton.in(true), "ButtonQuery");
    m_buttonQuery->setDefault(true);
    m_buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");
    m_labelBusy = new QLabel(this);
    m_labelBusy->setObjectName(QStringLiteral("LabelBusy"));
    m_labelBusy->hide();
    m_busyTimer.setInterval(250);
    connect(&m_busyTimer, &QTimer::timeout, this, &TFormQuerySMS::showSingleWait);

    auto* msgIdRow = new QHBoxLayout;
    msgIdRow->setContentsMargins(24, 0, 0, 0); // under the radio button it belongs to
    msgIdRow->addWidget(m_label1);
    msgIdRow->addWidget(m_editMsgId, 1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 12);
    column->setSpacing(8);
    // Each choice as wide as its caption: a click beside the caption chooses nothing.
    for (QRadioButton* radio : {m_allRec, m_selRec, m_oneRec})
        column->addWidget(radio, 0, Qt::AlignLeft);
    column->addLayout(msgIdRow);
    column->addWidget(m_labelBusy);
    column->addSpacing(6);
    column->addWidget(makeButtonBox(this, m_buttonQuery, m_buttonCancel));
    // A fixed-size dialog, as large as its longer captions of the mode need.
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_oneRec, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton1RecClick();
    });
    connect(m_selRec, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButtonSelRecClick();
    });
    connect(m_allRec, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButtonAllRecClick();
    });
    connect(m_buttonQuery, &QPushButton::clicked, this, &TFormQuerySMS::ButtonQueryClick);
    connect(m_buttonCancel, &QPushButton::clicked, this, &TFormQuerySMS::ButtonCancelClick);

    setCaptions();
    enableMsgId(false);
}

int TFormQuerySMS::openFor(bool cancelMode) {
    m_cancelMode = cancelMode;
    return prompts().execDialog(this);
}

void TFormQuerySMS::showEvent(QShowEvent* e) {
    // A window restored by the window system is not a new show.
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void TFormQuerySMS::FormShow() {
    setCaptions();
    const bool anySelected = !m_sendLog.chosenRows().isEmpty();
    QRadioButton* scope = anySelected ? m_selRec : m_allRec;
    // Checking a button that is already checked runs no handler; the state of the MsgId must follow anyway.
    scope->setChecked(true);
    enableMsgId(false);
    m_editMsgId->clear();
    scope->setFocus();
}

void TFormQuerySMS::setCaptions() {
    const bool query = queryMode();
    setWindowTitle(kModeTitle.in(query));
    m_oneRec->setText(kOneRec.in(query));
    m_selRec->setText(kSelRec.in(query));
    m_allRec->setText(kAllRec.in(query));
    m_buttonQuery->setText(kButton.in(query));
}

void TFormQuerySMS::enableMsgId(bool enabled) {
    m_label1->setEnabled(enabled);
    m_editMsgId->setEnabled(enabled);
}

void TFormQuerySMS::RadioButton1RecClick() {
    enableMsgId(true);
    m_editMsgId->setFocus();
}

void TFormQuerySMS::RadioButtonSelRecClick() {
    enableMsgId(false);
}

void TFormQuerySMS::RadioButtonAllRecClick() {
    enableMsgId(false);
}

void TFormQuerySMS::ButtonCancelClick() {
    reject();
}

void TFormQuerySMS::reject() {
    if (!m_singleRunning) {
        QDialog::reject();
        return;
    }
    // The wait ends at once; the worker then shows what became of the MsgId and closes the dialog.
    m_jobs.registry().requestStop();
    m_stopping = true;
    m_buttonCancel->setEnabled(false);
    showSingleWait();
}

void TFormQuerySMS::setSingleBusy(bool busy) {
    m_singleRunning = busy;
    m_stopping = false;
    for (QWidget* w :
         {static_cast<QWidget*>(m_allRec), static_cast<QWidget*>(m_selRec), static_cast<QWidget*>(m_oneRec),
          static_cast<QWidget*>(m_editMsgId), static_cast<QWidget*>(m_buttonQuery)})
        w->setEnabled(!busy);
    m_buttonCancel->setText(busy ? QStringLiteral("中斷") : QStringLiteral("取消"));
    m_buttonCancel->setEnabled(true);
    m_labelBusy->setVisible(busy);
    if (busy) {
        setCursor(Qt::BusyCursor);
        m_busyTimer.start();
        showSingleWait();
    } else {
        unsetCursor();
        m_busyTimer.stop();
        m_labelBusy->clear();
        enableMsgId(m_oneRec->isChecked());
    }
}

void TFormQuerySMS::showSingleWait() {
    QString text = m_stopping ? QStringLiteral("正在中斷…")
                              : (queryMode() ? QStringLiteral("正在查詢…") : QStringLiteral("正在取消預約…"));
    const int64_t waited = m_jobs.registry().activity().waitingMs();
    if (!m_stopping && waited >= 1000)
        text += QStringLiteral(" 等待閘道回應 %1 秒").arg(waited / 1000);
    m_labelBusy->setText(text);
}

void TFormQuerySMS::warn(const QString& text) {
    prompts().okBox(this, Prompts::Icon::Warning, windowTitle(), text);
}

bool TFormQuerySMS::checkScope(QByteArray* msgId) {
    const bool query = queryMode();
    QString error;
    if (m_oneRec->isChecked()) {
        if (!ParseSingleMsgId(m_editMsgId->text(), msgId, &error)) {
            warn(error);
            m_editMsgId->setFocus();
            return false;
        }
        return true;
    }
    if (m_selRec->isChecked()) {
        if (m_sendLog.selectedRows().isEmpty()) {
            warn(kNoSelection.in(query));
            return false;
        }
        return true;
    }
    if (m_sendLog.rowCount() == 0) {
        warn(kEmptyLog.in(query));
        return false;
    }
    return true;
}

bool TFormQuerySMS::resolveGateway(GatewayTarget* gateway) {
    QString error;
    if (ResolveGateway(m_config.record(), gateway, &error))
        return true;
    warn(error);
    return false;
}

void TFormQuerySMS::ButtonQueryClick() {
    QByteArray msgId;
    GatewayTarget gateway;
    if (!checkScope(&msgId) || !resolveGateway(&gateway))
        return;
    // The progress window and the worker are one each; the windows that start jobs are locked while one runs,
    // so this is a last guard, checked before anything is hidden or shown.
    if (m_jobs.registry().workerRegistered()) {
        warn(WorkerBusyText());
        return;
    }
    if (m_oneRec->isChecked())
        startSingleJob(gateway, msgId);
    else
        startListJob(gateway, m_allRec->isChecked());
}

// The dialog keeps its modal show under the progress window; the progress window closes it when the
// user confirms the end (closeOwner).
void TFormQuerySMS::startListJob(const GatewayTarget& gateway, bool allRows) {
    if (!queryMode()) {
        const int rows = QueryJob::rowsToAsk(RowsToWalk(m_sendLog, allRows), WorkerMode::Cancel);
        if (rows > 0 && !prompts().confirmIrreversible(this, windowTitle(), CancelQuestion(rows)))
            return;
    }
    const int maximum = allRows ? m_sendLog.rowCount() : int(m_sendLog.selectedRows().size());
    m_jobs.begin(this, maximum, true);
    QString error;
    SendThd* worker = nullptr;
    if (!StartRowJob(m_jobs.registry(), gateway, queryMode() ? WorkerMode::Query : WorkerMode::Cancel, allRows, this,
                     &m_sendLog, &m_sendLog, nullptr, &error, &worker)) {
        m_jobs.abandon();
        warn(error);
        return;
    }
    m_jobs.workerStarted(worker);
}

// A single MsgId shows no progress window: the dialog stays, busy, until the worker answers in a box and
// closes it.
void TFormQuerySMS::startSingleJob(const GatewayTarget& gateway, const QByteArray& msgId) {
    m_jobs.beginQuiet(this);
    QString error;
    SendThd* worker = nullptr;
    if (!StartWorker(m_jobs.registry(),
                     RowJob{queryMode() ? WorkerMode::Query : WorkerMode::Cancel, gateway, this, msgId, false, {}},
                     nullptr, &error, &worker)) {
        m_jobs.end();
        warn(error);
        return;
    }
    m_jobs.workerStarted(worker);
    setSingleBusy(true);
}

void TFormQuerySMS::closeForm() {
    setSingleBusy(false);
    QDialog::reject();
}

bool TFormQuerySMS::continueAfterTransportFailures(int failures, WorkerMode mode) {
    // A list run's progress window stands above the dialog, which is disabled meanwhile.
    QWidget* progress = m_jobs.progressWindow();
    QWidget* over = progress->isVisible() ? progress : static_cast<QWidget*>(this);
    return m_jobs.askWhileRunning(over, windowTitle(), StopRows::continueQuestion(failures, mode));
}

void TFormQuerySMS::showResultBox(const QByteArray& msgId, const QByteArray& text) {
    QWidget* over = this;
    QString lines = fromBig5(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    prompts().okBox(over, Prompts::Icon::Information, fromBig5(msgId), lines);
}

} // namespace norvi
