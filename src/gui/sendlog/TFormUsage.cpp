#include "gui/sendlog/TFormUsage.h"

#include "core/exchange/ExchangePath.h"
#include "core/sendlog/LogCsv.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>

namespace norvi {

namespace {
const QString kUsageTitle = QStringLiteral("使用量統計");
constexpr int kUsageMonths = 25;
} // namespace

TFormUsage::TFormUsage(Inputs inputs, const QDate& month, const QString& logFolder, QWidget* parent)
    : QDialog(parent), m_inputs(std::move(inputs)), m_logFolder(logFolder) {
    setObjectName(QStringLiteral("TFormUsage"));
    setWindowTitle(kUsageTitle);
    applyFormFont(this);

    // A list rather than a date field: Tab leaves it at once, and every month in it can hold logs.
    m_month = makeDropDown(this, "ComboBoxMonth", QStringLiteral("月份"));
    const QDate first(month.year(), month.month(), 1);
    for (int back = 0; back < kUsageMonths; ++back) {
        const QDate shown = first.addMonths(-back);
        m_month->addItem(shown.toString(QStringLiteral("yyyy-MM")), shown);
    }
    QLabel* monthLabel = makeLabel(this, QStringLiteral("月份(&M)："), m_month);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("LabelSummary"));
    m_summary->setWordWrap(true);

    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("TableUsage"));
    m_table->setAccessibleName(QStringLiteral("每日使用量"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setTabKeyNavigation(false); // Tab goes on to the buttons; the arrows walk the cells

    m_chart = new QChartView(new QChart, this);
    m_chart->setObjectName(QStringLiteral("ChartUsage"));
    m_chart->setAccessibleName(QStringLiteral("每日使用量圖"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setFocusPolicy(Qt::NoFocus); // a picture of the table: nothing in it to work with keys
    m_chart->setMinimumSize(480, 260);

    m_unreadable = new QPlainTextEdit(this);
    m_unreadable->setObjectName(QStringLiteral("MemoUnreadable"));
    m_unreadable->setReadOnly(true);
    m_unreadable->setTabChangesFocus(true);
    m_unreadable->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_unreadable->setMaximumHeight(80);
    QLabel* unreadableLabel = makeLabel(this, QStringLiteral("無法完整讀取的紀錄檔(&L)："), m_unreadable);

    QPushButton* exportButton = makeButton(this, QStringLiteral("匯出(&E)..."), "ButtonExport");
    QPushButton* closeButton = makeButton(this, QStringLiteral("關閉"), "ButtonClose");
    closeButton->setDefault(true); // Return, like Esc, leaves the counts; the export is asked for by name
    QDialogButtonBox* box = makeButtonBox(this, exportButton, closeButton);
    connect(exportButton, &QPushButton::clicked, this, &TFormUsage::exportTable);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_month, &QComboBox::currentIndexChanged, this, &TFormUsage::recount);

    auto* layout = new QGridLayout(this);
    layout->addWidget(monthLabel, 0, 0);
    layout->addWidget(m_month, 0, 1);
    layout->addWidget(m_summary, 0, 2);
    layout->addWidget(m_chart, 1, 0, 1, 3);
    layout->addWidget(m_table, 2, 0, 1, 3);
    layout->addWidget(unreadableLabel, 3, 0, 1, 3);
    layout->addWidget(m_unreadable, 4, 0, 1, 3);
    layout->addWidget(box, 5, 0, 1, 3);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(1, 3);
    layout->setRowStretch(2, 2);
    setMinimumSize(560, 520);
    resize(760, 680);
    recount();
}

void TFormUsage::recount() {
    m_usage = CountMonthUsage(m_month->currentData().toDate(), m_inputs.logFiles, m_inputs.listRows);
    showUsage();
}

void TFormUsage::showUsage() {
    const UsageCounts& total = m_usage.total;
    QString summary = QStringLiteral("%1 個紀錄檔：簡訊 %2 通，成功 %3，失敗 %4，不確定 %5")
                          .arg(m_usage.logsRead)
                          .arg(total.shortMessages)
                          .arg(total.sent)
                          .arg(total.failed)
                          .arg(total.uncertain);
    if (!m_inputs.listRows.empty())
        summary += QStringLiteral("（含未儲存的 %1 筆）").arg(m_inputs.listRows.size());
    if (m_usage.undated > 0)
        summary += QStringLiteral("；傳送時間無法辨識的 %1 筆未計入").arg(m_usage.undated);
    m_summary->setText(summary);

    const TextTable table = UsageTable(m_usage);
    m_table->clear();
    m_table->setColumnCount(table.header.size());
    m_table->setRowCount(int(table.rows.size()));
    m_table->setHorizontalHeaderLabels(table.header);
    for (int r = 0; r < int(table.rows.size()); ++r)
        for (int c = 0; c < table.rows.at(std::size_t(r)).size(); ++c) {
            auto* item = new QTableWidgetItem(table.rows.at(std::size_t(r)).at(c));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
    m_table->resizeColumnsToContents();

    // A bar a day, its parts what became of the day's short messages.
    auto* sent = new QBarSet(QStringLiteral("傳送成功"));
    auto* failed = new QBarSet(QStringLiteral("傳送失敗"));
    auto* uncertain = new QBarSet(QStringLiteral("不確定"));
    sent->setColor(QColor(0x2e, 0x9e, 0x44));
    failed->setColor(QColor(0xd0, 0x30, 0x30));
    uncertain->setColor(QColor(0x8e, 0x44, 0xad));
    QStringList days;
    int most = 0;
    for (int d = 0; d < m_usage.days.size(); ++d) {
        const UsageCounts& day = m_usage.days.at(d);
        *sent << day.sent;
        *failed << day.failed;
        *uncertain << day.uncertain;
        days << QString::number(d + 1);
        most = std::max(most, day.sent + day.failed + day.uncertain);
    }
    auto* series = new QStackedBarSeries;
    series->append({sent, failed, uncertain});
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(m_usage.month.toString(QStringLiteral("yyyy-MM")) + QStringLiteral(" 每日簡訊通數"));
    chart->setFont(font());
    chart->setTitleFont(font());
    chart->legend()->setFont(font());
    chart->legend()->setAlignment(Qt::AlignBottom);
    // 31 days side by side: their numbers in a smaller type, so none is cut to "...".
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.8));
    auto* dayAxis = new QBarCategoryAxis;
    dayAxis->append(days);
    dayAxis->setLabelsFont(small);
    // Whole numbers of short messages: a tick every 1, 2, 5, 10, 20, 50, ... with at most about 8 of them.
    qint64 step = 1;
    for (int k = 0; most / step > 8; ++k)
        step = (k % 3 == 1) ? step / 2 * 5 : step * 2; // 1, 2, 5, 10, 20, 50, ...
    auto* countAxis = new QValueAxis;
    // The top of the axis: the largest count rounded up to a whole step.
    const int top = (std::max(most, 1) + step - 1) / step * step;
    countAxis->setRange(0, top);
    countAxis->setTickType(QValueAxis::TicksDynamic);
    countAxis->setTickAnchor(0);
    countAxis->setTickInterval(double(step));
    countAxis->setLabelFormat(QStringLiteral("%d"));
    countAxis->setLabelsFont(small);
    chart->addAxis(dayAxis, Qt::AlignBottom);
    chart->addAxis(countAxis, Qt::AlignLeft);
    series->attachAxis(dayAxis);
    series->attachAxis(countAxis);
    QChart* old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;

    QStringList lines = m_usage.unreadable;
    if (!m_inputs.folderProblem.isEmpty())
        lines.prepend(m_inputs.folderProblem);
    m_unreadable->setPlainText(lines.isEmpty() ? QStringLiteral("（沒有）") : lines.join(u'\n'));
}

void TFormUsage::exportTable() {
    const QString proposed =
        QDir(m_logFolder).filePath(m_usage.month.toString(QStringLiteral("yyyy-MM")) + QStringLiteral("-usage.csv"));
    QString path = prompts().saveFileName(this, QStringLiteral("匯出使用量統計"),
                                          QStringLiteral("CSV 檔(*.csv)|*.csv|所有檔案(*.*)|*.*"), proposed);
    if (path.isEmpty())
        return;
    path = WithTypedExtension(path, QStringLiteral(".csv")); // a name typed without one is still a CSV file
    if (const QString refusal = OutputRefusal(path); !refusal.isEmpty()) {
        prompts().okBox(this, Prompts::Icon::Error, kUsageTitle, refusal);
        return;
    }
    if (QFileInfo::exists(path) && !prompts().confirm(this, kUsageTitle, QStringLiteral("該檔案已存在，要覆蓋？")))
        return;
    SaveFile file(path);
    const QByteArray bytes = TextTableCsv(UsageTable(m_usage), CsvEncoding::Utf8WithBom);
    if (!file.open() || file.write(bytes) != bytes.size() || !file.commit()) {
        prompts().okBox(this, Prompts::Icon::Error, kUsageTitle,
                        WithReason(QStringLiteral("無法寫入檔案：%1").arg(path), file.errorString()));
        return;
    }
    prompts().notice(this, Prompts::Icon::Information, kUsageTitle, QStringLiteral("已匯出到 %1").arg(path));
}

} // namespace norvi
