#include "core/shared/Config.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/LogFolderSetup.h"
#include "support/SpecialFiles.h"
#include "support/StartFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <netdb.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace norvi;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    Config& settings() { return m_dir.config(); }
    QString configPath() const { return ConfigPath(m_dir.path()); }
    // Changes the record as the settings dialog would.
    void edit(const std::function<void(sConfig&)>& change) { settings().edit(change); }

    QByteArray fileBytes() const {
        QFile f(configPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& bytes) const {
        QFile f(configPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray configBytes() {
        return QByteArray(reinterpret_cast<const char*>(&settings().record()), sizeof(sConfig));
    }

    static SettingsFields fields(const QString& port = QStringLiteral("8000")) {
        return {QStringLiteral("/var/log/norvi"), QStringLiteral("10.1.1.1"), port, QStringLiteral("acct"),
                QStringLiteral("secret")};
    }

    test::StartFolder m_dir;
};

} // namespace

TEST_F(ConfigFile, RoundTripKeepsEveryByteIncludingTheReservedOnes) {
    edit([](sConfig& c) {
        std::memcpy(c.reserved, "\x01\x02\x03\x04\xFA\xFB\xFC\xFD", 8);
        putField(c.logFiles, big5("/資料/記錄"));
        putField(c.gwIp, QByteArray("10.1.1.1"));
        c.gwPort = -2;
        putField(c.gwAccount, QByteArray("acct"));
        putField(c.gwPasswd, QByteArray("pw"));
    });
    const QByteArray written = configBytes();

    ASSERT_TRUE(WriteConfig(settings()));
    EXPECT_EQ(fileBytes(), written);

    settings().setRecord(sConfig{});
    ASSERT_TRUE(ReadConfig(settings()));
    EXPECT_EQ(configBytes(), written);
}

TEST_F(ConfigFile, SettingsSavedOverAnExistingFileKeepItsReservedBytes) {
    QByteArray existing(328, '\0');
    existing.replace(0, 8, "ABCDEFGH");
    writeFile(existing);
    ASSERT_TRUE(ReadConfig(settings()));

    SettingsFields typed = fields();
    QString error;
    ASSERT_TRUE(CollectSettings(settings(), typed, &error)) << error.toStdString();
    ASSERT_TRUE(WriteConfig(settings()));
    EXPECT_EQ(fileBytes().left(8), QByteArray("ABCDEFGH"));
    EXPECT_EQ(fileBytes().size(), 328);
}

TEST_F(ConfigFile, TwentyCharacterAccountReadsBackWithoutRunningIntoThePassword) {
    SettingsFields typed = fields();
    typed.gwAccount = QStringLiteral("abcdefghijklmnopqrst");
    typed.gwPasswd = QStringLiteral("PASSWORD");
    QString error;
    ASSERT_TRUE(CollectSettings(settings(), typed, &error)) << error.toStdString();
    ASSERT_TRUE(WriteConfig(settings()));
    EXPECT_EQ(fileBytes().mid(288, 20), QByteArray("abcdefghijklmnopqrst")); // no terminator fits
    settings().setRecord(sConfig{});
    ASSERT_TRUE(ReadConfig(settings()));
    EXPECT_EQ(getField(settings().record().gwAccount), QByteArray("abcdefghijklmnopqrst"));
    EXPECT_EQ(getField(settings().record().gwPasswd), QByteArray("PASSWORD"));
}

TEST_F(ConfigFile, MissingOrCutFileIsRefusedAndLongFileExcessIgnored) {
    edit([](sConfig& c) {
        c.gwPort = 77;
        putField(c.gwPasswd, QByteArray("stale"));
    });
    EXPECT_FALSE(ReadConfig(settings())) << "no file";
    EXPECT_EQ(settings().record().gwPort, 77);
    for (const int size : {0, 10, 164, 327}) {
        writeFile(QByteArray(size, '\x01'));
        QString problem;
        EXPECT_FALSE(ReadConfig(settings(), &problem)) << size;
        EXPECT_EQ(problem, QStringLiteral("設定檔不完整（%1 位元組）").arg(size));
        EXPECT_EQ(settings().record().gwPort, 77) << "a cut file leaves the configuration as it was";
    }

    QByteArray longFile(400, 'x');
    longFile.replace(284, 4, QByteArray("\x40\x1f\x00\x00", 4));
    writeFile(longFile);
    QString problem;
    ASSERT_TRUE(ReadConfig(settings(), &problem));
    EXPECT_TRUE(problem.isEmpty());
    EXPECT_EQ(settings().record().gwPort, 8000);
    EXPECT_EQ(getField(settings().record().gwPasswd), QByteArray(20, 'x'));
}

// Once a password is in memory the process leaves no core file and cannot be read through ptrace; a
// configuration without one changes nothing. Run in a new process (execve makes it dumpable again), since
// the change lasts the process's life.
TEST_F(ConfigFile, PasswordLoadedTurnsCoreDumpsOff) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto dumpsOff = [] {
        rlimit core{};
        return ::prctl(PR_GET_DUMPABLE) == 0 && ::getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_cur == 0 &&
               core.rlim_max == 0;
    };
    EXPECT_EXIT(
        {
            writeFile(QByteArray(328, '\0'));
            const bool before = ReadConfig(settings()) && ::prctl(PR_GET_DUMPABLE) == 1;
            edit([](sConfig& c) { putField(c.gwPasswd, QByteArray("pw")); });
            WriteConfig(settings());
            settings().setRecord(sConfig{});
            ::_exit(before && ReadConfig(settings()) && dumpsOff() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

TEST_F(ConfigFile, WrittenFileIsOwnerOnlyAndReplacedWholeByRename) {
    writeFile(QByteArray(328, 'o'));
    QFile::setPermissions(configPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(configPath()).constData(), &before), 0);

    edit([](sConfig& c) { putField(c.gwPasswd, QByteArray("secret")); });
    ASSERT_TRUE(WriteConfig(settings()));

    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(configPath()).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    // A new inode: the old file was never rewritten in place, so a crash cannot leave half a file.
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(fileBytes(), configBytes());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("NorviSMSAp.cfg")});
}

TEST_F(ConfigFile, FailedWriteIsReportedAndLeavesTheOldFileAlone) {
    settings().setStartDir(m_dir.filePath(QStringLiteral("missing")));
    EXPECT_FALSE(WriteConfig(settings()));

    settings().setStartDir(m_dir.path());
    writeFile(QByteArray(328, 'k'));
    // A folder standing where the temporary file's rename would land makes the replacement fail.
    ASSERT_TRUE(QFile::remove(configPath()));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("NorviSMSAp.cfg")));
    EXPECT_FALSE(WriteConfig(settings()));
    EXPECT_TRUE(QFileInfo(configPath()).isDir());
}

