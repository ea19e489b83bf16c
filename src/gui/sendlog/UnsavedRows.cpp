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
}

UnsavedRows::~UnsavedRows() {
    if (m_jobs.journal() == &m_journal)
        m_jobs.setJournal(nullptr);
}

void UnsavedRows::offerLeftBehind() {
    const QStringList left = DesktopJournal::leftBehind(m_config.StartDir());
    if (left.isEmpty())
        return;
    qint64 count = 0;
    bool allRead = true;
    for (const QString& path : left) {
        LogFileReader reader(path);
        if (reader.open())
            count += reader.available();
        else if (QFileInfo(path).size() >= qint64(sizeof(qint32)))
            allRead = false;
    }
    if (allRead && count == 0) {
        // A program killed before its first row (even before the journal's count) left nothing to offer.
        for (const QString& path : left)
            QFile::remove(path);
        return;
    }
    const QString title = m_main.windowTitle();
    if (!prompts().confirm(&m_main, title,
                           QStringLiteral("上次未儲存的發訊紀錄（%1 筆）仍保留著，要載入？").arg(count))) {
        // Not lost either way: kept as a log file the user can load later.
        const QDir folder(LogFolder(m_config));
        const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
        QString target = folder.filePath(stamp + QStringLiteral(".log"));
        for (int n = 2; QFileInfo::exists(target); ++n)
            target = folder.filePath(stamp + QStringLiteral("_%1.log").arg(n));
        int kept = 0;
        QString error;
        if (DesktopJournal::keepAsLog(left, target, &kept, &error))
            ShowMsgLine(big5(QStringLiteral("上次未儲存的發訊紀錄（%1 筆）已另存為 %2").arg(kept).arg(target)));
        else
            ShowMsgLine(big5(QStringLiteral("上次未儲存的發訊紀錄無法另存（%1），下次啟動時會再詢問。").arg(error)));
        return;
    }
    std::vector<SendLogRow> rows;
    QString error;
    if (!m_journal.adopt(left, &rows, &error)) {
        prompts().notice(&m_main, Prompts::Icon::Error, title,
                         QStringLiteral("無法載入上次未儲存的發訊紀錄：%1").arg(error));
        return;
    }
    for (const SendLogRow& row : rows)
        m_main.logModel().addRow(row);
    m_main.setLogSaved(false);
    ShowMsgLine(big5(QStringLiteral("已載入上次未儲存的發訊紀錄 %1 筆，尚未儲存。").arg(rows.size())));
}

} // namespace norvi
