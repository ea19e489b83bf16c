#pragma once

#include "core/sendlog/DesktopJournal.h"

namespace norvi {

class Config;
class JobRegistry;
class TFormMain;

// The desktop program's journal of unsaved rows, from the start to the end of the program: every send
// run records its rows in it, every answer a list job gives a row of the main window's list is recorded
// beside them, and rows a program left behind (a crash, a kill, a log-out) are offered
// back at the start and loaded as an unsaved send log.
class UnsavedRows {
public:
    // The journal lives in `config`'s start folder; rows not wanted back are kept in its log folder. The send
    // runs `jobs` starts record their rows in it while it lives.
    UnsavedRows(TFormMain& main, const Config& config, JobRegistry& jobs);
    ~UnsavedRows();
    UnsavedRows(const UnsavedRows&) = delete;
    UnsavedRows& operator=(const UnsavedRows&) = delete;

    // After the main window's first show: asks about journals left behind ("上次未儲存的發訊紀錄…要載入？").
    // Yes loads their rows into the send log, unsaved; No keeps them as a ".log" in the log folder. Either
    // way a run they interrupted gets a row for each message it never reached, and the message area says so.
    void offerLeftBehind();

    DesktopJournal& journal() { return m_journal; }

private:
    void noteUnreached(const UnreachedRows& added);

    TFormMain& m_main;
    const Config& m_config;
    JobRegistry& m_jobs;
    DesktopJournal m_journal;
};

} // namespace norvi
