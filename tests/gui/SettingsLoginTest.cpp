#include "support/SimulatorWindowTest.h"

#include "core/gateway/GwRecords.h"
#include "core/gateway/LoginTest.h"
#include "gui/settings/TFormSettings.h"
#include "gui/workers/JobSupervisor.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace norvi;
using namespace norvi::test;

namespace {

int unusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

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

    // Opens the settings, runs one connection test per port and password, and leaves with 取消.
    void testLogins(const QList<QPair<int, const char*>>& tries) {
        m_prompts.dialogHandlers.push_back([tries](QDialog* form) {
            for (const auto& [port, password] : tries) {
                typeInto(findControl<QLineEdit>(form, "EditGWIp"), QStringLiteral("localhost"));
                typeInto(findControl<QLineEdit>(form, "EditGWPort"), QString::number(port));
                typeInto(findControl<QLineEdit>(form, "EditGWAccount"), QStringLiteral("tester"));
                typeInto(findControl<QLineEdit>(form, "EditGWPasswd"), QString::fromLatin1(password));
                click(form, "ButtonLoginTest");
                // The test runs on its own thread; the window goes on handling events meanwhile.
                auto* settings = static_cast<TFormSettings*>(form);
                EXPECT_TRUE(QTest::qWaitFor([settings] { return !settings->loginTestRunning(); }, 20000));
            }
            click(form, "ButtonCancel");
        });
        trigger(menuItem("MItemTSettings"));
    }
    // The simulator's address, port and account in the gateway page.
    void typeSimulatorAccount(QDialog* form) {
        const QString values[] = {QStringLiteral("127.0.0.1"), QString::number(m_sim->port()), QStringLiteral("tester"),
                                  QStringLiteral("right")};
        const char* const names[] = {"EditGWIp", "EditGWPort", "EditGWAccount", "EditGWPasswd"};
        for (int i = 0; i < 4; ++i)
            typeInto(form->findChild<QLineEdit*>(QString::fromLatin1(names[i])), values[i]);
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
    writeConfig(m_dir.path(), "127.0.0.1", unusedLoopbackPort(), "tester", "wrong");
    QFile file(configPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    file.close();
    startWindows();
    m_prompts.asked.clear();
    testLogins({{m_sim->port(), "right"}});
    const auto queries = [this] {
        const std::vector<sGwRequest> requests = m_sim->requests();
        return std::count_if(requests.begin(), requests.end(),
                             [](const sGwRequest& r) { return r.msg_type == GwQuery; });
    };
    ASSERT_EQ(queries(), 0);

    m_prompts.dialogHandlers.push_back([](QDialog* dialog) {
        click(findControl<QRadioButton>(dialog, "RadioButton1Rec"));
        typeInto(findControl<QLineEdit>(dialog, "EditMsgId"), QStringLiteral("A1"));
        keyClick(findControl<QLineEdit>(dialog, "EditMsgId"), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 20000));
    });
    trigger(menuItem("MItemTQuerySMS"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().workerRunning(); }, 20000));
    EXPECT_EQ(queries(), 1) << "the query logged in at the tested port with the tested password";
    ASSERT_FALSE(boxes().isEmpty());
    EXPECT_EQ(boxes().last().title, QStringLiteral("A1"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), stored);
}

TEST_F(SettingsLogin, FailedTestShowsTheGatewaysOrTheConnectionsTextInAWarning) {
    // Nobody listens on a port that was just given back: the client's own failure text is shown.
    const int closedPort = unusedLoopbackPort();
    ASSERT_GT(closedPort, 0);
    testLogins({{m_sim->port(), "wrong"}, {closedPort, "right"}});
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
    QElapsedTimer cancelled;
    m_prompts.dialogHandlers.push_back([this, &cancelled](QDialog* form) {
        auto* settings = static_cast<TFormSettings*>(form);
        typeInto(findControl<QLineEdit>(form, "EditGWIp"), QStringLiteral("127.0.0.1"));
        typeInto(findControl<QLineEdit>(form, "EditGWPort"), QString::number(m_sim->port()));
        typeInto(findControl<QLineEdit>(form, "EditGWAccount"), QStringLiteral("tester"));
        typeInto(findControl<QLineEdit>(form, "EditGWPasswd"), QStringLiteral("right"));
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
        cancelled.start();
        click(button);
        EXPECT_TRUE(QTest::qWaitFor([settings] { return !settings->loginTestRunning(); }, 10000));
        EXPECT_EQ(line->text(), QStringLiteral("連線測試已取消"));
        EXPECT_EQ(button->text(), QStringLiteral("連線測試"));
        EXPECT_NE(form->cursor().shape(), Qt::BusyCursor);
        click(form, "ButtonCancel");
    });
    trigger(menuItem("MItemTSettings"));
    EXPECT_LT(cancelled.elapsed(), 5000);
    EXPECT_TRUE(boxes().isEmpty()) << "a cancelled test shows no box";
}

// The test is a job of the supervisor: the main window's commands are locked while it waits, and a stop
// asked there (結束, a signal) ends it; whatever waits for the job's end (the program's end) runs only then.
TEST_F(SettingsLogin, TestIsAJobThatTheSupervisorStopsAndWaitsFor) {
    m_sim->setSilentAfter(0);
    JobSupervisor& jobs = m_windows->jobs();
    m_prompts.dialogHandlers.push_back([this, &jobs](QDialog* form) {
        auto* settings = static_cast<TFormSettings*>(form);
        typeSimulatorAccount(form);
        click(form, "ButtonLoginTest");
        ASSERT_TRUE(settings->loginTestRunning());
        EXPECT_TRUE(jobs.jobRunning());
        EXPECT_FALSE(mainWindow().findChild<QAction*>(QStringLiteral("MItemTSettings"))->isEnabled());
        bool jobGone = false;
        jobs.whenJobGone([&jobGone] { jobGone = true; });
        QTest::qWait(200);
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
