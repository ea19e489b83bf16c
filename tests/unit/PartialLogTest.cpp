// What a killed run left beside its log, and what finishing it does: carried on, it replaces the log; with
// nothing new, it goes; anything else is never put over the log.
#include "core/sendlog/PartialLog.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogStream.h"
#include "support/FileBytes.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace norvi {
namespace {

SendLogRow row(int i, const QByteArray& queryCode = {}) {
    SendLogRow r;
    r.image = ImageTyped;
    r.texts = {"",
               "09120" + QByteArray::number(10000 + i),
               "20240301093000",
               "0",
               "ok(MsgId:NV" + QByteArray::number(i) + ")",
               queryCode,
               queryCode.isEmpty() ? "" : "answer",
               "hi"};
    return r;
}

class PartialLogTest : public ::testing::Test {
protected:
    QString path(const test::TestText& name) const { return m_dir.filePath(name); }

    void writeLog(const test::TestText& name, const std::vector<SendLogRow>& rows) const {
        LogFileWriter writer(path(name));
        ASSERT_TRUE(writer.open(qint32(rows.size())));
        for (const SendLogRow& r : rows)
            writer.write(r);
        ASSERT_TRUE(writer.commit());
    }
    // As a killed run leaves it: the count -1, its lock free.
    void writePartial(const test::TestText& name, const std::vector<SendLogRow>& rows) const {
        LogStream stream;
        ASSERT_TRUE(stream.create(path(name)));
        ASSERT_TRUE(stream.appendRows(rows));
        stream.close();
    }

    QTemporaryDir m_temp;
    QDir m_dir{m_temp.path()};
};

TEST_F(PartialLogTest, FinishingCarriesTheLogOnOnlyWhenThePartialBeginsWithIt) {
    using E = PartialLog::Ending;
    const struct {
        const char* name;
        std::optional<std::vector<SendLogRow>> log; // none: no log there
        std::vector<SendLogRow> partial;
        E expected;
    } cases[] = {
        {"a new log", std::nullopt, {row(0), row(1)}, E::NewLog},
        {"an empty name its run took", std::vector<SendLogRow>{}, {row(0)}, E::NewLog},
        {"a resend's rows after the log's", std::vector{row(0), row(1)}, {row(0), row(1), row(2)}, E::Continues},
        {"a query's answers in the log's rows", std::vector{row(0), row(1)}, {row(0), row(1, "0")}, E::Continues},
        {"killed while copying the log", std::vector{row(0), row(1), row(2)}, {row(0)}, E::NothingNew},
        {"killed before its first answer", std::vector{row(0), row(1)}, {row(0), row(1)}, E::NothingNew},
        {"the log's rows in another order", std::vector{row(0), row(1)}, {row(1), row(0), row(2)}, E::Elsewhere},
        {"a log changed since", std::vector{row(0), row(3)}, {row(0), row(1), row(2)}, E::Elsewhere},
        {"an answer in a cut copy", std::vector{row(0), row(1), row(2)}, {row(0, "4")}, E::Elsewhere},
    };
    for (const auto& c : cases) {
        QFile::remove(path("r.log"));
        if (c.log && c.log->empty())
            test::writeAll(path("r.log"), QByteArray());
        else if (c.log)
            writeLog("r.log", *c.log);
        const QString partialPath = path("r.log.Ab12Cd.partial");
        QFile::remove(partialPath);
        writePartial("r.log.Ab12Cd.partial", c.partial);
        const PartialLog partial(partialPath);
        EXPECT_EQ(partial.ending(), c.expected) << c.name;
        EXPECT_EQ(partial.target(), path("r.log")) << c.name;
        EXPECT_EQ(partial.wholeRecords(), qint64(c.partial.size())) << c.name;
        const QByteArray before = test::readAll(path("r.log"));
        QString error;
        EXPECT_EQ(partial.finish(&error), c.expected != E::Elsewhere) << c.name << ' ' << error.toStdString();
        EXPECT_EQ(QFileInfo::exists(partialPath), c.expected == E::Elsewhere) << c.name;
        if (c.expected == E::NewLog || c.expected == E::Continues) {
            LogFileReader reader(path("r.log"));
            ASSERT_TRUE(reader.open()) << c.name;
            std::vector<SendLogRow> rows;
            for (SendLogRow r; reader.next(r);)
                rows.push_back(r);
            EXPECT_FALSE(reader.damaged()) << c.name << ": a whole log, with its count";
            ASSERT_EQ(rows.size(), c.partial.size()) << c.name;
            for (std::size_t i = 0; i < rows.size(); ++i)
                EXPECT_EQ(rows[i].texts, c.partial[i].texts) << c.name << ", row " << i;
        } else {
            EXPECT_EQ(test::readAll(path("r.log")), before) << c.name << ": the log is left as it was";
        }
    }
}

TEST_F(PartialLogTest, OnlyTheAbandonedPartialsOfTheLogAreFoundAndTheAdviceCanBeTyped) {
    writeLog("my log.log", {row(0)});
    writePartial("my log.log.Ab12Cd.partial", {row(0), row(1)});
    writePartial("other.log.Ab12Cd.partial", {row(0)});
    LogStream live;
    ASSERT_TRUE(live.create(path("my log.log.Zz99Yy.partial"))); // a run still writing it

    const std::vector<PartialLog> found = PartialLog::of(path("my log.log"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path(), path("my log.log.Ab12Cd.partial"));
    EXPECT_EQ(found[0].ending(), PartialLog::Ending::Continues);
    EXPECT_EQ(found[0].advice(), QStringLiteral("請以 norvi-cli finish '%1' 把它完成為 %2。")
                                     .arg(path("my log.log.Ab12Cd.partial"), path("my log.log")));
    live.discard();

    writeLog("my log.log", {row(5)});
    EXPECT_EQ(
        PartialLog(path("my log.log.Ab12Cd.partial")).advice(QStringLiteral("/opt/x/norvi-cli")),
        QStringLiteral("它不是接在 %1 之後的紀錄，請以 /opt/x/norvi-cli finish '%2' --out '%3' 把它寫成另一個紀錄檔。")
            .arg(path("my log.log"), path("my log.log.Ab12Cd.partial"), path("my log-Ab12Cd.log")));
    EXPECT_TRUE(PartialLog::of(path("none.log")).empty());
}

} // namespace
} // namespace norvi
