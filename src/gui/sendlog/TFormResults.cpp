#include "gui/sendlog/TFormResults.h"

#include "core/exchange/ExchangePath.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPieSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace norvi {

namespace {
// Delivered reads as good news, failed as bad, the rest as not over yet.
const QColor kColours[kDeliveryClasses] = {QColor(0x2e, 0x9e, 0x44), QColor(0xf0, 0xa0, 0x20),
                                           QColor(0x3a, 0x7b, 0xd5), QColor(0xd0, 0x30, 0x30),
                                           QColor(0x9a, 0x9a, 0x9a), QColor(0x8e, 0x44, 0xad)};
const QString kTitle = QStringLiteral("傳送結果統計");

QString shareText(double share) {
    return QStringLiteral("%1 %").arg(share, 0, 'f', 1);
}
} // namespace

TFormResults::TFormResults(const DeliveryCounts& counts, const QString& scope, const QString& logFolder,
                           QWidget* parent)
    : QDialog(parent), m_counts(counts), m_logFolder(logFolder) {
    setObjectName(QStringLiteral("TFormResults"));
    setWindowTitle(kTitle);
    applyFormFont(this);

    auto* scopeLabel = new QLabel(scope, this);
    scopeLabel->setObjectName(QStringLiteral("LabelScope"));

    auto* table = new QTableWidget(kDeliveryClasses + 1, 3, this);
    table->setObjectName(QStringLiteral("TableResults"));
    table->setAccessibleName(kTitle);
    table->setHorizontalHeaderLabels({QStringLiteral("類別"), QStringLiteral("筆數"), QStringLiteral("比例")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setTabKeyNavigation(false); // Tab goes on to the buttons; the arrows walk the cells
    auto put = [table](int row, const QString& name, int count, const QString& share) {
        table->setItem(row, 0, new QTableWidgetItem(name));
        for (const auto& [column, text] : {std::pair{1, QString::number(count)}, std::pair{2, share}}) {
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, item);
        }
    };
    auto* series = new QPieSeries;
    for (int i = 0; i < kDeliveryClasses; ++i) {
        const Delivery d = Delivery(i);
        put(i, DeliveryName(d), counts.count(d), shareText(counts.share(d)));
        if (counts.count(d) == 0)
            continue;
        QPieSlice* slice =
            series->append(DeliveryName(d) + QLatin1Char(' ') + shareText(counts.share(d)), counts.count(d));
        slice->setColor(kColours[i]);
        slice->setLabelVisible(true);
    }
    put(kDeliveryClasses, QStringLiteral("總計"), counts.total(), shareText(counts.total() > 0 ? 100.0 : 0.0));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // Every class in sight at once: the table is as tall as its rows, which are all one height.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth() +
                          table->rowCount() * table->verticalHeader()->defaultSectionSize());

    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(counts.total() > 0 ? kTitle : QStringLiteral("沒有紀錄"));
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setFont(font());
    chart->legend()->setFont(font());
    for (QPieSlice* slice : series->slices())
        slice->setLabelFont(font());
    auto* view = new QChartView(chart, this);
    view->setObjectName(QStringLiteral("ChartResults"));
    view->setAccessibleName(QStringLiteral("傳送結果圖"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus); // a picture of the table above: nothing in it to work with keys
    view->setMinimumSize(420, 300);

    QPushButton* exportButton = makeButton(this, QStringLiteral("匯出(&E)..."), "ButtonExport");
    QPushButton* closeButton = makeButton(this, QStringLiteral("關閉"), "ButtonClose");
    closeButton->setDefault(true); // Return, like Esc, leaves the counts; the export is asked for by name
    QDialogButtonBox* box = makeButtonBox(this, exportButton, closeButton);
    connect(exportButton, &QPushButton::clicked, this, &TFormResults::exportCounts);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scopeLabel);
    layout->addWidget(table);
    layout->addWidget(view, 1);
    layout->addWidget(box);
    resize(520, 640);
}

void TFormResults::exportCounts() {
    const QString proposed =
        QDir(m_logFolder)
            .filePath(Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral("-results.csv"));
    QString path = prompts().saveFileName(this, QStringLiteral("匯出傳送結果統計"),
                                          QStringLiteral("CSV 檔(*.csv)|*.csv|所有檔案(*.*)|*.*"), proposed);
    if (path.isEmpty())
        return;
    path = WithTypedExtension(path, QStringLiteral(".csv")); // a name typed without one is still a CSV file
    if (const QString refusal = OutputRefusal(path); !refusal.isEmpty()) {
        prompts().okBox(this, Prompts::Icon::Error, kTitle, refusal);
        return;
    }
    if (QFileInfo::exists(path) && !prompts().confirm(this, kTitle, QStringLiteral("該檔案已存在，要覆蓋？")))
        return;
    SaveFile file(path);
    const QByteArray bytes = big5(m_counts.csv());
    if (!file.open() || file.write(bytes) != bytes.size() || !file.commit()) {
        prompts().okBox(this, Prompts::Icon::Error, kTitle,
                        WithReason(QStringLiteral("無法寫入檔案：%1").arg(path), file.errorString()));
        return;
    }
    prompts().notice(this, Prompts::Icon::Information, kTitle, QStringLiteral("已匯出到 %1").arg(path));
}

} // namespace norvi
