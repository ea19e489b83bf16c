#pragma once

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace norvi {

class RichEditMT;

// The send dialog's controls in their designed places, and the schedule drop-downs' own behaviour: a
// reservation's days follow its month, and the drop-downs of a choice not taken are disabled. The dialog's
// other parts read and wire the controls.
class SendDialogForm {
public:
    // Builds the controls into `dialog`, whose font must already be set: the places follow from it.
    explicit SendDialogForm(QDialog* dialog);

    // An opening's schedule: 立即傳送, no limit, the reservation drop-downs at the day after now.
    void resetSchedule();

    // Controls, named as the form names them.
    QToolButton* SpeedButtonMT = nullptr;
    RichEditMT* m_richEditMT = nullptr; // RichEditMT
    QToolButton* SpeedButtonLoadMT = nullptr;
    QRadioButton* RadioButtonSendNow = nullptr;
    QRadioButton* RadioButtonSendOrder = nullptr;
    QComboBox* ComboBoxOTYear = nullptr;
    QComboBox* ComboBoxOTMonth = nullptr;
    QComboBox* ComboBoxOTDay = nullptr;
    QComboBox* ComboBoxOTHour = nullptr;
    QComboBox* ComboBoxOTMinute = nullptr;
    QLabel* m_orderLabels[5] = {};
    QCheckBox* CheckBoxExpTime = nullptr;
    QCheckBox* CheckBoxFollowUp = nullptr; // 傳送後追蹤結果
    QComboBox* ComboBoxExpHour = nullptr;
    QComboBox* ComboBoxExpMinute = nullptr;
    QLabel* m_expLabels[2] = {};
    QWidget* PanelMsgType = nullptr;
    QRadioButton* RadioButtonNormalMsg = nullptr;
    QRadioButton* RadioButtonReplaceMsg = nullptr;
    QLabel* LabelMsgNo = nullptr;
    QToolButton* SpeedButtonPreview = nullptr;
    QLabel* LabelMemo = nullptr;
    QLabel* LabelListText = nullptr;
    QLabel* LabelRowsTooLong = nullptr;
    QPlainTextEdit* MemoSM = nullptr;
    QPushButton* ButtonSend = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // The recipient field's height at one line, its base for growing.
    int m_mtBaseHeight = 0;

private:
    void buildControls();
    void layOutControls();
    void fillReservationDropDowns();
    void fillDays(int year, int month, int day);
    void setReservationEnabled(bool enabled);
    void setLimitEnabled(bool enabled);
    void RadioButtonSendNowClick();
    void RadioButtonSendOrderClick();
    void CheckBoxExpTimeClick();
    void ComboBoxOTYearChange();
    void ComboBoxOTMonthChange();

    QDialog* m_dialog;
    bool m_fillingDropDowns = false;
};

} // namespace norvi
