#pragma once

#include "core/sendlog/DesktopJournal.h"

namespace norvi {

class TFormMain;

// The desktop program's journal of unsaved rows, from the start to the end of the program: every send
// run records its rows in it, and rows a program left behind (a crash, a kill, a log-out) are offered
// back at the start and loaded as an unsaved send log.
class UnsavedRows {
public:
    explicit UnsavedRows(TFormMain& main);
    ~UnsavedRows();
    UnsavedRows(const UnsavedRows&) = delete;
    UnsavedRows& operator=(const UnsavedRows&) = delete;

    // After the main window's first show: asks about journals left behind ("上次未儲存的發訊紀錄…要載入？").
    // Yes loads their rows into the send log, unsaved; No keeps them as a ".log" in the log folder.
    void offerLeftBehind();

    DesktopJournal& journal() { return m_journal; }

private:
    TFormMain& m_main;
    DesktopJournal m_journal;
};

} // namespace norvi
