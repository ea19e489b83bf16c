#include "gui/compose/TFormSendSMS.h"

#include "core/compose/ComposeState.h"
#include "core/compose/MessageCount.h"
#include "core/compose/RecipientField.h"
#include "core/compose/SendValidation.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"
#include "core/workers/StopRows.h"
#include "gui/compose/RichEditMT.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <cstring>

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

QComboBox* makeDropDown(QWidget* parent, const char* name, const QString& accessibleName, int width) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setAccessibleName(accessibleName);
    combo->setFixedWidth(width);
    combo->setMaxVisibleItems(12);
    return combo;
}

// The label names its control: screen readers announce the control by it.
QLabel* makeLabel(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    label->adjustSize();
    return label;
}

int itemNumber(const QComboBox* combo) {
    return combo->currentText().trimmed().toInt();
}

} // namespace

TFormSendSMS::TFormSendSMS(SendLogHost& sendLog, JobSupervisor& jobs, QWidget* parent)
    : QDialog(parent), m_sendLog(sendLog), m_jobs(jobs) {
    setObjectName(QStringLiteral("TFormSendSMS"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("發送訊息"));
    setSizeGripEnabled(true);
    buildControls();
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
    placeControls();
    std::memset(&m_msgSegments, 0, sizeof m_msgSegments);
    std::memset(&m_rowSegments, 0, sizeof m_rowSegments);
    Recount();
}

TFormSendSMS::~TFormSendSMS() = default;

void TFormSendSMS::buildControls() {
    SpeedButtonMT = makeSpeedButton(this, "SpeedButtonMT", QStringLiteral("受訊者："));
    m_richEditMT = new RichEditMT(this);
    m_richEditMT->setAccessibleName(QStringLiteral("受訊者"));
    SpeedButtonLoadMT = makeSpeedButton(this, "SpeedButtonLoadMT", QStringLiteral("上載..."));

    RadioButtonSendNow = new QRadioButton(QStringLiteral("立即傳送"), this);
    RadioButtonSendNow->setObjectName(QStringLiteral("RadioButtonSendNow"));
    RadioButtonSendOrder = new QRadioButton(QStringLiteral("預約傳送"), this);
    RadioButtonSendOrder->setObjectName(QStringLiteral("RadioButtonSendOrder"));
    auto* schedule = new QButtonGroup(this);
    schedule->addButton(RadioButtonSendNow);
    schedule->addButton(RadioButtonSendOrder);

    ComboBoxOTYear = makeDropDown(this, "ComboBoxOTYear", QStringLiteral("年"), kYearWidth);
    ComboBoxOTMonth = makeDropDown(this, "ComboBoxOTMonth", QStringLiteral("月"), kItemWidth);
    ComboBoxOTDay = makeDropDown(this, "ComboBoxOTDay", QStringLiteral("日"), kItemWidth);
    ComboBoxOTHour = makeDropDown(this, "ComboBoxOTHour", QStringLiteral("時"), kItemWidth);
    ComboBoxOTMinute = makeDropDown(this, "ComboBoxOTMinute", QStringLiteral("分"), kItemWidth);
    ComboBoxOTMonth->addItems(DropDownItems(1, 12));
    ComboBoxOTHour->addItems(DropDownItems(0, 23));
    ComboBoxOTMinute->addItems(DropDownItems(0, 59));
    QComboBox* const order[] = {ComboBoxOTYear, ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute};
    const QString orderCaptions[] = {QStringLiteral("年"), QStringLiteral("月"), QStringLiteral("日"),
                                     QStringLiteral("時"), QStringLiteral("分")};
    for (int i = 0; i < 5; ++i)
        m_orderLabels[i] = makeLabel(this, orderCaptions[i], order[i]);

    CheckBoxExpTime = new QCheckBox(QStringLiteral("訊息截止時間："), this);
    CheckBoxExpTime->setObjectName(QStringLiteral("CheckBoxExpTime"));
    ComboBoxExpHour = makeDropDown(this, "ComboBoxExpHour", QStringLiteral("小時"), kItemWidth);
    ComboBoxExpMinute = makeDropDown(this, "ComboBoxExpMinute", QStringLiteral("分"), kItemWidth);
    ComboBoxExpHour->addItems(DropDownItems(0, 23));
    ComboBoxExpMinute->addItems(DropDownItems(0, 59));
    m_expLabels[0] = makeLabel(this, QStringLiteral("小時"), ComboBoxExpHour);
    m_expLabels[1] = makeLabel(this, QStringLiteral("分"), ComboBoxExpMinute);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("PanelMsgType"));
    panel->setFrameShape(QFrame::StyledPanel);
    PanelMsgType = panel;
    RadioButtonNormalMsg = new QRadioButton(QStringLiteral("一般簡訊"), panel);
    RadioButtonNormalMsg->setObjectName(QStringLiteral("RadioButtonNormalMsg"));
    RadioButtonReplaceMsg = new QRadioButton(QStringLiteral("替代簡訊"), panel);
    RadioButtonReplaceMsg->setObjectName(QStringLiteral("RadioButtonReplaceMsg"));
    RadioButtonReplaceMsg->setToolTip(QStringLiteral("發訊名單各行的 $1$、$2$... 值填入訊息內容的 $1$、$2$..."));
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(8, 2, 8, 2);
    panelLayout->setSpacing(12);
    panelLayout->addWidget(RadioButtonNormalMsg);
    panelLayout->addWidget(RadioButtonReplaceMsg);

    LabelMsgNo = new QLabel(this);
    LabelMsgNo->setObjectName(QStringLiteral("LabelMsgNo"));
    LabelMsgNo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SpeedButtonPreview = makeSpeedButton(this, "SpeedButtonPreview", QStringLiteral("預覽"));

    MemoSM = new QPlainTextEdit(this);
    MemoSM->setObjectName(QStringLiteral("MemoSM"));
    MemoSM->setAccessibleName(QStringLiteral("訊息內容"));
    MemoSM->setTabChangesFocus(true);
    MemoSM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LabelMemo = makeLabel(this, QStringLiteral("訊息內容："), MemoSM);

    ButtonSend = new QPushButton(QStringLiteral("傳送"), this);
    ButtonSend->setObjectName(QStringLiteral("ButtonSend"));
    ButtonSend->setAutoDefault(false);
    ButtonCancel = new QPushButton(QStringLiteral("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    m_belowField = {RadioButtonSendNow, RadioButtonSendOrder, ComboBoxOTYear,     ComboBoxOTMonth, ComboBoxOTDay,
                    ComboBoxOTHour,     ComboBoxOTMinute,     CheckBoxExpTime,    ComboBoxExpHour, ComboBoxExpMinute,
                    PanelMsgType,       LabelMsgNo,           SpeedButtonPreview, LabelMemo};
    for (QLabel* label : m_orderLabels)
        m_belowField.append(label);
    for (QLabel* label : m_expLabels)
        m_belowField.append(label);

    connect(SpeedButtonMT, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonMTClick);
    connect(SpeedButtonLoadMT, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonLoadMTClick);
    connect(RadioButtonSendNow, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonSendNowClick);
    connect(RadioButtonSendOrder, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonSendOrderClick);
    connect(CheckBoxExpTime, &QCheckBox::clicked, this, &TFormSendSMS::CheckBoxExpTimeClick);
    connect(ComboBoxOTYear, &QComboBox::currentIndexChanged, this, &TFormSendSMS::ComboBoxOTYearChange);
    connect(ComboBoxOTMonth, &QComboBox::currentIndexChanged, this, &TFormSendSMS::ComboBoxOTMonthChange);
    connect(MemoSM, &QPlainTextEdit::textChanged, this, &TFormSendSMS::MemoSMChange);
    connect(RadioButtonNormalMsg, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonNormalMsgClick);
    connect(RadioButtonReplaceMsg, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonReplaceMsgClick);
    connect(SpeedButtonPreview, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonPreviewClick);
    connect(ButtonSend, &QPushButton::clicked, this, &TFormSendSMS::ButtonSendClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormSendSMS::ButtonCancelClick);
    connect(m_richEditMT, &RichEditMT::mouseReleased, this, &TFormSendSMS::RichEditMTMouseUp);
    connect(m_richEditMT, &RichEditMT::heightRequested, this, &TFormSendSMS::RichEditMTResizeRequest);
    connect(m_richEditMT, &RichEditMT::unmappableRefused, this, &TFormSendSMS::RichEditMTUnmappable);
}

// The designed places; the field is one line high at first, and that height is its base for growing.
void TFormSendSMS::placeControls() {
    const int rowHeight = std::max({ComboBoxOTYear->sizeHint().height(), RadioButtonSendNow->sizeHint().height(),
                                    CheckBoxExpTime->sizeHint().height()});
    m_mtBaseHeight = m_richEditMT->requestedHeight();
    m_mtHeight = m_mtBaseHeight;

    SpeedButtonMT->setGeometry(kMargin, kTop, kSideButtonWidth, m_mtBaseHeight);
    m_richEditMT->setGeometry(kMargin + kSideButtonWidth + 8, kTop, 100, m_mtBaseHeight);
    SpeedButtonLoadMT->setGeometry(0, kTop, kSideButtonWidth, m_mtBaseHeight);

    const auto centred = [rowHeight](QWidget* w, int x, int y, int width = -1) {
        const int h = w->sizeHint().height();
        w->setGeometry(x, y + (rowHeight - h) / 2, width > 0 ? width : w->sizeHint().width(), h);
        return x + w->width();
    };

    const int scheduleTop = kTop + m_mtBaseHeight + 10;
    int x = centred(RadioButtonSendNow, kMargin, scheduleTop) + 12;
    x = centred(RadioButtonSendOrder, x, scheduleTop) + 10;
    QComboBox* const order[] = {ComboBoxOTYear, ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute};
    for (int i = 0; i < 5; ++i) {
        x = centred(order[i], x, scheduleTop, order[i]->width()) + 3;
        x = centred(m_orderLabels[i], x, scheduleTop) + 8;
    }

    const int limitTop = scheduleTop + rowHeight + 6;
    x = centred(CheckBoxExpTime, kMargin, limitTop) + 4;
    x = centred(ComboBoxExpHour, x, limitTop, ComboBoxExpHour->width()) + 3;
    x = centred(m_expLabels[0], x, limitTop) + 8;
    x = centred(ComboBoxExpMinute, x, limitTop, ComboBoxExpMinute->width()) + 3;
    centred(m_expLabels[1], x, limitTop);

    const int typeTop = limitTop + rowHeight + 8;
    const int panelHeight = PanelMsgType->sizeHint().height();
    PanelMsgType->setGeometry(kMargin, typeTop, PanelMsgType->sizeHint().width(), panelHeight);
    const int previewHeight = SpeedButtonPreview->sizeHint().height();
    SpeedButtonPreview->setGeometry(0, typeTop + (panelHeight - previewHeight) / 2, kSideButtonWidth, previewHeight);
    LabelMsgNo->setGeometry(0, typeTop, kCountWidth, panelHeight);

    const int memoLabelTop = typeTop + panelHeight + 8;
    LabelMemo->move(kMargin, memoLabelTop);
    MemoSM->move(kMargin, memoLabelTop + LabelMemo->height() + 4);
    ButtonSend->resize(kButtonWidth, kButtonHeight);
    ButtonCancel->resize(kButtonWidth, kButtonHeight);
    m_lastWidth = 0;
    m_lastHeight = 0;
    FormResize();
}

// ---- opening, closing, size ----

void TFormSendSMS::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // A window restored by the window system is not a new opening.
    if (!e->spontaneous())
        FormShow();
}

