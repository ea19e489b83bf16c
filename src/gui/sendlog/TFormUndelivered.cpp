#include "gui/sendlog/TFormUndelivered.h"

#include "core/exchange/ExchangePath.h"
#include "core/sendlog/TableFileWriter.h"
#include "core/shared/Clock.h"
#include "core/shared/OutputTarget.h"
#include "core/workers/UndeliveredList.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace norvi {

namespace {
const QString kUndeliveredTitle = QStringLiteral("匯出未送達名單");
} // namespace

TFormUndelivered::TFormUndelivered(const LogRows& log, const QString& logFolder, QWidget* parent)
    : QDialog(parent), m_log(log), m_logFolder(logFolder) {
    setObjectName(QStringLiteral("TFormUndelivered"));
    setWindowTitle(kUndeliveredTitle);
    applyFormFont(this);

    auto* intro = new QLabel(QStringLiteral("列出最後一列屬於下列類別的訊息（每則一列）："), this);
    intro->setObjectName(QStringLiteral("LabelIntro"));
    auto* group = new QGroupBox(QStringLiteral("類別"), this);
    group->setObjectName(QStringLiteral("GroupBoxClasses"));
    group->setAccessibleName(QStringLiteral("類別"));
    auto* groupLayout = new QVBoxLayout(group);
    const struct {
        Delivery d;
        const char* caption;
        const char* name;
    } checks[] = {{Delivery::Failed, "失敗(&F)", "CheckBoxFailed"},
                  {Delivery::Uncertain, "不確定(&U)", "CheckBoxUncertain"},
                  {Delivery::NotAsked, "未查詢(&N)", "CheckBoxNotAsked"}};
    const QList<Delivery> defaults = DefaultUndeliveredClasses();
    for (const auto& c : checks) {
        auto* box = new QCheckBox(QString::fromUtf8(c.caption), group);
        box->setObjectName(QString::fromLatin1(c.name));
        box->setChecked(defaults.contains(c.d));
        groupLayout->addWidget(box);
        m_checks.append(box);
    }

    QPushButton* exportButton = makeButton(this, QStringLiteral("匯出(&E)..."), "ButtonExport");
    QPushButton* cancelButton = makeButton(this, QStringLiteral("取消"), "ButtonCancel");
    exportButton->setDefault(true);
    QDialogButtonBox* box = makeButtonBox(this, exportButton, cancelButton);
    connect(exportButton, &QPushButton::clicked, this, &TFormUndelivered::exportList);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    // Nothing to export without a class.
    for (QCheckBox* check : m_checks)
        connect(check, &QCheckBox::toggled, this,
                [this, exportButton] { exportButton->setEnabled(!classes().isEmpty()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(group);
    layout->addStretch(1);
    layout->addWidget(box);
    setMinimumSize(320, 220);
}

QList<Delivery> TFormUndelivered::classes() const {
    QList<Delivery> chosen;
    const QList<Delivery> all = UndeliveredClasses();
    for (int i = 0; i < m_checks.size(); ++i)
        if (m_checks.at(i)->isChecked())
            chosen.append(all.at(i));
    return chosen;
}

// A name ending in .xlsx is written as a workbook (text cells, so a number keeps its 0), any other as CSV; a line
// at a time, so a list as long as the log is never held twice. False, told, when it could not be written.
bool TFormUndelivered::writeList(const QList<Delivery>& chosen, const QString& path, qint64* listed) {
    const bool workbook = path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    TableFileWriter file(path, workbook ? TableFileWriter::Kind::Workbook : TableFileWriter::Kind::Csv);
    *listed = 0;
    const auto put = [&](const QStringList& line) {
        ++*listed;
        return file.addRow(line);
    };
    if (file.open(UndeliveredHeader()) && ForEachUndeliveredLine(m_log, chosen, put) && file.commit())
        return true;
    prompts().okBox(this, Prompts::Icon::Error, kUndeliveredTitle, file.errorString());
    return false;
}

void TFormUndelivered::exportList() {
    const QList<Delivery> chosen = classes();
    if (chosen.isEmpty())
        return;
    const QString proposed =
        QDir(m_logFolder)
            .filePath(Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral("-undelivered.csv"));
    QString path = prompts().saveFileName(
        this, QStringLiteral("儲存未送達名單"),
        QStringLiteral("CSV 檔(*.csv)|*.csv|Excel 活頁簿(*.xlsx)|*.xlsx|所有檔案(*.*)|*.*"), proposed);
    if (path.isEmpty())
        return;
    path = WithTypedExtension(path, QStringLiteral(".csv")); // a name typed without one is still a CSV file
    if (const QString refusal = OutputRefusal(path); !refusal.isEmpty()) {
        prompts().okBox(this, Prompts::Icon::Error, kUndeliveredTitle, refusal);
        return;
    }
    if (QFileInfo::exists(path) &&
        !prompts().confirm(this, kUndeliveredTitle, QStringLiteral("該檔案已存在，要覆蓋？")))
        return;
    qint64 listed = 0;
    if (!writeList(chosen, path, &listed))
        return;
    prompts().notice(this, Prompts::Icon::Information, kUndeliveredTitle,
                     QStringLiteral("已匯出 %1 則訊息到 %2").arg(listed).arg(path));
    accept();
}

} // namespace norvi
