#pragma once

#include "workers/JobOwner.h"

#include <cstdint>

namespace norvi {

class TFormMain;

// The jobs started from the send log's pop-up menu: query and cancel the listed messages and resend
// the failed ones. It fills the main window's hooks and stands as the worker's owner window (the send
// log, never the send dialog: every resent message goes at once and without a limit).
class MainWindowJobs : public JobOwner {
public:
    explicit MainWindowJobs(TFormMain& main);
    ~MainWindowJobs() override;

    // JobOwner
    bool isSendDialog() const override { return false; }
    void closeForm() override {}
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;

private:
    // Reached through the main window's pop-up items.
    void PMItemLvQuerySMSClick() { startRowJob(1); }
    void PMItemLvCancelSMSClick() { startRowJob(2); }
    void PMItemLvRSendSMSClick();

    void startRowJob(uint8_t mode);
    bool refuseWhileBusy();
    bool resolveGateway();

    TFormMain& m_main;
};

} // namespace norvi
