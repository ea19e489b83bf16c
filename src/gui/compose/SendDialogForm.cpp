#include "gui/compose/SendDialogForm.h"

#include "core/compose/SendValidation.h"
#include "core/shared/Clock.h"
#include "gui/compose/RichEditMT.h"
#include "gui/shared/FormControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace norvi {

namespace {

// The form as designed: a client area of 569 x 359, which is also the smallest it may get.
constexpr int kClientWidth = 569;
constexpr int kClientHeight = 359;
constexpr int kMargin = 16;
constexpr int kTop = 12;
constexpr int kSideButtonWidth = 60;
constexpr int kYearWidth = 62;
constexpr int kItemWidth = 48;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kCountWidth = 170;

QToolButton* makeSpeedButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// A row of controls with the designed gaps between them: a number after a control is the gap that follows it.
QHBoxLayout* row(std::initializer_list<std::pair<QWidget*, int>> controls) {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(0);
    for (const auto& [control, gap] : controls) {
        layout->addWidget(control);
        layout->addSpacing(gap);
    }
    layout->addStretch(1);
    return layout;
}

int itemNumber(const QComboBox* combo) {
    return combo->currentText().trimmed().toInt();
}

} // namespace

SendDialogForm::SendDialogForm(QDialog* dialog) : m_dialog(dialog) {
    buildControls();
    layOutControls();
    m_dialog->resize(kClientWidth, kClientHeight);
    m_dialog->setMinimumSize(kClientWidth, kClientHeight);
}

void SendDialogForm::buildControls() {
    SpeedButtonMT = makeSpeedButton(m_dialog, "SpeedButtonMT", QStringLiteral("受訊者："));
    m_richEditMT = new RichEditMT(m_dialog);
    m_richEditMT->setAccessibleName(QStringLiteral("受訊者"));
    SpeedButtonLoadMT = makeSpeedButton(m_dialog, "SpeedButtonLoadMT", QStringLiteral("上載..."));

    RadioButtonSendNow = makeRadio(m_dialog, QStringLiteral("立即傳送"), "RadioButtonSendNow");
    RadioButtonSendOrder = makeRadio(m_dialog, QStringLiteral("預約傳送"), "RadioButtonSendOrder");
    auto* schedule = new QButtonGroup(m_dialog);
    schedule->addButton(RadioButtonSendNow);
    schedule->addButton(RadioButtonSendOrder);

    ComboBoxOTYear = makeDropDown(m_dialog, "ComboBoxOTYear", QStringLiteral("年"));
    ComboBoxOTMonth = makeDropDown(m_dialog, "ComboBoxOTMonth", QStringLiteral("月"));
    ComboBoxOTDay = makeDropDown(m_dialog, "ComboBoxOTDay", QStringLiteral("日"));
    ComboBoxOTHour = makeDropDown(m_dialog, "ComboBoxOTHour", QStringLiteral("時"));
    ComboBoxOTMinute = makeDropDown(m_dialog, "ComboBoxOTMinute", QStringLiteral("分"));
    ComboBoxOTYear->setFixedWidth(kYearWidth);
    for (QComboBox* combo : {ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute})
        combo->setFixedWidth(kItemWidth);
    ComboBoxOTMonth->addItems(DropDownItems(1, 12));
    ComboBoxOTHour->addItems(DropDownItems(0, 23));
    ComboBoxOTMinute->addItems(DropDownItems(0, 59));
    QComboBox* const order[] = {ComboBoxOTYear, ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute};
    const QString orderCaptions[] = {QStringLiteral("年"), QStringLiteral("月"), QStringLiteral("日"),
                                     QStringLiteral("時"), QStringLiteral("分")};
    for (int i = 0; i < 5; ++i)
        m_orderLabels[i] = makeLabel(m_dialog, orderCaptions[i], order[i]);

    CheckBoxExpTime = new QCheckBox(QStringLiteral("訊息截止時間："), m_dialog);
    CheckBoxExpTime->setObjectName(QStringLiteral("CheckBoxExpTime"));
    CheckBoxFollowUp = new QCheckBox(QStringLiteral("傳送後追蹤結果(&F)"), m_dialog);
    CheckBoxFollowUp->setObjectName(QStringLiteral("CheckBoxFollowUp"));
    ComboBoxExpHour = makeDropDown(m_dialog, "ComboBoxExpHour", QStringLiteral("小時"));
    ComboBoxExpMinute = makeDropDown(m_dialog, "ComboBoxExpMinute", QStringLiteral("分"));
    ComboBoxExpHour->setFixedWidth(kItemWidth);
    ComboBoxExpMinute->setFixedWidth(kItemWidth);
    ComboBoxExpHour->addItems(DropDownItems(0, 23));
    ComboBoxExpMinute->addItems(DropDownItems(0, 59));
    m_expLabels[0] = makeLabel(m_dialog, QStringLiteral("小時"), ComboBoxExpHour);
    m_expLabels[1] = makeLabel(m_dialog, QStringLiteral("分"), ComboBoxExpMinute);

    auto* panel = new QFrame(m_dialog);
    panel->setObjectName(QStringLiteral("PanelMsgType"));
    panel->setFrameShape(QFrame::StyledPanel);
    PanelMsgType = panel;
    RadioButtonNormalMsg = makeRadio(panel, QStringLiteral("一般簡訊"), "RadioButtonNormalMsg");
    RadioButtonReplaceMsg = makeRadio(panel, QStringLiteral("替代簡訊"), "RadioButtonReplaceMsg");
    RadioButtonReplaceMsg->setToolTip(QStringLiteral("發訊名單各行的 $1$、$2$... 值填入訊息內容的 $1$、$2$..."));
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(8, 2, 8, 2);
    panelLayout->setSpacing(12);
    panelLayout->addWidget(RadioButtonNormalMsg);
    panelLayout->addWidget(RadioButtonReplaceMsg);

    LabelMsgNo = new QLabel(m_dialog);
    LabelMsgNo->setObjectName(QStringLiteral("LabelMsgNo"));
    LabelMsgNo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SpeedButtonPreview = makeSpeedButton(m_dialog, "SpeedButtonPreview", QStringLiteral("預覽"));

    MemoSM = new QPlainTextEdit(m_dialog);
    MemoSM->setObjectName(QStringLiteral("MemoSM"));
    MemoSM->setAccessibleName(QStringLiteral("訊息內容"));
    MemoSM->setTabChangesFocus(true);
    MemoSM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LabelMemo = makeLabel(m_dialog, QStringLiteral("訊息內容："), MemoSM);
    LabelListText = new QLabel(QStringLiteral("名單檔第 2 欄的內容會取代下方訊息"), m_dialog);
    LabelListText->setObjectName(QStringLiteral("LabelListText"));
    LabelListText->setStyleSheet(QStringLiteral("color: #c00000;"));
    LabelListText->hide();
    LabelRowsTooLong = new QLabel(m_dialog);
    LabelRowsTooLong->setObjectName(QStringLiteral("LabelRowsTooLong"));
    LabelRowsTooLong->setStyleSheet(QStringLiteral("color: #c00000;"));
    LabelRowsTooLong->setWordWrap(true);
    LabelRowsTooLong->hide();
    // Return sends from every control but the message, whose lines it breaks; the recipient field passes it on.
    ButtonSend = makeButton(m_dialog, QStringLiteral("傳送(&S)"), "ButtonSend");
    ButtonSend->setDefault(true);
    ButtonCancel = makeButton(m_dialog, QStringLiteral("取消"), "ButtonCancel");

    QObject::connect(RadioButtonSendNow, &QRadioButton::clicked, m_dialog, [this] { RadioButtonSendNowClick(); });
    QObject::connect(RadioButtonSendOrder, &QRadioButton::clicked, m_dialog, [this] { RadioButtonSendOrderClick(); });
    QObject::connect(CheckBoxExpTime, &QCheckBox::clicked, m_dialog, [this] { CheckBoxExpTimeClick(); });
    QObject::connect(ComboBoxOTYear, &QComboBox::currentIndexChanged, m_dialog, [this] { ComboBoxOTYearChange(); });
    QObject::connect(ComboBoxOTMonth, &QComboBox::currentIndexChanged, m_dialog, [this] { ComboBoxOTMonthChange(); });
}