void TFormSendSMS::FormShow() {
    m_lastHeight = height();
    m_lastWidth = width();
    m_richEditMT->setInsertMode(true);
    RadioButtonSendNow->setChecked(true);
    setReservationEnabled(false);
    CheckBoxExpTime->setChecked(false);
    ComboBoxExpHour->setCurrentIndex(0);
    ComboBoxExpMinute->setCurrentIndex(0);
    setLimitEnabled(false);
    RadioButtonNormalMsg->setChecked(true);
    m_totalCount = 0;
    m_rowCount = 1;
    if (m_opener == SendOpener::AddressBook)
        RenderRecipientField();
    if (m_opener != SendOpener::SendLog)
        MemoSM->setPlainText(m_lastText);
    fillReservationDropDowns();
    Recount();
    m_richEditMT->setFocus();
}

int TFormSendSMS::openFor(SendOpener opener, const QString& text, const std::vector<sMtData>& entries) {
    m_opener = opener;
    if (opener == SendOpener::SendLog)
        setMessageText(text);
    if (opener == SendOpener::AddressBook) {
        ParseRecipientField(true);
        RecipientList.insert(RecipientList.end(), entries.begin(), entries.end());
    }
    return prompts().execDialog(this);
}

void TFormSendSMS::clearRecipients() {
    RecipientList.clear();
    RenderRecipientField();
}

