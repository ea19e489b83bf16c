#include "core/ProcessState.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#ifdef NORVI_GUI_TEST_MAIN
#include <QApplication>
#endif

namespace {

// Every case starts from the state the program starts with, whatever the case before it left behind.
class ProcessStateReset : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { norvi::ResetProcessState(); }
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
