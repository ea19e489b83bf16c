#include "support/FileBytes.h"
#include "support/WindowTest.h"

#include "core/shared/SendSettings.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace norvi;
using namespace norvi::test;

namespace {

// The settings dialog of the window set, opened from the main window's 設定(&O)... as the user opens it.
class SettingsDialog : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        startWindows();                    // no configuration yet: the gateway commands are off
        QCoreApplication::processEvents(); // the settings window it opens at once is left with 取消
        m_prompts.asked.clear();
    }

    // Opens the dialog and runs `act` in it while it is on screen; `act` must close it.
    void inSettings(std::function<void()> act) {
        m_prompts.dialogHandlers.push_back([act](QDialog*) { act(); });
        trigger(menuItem("MItemTSettings"));
        EXPECT_TRUE(m_prompts.dialogHandlers.empty()) << "the dialog was not opened";
    }

    TFormSettings& form() { return m_windows->settings(); }
    template <typename T> T* control(const char* name) { return findControl<T>(&form(), name); }
    QLineEdit* edit(const char* name) { return control<QLineEdit>(name); }
    void press(const char* name) { click(&form(), name); }
    void type(const char* ip, const char* port, const char* account, const char* password) {
        typeInto(edit("EditGWIp"), QString::fromUtf8(ip));
        typeInto(edit("EditGWPort"), QString::fromUtf8(port));
        typeInto(edit("EditGWAccount"), QString::fromUtf8(account));
        typeInto(edit("EditGWPasswd"), QString::fromUtf8(password));
    }
    bool fileExists() const { return QFile::exists(configPath()); }
    bool commandsOn() { return menuItem("MItemTSendSMS")->isEnabled(); }
};

} // namespace

TEST_F(SettingsDialog, OpensOnTheGatewayPageWithItsControls) {
    EXPECT_EQ(form().windowTitle(), QStringLiteral("參數設定"));
    auto* pages = control<QTabWidget>("PageControlSetup");
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("目錄設定"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Gateway設定"));
    EXPECT_EQ(pages->tabText(2), QStringLiteral("傳送時段"));
    inSettings([&] {
        EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetGateway"));
        EXPECT_TRUE(edit("EditLogFiles")->isReadOnly());
        EXPECT_EQ(edit("EditGWPasswd")->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(control<QPushButton>("ButtonOk")->isDefault());
        EXPECT_EQ(control<QPushButton>("ButtonOk")->text(), QStringLiteral("確定"));
        EXPECT_EQ(control<QPushButton>("ButtonCancel")->text(), QStringLiteral("取消"));
        EXPECT_EQ(control<QPushButton>("ButtonLoginTest")->text(), QStringLiteral("連線測試"));
        EXPECT_EQ(control<QPushButton>("ButtonLogFiles")->text(), QStringLiteral("..."));
        press("ButtonCancel");
    });
}

// Screen readers announce each edit by its label, and the label's mnemonic moves to it.
TEST_F(SettingsDialog, EveryEditIsNamedByItsLabel) {
    const std::pair<const char*, const char*> named[] = {{"EditLogFiles", "運作記錄檔目錄："},
                                                         {"EditGWIp", "Gateway Addr："},
                                                         {"EditGWPort", "Gateway PORT："},
                                                         {"EditGWAccount", "帳號："},
                                                         {"EditGWPasswd", "密碼："}};
    for (const auto& [name, label] : named) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(edit(name));
        ASSERT_NE(accessible, nullptr) << name;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(label)) << name;
    }
}

TEST_F(SettingsDialog, ShowingFillsTheEditsFromConfig) {
    editConfig([](sConfig& c) {
        putField(c.logFiles, big5("/資料/記錄"));
        putField(c.gwIp, QByteArray("10.1.1.*"));
        c.gwPort = 70000;
        putField(c.gwAccount, big5("使用者"));
        putField(c.gwPasswd, QByteArray("abcdefghijklmnopqrst"));
    });
    inSettings([&] {
        EXPECT_EQ(edit("EditLogFiles")->text(), QStringLiteral("/資料/記錄"));
        EXPECT_EQ(edit("EditGWIp")->text(), QStringLiteral("10.1.1.*"));
        EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("70000"));
        EXPECT_EQ(edit("EditGWAccount")->text(), QStringLiteral("使用者"));
        EXPECT_EQ(edit("EditGWPasswd")->text(), QStringLiteral("abcdefghijklmnopqrst"));
        press("ButtonCancel");
    });

    // A fresh start shows empty fields and port 0.
    config().setRecord(sConfig{});
    inSettings([&] {
        EXPECT_EQ(edit("EditGWIp")->text(), QString());
        EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("0"));
        press("ButtonCancel");
    });
}

