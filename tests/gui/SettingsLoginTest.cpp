#include "WindowTest.h"

#include "GatewaySimulator.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>

#include <gtest/gtest.h>

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
        options.port = 0;
        options.accounts = {{"tester", "right"}};
        m_sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(m_sim->start(&error)) << error.toStdString();
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
                typeInto(form->findChild<QLineEdit*>(QStringLiteral("EditGWIp")), QStringLiteral("localhost"));
                typeInto(form->findChild<QLineEdit*>(QStringLiteral("EditGWPort")), QString::number(port));
                typeInto(form->findChild<QLineEdit*>(QStringLiteral("EditGWAccount")), QStringLiteral("tester"));
                typeInto(form->findChild<QLineEdit*>(QStringLiteral("EditGWPasswd")), QString::fromLatin1(password));
                click(form, "ButtonLoginTest");
            }
            click(form, "ButtonCancel");
        });
        trigger(mainWindow().findChild<QAction*>(QStringLiteral("MItemTSettings")));
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
    EXPECT_EQ(boxes().first().buttons, ScriptedPrompts::Buttons::Yes);
    EXPECT_EQ(boxes().first().text, QStringLiteral("帳號/密碼檢查成功"));
    // The client was given the resolved address, not the name as typed.
    EXPECT_EQ(GatewayHost, QByteArray("127.0.0.1"));
    ASSERT_FALSE(m_sim->requests().empty());

    EXPECT_EQ(getField(Config.gwIp), QByteArray("localhost"));
    EXPECT_EQ(Config.gwPort, m_sim->port());
    EXPECT_EQ(getField(Config.gwPasswd), QByteArray("right"));
    EXPECT_FALSE(QFile::exists(ConfigPath()));
}

TEST_F(SettingsLogin, FailedTestShowsTheGatewaysOrTheConnectionsTextInAWarning) {
    // Nobody listens on a port that was just given back: the client's own failure text is shown.
    const int closedPort = unusedLoopbackPort();
    ASSERT_GT(closedPort, 0);
    testLogins({{m_sim->port(), "wrong"}, {closedPort, "right"}});
    ASSERT_EQ(boxes().size(), 2);
    EXPECT_EQ(boxes().first().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_EQ(boxes().first().buttons, ScriptedPrompts::Buttons::Yes);
    EXPECT_EQ(boxes().first().text, QStringLiteral("密碼錯誤"));

    EXPECT_EQ(boxes().last().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_FALSE(boxes().last().text.isEmpty());
    EXPECT_NE(boxes().last().text, QStringLiteral("帳號/密碼檢查成功"));
}
