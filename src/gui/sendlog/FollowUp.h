#pragma once

#include "core/workers/FollowUpRound.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

class QLabel;
class QStatusBar;
class QToolButton;

namespace norvi {

class Config;
class JobSupervisor;
class SendLogModel;

// 追蹤傳送結果: the rows whose answer is not final yet are queried again every few minutes, in the
// background, until every one is final or the time is up. A round runs only while no job of the user's
// does; a job the user starts makes it yield after the exchange in flight and the follow-up resumes when
// the job is over. Nothing here ever asks a question: the status bar says what it does, and its button
// stops it.
class FollowUp : public QObject {
    Q_OBJECT
public:
    struct Plan {
        int everyMinutes = 5;
        int forHours = 24;
    };
    static constexpr int kMinEvery = 1, kMaxEvery = 60, kMinFor = 1, kMaxFor = 72;

    // Each round logs in as `config` stands when the round starts.
    FollowUp(SendLogModel& model, JobSupervisor& jobs, const Config& config, QStatusBar& bar);
    ~FollowUp() override;

    // Starts following up (a running follow-up takes the new plan); the first round comes as soon as no
    // job runs.
    void start(const Plan& plan);
    // Starts following up once the job that is starting now is over, unless the user stops it (中斷).
    void startAfterJob(const Plan& plan);
    // Ends the follow-up without a question; `why` closes the status text. A round in flight yields.
    void stop(const QString& why);
    bool active() const { return m_active; }
    const Plan& plan() const { return m_plan; }
    // Rows still to be settled, as of the last count.
    int unsettled() const { return m_unsettled; }
    QString statusText() const;

    // The round in flight yields and is waited for (at most its exchange out, within the stop's grace);
    // every answer it got is in the rows on return. Before a job of the user's starts and before the
    // program ends.
    void yieldRound();
    // No round starts while held (the program asks whether to save before it ends); the rounds owed come
    // when released.
    void hold(bool held);

    // How long a follow-up minute lasts: 60 000 ms, or NORVI_FOLLOWUP_MINUTE_MS (tests shorten it).
    static int minuteMs();

signals:
    void statusChanged(const QString& text);

private:
    void roundDue();
    void startRound();
    void roundEnded();
    void applyAnswer(quint64 rowId, const QByteArray& code, const QByteArray& result);
    // The rows a round asks about now; counts them.
    std::vector<FollowUpRound::Ask> unsettledRows();
    void showStatus(const QString& text);
    void record(const QString& line);

    SendLogModel& m_model;
    JobSupervisor& m_jobs;
    const Config& m_config;
    QLabel* m_label;
    QToolButton* m_stopButton;
    Plan m_plan;
    bool m_active = false;
    bool m_due = false;   // a round is owed as soon as no job runs
    bool m_armed = false; // start when the job now running is over
    bool m_held = false;
    int m_unsettled = 0;
    QElapsedTimer m_since; // from the start of the follow-up
    QTimer m_next;
    QString m_nextAt; // HH:MM of the next round
    QPointer<FollowUpRound> m_round;
};

} // namespace norvi