// The designed places and gaps. The field is one line high at first, and that height is its base for growing;
// the message field takes every change of the height, the field and the count every change of the width.
void SendDialogForm::layOutControls() {
    m_mtBaseHeight = m_richEditMT->requestedHeight();
    m_richEditMT->setFixedHeight(m_mtBaseHeight);
    SpeedButtonMT->setFixedSize(kSideButtonWidth, m_mtBaseHeight);
    SpeedButtonLoadMT->setFixedSize(kSideButtonWidth, m_mtBaseHeight);
    SpeedButtonPreview->setFixedWidth(kSideButtonWidth);
    // The count keeps its designed width and height, and takes the free width to its left (wrapping within
    // it) when it must also say what six short messages cannot hold.
    LabelMsgNo->setMinimumSize(kCountWidth, PanelMsgType->sizeHint().height());
    LabelMsgNo->setWordWrap(true);
    PanelMsgType->setFixedSize(PanelMsgType->sizeHint());
    for (QPushButton* button : {ButtonSend, ButtonCancel})
        button->setMinimumSize(kButtonWidth, kButtonHeight);

    // The form's right margin is the recipient row's, a pixel short of the others' (as designed).
    auto* recipients = new QHBoxLayout;
    recipients->setSpacing(0);
    recipients->addWidget(SpeedButtonMT, 0, Qt::AlignTop);
    recipients->addSpacing(8);
    recipients->addWidget(m_richEditMT, 1, Qt::AlignTop);
    recipients->addSpacing(7);
    recipients->addWidget(SpeedButtonLoadMT, 0, Qt::AlignTop);

    QHBoxLayout* schedule = row({{RadioButtonSendNow, 12},
                                 {RadioButtonSendOrder, 10},
                                 {ComboBoxOTYear, 3},
                                 {m_orderLabels[0], 8},
                                 {ComboBoxOTMonth, 3},
                                 {m_orderLabels[1], 8},
                                 {ComboBoxOTDay, 3},
                                 {m_orderLabels[2], 8},
                                 {ComboBoxOTHour, 3},
                                 {m_orderLabels[3], 8},
                                 {ComboBoxOTMinute, 3},
                                 {m_orderLabels[4], 0}});
    QHBoxLayout* limit = row(
        {{CheckBoxExpTime, 4}, {ComboBoxExpHour, 3}, {m_expLabels[0], 8}, {ComboBoxExpMinute, 3}, {m_expLabels[1], 0}});
    limit->addWidget(CheckBoxFollowUp);

    auto* type = new QHBoxLayout;
    type->setSpacing(0);
    type->setContentsMargins(0, 0, 1, 0);
    type->addWidget(PanelMsgType);
    type->addSpacing(8);
    type->addWidget(LabelMsgNo, 1);
    type->addSpacing(8);
    type->addWidget(SpeedButtonPreview);

    QDialogButtonBox* buttons = makeButtonBox(m_dialog, ButtonSend, ButtonCancel);
    buttons->setCenterButtons(true);
    buttons->layout()->setSpacing(24); // the designed gap between the two

    auto* form = new QVBoxLayout(m_dialog);
    form->setContentsMargins(kMargin, kTop, kMargin - 1, kMargin);
    form->setSpacing(0);
    form->addLayout(recipients);
    form->addSpacing(10);
    form->addLayout(schedule);
    form->addSpacing(6);
    form->addLayout(limit);
    form->addSpacing(8);
    form->addLayout(type);
    form->addWidget(LabelRowsTooLong, 0, Qt::AlignRight);
    form->addSpacing(8);
    auto* message = new QVBoxLayout;
    message->setSpacing(4);
    message->setContentsMargins(0, 0, 1, 0);
    auto* memoCaption = new QHBoxLayout;
    memoCaption->setSpacing(12);
    memoCaption->addWidget(LabelMemo);
    memoCaption->addWidget(LabelListText);
    memoCaption->addStretch(1);
    message->addLayout(memoCaption);
    message->addWidget(MemoSM, 1);
    form->addLayout(message, 1);
    form->addSpacing(kMargin);
    form->addWidget(buttons);
}

