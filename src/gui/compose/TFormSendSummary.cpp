#include "gui/compose/TFormSendSummary.h"

#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace norvi {

namespace {

constexpr int kChoiceIndent = 24;

} // namespace

QString SummaryLineName(SummaryTopic topic) {
    switch (topic) {
    case SummaryTopic::Count:
        return QStringLiteral("Count");
    case SummaryTopic::LeftOut:
        return QStringLiteral("LeftOut");
    case SummaryTopic::SameNumber:
        return QStringLiteral("SameNumber");
    case SummaryTopic::Reservation:
        return QStringLiteral("Reservation");
    case SummaryTopic::Validity:
        return QStringLiteral("Validity");
    case SummaryTopic::QuietHours:
        return QStringLiteral("QuietHours");
    case SummaryTopic::Link:
        return QStringLiteral("Link");
    case SummaryTopic::OverlongRows:
        return QStringLiteral("OverlongRows");
    case SummaryTopic::MarksAsWritten:
        return QStringLiteral("MarksAsWritten");
    case SummaryTopic::RowsAsWritten:
        return QStringLiteral("RowsAsWritten");
    case SummaryTopic::OddNumbers:
        return QStringLiteral("OddNumbers");
    case SummaryTopic::EmptyFields:
        return QStringLiteral("EmptyFields");
    case SummaryTopic::BlankTexts:
        return QStringLiteral("BlankTexts");
    case SummaryTopic::NothingToSend:
        return QStringLiteral("NothingToSend");
    }
    return QStringLiteral("Line");
}

TFormSendSummary::TFormSendSummary(const SendSummary& summary, SummaryShown shown, QWidget* parent)
    : QDialog(parent), m_summary(summary) {
    setObjectName(QStringLiteral("TFormSendSummary"));
    setWindowTitle(QStringLiteral("傳送前確認"));
    applyFormFont(this);

    m_linesPanel = new QWidget(this);
    m_linesPanel->setObjectName(QStringLiteral("PanelSummaryLines"));
    m_linesLayout = new QVBoxLayout(m_linesPanel);
    m_linesLayout->setContentsMargins(0, 0, 0, 0);

    CheckBoxKeepDuplicates = new QCheckBox(QStringLiteral("重複的也傳送(&D)"), this);
    CheckBoxKeepDuplicates->setObjectName(QStringLiteral("CheckBoxKeepDuplicates"));
    CheckBoxOnlyWarnings = new QCheckBox(QStringLiteral("只在有略過或警告時顯示(&W)"), this);
    CheckBoxOnlyWarnings->setObjectName(QStringLiteral("CheckBoxOnlyWarnings"));
    CheckBoxOnlyWarnings->setChecked(shown == SummaryShown::Warnings);

    ButtonSend = makeButton(this, QStringLiteral("傳送(&S)"), "ButtonSend");
    ButtonSend->setDefault(true);
    ButtonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_linesPanel);
    layout->addSpacing(6);
    layout->addWidget(CheckBoxKeepDuplicates, 0, Qt::AlignLeft);
    layout->addWidget(CheckBoxOnlyWarnings, 0, Qt::AlignLeft);
    layout->addWidget(makeButtonBox(this, ButtonSend, ButtonCancel));
    setMinimumWidth(360);

    connect(ButtonSend, &QPushButton::clicked, this, &TFormSendSummary::ButtonSendClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CheckBoxKeepDuplicates, &QCheckBox::clicked, this, &TFormSendSummary::CheckBoxKeepDuplicatesClick);
    connect(CheckBoxOnlyWarnings, &QCheckBox::clicked, this, &TFormSendSummary::CheckBoxOnlyWarningsClick);
    showLines();
}

bool TFormSendSummary::keepDuplicates() const {
    return CheckBoxKeepDuplicates->isChecked();
}

void TFormSendSummary::setSummary(const SendSummary& summary) {
    // An answer given before the recount stays, where the recounted line still offers it.
    const SendSummary before = m_summary;
    m_summary = summary;
    for (SummaryLine& line : m_summary.lines) {
        const SummaryLine* old = before.line(line.topic);
        // The lines of who is left out take their answer from the recount itself.
        const bool counted = line.topic == SummaryTopic::OddNumbers || line.topic == SummaryTopic::EmptyFields;
        if (old && !counted && old->choices == line.choices)
            line.chosen = old->chosen;
    }
    showLines();
}

