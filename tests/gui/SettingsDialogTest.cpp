#include "ScriptedPrompts.h"

#include "shared/Big5.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/TFormSettings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace norvi;
using norvi::test::ScriptedPrompts;

namespace {

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedStartDir = StartDir;
        StartDir = m_dir.path();
        Config = sConfig{};
        m_form = std::make_unique<TFormSettings>();
        m_form->onCommandsEnabled = [this](bool enabled) { m_enabled << enabled; };
    }
    void TearDown() override {
        m_form.reset();
        StartDir = m_savedStartDir;
        Config = sConfig{};
        GatewayHost.clear();
    }

    template <typename T> T* child(const char* name) const {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    void click(const char* name) const { child<QPushButton>(name)->click(); }
    void type(const char* ip, const char* port, const char* account, const char* password) const {
        edit("EditGWIp")->setText(QString::fromUtf8(ip));
        edit("EditGWPort")->setText(QString::fromUtf8(port));
        edit("EditGWAccount")->setText(QString::fromUtf8(account));
        edit("EditGWPasswd")->setText(QString::fromUtf8(password));
    }
    bool fileExists() const { return QFile::exists(ConfigPath()); }

    ScriptedPrompts m_prompts;
    QTemporaryDir m_dir;
    QString m_savedStartDir;
    QList<bool> m_enabled;
    std::unique_ptr<TFormSettings> m_form;
};

} // namespace

TEST_F(SettingsDialog, OpensOnTheGatewayPageWithItsControls) {
    EXPECT_EQ(m_form->windowTitle(), QString::fromUtf8("參數設定"));
    auto* pages = child<QTabWidget>("PageControlSetup");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), QString::fromUtf8("目錄設定"));
    EXPECT_EQ(pages->tabText(1), QString::fromUtf8("Gateway設定"));
    m_form->show();
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetGateway"));
    EXPECT_TRUE(edit("EditLogFiles")->isReadOnly());
    EXPECT_EQ(edit("EditGWPasswd")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(child<QPushButton>("ButtonOk")->isDefault());
    EXPECT_EQ(child<QPushButton>("ButtonOk")->text(), QString::fromUtf8("確定"));
    EXPECT_EQ(child<QPushButton>("ButtonCancel")->text(), QString::fromUtf8("取消"));
    EXPECT_EQ(child<QPushButton>("ButtonLoginTest")->text(), QString::fromUtf8("連線測試"));
    EXPECT_EQ(child<QPushButton>("ButtonLogFiles")->text(), QStringLiteral("..."));
}

TEST_F(SettingsDialog, ShowingFillsTheEditsFromConfig) {
    putField(Config.logFiles, big5("/資料/記錄"));
    putField(Config.gwIp, QByteArray("10.1.1.*"));
    Config.gwPort = 70000;
    putField(Config.gwAccount, big5("使用者"));
    putField(Config.gwPasswd, QByteArray("abcdefghijklmnopqrst"));
    m_form->show();
    EXPECT_EQ(edit("EditLogFiles")->text(), QString::fromUtf8("/資料/記錄"));
    EXPECT_EQ(edit("EditGWIp")->text(), QStringLiteral("10.1.1.*"));
    EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("70000"));
    EXPECT_EQ(edit("EditGWAccount")->text(), QString::fromUtf8("使用者"));
    EXPECT_EQ(edit("EditGWPasswd")->text(), QStringLiteral("abcdefghijklmnopqrst"));

    // A fresh start shows empty fields and port 0.
    m_form->hide();
    Config = sConfig{};
    m_form->show();
    EXPECT_EQ(edit("EditGWIp")->text(), QString());
    EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("0"));
}

