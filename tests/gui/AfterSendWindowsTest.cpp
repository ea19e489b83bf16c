// The desktop's commands after a send: 匯出未送達名單 with the classes the user ticks, and 使用量統計 over the
// folder's logs and the unsaved list.
#include "support/SimulatorWindowTest.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/shared/XlsxReader.h"
#include "gui/sendlog/TFormUsage.h"
#include "support/CsvReader.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

using namespace norvi;
using namespace norvi::test;

namespace {

class AfterSendWindowsTest : public SimulatorWindowTest {
protected:
    // A row of the list: the texts given as UTF-8.
    void addRow(const QByteArray& mobile, const QByteArray& sendCode, const char* sendResult,
                const QByteArray& queryCode = {}, const char* queryResult = "") {
        ModelJobRows& rows = mainWindow().jobRows();
        const quint64 id = rows.addRow(big5("A"), ImageTyped, mobile, "20261205093000");
        rows.fillSendResult(id, sendCode, ImageNone, big5(sendResult), "hi");
        if (!queryCode.isEmpty())
            rows.answered(id, queryCode, big5(queryResult));
    }
};

} // namespace

// What the CSV holds follows the boxes ticked: 失敗 alone at first, 不確定 when ticked too.
namespace {

// The 行動電話 column of an exported list, CSV or workbook, below its header.
QList<QByteArray> listedNumbers(const QString& target) {
    QList<QByteArray> numbers;
    if (target.endsWith(QStringLiteral(".xlsx"))) {
        XlsxReader sheet;
        EXPECT_TRUE(sheet.open(target)) << sheet.error().toStdString();
        SheetRow row;
        for (bool header = true; sheet.nextRow(&row); header = false)
            if (!header)
                numbers << (row.cells.size() > 1 ? row.cells.at(1).text.toLatin1() : QByteArray());
        return numbers;
    }
    QFile file(target);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << target.toStdString();
    const CsvTable table = readCsv(file.readAll().mid(3));
    for (int r = 1; r < table.records.size(); ++r)
        numbers << table.records.at(r).value(1);
    return numbers;
}

} // namespace

TEST_F(AfterSendWindowsTest, UndeliveredExportListsTheTickedClasses) {
    addRow("0912000001", "0", "訊息已成功送出(MsgId:A1)", "0", "訊息已送達對方(d)");
    addRow("0912000002", "0", "訊息已成功送出(MsgId:A2)", "17", "訊息無法送達對方(u)");
    addRow("0912000003", "0", "訊息已成功送出(MsgId:A3)", "2", "系統無此messageID的資料(n)");
    addRow("0912000004", "0", "訊息已成功送出(MsgId:A4)");
    const struct {
        const char* tick; // a box to tick besides the default, or none
        QList<QByteArray> numbers;
        const char* extension; // .xlsx writes a workbook
    } cases[] = {
        {nullptr, {"0912000002"}, ".csv"},
        {"CheckBoxUncertain", {"0912000002", "0912000003"}, ".csv"},
        {"CheckBoxNotAsked", {"0912000002", "0912000004"}, ".xlsx"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString target = path("list") + QString::number(n++) + QString::fromLatin1(c.extension);
        m_prompts.fileNames.push_back(target);
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            EXPECT_TRUE(findControl<QCheckBox>(d, "CheckBoxFailed")->isChecked());
            // On the box itself: a check box takes a click only on its box and caption.
            if (auto* box = c.tick ? findControl<QCheckBox>(d, c.tick) : nullptr) {
                EXPECT_TRUE(clickAt(box, QPoint(6, box->height() / 2)));
            }
            EXPECT_TRUE(click(d, "ButtonExport"));
        });
        ASSERT_TRUE(trigger(menuItem("MItemFUndelivered")));
        EXPECT_EQ(listedNumbers(target), c.numbers) << (c.tick ? c.tick : "default");
        EXPECT_EQ(m_prompts.messages().last(),
                  QStringLiteral("已匯出 %1 則訊息到 %2").arg(c.numbers.size()).arg(target));
    }
}

// The unsaved rows count beside the folder's logs, and a log that is none is named, not skipped.
TEST_F(AfterSendWindowsTest, UsageCountsTheListAndNamesALogItCannotRead) {
    const QString folder = path("logs");
    QDir().mkpath(folder);
    {
        LogFileWriter writer(QDir(folder).filePath(QStringLiteral("a.log")));
        ASSERT_TRUE(writer.open(1));
        SendLogRow row;
        row.texts = {"", "0912000009", "20261201080000", "11", big5("系統暫時無法傳送訊息(x)"), {}, {}, "hi"};
        writer.write(row);
        ASSERT_TRUE(writer.commit());
        writeAll(QDir(folder).filePath(QStringLiteral("broken.log")), "no log");
    }
    SendLogRow listed;
    listed.texts = {"", "0912000001", "20261205093000", "0", big5("訊息已成功送出(MsgId:A1)"), {}, {}, "hi"};
    TFormUsage::Inputs inputs;
    inputs.logFiles = QStringList{QDir(folder).filePath(QStringLiteral("a.log")),
                                  QDir(folder).filePath(QStringLiteral("broken.log"))};
    inputs.listRows = {listed, listed};
    TFormUsage usage(inputs, QDate(2026, 12, 20), folder, &mainWindow());
    usage.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&usage));
    auto* table = findControl<QTableWidget>(&usage, "TableUsage");
    ASSERT_EQ(table->rowCount(), 32);
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("1")); // the 1st: one refused
    EXPECT_EQ(table->item(4, 2)->text(), QStringLiteral("2")); // the 5th: the list's two sent
    EXPECT_EQ(table->item(31, 1)->text(), QStringLiteral("3"));
    const QStringList unreadable = findControl<QPlainTextEdit>(&usage, "MemoUnreadable")->toPlainText().split(u'\n');
    ASSERT_EQ(unreadable.size(), 1);
    EXPECT_TRUE(unreadable.at(0).contains(QStringLiteral("broken.log"))) << unreadable.at(0).toStdString();

    m_prompts.fileNames.push_back(path("usage"));
    EXPECT_TRUE(click(&usage, "ButtonExport"));
    const CsvTable csv = readCsv(readAll(path("usage.csv")).mid(3));
    ASSERT_EQ(csv.records.size(), 33);
    EXPECT_EQ(csv.records.last().mid(0, 3), (QList<QByteArray>{"合計", "3", "2"}));
}