// ---- schedule ----

void SendDialogForm::resetSchedule() {
    RadioButtonSendNow->setChecked(true);
    setReservationEnabled(false);
    CheckBoxExpTime->setChecked(false);
    ComboBoxExpHour->setCurrentIndex(0);
    ComboBoxExpMinute->setCurrentIndex(0);
    setLimitEnabled(false);
    fillReservationDropDowns();
}

void SendDialogForm::setReservationEnabled(bool enabled) {
    for (QComboBox* combo : {ComboBoxOTYear, ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute})
        combo->setEnabled(enabled);
    for (QLabel* label : m_orderLabels)
        label->setEnabled(enabled);
}

void SendDialogForm::setLimitEnabled(bool enabled) {
    ComboBoxExpHour->setEnabled(enabled);
    ComboBoxExpMinute->setEnabled(enabled);
    for (QLabel* label : m_expLabels)
        label->setEnabled(enabled);
}

void SendDialogForm::RadioButtonSendNowClick() {
    setReservationEnabled(false);
}

void SendDialogForm::RadioButtonSendOrderClick() {
    setReservationEnabled(true);
}

void SendDialogForm::CheckBoxExpTimeClick() {
    setLimitEnabled(CheckBoxExpTime->isChecked());
}

// The day after now, to the minute, is what a reservation most likely wants.
void SendDialogForm::fillReservationDropDowns() {
    const ReservationDefaults d = ReservationDropDowns(Clock::now());
    m_fillingDropDowns = true;
    ComboBoxOTYear->clear();
    ComboBoxOTYear->addItems(d.years);
    ComboBoxOTYear->setCurrentIndex(d.yearIndex);
    ComboBoxOTMonth->setCurrentIndex(d.month - 1);
    ComboBoxOTHour->setCurrentIndex(d.hour);
    ComboBoxOTMinute->setCurrentIndex(d.minute);
    fillDays(itemNumber(ComboBoxOTYear), d.month, d.day);
    m_fillingDropDowns = false;
}

void SendDialogForm::fillDays(int year, int month, int day) {
    const bool filling = m_fillingDropDowns;
    m_fillingDropDowns = true;
    ComboBoxOTDay->clear();
    ComboBoxOTDay->addItems(DropDownItems(1, DaysInMonth(year, month)));
    ComboBoxOTDay->setCurrentIndex(std::clamp(day, 1, int(ComboBoxOTDay->count())) - 1);
    m_fillingDropDowns = filling;
}

void SendDialogForm::ComboBoxOTYearChange() {
    if (m_fillingDropDowns)
        return;
    const int year = itemNumber(ComboBoxOTYear);
    const int month = ComboBoxOTMonth->currentIndex() + 1;
    fillDays(year, month, DayAfterMonthChange(itemNumber(ComboBoxOTDay), year, month));
}

void SendDialogForm::ComboBoxOTMonthChange() {
    ComboBoxOTYearChange();
}

} // namespace norvi
