#include "gui/sendlog/UnsavedRows.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "core/workers/JobRegistry.h"
#include "gui/sendlog/TFormMain.h"
#include "gui/shared/Prompts.h"

#include <QDir>
#include <QFileInfo>

namespace norvi {

UnsavedRows::UnsavedRows(TFormMain& main, const Config& config, JobRegistry& jobs)
    : m_main(main), m_config(config), m_jobs(jobs), m_journal(config.StartDir()) {
    m_jobs.setJournal(&m_journal);
    m_main.logModel().setJournal(&m_journal);
}

UnsavedRows::~UnsavedRows() {
    if (m_jobs.journal() == &m_journal)
        m_jobs.setJournal(nullptr);
    if (m_main.logModel().journal() == &m_journal)
        m_main.logModel().setJournal(nullptr);
}

void UnsavedRows::offerLeftBehind() {
    QStringList left = DesktopJournal::leftBehind(m_config.StartDir());
    for (const QString& path : QStringList(left)) {
        const QString damage = DesktopJournal::refusal(path);
        if (damage.isEmpty())
            continue;
        const QString text =
            QStringLiteral(
                "上次未儲存的發訊紀錄 %1 無法完整讀取，沒有載入：%2檔案保留原樣，請勿刪除，以便查出其中簡訊的結果。")
                .arg(path, damage);
        ShowMsgLine(big5(text));
        WriteOpLog(big5(text));
        left.removeOne(path);
    }
    if (left.isEmpty())
        return;
    UnreachedRows unreached;
    const int count = DesktopJournal::rowsLeft(left, &unreached);
    bool allRead = true;
    for (const QString& path : left) {
        LogFileReader reader(path);
        if (!reader.open() && QFileInfo(path).size() >= qint64(sizeof(qint32)))
            allRead = false;
    }
    const int missing = unreached.notSent;
    if (allRead && count == 0 && missing == 0 && unreached.damaged == 0 && unreached.fits) {
        // A program killed before its first row (even before the journal's count) left nothing to offer.
        for (const QString& path : left)
            DesktopJournal::removeLeftBehind(path);
        return;
    }
    const QString title = m_main.windowTitle();
    QString question = QStringLiteral("上次未儲存的發訊紀錄（%1 筆）仍保留著，要載入？").arg(count);
    if (missing > 0)
        question += QStringLiteral("\n上次的傳送在 %1 則簡訊送出前中斷，會為它們補上紀錄。").arg(missing);
    if (unreached.damaged > 0)
        question += QStringLiteral("\n其中 %1 則簡訊的紀錄已損壞，會補上「可能已送出」的紀錄。").arg(unreached.damaged);
    const Prompts::Answer answer =
        prompts().message(&m_main, Prompts::Icon::Question, Prompts::Buttons::YesNo, title, question);
    // The program ended under the question: nobody chose, so the rows stay where they are for the next start.
    if (answer == Prompts::Answer::Cancel)
        return;
    if (answer != Prompts::Answer::Yes) {
        // Not lost either way: kept as a log file the user can load later.
        const QDir folder(LogFolder(m_config));
        const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
        QString target = folder.filePath(stamp + QStringLiteral(".log"));
        for (int n = 2; QFileInfo::exists(target); ++n)
            target = folder.filePath(stamp + QStringLiteral("_%1.log").arg(n));
        int kept = 0;
        QString error;
        UnreachedRows added;
        if (DesktopJournal::keepAsLog(left, target, &kept, &added, &error)) {
            ShowMsgLine(big5(QStringLiteral("上次未儲存的發訊紀錄（%1 筆）已另存為 %2").arg(kept).arg(target)));
            noteUnreached(added);
        } else {
            ShowMsgLine(big5(QStringLiteral("上次未儲存的發訊紀錄無法另存（%1），下次啟動時會再詢問。").arg(error)));
        }
        return;
    }
    std::vector<SendLogRow> rows;
    QString error;
    UnreachedRows added;
    if (!m_journal.adopt(left, &rows, &added, &error)) {
        prompts().notice(&m_main, Prompts::Icon::Error, title,
                         QStringLiteral("無法載入上次未儲存的發訊紀錄：%1").arg(error));
        return;
    }
    for (const SendLogRow& row : rows)
        m_main.logModel().addRow(row);
    m_main.setLogSaved(false);
    ShowMsgLine(big5(QStringLiteral("已載入上次未儲存的發訊紀錄 %1 筆，尚未儲存。").arg(rows.size())));
    noteUnreached(added);
}

// The rows recovery added for an interrupted run, in the message area and the day's operation log.
void UnsavedRows::noteUnreached(const UnreachedRows& added) {
    const QString text = UnreachedRowsText(added);
    if (text.isEmpty())
        return;
    ShowMsgLine(big5(text));
    WriteOpLog(big5(text));
}

} // namespace norvi
