#include "core/shared/InputFile.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace norvi;

namespace {

struct LineCase {
    const char* name;
    QByteArray bytes;
    int firstBadLine;
};

class Big5LineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(Big5LineTest, FirstLineThatIsNotBig5TextIsNamed) {
    EXPECT_EQ(FirstNonBig5Line(GetParam().bytes), GetParam().firstBadLine);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Big5LineTest,
    ::testing::Values(
        LineCase{"Empty", QByteArray(), 0}, LineCase{"AsciiAndChinese", big5("0912345678 王小明\r\n0922 $50$\n"), 0},
        // Code page 950 maps 0x80 and 0xFF on their own, but no Big5 text holds them.
        LineCase{"SingleBytesTheCodePageStillMaps", "0911\n\x80\x80\xFF\xFF\n", 2},
        LineCase{"LeadByteEndingTheLine", big5("中文") + "\xA4\r\n", 1},
        LineCase{"LeadByteEndingTheFile", "ok\r\nok\r\n\xA4", 3}, LineCase{"SecondByteOutOfRange", "a\rb\r\xA4\x30", 3},
        LineCase{"UnassignedCode", "a\n\n\n\xA3\xC0", 4}, LineCase{"NulByte", QByteArray("a\nb\0c", 5), 2},
        LineCase{"CrLfIsOneLineEnd", "a\r\n\r\nb\n\r\xFF", 5}),
    [](const auto& info) { return std::string(info.param.name); });

class Utf8LineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(Utf8LineTest, FirstLineThatIsNotUtf8TextIsNamed) {
    EXPECT_EQ(FirstNonUtf8Line(GetParam().bytes), GetParam().firstBadLine);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf8LineTest,
                         ::testing::Values(LineCase{"Valid", QStringLiteral("王小明\n$50$\r\n").toUtf8(), 0},
                                           LineCase{"Big5Bytes", "ok\n" + big5("中文"), 2},
                                           LineCase{"CutCharacter", "ok\r\nok\r\n\xE4\xB8", 3},
                                           LineCase{"NulByte", QByteArray("\0", 1), 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Large files are checked in pieces; the line number must still be the line's in the whole file.
TEST(InputFileLines, LineNumberCountsAcrossLargeFiles) {
    QByteArray bytes;
    const QByteArray line = big5("0912345678 親愛的客戶您好\r\n");
    const int lines = 3 * 1024 * 1024 / int(line.size()) + 7;
    for (int i = 0; i < lines; ++i)
        bytes += line;
    EXPECT_EQ(FirstNonBig5Line(bytes), 0);
    EXPECT_EQ(FirstNonBig5Line(bytes + "\x80\r\n"), lines + 1);
    QByteArray early = bytes;
    early[qsizetype(line.size()) * 70000 + 2] = '\xFF';
    EXPECT_EQ(FirstNonBig5Line(early), 70001);
    QByteArray utf8 = QStringLiteral("0912 王\n").toUtf8().repeated(300000);
    EXPECT_EQ(FirstNonUtf8Line(utf8), 0);
    utf8[qsizetype(9) * 250000 + 5] = '\xC0';
    EXPECT_EQ(FirstNonUtf8Line(utf8), 250001);
}

class ReadInputFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    void writeAll(const char* name, const QByteArray& bytes) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir m_dir;
};

TEST_F(ReadInputFileTest, ReadsUpToTheLimitAndNotAByteMore) {
    QByteArray bytes;
    writeAll("exact", QByteArray(100, 'x'));
    ASSERT_EQ(ReadInputFile(path("exact"), 100, &bytes), InputRead::Ok);
    EXPECT_EQ(bytes, QByteArray(100, 'x'));

    writeAll("over", QByteArray(101, 'x'));
    EXPECT_EQ(ReadInputFile(path("over"), 100, &bytes), InputRead::TooLarge);
    EXPECT_TRUE(bytes.isEmpty());

    EXPECT_EQ(ReadInputFile(path("missing"), 100, &bytes), InputRead::CannotOpen);

    // Only a regular file is input: a device may never end, a pipe nobody writes would be waited on for ever.
    QString refusal;
    EXPECT_EQ(ReadInputFile(QStringLiteral("/dev/zero"), 1024, &bytes, &refusal), InputRead::NotAFile);
    EXPECT_EQ(refusal, QStringLiteral("無法讀取檔案 /dev/zero：這是字元裝置，不是一般檔案。"));
    EXPECT_EQ(ReadInputFile(m_dir.path(), 100, &bytes), InputRead::NotAFile);
    ASSERT_TRUE(QFile::link(path("exact"), path("link")));
    EXPECT_EQ(ReadInputFile(path("link"), 100, &bytes), InputRead::Ok) << "a link to a file is followed";
}

} // namespace
