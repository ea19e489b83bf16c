#include "core/exchange/ExchangePath.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace norvi;

namespace {

struct PathCase {
    ExchangeDirection direction;
    const char* path; // under the test's folder; "" stays empty, and "~..." is typed as it stands
    bool usable;
    const char* problem;       // with %1 for the test's folder
    const char* missingFolder; // the same
};

// In a folder holding the file "book.csv", the folder "sub" and the file "plain".
TEST(ExchangePathTest, SaysWhyANameCannotLeadOnAndWhichFolderIsMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString top = QDir::cleanPath(dir.path());
    QFile book(top + QStringLiteral("/book.csv"));
    ASSERT_TRUE(book.open(QIODevice::WriteOnly));
    QFile plain(top + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(top).mkdir(QStringLiteral("sub")));
    // The test's folder is the home folder that "~" names.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(top));

    constexpr auto in = ExchangeDirection::Import;
    constexpr auto out = ExchangeDirection::Export;
    const PathCase cases[] = {
        {in, "", false, "", ""},
        {in, "book.csv", true, "", ""},
        {in, "none.csv", false, "找不到這個檔案。", ""},
        {in, "sub", false, "這是資料夾，請選擇要匯入的檔案。", ""},
        {out, "", false, "", ""},
        {out, "new.csv", true, "", ""},
        {out, "book.csv", true, "", ""}, // replacing it is asked about at 完成
        {out, "sub", false, "這是資料夾，請在後面加上要匯出的檔案名稱。", ""},
        {out, "a/b/new.csv", false, "資料夾「%1/a/b」不存在。", "%1/a/b"},
        {out, "plain/new.csv", false, "「%1/plain」不是資料夾。", ""},
        {in, "~/book.csv", true, "", ""},
        {in, "~", false, "這是資料夾，請選擇要匯入的檔案。", ""},
        {out, "~/new.csv", true, "", ""},
        {out, "~/a/new.csv", false, "資料夾「%1/a」不存在。", "%1/a"},
    };
    for (const PathCase& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        const QString typed =
            path.isEmpty() || path.startsWith(QLatin1Char('~')) ? path : top + QLatin1Char('/') + path;
        const ExchangePathCheck check = CheckExchangePath(c.direction, typed);
        const auto expected = [&top](const char* text) { return *text ? QString::fromUtf8(text).arg(top) : QString(); };
        SCOPED_TRACE(c.path);
        EXPECT_EQ(check.usable, c.usable);
        EXPECT_EQ(check.problem, expected(c.problem));
        EXPECT_EQ(check.missingFolder, expected(c.missingFolder));
    }
    EXPECT_EQ(TypedExchangePath(QStringLiteral("~/book.csv")), top + QStringLiteral("/book.csv"));
    EXPECT_EQ(TypedExchangePath(QStringLiteral("~other/book.csv")), QStringLiteral("~other/book.csv"));
    EXPECT_EQ(TypedExchangePath(QStringLiteral("a/~/book.csv")), QStringLiteral("a/~/book.csv"));
    qputenv("HOME", home);
}

TEST(ExchangePathTest, ATypedNameWithoutExtensionGetsTheTypes) {
    const struct {
        const char* typed;
        int type;
        const char* saved;
    } cases[] = {
        {"/tmp/book", TextFileComma, "/tmp/book.csv"},           {"/tmp/book", TextFileSpace, "/tmp/book.txt"},
        {"/tmp/book.CSV", TextFileSpace, "/tmp/book.CSV"},       {"/tmp/book.dat", TextFileComma, "/tmp/book.dat"},
        {"/tmp/v1.2/book", TextFileComma, "/tmp/v1.2/book.csv"}, // a dot in a folder's name is no extension
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithTypedExtension(QString::fromUtf8(c.typed), ExchangeExtension(c.type)), QString::fromUtf8(c.saved))
            << c.typed;
}

} // namespace