// Each line a label; a line with choices gets its radio buttons under it, indented. Built again after a
// recount (the old lines go once the click that asked for it is through), with the focus kept on the choice
// that had it.
void TFormSendSummary::showLines() {
    QWidget* focused = focusWidget();
    const QString focusName = focused && m_linesPanel->isAncestorOf(focused) ? focused->objectName() : QString();
    for (QWidget* w : m_lineWidgets) {
        m_linesLayout->removeWidget(w);
        w->hide();
        w->deleteLater();
    }
    m_lineWidgets.clear();

    QWidget* previous = nullptr;
    QWidget* refocus = nullptr;
    for (const SummaryLine& line : m_summary.lines) {
        const QString name = SummaryLineName(line.topic);
        auto* row = new QWidget(m_linesPanel);
        row->setObjectName(QStringLiteral("PanelSummary") + name);
        row->setAccessibleName(line.text);
        auto* rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(line.text, row);
        label->setObjectName(QStringLiteral("LabelSummary") + name);
        label->setWordWrap(true);
        if (line.warning) {
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        rowLayout->addWidget(label);
        m_linesLayout->addWidget(row);
        m_lineWidgets.push_back(row);
        if (line.choices.isEmpty() || line.onlyChoice)
            continue;
        auto* choices = new QVBoxLayout;
        choices->setContentsMargins(kChoiceIndent, 0, 0, 0);
        rowLayout->addLayout(choices);
        auto* group = new QButtonGroup(row);
        for (int k = 0; k < line.choices.size(); ++k) {
            auto* radio = makeRadio(row, line.choices.at(k), "");
            radio->setObjectName(QStringLiteral("RadioSummary%1%2").arg(name).arg(k));
            radio->setChecked(k == line.chosen);
            group->addButton(radio, k);
            // As wide as its text: a click anywhere on it is a click on the choice.
            choices->addWidget(radio, 0, Qt::AlignLeft);
            if (previous)
                setTabOrder(previous, radio);
            previous = radio;
            if (radio->objectName() == focusName)
                refocus = radio;
        }
        const SummaryTopic topic = line.topic;
        connect(group, &QButtonGroup::idClicked, this, [this, topic](int id) { choiceMade(topic, id); });
    }
    if (previous)
        setTabOrder(previous, CheckBoxKeepDuplicates);
    if (refocus)
        refocus->setFocus();

    // The duplicates' check box shows while there are duplicates to send, or it is ticked.
    CheckBoxKeepDuplicates->setVisible(m_summary.duplicates > 0 || CheckBoxKeepDuplicates->isChecked());
    const bool sendable = m_summary.recipients > 0;
    ButtonSend->setEnabled(sendable);
    ButtonSend->setDefault(sendable);
    ButtonCancel->setDefault(!sendable);
    adjustSize();
}

void TFormSendSummary::choiceMade(SummaryTopic topic, int choice) {
    SummaryLine* line = m_summary.line(topic);
    if (!line || line->chosen == choice)
        return;
    line->chosen = choice;
    if (topic == SummaryTopic::OddNumbers || topic == SummaryTopic::EmptyFields)
        askRecount();
}

void TFormSendSummary::askRecount() {
    emit recountRequested(keepDuplicates(), m_summary.chosen(SummaryTopic::OddNumbers) != kSendOdd,
                          m_summary.chosen(SummaryTopic::EmptyFields) == kLeaveOutEmptyFields);
}

void TFormSendSummary::CheckBoxKeepDuplicatesClick() {
    askRecount();
}

void TFormSendSummary::CheckBoxOnlyWarningsClick() {
    emit summaryShownChanged(CheckBoxOnlyWarnings->isChecked() ? SummaryShown::Warnings : SummaryShown::Always);
}

void TFormSendSummary::ButtonSendClick() {
    if (m_summary.recipients > 0)
        accept();
}

} // namespace norvi
