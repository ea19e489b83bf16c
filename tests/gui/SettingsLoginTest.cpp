#include "support/SimulatorWindowTest.h"

#include "core/gateway/GwRecords.h"
#include "core/gateway/LoginTest.h"
#include "gui/settings/TFormSettings.h"
#include "gui/workers/JobSupervisor.h"
#include "support/FileBytes.h"
#include "support/RawTcpServer.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace norvi;
using namespace norvi::test;

namespace {

// 連線測試 in the settings dialog of the window set, against the simulator.
class SettingsLogin : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gwsim::SimOptions options;
        options.accounts = {{"tester", "right"}};
        m_sim = startedSimulator(options);
        startWindows();
        m_prompts.asked.clear();
    }
    void TearDown() override {
        WindowTest::TearDown();
        m_sim.reset();
    }

    // Types the gateway page: the address, the port, the simulator's account and `password`.
    static void typeGateway(QDialog* form, const char* address, int port, const char* password = "right") {
        typeInto(findControl<QLineEdit>(form, "EditGWIp"), QString::fromLatin1(address));
        typeInto(findControl<QLineEdit>(form, "EditGWPort"), QString::number(port));
        typeInto(findControl<QLineEdit>(form, "EditGWAccount"), QStringLiteral("tester"));
        typeInto(findControl<QLineEdit>(form, "EditGWPasswd"), QString::fromLatin1(password));
    }
    // Opens the settings, runs one connection test per port and password, and leaves with 取消.
    void testLogins(const QList<QPair<int, const char*>>& tries) {
        m_prompts.dialogHandlers.push_back([tries](QDialog* form) {
            for (const auto& [port, password] : tries) {
                typeGateway(form, "localhost", port, password);
                click(form, "ButtonLoginTest");
                // The test runs on its own thread; the window goes on handling events meanwhile.
                auto* settings = static_cast<TFormSettings*>(form);
                EXPECT_TRUE(QTest::qWaitFor([settings] { return !settings->loginTestRunning(); }, 20000));
            }
            click(form, "ButtonCancel");
        });
        trigger(menuItem("MItemTSettings"));
    }
    QList<ScriptedPrompts::Asked> boxes() const {
        QList<ScriptedPrompts::Asked> out;
        for (const auto& a : m_prompts.asked)
            if (a.kind == QLatin1String("message"))
                out << a;
        return out;
    }

    std::unique_ptr<gwsim::GatewaySimulator> m_sim;
};

} // namespace

TEST_F(SettingsLogin, SuccessfulTestKeepsTheValuesInMemoryButNotInTheFile) {
    testLogins({{m_sim->port(), "right"}});
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_EQ(boxes().first().icon, ScriptedPrompts::Icon::Information);
    EXPECT_EQ(boxes().first().buttons, ScriptedPrompts::Buttons::Ok);
    EXPECT_EQ(boxes().first().text, QStringLiteral("帳號/密碼檢查成功"));
    // The name was looked up on the test's thread: the client reached the simulator on 127.0.0.1.
    ASSERT_FALSE(m_sim->requests().empty());

    const sConfig& kept = config().record();
    EXPECT_EQ(getField(kept.gwIp), QByteArray("localhost"));
    EXPECT_EQ(kept.gwPort, m_sim->port());
    EXPECT_EQ(getField(kept.gwPasswd), QByteArray("right"));
    EXPECT_FALSE(QFile::exists(configPath()));
}

// The settings are one for the whole program: what a connection test collected, and 取消 left in memory,
// is what the next job logs in with, while the file keeps what it held.
TEST_F(SettingsLogin, AJobAfterATestAndCancelLogsInWithTheTestedSettings) {
    const ClosedPort closed;
    writeConfig(m_dir.path(), "127.0.0.1", closed.port(), "tester", "wrong");
    const QByteArray stored = readAll(configPath());
    ASSERT_EQ(stored.size(), 328);
    startWindows();
    m_prompts.asked.clear();
    testLogins({{m_sim->port(), "right"}});
    ASSERT_EQ(requestsOf(*m_sim, {GwQuery}), 0);

    m_prompts.dialogHandlers.push_back([](QDialog* dialog) {
        click(findControl<QRadioButton>(dialog, "RadioButton1Rec"));
        typeInto(findControl<QLineEdit>(dialog, "EditMsgId"), QStringLiteral("A1"));
        keyClick(findControl<QLineEdit>(dialog, "EditMsgId"), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 20000));
    });
    trigger(menuItem("MItemTQuerySMS"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().workerRunning(); }, 20000));
    EXPECT_EQ(requestsOf(*m_sim, {GwQuery}), 1) << "the query logged in at the tested port with the tested password";
    ASSERT_FALSE(boxes().isEmpty());
    EXPECT_EQ(boxes().last().title, QStringLiteral("A1"));
    EXPECT_EQ(readAll(configPath()), stored);
}

