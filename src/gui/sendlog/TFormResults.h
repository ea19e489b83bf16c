#pragma once

#include "core/workers/DeliveryClass.h"

#include <QDialog>

namespace norvi {

// 傳送結果統計: what became of the messages of the listed (or selected) rows, class by class, as counts,
// shares and a pie chart; 匯出 writes the counts as CSV.
class TFormResults : public QDialog {
    Q_OBJECT
public:
    // `scope` says which rows were counted ("全部 20 筆紀錄", "所選的 3 筆紀錄"); 匯出 proposes a file in
    // `logFolder`.
    TFormResults(const DeliveryCounts& counts, const QString& scope, const QString& logFolder, QWidget* parent);

private:
    void exportCounts();

    DeliveryCounts m_counts;
    QString m_logFolder;
};

} // namespace norvi
