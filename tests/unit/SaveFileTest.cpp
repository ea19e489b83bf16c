#include "core/shared/SaveFile.h"
#include "support/FileBytes.h"
#include "support/SpecialFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

using namespace norvi;
using norvi::test::readAll;
using norvi::test::writeAll;

namespace {

bool save(const QString& path, const QByteArray& bytes) {
    SaveFile file(path);
    if (!file.open())
        return false;
    file.write(bytes);
    return file.commit();
}

class SaveFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

// The path saved to is `saveTo`; the bytes must end up in `holder`, and `saveTo` keep its kind.
struct RegularTarget {
    const char* name;
    std::function<void(const QString& dir)> prepare;
    const char* saveTo;
    const char* holder;
    bool staysLink;
};

class SaveFileRegularTest : public SaveFileTest, public ::testing::WithParamInterface<RegularTarget> {};

TEST_P(SaveFileRegularTest, FileIsReplacedWholeAndALinkStaysALink) {
    const RegularTarget& t = GetParam();
    t.prepare(m_dir.path());
    ASSERT_TRUE(save(path(t.saveTo), "new contents"));
    EXPECT_EQ(readAll(path(t.holder)), "new contents");
    EXPECT_EQ(QFileInfo(path(t.saveTo)).isSymLink(), t.staysLink);
    // Nothing else is left behind: no temporary file beside the target.
    const QStringList names =
        QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        EXPECT_TRUE(name == QLatin1String(t.saveTo) || name == QLatin1String(t.holder)) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SaveFileRegularTest,
    ::testing::Values(RegularTarget{"NewFile", [](const QString&) {}, "a.log", "a.log", false},
                      RegularTarget{
                          "ExistingFile",
                          [](const QString& d) { writeAll(d + QStringLiteral("/a.log"), "old and longer contents"); },
                          "a.log", "a.log", false},
                      RegularTarget{"LinkToAFile",
                                    [](const QString& d) {
                                        writeAll(d + QStringLiteral("/real.log"), "old");
                                        QFile::link(d + QStringLiteral("/real.log"), d + QStringLiteral("/link.log"));
                                    },
                                    "link.log", "real.log", true},
                      RegularTarget{"LinkToAFileNotMadeYet",
                                    [](const QString& d) {
                                        QFile::link(d + QStringLiteral("/later.log"), d + QStringLiteral("/link.log"));
                                    },
                                    "link.log", "later.log", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFileTest, DeviceIsWrittenDirectlyAndStaysADeviceWithItsPermissions) {
    const QString device = test::nullDevice(m_dir.path());
    const struct stat before = test::statOf(device);
    ASSERT_TRUE(S_ISCHR(before.st_mode));
    QFile::link(device, path("to-device"));

    for (const QString& target : {device, path("to-device")}) {
        SaveFile file(target);
        ASSERT_TRUE(file.open()) << target.toStdString();
        EXPECT_TRUE(file.writesDirectly());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); // must not reach the device
        file.write("discarded");
        EXPECT_TRUE(file.commit());
        const struct stat after = test::statOf(device);
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_rdev, before.st_rdev);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
    EXPECT_TRUE(QFileInfo(path("to-device")).isSymLink());
}

TEST_F(SaveFileTest, NamedPipeGetsTheBytesAndStaysAPipe) {
    test::PipeReader reader(path("pipe"));
    ASSERT_TRUE(reader.ok());
    ASSERT_TRUE(save(path("pipe"), "through the pipe"));
    EXPECT_TRUE(test::isFifo(path("pipe")));
    EXPECT_EQ(reader.readAll(), "through the pipe");
}

TEST_F(SaveFileTest, FolderIsRefusedAndLeftAlone) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder")));
    SaveFile file(path("folder"));
    EXPECT_FALSE(file.open());
    EXPECT_TRUE(file.errorString().contains(path("folder"))) << file.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());
}

TEST_F(SaveFileTest, CancelledWritingLeavesTheFileAsItWas) {
    writeAll(path("keep"), "old");
    SaveFile file(path("keep"));
    ASSERT_TRUE(file.open());
    file.write("half");
    file.cancelWriting();
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(readAll(path("keep")), "old");
}

TEST_F(SaveFileTest, SameFileSeesThroughLinksAndDots) {
    writeAll(path("a.log"), "a");
    writeAll(path("b.log"), "b");
    QFile::link(path("a.log"), path("link.log"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    EXPECT_TRUE(SameFile(path("link.log"), path("a.log")));
    EXPECT_TRUE(SameFile(path("sub/../a.log"), path("a.log")));
    EXPECT_FALSE(SameFile(path("b.log"), path("a.log")));
    EXPECT_FALSE(SameFile(path("missing.log"), path("missing.log"))) << "a file not there yet is nobody's";
}

} // namespace
