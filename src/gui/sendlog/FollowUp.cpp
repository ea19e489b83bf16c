#include "gui/sendlog/FollowUp.h"

#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "gui/workers/JobSupervisor.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace norvi {

FollowUp::FollowUp(SendLogModel& model, JobSupervisor& jobs, const Config& config, QStatusBar& bar)
    : QObject(&bar), m_model(model), m_jobs(jobs), m_config(config), m_label(new QLabel(&bar)),
      m_stopButton(new QToolButton(&bar)) {
    m_label->setObjectName(QStringLiteral("FollowUpStatus"));
    m_stopButton->setObjectName(QStringLiteral("ButtonFollowUpStop"));
    m_stopButton->setText(QStringLiteral("停止追蹤"));
    m_stopButton->setAccessibleName(m_stopButton->text());
    m_label->hide();
    m_stopButton->hide();
    bar.addPermanentWidget(m_label);
    bar.addPermanentWidget(m_stopButton);
    connect(m_stopButton, &QToolButton::clicked, this, [this] { stop(QStringLiteral("已停止")); });

    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &FollowUp::roundDue);
    connect(&m_jobs, &JobSupervisor::busyChanged, this, [this](bool busy) {
        if (busy)
            return;
        if (m_armed)
            start(m_plan);
        else if (m_due)
            roundDue();
    });
    // 中斷 on a job's progress window stops everything the user set going, this too.
    connect(&m_jobs, &JobSupervisor::stopRequested, this, [this] { stop(QStringLiteral("已中斷")); });
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_model.rowCount() == 0)
            stop(QStringLiteral("紀錄已清除"));
    });
    m_jobs.setBeforeJob([this] { yieldRound(); });
}

FollowUp::~FollowUp() {
    m_jobs.setBeforeJob(nullptr);
    delete m_round.data(); // yields at once and waits for its thread
}

int FollowUp::minuteMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("NORVI_FOLLOWUP_MINUTE_MS", &ok);
    return ok && ms > 0 ? ms : 60 * 1000;
}

void FollowUp::start(const Plan& plan) {
    m_plan = plan;
    m_armed = false;
    if (!m_active) {
        m_active = true;
        m_since.start();
        record(QStringLiteral("追蹤傳送結果開始：每 %1 分鐘，%2 小時後停止").arg(plan.everyMinutes).arg(plan.forHours));
    }
    m_stopButton->show();
    m_next.stop();
    roundDue();
}

void FollowUp::startAfterJob(const Plan& plan) {
    m_plan = plan;
    m_armed = true;
}

void FollowUp::stop(const QString& why) {
    m_armed = false;
    if (!m_active)
        return;
    m_active = false;
    m_due = false;
    m_next.stop();
    yieldRound();
    unsettledRows();
    m_stopButton->hide();
    showStatus(QStringLiteral("追蹤結束：%1 筆未確定（%2）").arg(m_unsettled).arg(why));
    record(statusText());
}

QString FollowUp::statusText() const {
    return m_label->text();
}

void FollowUp::yieldRound() {
    if (!m_round)
        return;
    m_round->yieldNow();
    m_round->wait();
    // The answers and the end it sent are queued for this object: they land now, before whatever asked.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void FollowUp::hold(bool held) {
    m_held = held;
    if (!held && m_due)
        QTimer::singleShot(0, this, &FollowUp::roundDue);
}

void FollowUp::roundDue() {
    if (!m_active || m_round)
        return;
    if (m_since.elapsed() >= qint64(m_plan.forHours) * 60 * minuteMs()) {
        stop(QStringLiteral("已達 %1 小時").arg(m_plan.forHours));
        return;
    }
    if (m_jobs.busy() || m_held) {
        m_due = true;
        showStatus(QStringLiteral("追蹤中：%1 筆未確定，等待作業結束").arg(m_unsettled));
        return;
    }
    m_due = false;
    startRound();
}

void FollowUp::startRound() {
    std::vector<FollowUpRound::Ask> asks = unsettledRows();
    if (asks.empty()) {
        stop(QStringLiteral("全部確定"));
        return;
    }
    GatewayTarget gateway;
    QString error;
    if (!ResolveGateway(m_config.record(), &gateway, &error)) {
        // The next round tries again: a name that does not resolve now may resolve later.
        record(error);
        roundEnded();
        return;
    }
    m_round = new FollowUpRound(gateway, std::move(asks));
    connect(m_round, &FollowUpRound::answered, this, &FollowUp::applyAnswer);
    connect(m_round, &FollowUpRound::reported, this, [](const QByteArray& line) { ShowMsgLine(line); });
    connect(m_round, &FollowUpRound::loginRefused, this, [this](const QString& reason) { stop(reason); });
    connect(m_round, &QThread::finished, this, &FollowUp::roundEnded);
    showStatus(QStringLiteral("追蹤中：%1 筆未確定，查詢中…").arg(m_unsettled));
    m_round->start();
}

void FollowUp::roundEnded() {
    bool yielded = false;
    m_model.answersDone();
    if (m_round) {
        yielded = m_round->yielded();
        m_round->deleteLater();
        m_round = nullptr;
    }
    if (!m_active)
        return;
    unsettledRows();
    if (m_unsettled == 0) {
        stop(QStringLiteral("全部確定"));
        return;
    }
    if (yielded) {
        // A job of the user's took the gateway: the rest of the round comes once it is over.
        m_due = true;
        QTimer::singleShot(0, this, &FollowUp::roundDue);
        return;
    }
    const int interval = m_plan.everyMinutes * minuteMs();
    m_next.start(interval);
    m_nextAt = Clock::now().addMSecs(interval).toString(QStringLiteral("HH:mm"));
    showStatus(QStringLiteral("追蹤中：%1 筆未確定，下次 %2").arg(m_unsettled).arg(m_nextAt));
}

void FollowUp::applyAnswer(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    const int position = m_model.positionOf(rowId);
    if (position < 0)
        return; // the user deleted the row meanwhile
    m_model.setAnswer(position, code, result);
}

std::vector<FollowUpRound::Ask> FollowUp::unsettledRows() {
    std::vector<FollowUpRound::Ask> asks = FollowUpRound::unsettledRows(m_model);
    m_unsettled = int(asks.size());
    return asks;
}

void FollowUp::showStatus(const QString& text) {
    m_label->setText(text);
    m_label->show();
    emit statusChanged(text);
}

void FollowUp::record(const QString& line) {
    const QByteArray text = big5(line);
    WriteOpLog(text);
    ShowMsgLine(text);
}

} // namespace norvi
