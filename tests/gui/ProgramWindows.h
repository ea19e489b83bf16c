#pragma once

#include "support/WindowTest.h"

#include "core/workers/DeliveryClass.h"
#include "gui/WindowSet.h"
#include "gui/addressbook/TFormGroup.h"
#include "gui/addressbook/TFormMember.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/compose/TFormOptOut.h"
#include "gui/compose/TFormSendSummary.h"
#include "gui/exchange/TFormChMapping.h"
#include "gui/sendlog/FollowUp.h"
#include "gui/sendlog/TFormAbout.h"
#include "gui/sendlog/TFormFollowUp.h"
#include "gui/sendlog/TFormResults.h"
#include "gui/sendlog/TFormShowMsg.h"
#include "gui/shared/TFormSelectDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include <functional>
#include <ostream>
#include <vector>

namespace norvi::test {

// Every window of the program, how it gets on screen, and the buttons Return and Esc stand for in it. The
// tests of sizes and of the keyboard run over all of them: a new window joins them by one line here.
struct ProgramWindow {
    const char* name;
    std::function<QWidget*(WindowSet& windows)> open;
    const char* defaultButton = nullptr; // what Return presses outside a multi-line text; none: no default
    const char* cancelButton = nullptr;  // what Esc does, and what Return does on it; none: no 取消
};

inline void PrintTo(const ProgramWindow& window, std::ostream* out) {
    *out << window.name;
}

namespace windows_made {

template <typename T> QWidget* child(QWidget* parent) {
    return parent->findChild<T*>();
}

// Windows made for one use are the main window's, like the dialogs the program makes, and go when closed.
template <typename T, typename... Args> QWidget* made(WindowSet& windows, Args&&... args) {
    auto* window = new T(std::forward<Args>(args)..., &windows.main());
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

} // namespace windows_made

inline const std::vector<ProgramWindow>& programWindows() {
    using namespace windows_made;
    static const std::vector<ProgramWindow> all = {
        {"TFormMain", [](WindowSet& w) -> QWidget* { return &w.main(); }},
        {"TFormSettings", [](WindowSet& w) -> QWidget* { return &w.settings(); }, "ButtonOk", "ButtonCancel"},
        {"TFormSendSMS", [](WindowSet& w) -> QWidget* { return &w.sendSMS(); }, "ButtonSend", "ButtonCancel"},
        {"TFormQuerySMS", [](WindowSet& w) -> QWidget* { return &w.querySMS(); }, "ButtonQuery", "ButtonCancel"},
        {"TFormAdrBk", [](WindowSet& w) { return child<TFormAdrBk>(&w.main()); }},
        {"TFormFileType", [](WindowSet& w) -> QWidget* { return &w.fileType(); }, "ButtonIO", "ButtonCancel"},
        {"TFormFileIO", [](WindowSet& w) { return child<TFormFileIO>(&w.fileType()); }, "ButtonNextDone",
         "ButtonCancel"},
        {"TFormShowProcess", [](WindowSet& w) -> QWidget* { return &w.showProcess(); }},
        {"TFormSelectDir", [](WindowSet& w) { return made<TFormSelectDir>(w); }, "ButtonOk", "ButtonCancel"},
        {"TFormMember", [](WindowSet& w) { return made<TFormMember>(w, w.book()); }, "ButtonOk", "ButtonCancel"},
        {"TFormGroup", [](WindowSet& w) { return made<TFormGroup>(w, w.book()); }, "ButtonOk", "ButtonCancel"},
        {"TFormSelectMember", [](WindowSet& w) { return made<TFormSelectMember>(w, w.book()); }, "ButtonOk",
         "ButtonCancel"},
        {"TFormChMapping",
         [](WindowSet& w) {
             auto* mapping = new TFormChMapping(&w.main(), QStringLiteral("行動電話"), 2, true);
             mapping->setAttribute(Qt::WA_DeleteOnClose);
             return mapping;
         },
         "ButtonOk", "ButtonCancel"},
        {"TFormAbout", [](WindowSet& w) { return made<TFormAbout>(w); }, "OKButton"},
        {"TFormShowMsg", [](WindowSet& w) { return made<TFormShowMsg>(w); }, "ButtonClose"},
        {"TFormFollowUp", [](WindowSet& w) { return made<TFormFollowUp>(w, w.main().followUp().plan(), false); },
         "ButtonStart", "ButtonCancel"},
        {"TFormResults",
         [](WindowSet& w) {
             return made<TFormResults>(w, DeliveryCounts(), QStringLiteral("全部 0 筆紀錄"), QString());
         },
         "ButtonClose", "ButtonClose"},
        // At night, so that the box shows a line with choices beside its counts.
        {"TFormSendSummary",
         [](WindowSet& w) {
             SendQueueResult queued;
             queued.recipients = 3;
             queued.totalCount = 3;
             const SendSummary summary =
                 SummarizeSend(queued, SummarySchedule(), QuietHours(), QDateTime(QDate(2026, 12, 10), QTime(23, 30)));
             return made<TFormSendSummary>(w, summary, SummaryShown::Always);
         },
         "ButtonSend", "ButtonCancel"},
        {"TFormOptOut", [](WindowSet& w) { return made<TFormOptOut>(w, w.config()); }, "ButtonAdd", "ButtonClose"},
    };
    return all;
}

// A test run in each window of the program in turn, with the settings of a program that may send.
class ProgramWindowTest : public WindowTest, public ::testing::WithParamInterface<ProgramWindow> {
protected:
    // Starts the program's windows and puts the window of the case on screen (not modally: the test goes on).
    QWidget* open() {
        writeConfig(path("logs"));
        QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
        WindowSet& windows = startWindows();
        QWidget* window = GetParam().open(windows);
        EXPECT_NE(window, nullptr) << "no window " << GetParam().name;
        if (window && !window->isVisible())
            window->show();
        settle();
        return window;
    }

    // Lets the window's layouts and the window system settle.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
};

} // namespace norvi::test