void TFormSendSMS::done(int result) {
    if (m_opener != SendOpener::AddressBook)
        m_richEditMT->clear();
    QDialog::done(result);
}

void TFormSendSMS::ButtonCancelClick() {
    reject();
}

void TFormSendSMS::closeForm() {
    reject();
}

void TFormSendSMS::showResultBox(const QByteArray& msgId, const QByteArray& text) {
    prompts().okBox(this, Prompts::Icon::Information, fromBig5(msgId), fromBig5(text));
}

bool TFormSendSMS::continueAfterTransportFailures(int failures, WorkerMode mode) {
    // Asked while the run's progress window stands above the dialog, which is disabled meanwhile.
    return prompts().confirm(m_jobs.progressWindow(), windowTitle(), StopRows::continueQuestion(failures, mode));
}

void TFormSendSMS::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    FormResize();
}

void TFormSendSMS::FormResize() {
    if (width() == m_lastWidth && height() == m_lastHeight)
        return;
    const int w = width();
    const int h = height();
    m_richEditMT->resize(w - SpeedButtonMT->width() - SpeedButtonLoadMT->width() - 46, m_richEditMT->height());
    SpeedButtonLoadMT->move(m_richEditMT->x() + m_richEditMT->width() + 7, SpeedButtonLoadMT->y());
    SpeedButtonPreview->move(w - SpeedButtonPreview->width() - kMargin, SpeedButtonPreview->y());
    LabelMsgNo->move(SpeedButtonPreview->x() - LabelMsgNo->width() - 8, LabelMsgNo->y());
    const int buttonTop = h - ButtonSend->height() - kMargin;
    ButtonSend->move((w - (ButtonSend->width() + ButtonCancel->width() + 24)) / 2, buttonTop);
    ButtonCancel->move(ButtonSend->x() + ButtonSend->width() + 24, buttonTop);
    MemoSM->resize(w - 2 * kMargin, buttonTop - MemoSM->y() - kMargin);
    m_lastHeight = h;
    m_lastWidth = w;
}

