#include "core/ProcessState.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#ifdef NORVI_GUI_TEST_MAIN
#include <QApplication>
#endif

namespace {

// Every case starts from the state the program starts with, whatever the case before it left behind. Calls
// a case queued for this thread and never ran (a message line bound for the message area) run now, with no
// sink to reach: left queued, they would run in the next case that waits on events, into its sink. A
// sanitizer run takes many cases in one process.
class ProcessStateReset : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        norvi::ResetProcessState();
        QCoreApplication::sendPostedEvents();
    }
};

} // namespace

// Tests need an application object: the workers post events and run calls on this thread.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef NORVI_GUI_TEST_MAIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateReset);
    return RUN_ALL_TESTS();
}