// The login carries 8 bytes of each: an account or password that is longer, as found or as typed, is said to be
// cut, and the whole of it is still stored.
TEST_F(SettingsDialog, AnAccountOrPasswordLongerThanTheLoginCarriesIsSaidToBeCut) {
    const QString cut = QStringLiteral("帳號和密碼只會送出前 8 個字元");
    editConfig([](sConfig& c) {
        putField(c.gwIp, QByteArray("127.0.0.1"));
        c.gwPort = 9000;
        putField(c.gwAccount, QByteArray("demo"));
        putField(c.gwPasswd, QByteArray("abcdefghijklmnopqrst"));
    });
    inSettings([&] {
        auto* note = control<QLabel>("LabelCredentialNote");
        EXPECT_EQ(note->text(), cut) << "found in the file";
        const std::tuple<const char*, const char*, bool> typed[] = {{"demo", "12345678", false},
                                                                    {"123456789", "demo", true},
                                                                    {"帳號一二三", "pw", true},
                                                                    {"帳號一二", "pw", false}};
        for (const auto& [account, password, said] : typed) {
            typeInto(edit("EditGWAccount"), QString::fromUtf8(account));
            typeInto(edit("EditGWPasswd"), QString::fromUtf8(password));
            EXPECT_EQ(note->text(), said ? cut : QString()) << account << " " << password;
            EXPECT_TRUE(note->isVisible());
        }
        typeInto(edit("EditGWPasswd"), QStringLiteral("abcdefghijklmnopqrst"));
        press("ButtonOk");
    });
    EXPECT_EQ(getField(config().record().gwPasswd), QByteArray("abcdefghijklmnopqrst"));
}

TEST_F(SettingsDialog, OkStoresTheFieldsEnablesTheCommandsAndWritesTheFile) {
    ASSERT_FALSE(commandsOn());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("logs")));
    inSettings([&] {
        clickTab(form().findChild<QTabBar*>(), 0);
        m_prompts.folders.push_back(m_dir.filePath(QStringLiteral("logs/")));
        press("ButtonLogFiles");
        clickTab(form().findChild<QTabBar*>(), 1);
        type(" 127.0.0.1", "8000 ", "帳號一", "pw");
        press("ButtonOk");
    });

    EXPECT_EQ(m_prompts.messages(), QStringList());
    EXPECT_EQ(edit("EditGWIp")->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(getField(config().record().gwIp), QByteArray("127.0.0.1"));
    EXPECT_EQ(form().result(), int(QDialog::Accepted));
    EXPECT_FALSE(form().isVisible());
    EXPECT_TRUE(commandsOn());
    EXPECT_EQ(edit("EditGWPort")->text(), QStringLiteral("8000"));
    EXPECT_EQ(config().record().gwPort, 8000);
    EXPECT_EQ(LogFolder(config()), m_dir.filePath(QStringLiteral("logs")));
    EXPECT_EQ(getField(config().record().gwAccount), big5("帳號一"));
    EXPECT_EQ(getField(config().record().gwPasswd), QByteArray("pw"));

    EXPECT_EQ(readAll(configPath()), QByteArray(reinterpret_cast<const char*>(&config().record()), sizeof(sConfig)));
}