// The field asked for the height its text needs: it gets it up to about four lines, and everything below it
// moves down by the growth while the message field gives up as much height.
void TFormSendSMS::RichEditMTResizeRequest(int height) {
    const int next = RecipientFieldHeight(height, m_mtBaseHeight);
    if (next == m_mtHeight)
        return;
    const int delta = next - m_mtHeight;
    m_richEditMT->resize(m_richEditMT->width(), next);
    placeBelowField(delta);
    m_mtHeight = next;
}

void TFormSendSMS::placeBelowField(int delta) {
    for (QWidget* w : m_belowField)
        w->move(w->x(), w->y() + delta);
    MemoSM->setGeometry(MemoSM->x(), MemoSM->y() + delta, MemoSM->width(), MemoSM->height() - delta);
}

// ---- schedule ----

void TFormSendSMS::setReservationEnabled(bool enabled) {
    for (QComboBox* combo : {ComboBoxOTYear, ComboBoxOTMonth, ComboBoxOTDay, ComboBoxOTHour, ComboBoxOTMinute})
        combo->setEnabled(enabled);
    for (QLabel* label : m_orderLabels)
        label->setEnabled(enabled);
}

void TFormSendSMS::setLimitEnabled(bool enabled) {
    ComboBoxExpHour->setEnabled(enabled);
    ComboBoxExpMinute->setEnabled(enabled);
    for (QLabel* label : m_expLabels)
        label->setEnabled(enabled);
}

void TFormSendSMS::RadioButtonSendNowClick() {
    setReservationEnabled(false);
}

