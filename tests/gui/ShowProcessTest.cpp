#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/OpLog.h"
#include "shared/TFormShowProcess.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace norvi;

namespace {

class ShowProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        Config = sConfig{};
        putField(Config.logFiles, QFile::encodeName(m_dir.path()));
        SetMessageAreaSink([this](const QString& line) { m_area << line; });
        StopFlag = false;
        m_owner = std::make_unique<QDialog>();
        m_owner->show();
        m_form = std::make_unique<TFormShowProcess>();
        m_form->owner = m_owner.get();
    }
    void TearDown() override {
        m_form.reset();
        m_owner.reset();
        SetMessageAreaSink(nullptr);
        Clock::reset();
        Config = sConfig{};
        StopFlag = false;
    }

    template <typename T> T* child(const char* name) const {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char* labelName) const { return child<QLabel>(labelName)->text(); }
    QPushButton* button() const { return child<QPushButton>("ButtonOk"); }
    void post(int state) const { PostShowProcess(state); }
    void deliver() const { QCoreApplication::sendPostedEvents(m_form.get()); }

    QTemporaryDir m_dir;
    QStringList m_area;
    std::unique_ptr<QDialog> m_owner;
    std::unique_ptr<TFormShowProcess> m_form;
};

} // namespace

TEST_F(ShowProcess, ShowingStartsARunningOperationWithTheOwnerDisabled) {
    EXPECT_EQ(m_form->windowTitle(), QString::fromUtf8("作業進度"));
    EXPECT_EQ(TFormShowProcess::instance(), m_form.get());
    EXPECT_EQ(ProgressTarget(), m_form.get());
    EXPECT_FALSE(m_form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(m_form->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(m_form->isModal());
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->width(), 250);

    m_form->setMaximum(3);
    m_form->show();
    EXPECT_EQ(button()->text(), QString::fromUtf8("中斷"));
    for (const char* name : {"LabelProgress", "LabelStartTime", "LabelElapsed", "LabelAverage"})
        EXPECT_TRUE(child<QLabel>(name)->isHidden()) << name;
    EXPECT_FALSE(m_owner->isEnabled());
    EXPECT_EQ(m_form->width(), 417);
}

TEST_F(ShowProcess, SaveOfThreeRowsEndsWithTheSummaryInTheMessageAreaAndTheLog) {
    Clock::setFixed(QDateTime(QDate(2024, 4, 1), QTime(8, 0, 0)), 500);
    m_form->setMaximum(3);
    m_form->show();
    // A save runs on this thread: every state is posted before the window handles any of them.
    for (int i = 0; i < 3; ++i)
        post(StateLogSaving);
    post(StateLogSaved);
    deliver();

    EXPECT_EQ(text("LabelProgress"), QStringLiteral("3 / 3(100%)"));
    EXPECT_EQ(text("LabelStatus"), QString::fromUtf8("發訊紀錄儲存完成"));
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 3);
    EXPECT_FALSE(child<QLabel>("LabelStartTime")->isHidden());
    EXPECT_EQ(button()->text(), QString::fromUtf8("確定"));

    const QString summary = QString::fromUtf8("狀態：發訊紀錄儲存完成\r\n"
                                              "開始時間：2024/04/01 08:00:00\r\n"
                                              "總共耗費時間：1 秒\r\n"
                                              "                平均：2.00 筆/秒\r\n"
                                              "完成：3 / 3(100%)");
    ASSERT_EQ(m_area.size(), 1);
    EXPECT_EQ(m_area.first(), QStringLiteral("2024/04/01 08:00:02  ") + QString(summary).replace("\r\n", "\n"));
    QFile log(m_dir.filePath(QStringLiteral("20240401.dbg")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), big5(QStringLiteral("2024/04/01 08:00:02  ") + summary + QStringLiteral("\r\n")));
}

TEST_F(ShowProcess, InterruptOnlySetsTheStopFlagUntilTheEndArrives) {
    m_form->setMaximum(10);
    m_form->show();
    post(StateSending);
    deliver();
    button()->click();
    QTest::keyClick(m_form.get(), Qt::Key_Escape); // only the button closes the window
    m_form->close();
    EXPECT_TRUE(StopFlag);
    EXPECT_EQ(button()->text(), QString::fromUtf8("中斷"));
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_FALSE(m_owner->isEnabled());
    EXPECT_TRUE(m_area.isEmpty());

    post(StateSent);
    deliver();
    EXPECT_EQ(button()->text(), QString::fromUtf8("確定"));
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("1 / 10(10%)"));
    m_form->close();
    EXPECT_TRUE(m_form->isVisible());
    button()->click();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_TRUE(m_owner->isEnabled());
    EXPECT_TRUE(m_owner->isVisible()); // not asked to close it
}

TEST_F(ShowProcess, ConfirmingTheEndClosesAnOwnerThatAskedForIt) {
    QSignalSpy finished(m_owner.get(), &QDialog::finished);
    m_form->closeOwner = true;
    m_owner->hide(); // the query dialog hides itself while its run goes on
    m_form->show();
    post(StateQueried);
    deliver();
    button()->click();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().toInt(), int(QDialog::Rejected));
    EXPECT_TRUE(m_owner->isEnabled());
}

TEST_F(ShowProcess, ShowingAgainStartsAFreshRunAndTheWidthFollowsTheProgressText) {
    m_form->setMaximum(2);
    m_form->show();
    post(StateSending);
    post(StateSending);
    post(StateSent);
    deliver();
    button()->click();

    m_form->setMaximum(1000000);
    m_form->show();
    EXPECT_EQ(button()->text(), QString::fromUtf8("中斷"));
    EXPECT_TRUE(child<QLabel>("LabelProgress")->isHidden());
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 0);
    for (int i = 0; i < 3; ++i)
        post(StateQuerying);
    deliver();
    const QLabel* progress = child<QLabel>("LabelProgress");
    EXPECT_EQ(progress->text(), QStringLiteral("3 / 1000000(0%)"));
    EXPECT_EQ(m_form->width(), progress->x() + progress->width() + 16);
    EXPECT_EQ(button()->x() + button()->width() + 16, m_form->width());
}
