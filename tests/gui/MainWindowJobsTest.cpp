#include "sendlog/MainWindowJobs.h"

#include "GatewaySimulator.h"
#include "ScriptedPrompts.h"
#include "sendlog/TFormMain.h"
#include "shared/Big5.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/TFormShowProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace norvi;
using norvi::test::ScriptedPrompts;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The send log's pop-up jobs run the real worker against the simulator, with every call of the worker
// carried out on this (the user-interface) thread.
class MainWindowJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        gwsim::SimOptions options;
        options.port = 0;
        options.deliverAfterSeconds = 0;
        m_sim = std::make_unique<gwsim::GatewaySimulator>(options);
        ASSERT_TRUE(m_sim->start());

        // The program's own writer, so the file has exactly the layout it reads back at first show.
        StartDir = m_dir.path();
        Config = sConfig{};
        putField(Config.logFiles, big5(m_dir.path()));
        putField(Config.gwIp, QByteArray("127.0.0.1"));
        Config.gwPort = m_sim->port();
        putField(Config.gwAccount, QByteArray("demo"));
        putField(Config.gwPasswd, QByteArray("demo"));
        ASSERT_TRUE(WriteConfig());

        m_main = std::make_unique<TFormMain>();
        m_progress = std::make_unique<TFormShowProcess>();
        m_jobs = std::make_unique<MainWindowJobs>(*m_main);
        m_main->show();
    }
    void TearDown() override {
        m_jobs.reset();
        m_progress.reset();
        m_main.reset();
        m_sim.reset();
        QDir::setCurrent(m_oldDir);
    }

    void addRow(const char* name, const char* mobile, const char* code, const QByteArray& result) {
        const quint64 id = m_main->logAccess().addRow(big5(name), ImageTyped, mobile, "20240301093000");
        m_main->logAccess().fillSendResult(id, code, ImageNone, result, big5("會議改到三點"));
    }
    // Waits, handling events, until the worker's end state reached the progress window; then confirms it.
    void finishJob() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_progress->tracker().done(); }, 20000));
        EXPECT_FALSE(m_main->isEnabled()) << "the send log stays disabled until the end is confirmed";
        m_progress->ButtonOkClick();
        EXPECT_TRUE(m_main->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([] { return WorkerList.empty(); }, 5000));
    }
    QString cell(int row, int column) { return fromBig5(m_main->logAccess().text(row, column)); }

    QTemporaryDir m_dir;
    QString m_oldDir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<gwsim::GatewaySimulator> m_sim;
    std::unique_ptr<TFormMain> m_main;
    std::unique_ptr<TFormShowProcess> m_progress;
    std::unique_ptr<MainWindowJobs> m_jobs;
};

} // namespace

TEST_F(MainWindowJobsTest, ResendAppendsTheFailedRowsAndQueryAllAsksEverySentMessage) {
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:NOSUCH)"));
    m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the rows

    m_jobs->PMItemLvRSendSMSClick();
    finishJob();
    EXPECT_EQ(m_progress->tracker().statusText(), u("簡訊傳送完成"));
    EXPECT_TRUE(m_prompts.messages().contains(u("要清除現有的傳送紀錄？")));
    ASSERT_EQ(m_main->logAccess().rowCount(), 3);
    // Sorted by name: the resent A lands next to the failed A.
    EXPECT_EQ(cell(1, ColName), u("A"));
    EXPECT_EQ(cell(1, ColSendCode), u("0"));
    EXPECT_TRUE(cell(1, ColSendResult).startsWith(u("訊息已成功送出(MsgId:")));

    m_main->logSelection().clearSelection();
    m_jobs->PMItemLvQuerySMSClick();
    finishJob();
    EXPECT_EQ(m_progress->tracker().statusText(), u("簡訊查詢完成"));
    EXPECT_EQ(cell(0, ColQueryCode), QString()) << "a failed send is never asked";
    EXPECT_EQ(cell(1, ColQueryCode), u("0"));
    EXPECT_TRUE(cell(1, ColQueryResult).startsWith(u("訊息已送達對方")));
    EXPECT_EQ(cell(2, ColQueryCode), u("2")) << "the gateway knows no such MsgId";
}

TEST_F(MainWindowJobsTest, ResendWithNothingFailedSaysSoAndStartsNothing) {
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:X)"));
    m_jobs->PMItemLvRSendSMSClick();
    EXPECT_EQ(m_prompts.messages(), QStringList{u("沒有確定失敗的訊息需要重新傳送！")});
    EXPECT_FALSE(m_progress->isVisible());
    EXPECT_TRUE(WorkerList.empty());
}

TEST_F(MainWindowJobsTest, UnresolvableGatewayIsReportedBeforeAnyJobStarts) {
    putField(Config.gwIp, QByteArray("nonexistent.invalid"));
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:X)"));
    m_jobs->PMItemLvCancelSMSClick();
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_FALSE(m_progress->isVisible());
    EXPECT_TRUE(WorkerList.empty());
}