void TFormSendSMS::RadioButtonSendOrderClick() {
    setReservationEnabled(true);
}

void TFormSendSMS::CheckBoxExpTimeClick() {
    setLimitEnabled(CheckBoxExpTime->isChecked());
}

// The day after now, to the minute, is what a reservation most likely wants.
void TFormSendSMS::fillReservationDropDowns() {
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

void TFormSendSMS::fillDays(int year, int month, int day) {
    const bool filling = m_fillingDropDowns;
    m_fillingDropDowns = true;
    ComboBoxOTDay->clear();
    ComboBoxOTDay->addItems(DropDownItems(1, DaysInMonth(year, month)));
    ComboBoxOTDay->setCurrentIndex(std::clamp(day, 1, int(ComboBoxOTDay->count())) - 1);
    m_fillingDropDowns = filling;
}

void TFormSendSMS::ComboBoxOTYearChange() {
    if (m_fillingDropDowns)
        return;
    const int year = itemNumber(ComboBoxOTYear);
    const int month = ComboBoxOTMonth->currentIndex() + 1;
    fillDays(year, month, DayAfterMonthChange(itemNumber(ComboBoxOTDay), year, month));
}

void TFormSendSMS::ComboBoxOTMonthChange() {
    ComboBoxOTYearChange();
}

// ---- counting ----

void TFormSendSMS::MemoSMChange() {
    Recount();
}

void TFormSendSMS::RadioButtonNormalMsgClick() {
    Recount();
}

void TFormSendSMS::RadioButtonReplaceMsgClick() {
    Recount();
}

void TFormSendSMS::setMessageText(const QString& text) {
    MemoSM->setPlainText(text);
}

QString TFormSendSMS::messageText() const {
    return MemoSM->toPlainText();
}

bool TFormSendSMS::insertMode() const {
    return m_richEditMT->insertMode();
}

void TFormSendSMS::Recount() {
    m_msgSegments = segment(CountedText(MemoSM->toPlainText()));
    m_msgCount = m_msgSegments.count;
    if (!showSelectedRowCount())
        showCount(m_msgCount);
}

void TFormSendSMS::showCount(int count) {
    LabelMsgNo->setText(CountLabelText(count));
}

bool TFormSendSMS::selectedRowSegments(Segments* segments) const {
    const QTextCursor cursor = m_richEditMT->textCursor();
    if (!cursor.hasSelection())
        return false;
    const FieldEntryKey key = m_richEditMT->keyAt(cursor.selectionStart());
    if (!key.entry || key.kind != KindListRow)
        return false;
    const auto row = ListFileRows.find(key.id);
    if (row == ListFileRows.end())
        return false;
    const QByteArray content = getField(row->second.content);
    if (content.isEmpty())
        return false;
    *segments = RowSegments(content, big5(MemoSM->toPlainText()), RadioButtonReplaceMsg->isChecked());
    return true;
}

bool TFormSendSMS::showSelectedRowCount() {
    if (!selectedRowSegments(&m_rowSegments))
        return false;
    m_rowCount = m_rowSegments.count;
    showCount(m_rowCount);
    return true;
}

// ---- the recipient field ----

int TFormSendSMS::ParseRecipientField(bool keepListRows) {
    RecipientFieldReader reader(keepListRows);
    m_richEditMT->readEntries(reader);
    return reader.finish();
}

void TFormSendSMS::RenderRecipientField() {
    m_richEditMT->setEntries(RecipientList);
    RecipientList.clear();
}

void TFormSendSMS::RichEditMTMouseUp() {
    showCount(m_msgCount);
    const RichEditMT::Span clicked = m_richEditMT->lastClickedEntry();
    if (clicked.valid()) {
        m_lastSelStart = clicked.start;
        m_lastSelLength = clicked.length;
    }
    showSelectedRowCount();
}

void TFormSendSMS::RichEditMTUnmappable(const QString& character) {
    warn(unmappableMessage(character));
}

void TFormSendSMS::warn(const QString& text) {
    prompts().okBox(this, Prompts::Icon::Warning, QStringLiteral("Norvi簡訊服務軟體"), text);
}

} // namespace norvi