// The daily operation log needs a folder it can write into: the user hears about one that is missing or
// cannot be used before it is stored. A chooser left with 取消 leaves the field as it was.
TEST_F(SettingsDialog, OkAsksAboutALogFolderThatIsMissingOrCannotBeUsed) {
    const QString missing = m_dir.filePath(QStringLiteral("new/logs"));
    const QString file = m_dir.filePath(QStringLiteral("plain.txt"));
    ASSERT_NO_FATAL_FAILURE(writeAll(file, QByteArray()));
    editConfig([](sConfig& c) {
        c.gwPort = 9000;
        putField(c.logFiles, QByteArray("/old"));
    });
    inSettings([&] {
        clickTab(form().findChild<QTabBar*>(), 0);
        press("ButtonLogFiles"); // cancelled: nothing queued
        EXPECT_EQ(edit("EditLogFiles")->text(), QStringLiteral("/old"));
        EXPECT_EQ(m_prompts.asked.last().kind + m_prompts.asked.last().text,
                  QStringLiteral("folder請選擇運作記錄檔目錄："));
        m_prompts.folders = {missing, m_dir.filePath(QStringLiteral("elsewhere"))};
        press("ButtonLogFiles");
        press("ButtonOk"); // 否: the folder chooser instead, and the window stays
        EXPECT_TRUE(form().isVisible());
        EXPECT_EQ(edit("EditLogFiles")->text(), m_dir.filePath(QStringLiteral("elsewhere")));
        m_prompts.folders = {file + QStringLiteral("/logs")};
        press("ButtonLogFiles");
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        press("ButtonOk"); // cannot be made under a file: the reason, and the window stays
        EXPECT_TRUE(form().isVisible());
        m_prompts.folders = {file};
        press("ButtonLogFiles");
        press("ButtonOk"); // not a folder: 否 keeps the window
        EXPECT_TRUE(form().isVisible());
        m_prompts.folders = {missing};
        press("ButtonLogFiles");
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        press("ButtonOk");
    });
    EXPECT_EQ(
        m_prompts.messages(),
        (QStringList{QStringLiteral("運作記錄檔目錄不存在：%1，要建立？").arg(missing),
                     QStringLiteral("運作記錄檔目錄不存在：%1/logs，要建立？").arg(file),
                     QStringLiteral("無法建立運作記錄檔目錄：%1/logs\n路徑中有一段不是目錄").arg(file),
                     QStringLiteral("運作記錄檔目錄無法寫入：%1\n路徑中有一段不是目錄\n仍要使用這個目錄？").arg(file),
                     QStringLiteral("運作記錄檔目錄不存在：%1，要建立？").arg(missing)}));
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_EQ(LogFolder(config()), missing);
    EXPECT_EQ(form().result(), int(QDialog::Accepted));
}

// 取消 after the refusal stores nothing of what was typed.
TEST_F(SettingsDialog, RefusedFieldsShowAnErrorBoxKeepTheDialogOpenAndCancelStoresNothing) {
    struct Case {
        const char* ip;
        const char* account;
        QString expected;
    };
    const Case cases[] = {
        {"nonexistent.invalid", "a", QString()},
        {"10.1.1.1", "😀", unmappableMessage(QStringLiteral("😀"))},
    };
    for (const Case& c : cases) {
        m_prompts.asked.clear();
        inSettings([&] {
            type(c.ip, "9000", c.account, "pw");
            press("ButtonOk");
            EXPECT_TRUE(form().isVisible());
            press("ButtonCancel");
        });
        ASSERT_EQ(m_prompts.messages().size(), 1);
        const auto& box = m_prompts.asked.at(1); // after the dialog itself
        EXPECT_EQ(box.title, QStringLiteral("ERROR"));
        EXPECT_EQ(box.buttons, ScriptedPrompts::Buttons::Ok);
        EXPECT_FALSE(box.text.isEmpty());
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(box.text, c.expected);
        }
        EXPECT_EQ(form().result(), int(QDialog::Rejected));
        EXPECT_FALSE(commandsOn());
        EXPECT_EQ(config().record().gwPort, 0);
        EXPECT_FALSE(fileExists());
    }
}

// A port no gateway can listen on is refused on 確定 with the window open and the port ready to be typed over;
// neither file is written and the configuration keeps its port.
TEST_F(SettingsDialog, APortThatIsNoWholeNumberFrom1To65535IsRefused) {
    editConfig([](sConfig& c) { c.gwPort = 9000; });
    inSettings([&] {
        for (const char* port : {"70000", "-5", "abc", "", "0", "90 00"}) {
            m_prompts.asked.clear();
            type("127.0.0.1", port, "a", "pw");
            edit("EditGWIp")->setFocus();
            press("ButtonOk");
            ASSERT_EQ(m_prompts.asked.size(), 1) << port;
            EXPECT_EQ(m_prompts.asked[0].text, QStringLiteral("Gateway PORT 必須是 1 到 65535 之間的整數！"));
            EXPECT_EQ(m_prompts.asked[0].title, QStringLiteral("參數設定"));
            EXPECT_EQ(m_prompts.asked[0].icon, Prompts::Icon::Warning);
            EXPECT_TRUE(form().isVisible()) << port;
            EXPECT_EQ(form().focusWidget(), edit("EditGWPort")) << port;
            EXPECT_EQ(edit("EditGWPort")->text(), QString::fromUtf8(port)) << "left as typed, to be corrected";
            press("ButtonLoginTest");
            EXPECT_EQ(m_prompts.messages().last(), QStringLiteral("Gateway PORT 必須是 1 到 65535 之間的整數！"));
        }
        press("ButtonCancel");
    });
    EXPECT_FALSE(fileExists());
    EXPECT_FALSE(QFile::exists(SendSettingsPath(m_dir.path())));
    EXPECT_EQ(config().record().gwPort, 9000);
    EXPECT_FALSE(commandsOn());
}

