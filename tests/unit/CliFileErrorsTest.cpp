#include "support/CliFixture.h"

namespace norvi::test {
namespace {

using CliFileErrorsTest = CliTest;

// Every message about a file that could not be read or written names the system's reason on a line of its
// own. A path through a plain file ("plain/child") fails as "not a folder" and a missing one as missing,
// whoever runs the tests (root is not stopped by permissions).
TEST_F(CliFileErrorsTest, FileMessagesGiveTheSystemsReasonOnTheirSecondLine) {
    writeFile("plain", "x");
    writeFile("people.csv", "名稱,行動電話\r\nAnn,0912345678\r\n");
    const QString notAFolder = QStringLiteral("\n路徑中有一段不是目錄\n");
    const QString missing = QStringLiteral("\n檔案或目錄不存在\n");
    const QString child = path("plain/child");
    const QString gone = path("missing.log");
    const QString exportTo = path("no-folder/out.csv");
    const auto unread = [](const QString& file, const QString& reason) {
        return QString(QStringLiteral("無法讀取檔案：") + file + reason);
    };
    const auto logUnread = [](const QString& file, const QString& reason) {
        return QString(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + file + reason);
    };
    runSteps({
        {textList({"send", "--text-file", child, "0912345678"}), 1, {unread(child, notAFolder)}},
        {textList({"send", "--text", "hi", "--list", gone, "0912345678"}), 1, {unread(gone, missing)}},
        {textList({"send", "--text", "hi", "--list", child}), 1, {unread(child, notAFolder)}},
        {textList({"log2csv", gone}), 1, {logUnread(gone, missing)}},
        {textList({"report", "--log", child}), 1, {logUnread(child, notAFolder)}},
        {textList({"resend", "--log", gone}), 1, {logUnread(gone, missing)}},
        {textList({"finish", gone, "--out", path("done.log")}), 1, {logUnread(gone, missing)}},
        {textList({"book", "import", child}),
         1,
         {QString(QStringLiteral("匯入檔") + child + QStringLiteral("無法讀取，沒有匯入任何資料。") + notAFolder)}},
        {textList({"book", "export", exportTo}),
         1,
         {QString(QStringLiteral("匯出檔") + exportTo + QStringLiteral("開啟失敗\n無法建立暫存檔 ") + exportTo +
                  QStringLiteral("：") + missing.mid(1))}},
        // An address book that cannot be replaced leaves the import unsaved: here the book's name is a link
        // into a path through a plain file.
        {textList({"book", "import", path("people.csv")}),
         3,
         {QString(QStringLiteral("寫入通訊錄檔案失敗！\n無法建立暫存檔 ") + child + QStringLiteral("：") +
                  notAFolder.mid(1))},
         {},
         -1,
         {},
         {},
         [this] { ASSERT_TRUE(QFile::link(path("plain/child"), path("AddressBook.bin"))); }},
    });
    EXPECT_EQ(sendRequests(), 0);
}

} // namespace
} // namespace norvi::test
