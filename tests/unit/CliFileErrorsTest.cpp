#include "support/CliFixture.h"

namespace norvi::test {
namespace {

using CliFileErrorsTest = CliTest;

// Every message about a file that could not be read or written names the system's reason on a line of its
// own. A path through a plain file ("plain/child") fails as "not a folder" and a missing one as missing,
// whoever runs the tests (root is not stopped by permissions).
TEST_F(CliFileErrorsTest, FileMessagesGiveTheSystemsReasonOnTheirSecondLine) {
    writeFile("plain", "x");
    const QString notAFolder = QStringLiteral("路徑中有一段不是目錄");
    const QString missing = QStringLiteral("檔案或目錄不存在");
    const QString child = path("plain/child");
    const QString gone = path("missing.log");
    const QString exportTo = path("no-folder/out.csv");
    const struct {
        QStringList args;
        QString said;
    } cases[] = {
        {textList({"send", "--text-file", child, "0912345678"}),
         QStringLiteral("無法讀取檔案：") + child + QLatin1Char('\n') + notAFolder},
        {textList({"send", "--text", "hi", "--list", gone, "0912345678"}),
         QStringLiteral("無法讀取檔案：") + gone + QLatin1Char('\n') + missing},
        {textList({"send", "--text", "hi", "--list", child}),
         QStringLiteral("無法讀取檔案：") + child + QLatin1Char('\n') + notAFolder},
        {textList({"log2csv", gone}), QStringLiteral("讀取傳送紀錄檔案失敗！ ") + gone + QLatin1Char('\n') + missing},
        {textList({"report", "--log", child}),
         QStringLiteral("讀取傳送紀錄檔案失敗！ ") + child + QLatin1Char('\n') + notAFolder},
        {textList({"resend", "--log", gone}),
         QStringLiteral("讀取傳送紀錄檔案失敗！ ") + gone + QLatin1Char('\n') + missing},
        {textList({"finish", gone, "--out", path("done.log")}),
         QStringLiteral("讀取傳送紀錄檔案失敗！ ") + gone + QLatin1Char('\n') + missing},
        {textList({"book", "import", child}),
         QStringLiteral("匯入檔") + child + QStringLiteral("無法讀取，沒有匯入任何資料。\n") + notAFolder},
        {textList({"book", "export", exportTo}), QStringLiteral("匯出檔") + exportTo +
                                                     QStringLiteral("開啟失敗\n無法建立暫存檔 ") + exportTo +
                                                     QStringLiteral("：") + missing},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_NE(r.exitCode, 0) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(c.said + QLatin1Char('\n'))) << c.args.join(QLatin1Char(' ')).toStdString() << "\n"
                                                                << r.err.toStdString();
    }
    EXPECT_EQ(sendRequests(), 0);
}

// An address book that cannot be replaced leaves the import unsaved, with the reason under the first line:
// here the book's name is a link into a path through a plain file.
TEST_F(CliFileErrorsTest, ABookThatCannotBeWrittenIsNamedWithItsReason) {
    writeFile("plain", "x");
    writeFile("people.csv", "名稱,行動電話\r\nAnn,0912345678\r\n");
    ASSERT_TRUE(QFile::link(path("plain/child"), path("AddressBook.bin")));
    const CliRun r = run({"book", "import", path("people.csv")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(says(
        r.err,
        QStringLiteral("寫入通訊錄檔案失敗！\n無法建立暫存檔 %1：路徑中有一段不是目錄\n").arg(path("plain/child"))));
}

} // namespace
} // namespace norvi::test