TEST_F(SettingsDialog, UnwritableFileIsReportedButTheSettingsStillApply) {
    config().setStartDir(m_dir.filePath(QStringLiteral("no-such-folder")));
    inSettings([&] {
        type("10.1.1.1", "9000", "a", "b");
        press("ButtonOk");
    });
    ASSERT_EQ(m_prompts.messages().size(), 1);
    const auto& box = m_prompts.asked.at(1);
    EXPECT_EQ(box.title, QStringLiteral("ERROR"));
    EXPECT_EQ(
        box.text,
        QStringLiteral("設定檔寫入失敗！\n無法建立暫存檔 %1：檔案或目錄不存在").arg(ConfigPath(config().StartDir())));
    EXPECT_EQ(box.buttons, ScriptedPrompts::Buttons::Ok);
    EXPECT_TRUE(commandsOn());
    EXPECT_EQ(config().record().gwPort, 9000);
    EXPECT_EQ(form().result(), int(QDialog::Accepted));
}

// 傳送時段: the quiet hours and the summary's showing go into NorviSMSAp.ini with its own keys (NorviSMSAp.cfg
// keeps its 328 bytes); equal times are refused with the window left open, and the page shows what is stored.
TEST_F(SettingsDialog, TheSendPageStoresQuietHoursInTheIniFile) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("logs")));
    writeConfig(m_dir.filePath(QStringLiteral("logs")), "127.0.0.1", 9000);
    ReadConfig(config());
    inSettings([&] {
        clickTab(form().findChild<QTabBar*>(), 2);
        auto* quiet = control<QCheckBox>("CheckBoxQuietHours");
        EXPECT_TRUE(quiet->isChecked());
        EXPECT_EQ(control<QTimeEdit>("TimeEditQuietFrom")->time(), QTime(21, 0));
        EXPECT_EQ(control<QTimeEdit>("TimeEditQuietTo")->time(), QTime(8, 0));
        control<QTimeEdit>("TimeEditQuietTo")->setFocus();
        control<QTimeEdit>("TimeEditQuietTo")->setTime(QTime(21, 0));
        press("ButtonOk");
        EXPECT_EQ(m_prompts.messages().last(), QStringLiteral("夜間的開始與結束時間不可相同！"));
        EXPECT_TRUE(form().isVisible());
        control<QTimeEdit>("TimeEditQuietTo")->setTime(QTime(7, 30));
        ASSERT_TRUE(click(control<QCheckBox>("CheckBoxCliRefuses")));
        ASSERT_TRUE(click(control<QCheckBox>("CheckBoxSummaryWarnings")));
        press("ButtonOk");
    });
    const QByteArray written = readAll(SendSettingsPath(m_dir.path()));
    for (const char* line :
         {"[QuietHours]", "enabled=true", "from=21:00", "to=07:30", "cliRefuses=true", "[Send]", "summary=warnings"})
        EXPECT_TRUE(written.contains(line)) << line << "\n" << written.constData();
    EXPECT_EQ(QFileInfo(configPath()).size(), 328);

    inSettings([&] {
        clickTab(form().findChild<QTabBar*>(), 2);
        EXPECT_EQ(control<QTimeEdit>("TimeEditQuietTo")->time(), QTime(7, 30));
        ASSERT_TRUE(click(control<QCheckBox>("CheckBoxQuietHours")));
        EXPECT_FALSE(control<QTimeEdit>("TimeEditQuietFrom")->isEnabled());
        press("ButtonCancel");
    });
    EXPECT_TRUE(ReadSendSettings(m_dir.path()).quiet.enabled) << "取消 stores nothing";
}
