#pragma once

#include "core/compose/SendSummary.h"
#include "core/shared/SendSettings.h"

#include <QDialog>

#include <vector>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace norvi {

// "傳送前確認": the one question before a send. It shows the run's summary line by line; a line that offers
// choices (the quiet-hours line, recipients that are no number, recipients a template leaves a field empty
// for) shows them as radio buttons under its text, with the summary's default taken. 傳送 sends
// with the answers given, 取消 goes back to the send dialog with nothing sent. 重複的也傳送 sends duplicates
// after all; a check box asks to see this box only when something is left out or a line warns.
//
// A choice that changes who is sent (the duplicates, the recipients that are no number, those with a field
// left empty) asks the caller to count the run again (recountRequested), which answers with setSummary().
class TFormSendSummary : public QDialog {
    Q_OBJECT
public:
    TFormSendSummary(const SendSummary& summary, SummaryShown shown, QWidget* parent = nullptr);

    // The summary with the user's answers in its lines' `chosen`.
    const SendSummary& summary() const { return m_summary; }
    bool keepDuplicates() const;
    // The summary counted again; the answers given so far stay.
    void setSummary(const SendSummary& summary);

signals:
    void recountRequested(bool keepDuplicates, bool leaveOutOddNumbers, bool leaveOutEmptyFields);
    // "只在有略過或警告時顯示" was ticked or cleared.
    void summaryShownChanged(SummaryShown shown);

private slots:
    void ButtonSendClick();
    void CheckBoxKeepDuplicatesClick();
    void CheckBoxOnlyWarningsClick();

private:
    void showLines();
    void choiceMade(SummaryTopic topic, int choice);
    void askRecount();

    SendSummary m_summary;
    QWidget* m_linesPanel = nullptr;
    QVBoxLayout* m_linesLayout = nullptr;
    std::vector<QWidget*> m_lineWidgets;
    QCheckBox* CheckBoxKeepDuplicates = nullptr;
    QCheckBox* CheckBoxOnlyWarnings = nullptr;
    QPushButton* ButtonSend = nullptr;
    QPushButton* ButtonCancel = nullptr;
};

// The object name of a line's label ("LabelSummaryCount") and of its choices ("RadioSummaryQuietHours0").
QString SummaryLineName(SummaryTopic topic);

} // namespace norvi