TEST_F(SettingsDialog, OkStoresTheFieldsEnablesTheCommandsAndWritesTheFile) {
    m_form->show();
    edit("EditLogFiles")->setText(m_dir.filePath(QStringLiteral("logs/")));
    type("127.0.0.1", "abc", "帳號一", "pw");
    click("ButtonOk");

    EXPECT_TRUE(m_prompts.asked.isEmpty());
    EXPECT_EQ(m_form->result(), int(QDialog::Accepted));
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(m_enabled, QList<bool>{true});
    EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("8000"));
    EXPECT_EQ(Config.gwPort, 8000);
    EXPECT_EQ(LogFolder(), m_dir.filePath(QStringLiteral("logs")));
    EXPECT_EQ(getField(Config.gwAccount), big5("帳號一"));
    EXPECT_EQ(GatewayHost, QByteArray("127.0.0.1"));

    QFile file(ConfigPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(reinterpret_cast<const char*>(&Config), sizeof Config));
}

TEST_F(SettingsDialog, RefusedFieldsShowAnErrorBoxAndKeepTheDialogOpen) {
    struct Case {
        const char* ip;
        const char* account;
        QString expected;
    };
    const Case cases[] = {
        {"nonexistent.invalid", "a", QString()},
        {"10.1.1.1", "😀", unmappableMessage(QString::fromUtf8("😀"))},
    };
    for (const Case& c : cases) {
        m_prompts.asked.clear();
        m_form->show();
        type(c.ip, "9000", c.account, "pw");
        click("ButtonOk");
        ASSERT_EQ(m_prompts.asked.size(), 1);
        const auto& box = m_prompts.asked.first();
        EXPECT_EQ(box.title, QStringLiteral("ERROR"));
        EXPECT_EQ(box.buttons, ScriptedPrompts::Buttons::Ok);
        EXPECT_FALSE(box.text.isEmpty());
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(box.text, c.expected);
        }
        EXPECT_TRUE(m_form->isVisible());
        EXPECT_TRUE(m_enabled.isEmpty());
        EXPECT_EQ(Config.gwPort, 0);
        EXPECT_FALSE(fileExists());
    }
}

TEST_F(SettingsDialog, UnwritableFileIsReportedButTheSettingsStillApply) {
    StartDir = m_dir.filePath(QStringLiteral("no-such-folder"));
    m_form->show();
    type("10.1.1.1", "9000", "a", "b");
    click("ButtonOk");
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked.first().title, QStringLiteral("ERROR"));
    EXPECT_EQ(m_prompts.asked.first().text, QString::fromUtf8("設定檔寫入失敗！"));
    EXPECT_EQ(m_prompts.asked.first().buttons, ScriptedPrompts::Buttons::Ok);
    EXPECT_EQ(m_enabled, QList<bool>{true});
    EXPECT_EQ(Config.gwPort, 9000);
    EXPECT_EQ(m_form->result(), int(QDialog::Accepted));
}

TEST_F(SettingsDialog, CancelKeepsConfigAndTheFileAsTheyWere) {
    m_form->show();
    type("10.1.1.1", "9000", "a", "b");
    click("ButtonCancel");
    EXPECT_EQ(m_form->result(), int(QDialog::Rejected));
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(Config.gwPort, 0);
    EXPECT_FALSE(fileExists());
    EXPECT_TRUE(m_enabled.isEmpty());
}

TEST_F(SettingsDialog, LogFolderButtonPutsTheChosenFolderIntoTheField) {
    m_form->show();
    edit("EditLogFiles")->setText(QStringLiteral("/old"));
    m_prompts.folders.push_back(QStringLiteral("/chosen/folder"));
    click("ButtonLogFiles");
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked.first().kind, QStringLiteral("folder"));
    EXPECT_EQ(m_prompts.asked.first().text, QString::fromUtf8("請選擇運作記錄檔目錄："));
    EXPECT_EQ(edit("EditLogFiles")->text(), QStringLiteral("/chosen/folder"));

    click("ButtonLogFiles"); // cancelled: nothing queued
    EXPECT_EQ(edit("EditLogFiles")->text(), QStringLiteral("/chosen/folder"));
}