// The configuration file standing for a device (a link to /dev/null, say) is written to, never
// replaced, and the device keeps its permissions: making /dev/null owner-only would break every program.
TEST_F(ConfigFile, ConfigurationLinkedToADeviceLeavesTheDeviceAsItWas) {
    const QString device = test::nullDevice(m_dir.path());
    const struct stat before = test::statOf(device);
    ASSERT_TRUE(QFile::link(device, configPath()));
    ASSERT_TRUE(WriteConfig(settings()));
    const struct stat after = test::statOf(device);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(QFileInfo(configPath()).isSymLink());
}

// A relative log folder belongs to the start folder, wherever the process happens to stand.
TEST_F(ConfigFile, RelativeLogFolderIsTakenUnderTheStartFolder) {
    QTemporaryDir elsewhere;
    const QString savedCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    edit([](sConfig& c) { putField(c.logFiles, big5("logs/../記錄")); });
    EXPECT_EQ(LogFolder(settings()), QDir(m_dir.path()).filePath(QStringLiteral("記錄")));
    edit([](sConfig& c) { putField(c.logFiles, big5("記錄")); });
    QString problem;
    EXPECT_TRUE(PrepareLogFolder(settings(), &problem)) << problem.toStdString();
    EXPECT_TRUE(QFileInfo(QDir(m_dir.path()).filePath(QStringLiteral("記錄"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(QDir(elsewhere.path()).filePath(QStringLiteral("記錄"))));
    EXPECT_EQ(getField(settings().record().logFiles), big5("記錄")) << "the configuration keeps the folder as typed";

    edit([](sConfig& c) { putField(c.logFiles, QByteArray("/abs/olute")); });
    EXPECT_EQ(LogFolder(settings()), QStringLiteral("/abs/olute"));
    ASSERT_TRUE(QDir::setCurrent(savedCurrent));
}

// The port is converted as the toolkit converts numbers, without the blanks around it, and only a port a
// gateway can listen on is taken: 70000 would reach port 4464, and a text that is no number fails at the send.
TEST_F(ConfigFile, PortTextIsTakenOnlyWhenAGatewayCanListenOnIt) {
    const struct {
        const char* typed;
        int32_t stored; // 0: refused, the record keeps its port
        const char* shown;
    } cases[] = {{"9000", 9000, "9000"},
                 {"  9000", 9000, "9000"},
                 {"9000 ", 9000, "9000"},
                 {"\t80\n", 80, "80"},
                 {"$1F40", 8000, "8000"},
                 {"1", 1, "1"},
                 {"65535", 65535, "65535"},
                 {"70000", 0, ""},
                 {"65536", 0, ""},
                 {"0", 0, ""},
                 {"-5", 0, ""},
                 {"$FFFFFFFF", 0, ""},
                 {"abc", 0, ""},
                 {"", 0, ""},
                 {"90 00", 0, ""},
                 {"2147483648", 0, ""},
                 {"８０", 0, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        edit([](sConfig& r) { r.gwPort = 77; });
        SettingsFields typed = fields(QString::fromUtf8(c.typed));
        typed.gwIp = QStringLiteral(" 10.1.1.1 ");
        QString error;
        EXPECT_EQ(CollectSettings(settings(), typed, &error), c.stored != 0) << error.toStdString();
        EXPECT_EQ(settings().record().gwPort, c.stored ? c.stored : 77);
        if (c.stored) {
            EXPECT_EQ(typed.gwPort, QString::fromUtf8(c.shown));
            EXPECT_EQ(getField(settings().record().gwIp), QByteArray("10.1.1.1")) << "stored without its blanks";
        } else {
            EXPECT_EQ(error, QStringLiteral("Gateway PORT 必須是 1 到 65535 之間的整數！"));
        }
    }
}

TEST(TrailingSeparator, OneIsRemovedButNeverFromARootOrFromInsideACharacter) {
    const struct {
        QByteArray typed;
        char separator;
        QByteArray stored;
    } cases[] = {{"/var/log/", '/', "/var/log"},
                 {"/var/log//", '/', "/var/log/"},
                 {"/var/log", '/', "/var/log"},
                 {"/", '/', "/"},
                 {"", '/', ""},
                 {"C:\\logs\\", '\\', "C:\\logs"},
                 {"C:\\", '\\', "C:"},
                 // 功 is A5 5C in Big5: its second byte is the backslash's code.
                 {"C:\\\xA5\x5C", '\\', "C:\\\xA5\x5C"},
                 {"C:\\\xA5\x5C\\", '\\', "C:\\\xA5\x5C"},
                 {"/\xA5\x5C/", '/', "/\xA5\x5C"}};
    for (const auto& c : cases)
        EXPECT_EQ(StripTrailingSeparator(c.typed, c.separator).toHex(), c.stored.toHex()) << c.typed.toHex().data();
}

TEST_F(ConfigFile, LogFolderIsStoredWithoutItsTrailingSeparator) {
    SettingsFields typed = fields();
    typed.logFiles = QStringLiteral("/資料/功/");
    QString error;
    ASSERT_TRUE(CollectSettings(settings(), typed, &error));
    EXPECT_EQ(getField(settings().record().logFiles), big5("/資料/功"));
    EXPECT_EQ(LogFolder(settings()), QStringLiteral("/資料/功"));

    typed.logFiles = QStringLiteral("/");
    ASSERT_TRUE(CollectSettings(settings(), typed, &error));
    EXPECT_EQ(LogFolder(settings()), QStringLiteral("/"));
}

TEST(AddressList, AcceptsDottedAddressesWithStarsSeparatedBySemicolons) {
    const struct {
        QByteArray text;
        bool accepted;
    } cases[] = {{"10.1.1.*", true},
                 {"10.1.1.1;10.1.1.2", true},
                 {"10.1.1.1;", true},
                 {"", true},
                 {"10", true},
                 {"255.255.255.255", false},
                 {"*.*.*.*", false},
                 {"10.1.1.a", false},
                 {"10.1.1.1 ", false},
                 {";", false},
                 {"10.1.1.1;;10.1.1.2", false},
                 {"10.1.1.256", false},
                 // A piece must stay below the 50-byte buffer: 49 characters pass, 50 do not.
                 {QByteArray(48, '0') + "1", true},
                 {QByteArray(49, '0') + "1", false},
                 {QByteArray(47, '0') + "*", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsAddressList(c.text), c.accepted) << c.text.constData();
}

TEST(ResolverFailure, IsShownInTheSystemsWords) {
    const struct {
        int gaiError;
        int systemError;
        const char* text;
    } cases[] = {{EAI_NONAME, 0, "找不到DNS主機！"},
                 {EAI_AGAIN, 0, "找不到DNS主機！"},
                 {EAI_FAIL, 0, "DNS主機發生錯誤！"},
                 {EAI_NODATA, 0, "查無該網址名稱資料！"},
                 {EAI_ADDRFAMILY, 0, "查無該網址名稱資料！"},
                 {EAI_SYSTEM, ENETDOWN, "網路系統發生問題！"},
                 {EAI_SYSTEM, ECONNREFUSED, "網址名稱查詢錯誤！111"},
                 {EAI_MEMORY, 0, "網址名稱查詢錯誤！-10"}};
    for (const auto& c : cases)
        EXPECT_EQ(ResolverErrorText(ResolverErrorNumber(c.gaiError, c.systemError)), QString::fromUtf8(c.text))
            << c.gaiError << "/" << c.systemError;
}

// A job's target: the address resolved, the rest of the configuration as it stood then.
TEST_F(ConfigFile, AddressListPassesAsTypedAndAHostNameBecomesItsFirstAddress) {
    QString error;
    sConfig config{};
    config.gwPort = 8123;
    putField(config.gwAccount, QByteArray("acct"));
    putField(config.gwPasswd, QByteArray("pw"));
    GatewayTarget target;
    for (const QByteArray& list : {QByteArray("10.1.1.*"), QByteArray("10.1.1.1;10.1.1.2"), QByteArray()}) {
        putField(config.gwIp, list);
        ASSERT_TRUE(ResolveGateway(config, &target, &error));
        EXPECT_EQ(target.host, list);
    }
    putField(config.gwIp, QByteArray("localhost"));
    ASSERT_TRUE(ResolveGateway(config, &target, &error)) << error.toStdString();
    EXPECT_EQ(target.host, QByteArray("127.0.0.1"));
    EXPECT_EQ(target.port, 8123);
    EXPECT_EQ(target.account + "/" + target.password, QByteArray("acct/pw"));

    SettingsFields typed = fields();
    typed.gwIp = QStringLiteral("localhost");
    ASSERT_TRUE(CollectSettings(settings(), typed, &error)) << error.toStdString();
    EXPECT_EQ(getField(settings().record().gwIp), QByteArray("localhost")); // stored as typed
}

TEST_F(ConfigFile, UnknownHostGivesAResolverTextAndKeepsTheTarget) {
    const QStringList resolverTexts{QStringLiteral("找不到DNS主機！"), QStringLiteral("DNS主機發生錯誤！"),
                                    QStringLiteral("查無該網址名稱資料！"), QStringLiteral("網路系統發生問題！")};
    QString error;
    sConfig config{};
    GatewayTarget target{"before", 1, "a", "p"};
    putField(config.gwIp, QByteArray("nonexistent.invalid"));
    EXPECT_FALSE(ResolveGateway(config, &target, &error));
    EXPECT_TRUE(resolverTexts.contains(error) || error.startsWith(QStringLiteral("網址名稱查詢錯誤！")))
        << error.toStdString();
    EXPECT_EQ(target.host, QByteArray("before"));
    EXPECT_FALSE(ResolveAddress(QByteArray("localhost\0evil", 14), nullptr, &error));
}

TEST_F(ConfigFile, RefusedSettingsLeaveConfigUntouched) {
    edit([](sConfig& c) {
        putField(c.gwIp, QByteArray("10.9.9.9"));
        c.gwPort = 1;
    });
    const QByteArray before = configBytes();
    struct Refusal {
        const char* label;
        SettingsFields typed;
        QString expectedStart; // empty: any message
    };
    const QString longFolder = QStringLiteral("/") + QString(256, QLatin1Char('d'));
    const Refusal refusals[] = {
        {"an unknown host and a port that is no number",
         {QStringLiteral("/l"), QStringLiteral("nonexistent.invalid"), QStringLiteral("abc"), {}, {}},
         QString()},
        {"an account Big5 cannot hold",
         {QStringLiteral("/l"), QStringLiteral("10.1.1.1"), QStringLiteral("1"), QStringLiteral("😀"), {}},
         unmappableMessage(QStringLiteral("😀"))},
        {"a log folder too long",
         {longFolder, QStringLiteral("10.1.1.1"), QStringLiteral("1"), {}, {}},
         QStringLiteral("運作記錄檔目錄")},
        {"an address list too long",
         {QStringLiteral("/l"), QStringLiteral("10.1.1.1;10.1.1.2;10.1.1.3"), QStringLiteral("1"), {}, {}},
         QStringLiteral("Gateway Addr")},
        {"an account of 21 bytes",
         {QStringLiteral("/l"), QStringLiteral("10.1.1.1"), QStringLiteral("1"), QString(21, QLatin1Char('a')), {}},
         QStringLiteral("帳號")},
        {"a password of 24 bytes",
         {QStringLiteral("/l"),
          QStringLiteral("10.1.1.1"),
          QStringLiteral("1"),
          {},
          QStringLiteral("密碼密碼密碼密碼密碼密碼")},
         QStringLiteral("密碼")},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.label);
        SettingsFields typed = r.typed;
        QString error;
        EXPECT_FALSE(CollectSettings(settings(), typed, &error));
        EXPECT_FALSE(error.isEmpty());
        if (!r.expectedStart.isEmpty()) {
            EXPECT_TRUE(error.startsWith(r.expectedStart)) << error.toStdString();
        }
        EXPECT_EQ(configBytes(), before);
        EXPECT_EQ(typed.gwPort, r.typed.gwPort); // the port edit is only rewritten when settings are taken
    }
}
