#include "core/shared/SendSettings.h"

#include "support/StartFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace norvi;

namespace {

QuietHours quietWindow(int fromHour, int fromMinute, int toHour, int toMinute) {
    QuietHours quiet;
    quiet.from = QTime(fromHour, fromMinute);
    quiet.to = QTime(toHour, toMinute);
    return quiet;
}

QDateTime marchAt(int day, int hour, int minute) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute));
}

} // namespace

TEST(QuietHoursTest, WindowsAcrossMidnightAndWithinADay) {
    const QuietHours night = quietWindow(21, 0, 8, 0);
    const QuietHours lunch = quietWindow(12, 0, 13, 30);
    QuietHours off = night;
    off.enabled = false;
    const struct {
        const QuietHours* quiet;
        QTime time;
        bool inside;
    } cases[] = {
        {&night, QTime(20, 59), false}, {&night, QTime(21, 0), true},   {&night, QTime(23, 59), true},
        {&night, QTime(0, 0), true},    {&night, QTime(7, 59), true},   {&night, QTime(8, 0), false},
        {&night, QTime(12, 0), false},  {&lunch, QTime(11, 59), false}, {&lunch, QTime(12, 0), true},
        {&lunch, QTime(13, 29), true},  {&lunch, QTime(13, 30), false}, {&lunch, QTime(23, 0), false},
        {&off, QTime(23, 0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.quiet->contains(c.time), c.inside) << c.time.toString().toStdString();
    EXPECT_FALSE(quietWindow(8, 0, 8, 0).contains(QTime(8, 0))); // equal times: no window at all

    // The end of the quiet hours a time lies in: the same morning after midnight, the next one before it.
    EXPECT_EQ(night.endAfter(marchAt(1, 23, 40)), marchAt(2, 8, 0));
    EXPECT_EQ(night.endAfter(marchAt(2, 3, 0)), marchAt(2, 8, 0));
    EXPECT_EQ(lunch.endAfter(marchAt(1, 12, 10)), marchAt(1, 13, 30));
    EXPECT_EQ(night.windowText(), QStringLiteral("21:00–08:00"));
}

TEST(SendSettingsTest, TheIniFileKeepsItsKeysAndAMissingOneIsTheDefault) {
    test::StartFolder folder;
    ASSERT_TRUE(folder.isValid());
    const SendSettings defaults = ReadSendSettings(folder.path());
    EXPECT_TRUE(defaults.quiet.enabled);
    EXPECT_EQ(defaults.quiet.from, QTime(21, 0));
    EXPECT_EQ(defaults.quiet.to, QTime(8, 0));
    EXPECT_FALSE(defaults.quiet.cliRefuses);
    EXPECT_EQ(defaults.summary, SummaryShown::Always);
    EXPECT_FALSE(QFile::exists(SendSettingsPath(folder.path()))); // reading makes no file

    // What scripts write by hand is read; what cannot be read keeps its default and is named.
    QFile ini(SendSettingsPath(folder.path()));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[QuietHours]\nenabled=true\nfrom=22:30\nto=7:00\ncliRefuses=true\n[Send]\nsummary=warnings\n"
              "[Other]\nkept=1\n");
    ini.close();
    SendSettings read = ReadSendSettings(folder.path());
    EXPECT_EQ(read.quiet.from, QTime(22, 30));
    EXPECT_EQ(read.quiet.to, QTime(7, 0));
    EXPECT_TRUE(read.quiet.cliRefuses);
    EXPECT_EQ(read.summary, SummaryShown::Warnings);

    read.quiet.enabled = false;
    QString error;
    ASSERT_TRUE(WriteSendSettings(folder.path(), read, &error)) << error.toStdString();
    ASSERT_TRUE(WriteSummaryShown(folder.path(), SummaryShown::Always, &error)) << error.toStdString();
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray written = ini.readAll();
    ini.close();
    for (const char* line : {"enabled=false", "from=22:30", "to=07:00", "cliRefuses=true", "summary=always", "kept=1"})
        EXPECT_TRUE(written.contains(line)) << line << "\n" << written.constData();

    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[QuietHours]\nfrom=late\nenabled=maybe\n[Send]\nsummary=sometimes\n");
    ini.close();
    QString problem;
    read = ReadSendSettings(folder.path(), &problem);
    EXPECT_TRUE(read.quiet.enabled);
    EXPECT_EQ(read.quiet.from, QTime(21, 0));
    EXPECT_EQ(read.summary, SummaryShown::Always);
    for (const char* named : {"from=late", "enabled=maybe", "summary=sometimes"})
        EXPECT_TRUE(problem.contains(QString::fromLatin1(named))) << problem.toStdString();
}

TEST(SendSettingsTest, AFileThatCannotBeReadIsNamedNotTakenForDefaults) {
    test::StartFolder folder;
    ASSERT_TRUE(folder.isValid());
    // A folder at the file's name cannot be read, whoever runs the test (a mode of 000 is no bar to root).
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("NorviSMSAp.ini")));
    QString problem;
    const SendSettings read = ReadSendSettings(folder.path(), &problem);
    EXPECT_FALSE(read.quiet.cliRefuses);
    EXPECT_TRUE(problem.contains(QStringLiteral("無法讀取"))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(SendSettingsPath(folder.path()))) << problem.toStdString();

    // Nor can it be written: the user is told what was not stored and what to check.
    QString error;
    EXPECT_FALSE(WriteSendSettings(folder.path(), read, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("沒有儲存"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("磁碟"))) << error.toStdString();
}
