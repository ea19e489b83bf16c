#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/workers/MonthUsage.h"

#include <QDialog>
#include <QStringList>

#include <vector>

class QChartView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace norvi {

// 使用量統計: what a month cost, day by day: the short messages handed to the gateway and what became of them, as
// a table and a bar chart per day, with the logs that could not be read named under them. 匯出 writes the table
// as CSV. The counts come from the core (CountMonthUsage) over the inputs given here; another month is counted
// again from the same inputs.
class TFormUsage : public QDialog {
    Q_OBJECT
public:
    struct Inputs {
        QStringList logFiles;             // every log of the log folder
        std::vector<SendLogRow> listRows; // the send log's rows not saved yet
        QString folderProblem;            // why the log folder could not be read; empty when it could
    };
    // `month` is counted first; the others of the two years before it can be chosen.
    TFormUsage(Inputs inputs, const QDate& month, const QString& logFolder, QWidget* parent);

    const MonthUsage& usage() const { return m_usage; }

private:
    void recount();
    void showUsage();
    void exportTable();

    Inputs m_inputs;
    QString m_logFolder;
    MonthUsage m_usage;
    QComboBox* m_month; // the month counted: this one and the two years before it
    QLabel* m_summary;
    QTableWidget* m_table;
    QChartView* m_chart;
    QPlainTextEdit* m_unreadable; // a line per log not read whole
};

} // namespace norvi