TEST_F(SettingsLogin, FailedTestShowsTheGatewaysOrTheConnectionsTextInAWarning) {
    // Nobody listens on the closed port: the client's own failure text is shown.
    const ClosedPort closed;
    testLogins({{m_sim->port(), "wrong"}, {closed.port(), "right"}});
    ASSERT_EQ(boxes().size(), 2);
    EXPECT_EQ(boxes().first().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_EQ(boxes().first().buttons, ScriptedPrompts::Buttons::Ok);
    EXPECT_EQ(boxes().first().text, QStringLiteral("密碼錯誤"));

    EXPECT_EQ(boxes().last().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_FALSE(boxes().last().text.isEmpty());
    EXPECT_NE(boxes().last().text, QStringLiteral("帳號/密碼檢查成功"));
}

// A gateway that accepts the connection and never answers: the window stays usable (its tabs switch), shows a
// busy cursor and a line with the seconds waited, and 取消測試 ends the test at once without a box.
TEST_F(SettingsLogin, TestOfASilentGatewayWaitsVisiblyKeepsTheWindowUsableAndCanBeCancelled) {
    m_sim->setSilentAfter(0);
    m_prompts.dialogHandlers.push_back([this](QDialog* form) {
        auto* settings = static_cast<TFormSettings*>(form);
        typeGateway(form, "127.0.0.1", m_sim->port());
        auto* button = findControl<QPushButton>(form, "ButtonLoginTest");
        auto* line = findControl<QLabel>(form, "LabelLoginTest");
        click(button);
        EXPECT_TRUE(settings->loginTestRunning());
        EXPECT_EQ(button->text(), QStringLiteral("取消測試"));
        EXPECT_EQ(form->cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(
            QTest::qWaitFor([line] { return line->text().contains(QStringLiteral("等待閘道回應 1 秒")); }, 10000))
            << line->text().toStdString();
        auto* pages = findControl<QTabWidget>(form, "PageControlSetup");
        QTabBar* tabs = pages->tabBar();
        clickAt(tabs, tabs->tabRect(0).center()); // 目錄設定 while the test waits
        EXPECT_EQ(pages->currentIndex(), 0);
        EXPECT_TRUE(settings->loginTestRunning());
        clickAt(tabs, tabs->tabRect(1).center());
        EXPECT_EQ(pages->currentIndex(), 1);
        click(button);
        // Well inside the 30 s reply wait: a cancel that left the wait to run out fails here.
        EXPECT_TRUE(QTest::qWaitFor([settings] { return !settings->loginTestRunning(); }, 10000));
        EXPECT_EQ(line->text(), QStringLiteral("連線測試已取消"));
        EXPECT_EQ(button->text(), QStringLiteral("連線測試"));
        EXPECT_NE(form->cursor().shape(), Qt::BusyCursor);
        click(form, "ButtonCancel");
    });
    trigger(menuItem("MItemTSettings"));
    EXPECT_TRUE(boxes().isEmpty()) << "a cancelled test shows no box";
}

// The test is a job of the supervisor: the main window's commands are locked while it waits, and a stop
// asked there (結束, a signal) ends it; whatever waits for the job's end (the program's end) runs only then.
TEST_F(SettingsLogin, TestIsAJobThatTheSupervisorStopsAndWaitsFor) {
    m_sim->setSilentAfter(0);
    JobSupervisor& jobs = m_windows->jobs();
    m_prompts.dialogHandlers.push_back([this, &jobs](QDialog* form) {
        auto* settings = static_cast<TFormSettings*>(form);
        typeGateway(form, "127.0.0.1", m_sim->port());
        click(form, "ButtonLoginTest");
        ASSERT_TRUE(settings->loginTestRunning());
        EXPECT_TRUE(jobs.jobRunning());
        EXPECT_FALSE(mainWindow().findChild<QAction*>(QStringLiteral("MItemTSettings"))->isEnabled());
        bool jobGone = false;
        jobs.whenJobGone([&jobGone] { jobGone = true; });
        QCoreApplication::processEvents();
        EXPECT_FALSE(jobGone) << "the end of a job that still waits was announced";
        jobs.requestStop();
        EXPECT_TRUE(QTest::qWaitFor([&jobGone] { return jobGone; }, 5000));
        EXPECT_FALSE(settings->loginTestRunning());
        EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("LabelLoginTest"))->text(), QStringLiteral("連線測試已取消"));
        EXPECT_FALSE(jobs.busy());
        click(form, "ButtonCancel");
    });
    trigger(mainWindow().findChild<QAction*>(QStringLiteral("MItemTSettings")));
    EXPECT_TRUE(boxes().isEmpty()) << "a stopped test shows no box";
}

// A test that runs into the reply wait says so in plain words as well as the technical text.
TEST_F(SettingsLogin, TimedOutTestSaysTheGatewayDidNotAnswer) {
    m_sim->setSilentAfter(0);
    QByteArray text;
    sConfig settings{};
    settings.gwPort = m_sim->port();
    EXPECT_FALSE(RunLoginTest(TargetFor(settings, "127.0.0.1"), &text, 1));
    EXPECT_EQ(fromBig5(text), QStringLiteral("閘道沒有回應（Recv()逾時）"));
}
