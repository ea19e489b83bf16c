#include "ScriptedPrompts.h"

#include "GatewaySimulator.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/TFormSettings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace norvi;
using norvi::test::ScriptedPrompts;

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

class SettingsLogin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedStartDir = StartDir;
        StartDir = m_dir.path();
        Config = sConfig{};
        gwsim::SimOptions options;
        options.port = 0;
        options.accounts = {{"tester", "right"}};
        m_sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(m_sim->start(&error)) << error.toStdString();
        m_form.show();
    }
    void TearDown() override {
        m_sim.reset();
        StartDir = m_savedStartDir;
        Config = sConfig{};
        GatewayHost.clear();
    }

    void testLogin(int port, const char* password) {
        m_form.findChild<QLineEdit*>(QStringLiteral("EditGWIp"))->setText(QStringLiteral("localhost"));
        m_form.findChild<QLineEdit*>(QStringLiteral("EditGWPort"))->setText(QString::number(port));
        m_form.findChild<QLineEdit*>(QStringLiteral("EditGWAccount"))->setText(QStringLiteral("tester"));
        m_form.findChild<QLineEdit*>(QStringLiteral("EditGWPasswd"))->setText(QString::fromLatin1(password));
        m_form.findChild<QPushButton*>(QStringLiteral("ButtonLoginTest"))->click();
    }

    ScriptedPrompts m_prompts;
    QTemporaryDir m_dir;
    QString m_savedStartDir;
    std::unique_ptr<gwsim::GatewaySimulator> m_sim;
    TFormSettings m_form;
};

} // namespace

TEST_F(SettingsLogin, SuccessfulTestKeepsTheValuesInMemoryButNotInTheFile) {
    testLogin(m_sim->port(), "right");
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked.first().icon, ScriptedPrompts::Icon::Information);
    EXPECT_EQ(m_prompts.asked.first().buttons, ScriptedPrompts::Buttons::Yes);
    EXPECT_EQ(m_prompts.asked.first().text, QString::fromUtf8("帳號/密碼檢查成功"));
    // The client was given the resolved address, not the name as typed.
    EXPECT_EQ(GatewayHost, QByteArray("127.0.0.1"));
    ASSERT_FALSE(m_sim->requests().empty());

    m_form.findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
    EXPECT_EQ(getField(Config.gwIp), QByteArray("localhost"));
    EXPECT_EQ(Config.gwPort, m_sim->port());
    EXPECT_EQ(getField(Config.gwPasswd), QByteArray("right"));
    EXPECT_FALSE(QFile::exists(ConfigPath()));
}

TEST_F(SettingsLogin, FailedTestShowsTheGatewaysOrTheConnectionsTextInAWarning) {
    testLogin(m_sim->port(), "wrong");
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked.first().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_EQ(m_prompts.asked.first().buttons, ScriptedPrompts::Buttons::Yes);
    EXPECT_EQ(m_prompts.asked.first().text, QString::fromUtf8("密碼錯誤"));

    // Nobody listens on a port that was just given back: the client's own failure text is shown.
    const int closedPort = unusedLoopbackPort();
    ASSERT_GT(closedPort, 0);
    testLogin(closedPort, "right");
    ASSERT_EQ(m_prompts.asked.size(), 2);
    EXPECT_EQ(m_prompts.asked.last().icon, ScriptedPrompts::Icon::Warning);
    EXPECT_FALSE(m_prompts.asked.last().text.isEmpty());
    EXPECT_NE(m_prompts.asked.last().text, QString::fromUtf8("帳號/密碼檢查成功"));
}
