#include "gui/compose/TFormSendSMS.h"

#include "core/compose/MessageCount.h"
#include "core/compose/RecipientField.h"
#include "core/compose/SendValidation.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/workers/StopRows.h"
#include "gui/compose/RichEditMT.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

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
constexpr int kOverlongPauseMs = 300;

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

TFormSendSMS::TFormSendSMS(SendLogKeeper& sendLog, JobSupervisor& jobs, AddressBook& book, const Config& config,
                           QWidget* parent)
    : QDialog(parent), m_sendLog(sendLog), m_jobs(jobs), m_book(book), m_config(config) {
    setObjectName(QStringLiteral("TFormSendSMS"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("發送訊息"));
    setSizeGripEnabled(true);
    buildControls();
    layOutControls();
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
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

    RadioButtonSendNow = makeRadio(this, QStringLiteral("立即傳送"), "RadioButtonSendNow");
    RadioButtonSendOrder = makeRadio(this, QStringLiteral("預約傳送"), "RadioButtonSendOrder");
    auto* schedule = new QButtonGroup(this);
    schedule->addButton(RadioButtonSendNow);
    schedule->addButton(RadioButtonSendOrder);

    ComboBoxOTYear = makeDropDown(this, "ComboBoxOTYear", QStringLiteral("年"));
    ComboBoxOTMonth = makeDropDown(this, "ComboBoxOTMonth", QStringLiteral("月"));
    ComboBoxOTDay = makeDropDown(this, "ComboBoxOTDay", QStringLiteral("日"));
    ComboBoxOTHour = makeDropDown(this, "ComboBoxOTHour", QStringLiteral("時"));
    ComboBoxOTMinute = makeDropDown(this, "ComboBoxOTMinute", QStringLiteral("分"));
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
        m_orderLabels[i] = makeLabel(this, orderCaptions[i], order[i]);

    CheckBoxExpTime = new QCheckBox(QStringLiteral("訊息截止時間："), this);
    CheckBoxExpTime->setObjectName(QStringLiteral("CheckBoxExpTime"));
    CheckBoxFollowUp = new QCheckBox(QStringLiteral("傳送後追蹤結果(&F)"), this);
    CheckBoxFollowUp->setObjectName(QStringLiteral("CheckBoxFollowUp"));
    ComboBoxExpHour = makeDropDown(this, "ComboBoxExpHour", QStringLiteral("小時"));
    ComboBoxExpMinute = makeDropDown(this, "ComboBoxExpMinute", QStringLiteral("分"));
    ComboBoxExpHour->setFixedWidth(kItemWidth);
    ComboBoxExpMinute->setFixedWidth(kItemWidth);
    ComboBoxExpHour->addItems(DropDownItems(0, 23));
    ComboBoxExpMinute->addItems(DropDownItems(0, 59));
    m_expLabels[0] = makeLabel(this, QStringLiteral("小時"), ComboBoxExpHour);
    m_expLabels[1] = makeLabel(this, QStringLiteral("分"), ComboBoxExpMinute);

    auto* panel = new QFrame(this);
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
    LabelListText = new QLabel(QStringLiteral("名單檔第 2 欄的內容會取代下方訊息"), this);
    LabelListText->setObjectName(QStringLiteral("LabelListText"));
    LabelListText->setStyleSheet(QStringLiteral("color: #c00000;"));
    LabelListText->hide();
    LabelRowsTooLong = new QLabel(this);
    LabelRowsTooLong->setObjectName(QStringLiteral("LabelRowsTooLong"));
    LabelRowsTooLong->setStyleSheet(QStringLiteral("color: #c00000;"));
    LabelRowsTooLong->setWordWrap(true);
    LabelRowsTooLong->hide();
    // With 替代簡訊 every key changes every row's text; a list of 100,000 long rows takes a moment to look
    // through, so that is done once typing pauses.
    m_overlongTimer = new QTimer(this);
    m_overlongTimer->setSingleShot(true);
    m_overlongTimer->setInterval(kOverlongPauseMs);
    connect(m_overlongTimer, &QTimer::timeout, this, [this] {
        findOverlongRows();
        updateListTextNote();
    });

    // Return sends from every control but the message, whose lines it breaks; the recipient field passes it on.
    ButtonSend = makeButton(this, QStringLiteral("傳送(&S)"), "ButtonSend");
    ButtonSend->setDefault(true);
    ButtonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    connect(SpeedButtonMT, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonMTClick);
    connect(SpeedButtonLoadMT, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonLoadMTClick);
    connect(RadioButtonSendNow, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonSendNowClick);
    connect(RadioButtonSendOrder, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonSendOrderClick);
    connect(CheckBoxExpTime, &QCheckBox::clicked, this, &TFormSendSMS::CheckBoxExpTimeClick);
    connect(ComboBoxOTYear, &QComboBox::currentIndexChanged, this, &TFormSendSMS::ComboBoxOTYearChange);
    connect(ComboBoxOTMonth, &QComboBox::currentIndexChanged, this, &TFormSendSMS::ComboBoxOTMonthChange);
    connect(MemoSM, &QPlainTextEdit::textChanged, this, &TFormSendSMS::MemoSMChange);
    connect(m_richEditMT, &RichEditMT::textChanged, this, &TFormSendSMS::updateListTextNote);
    connect(RadioButtonNormalMsg, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonNormalMsgClick);
    connect(RadioButtonReplaceMsg, &QRadioButton::clicked, this, &TFormSendSMS::RadioButtonReplaceMsgClick);
    connect(SpeedButtonPreview, &QToolButton::clicked, this, &TFormSendSMS::SpeedButtonPreviewClick);
    connect(ButtonSend, &QPushButton::clicked, this, &TFormSendSMS::ButtonSendClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormSendSMS::ButtonCancelClick);
    connect(m_richEditMT, &RichEditMT::mouseReleased, this, &TFormSendSMS::RichEditMTMouseUp);
    connect(m_richEditMT, &RichEditMT::heightRequested, this, &TFormSendSMS::RichEditMTResizeRequest);
    connect(m_richEditMT, &RichEditMT::unmappableRefused, this, &TFormSendSMS::RichEditMTUnmappable);
}

// The designed places and gaps. The field is one line high at first, and that height is its base for growing;
// the message field takes every change of the height, the field and the count every change of the width.
void TFormSendSMS::layOutControls() {
    m_mtBaseHeight = m_richEditMT->requestedHeight();
    m_mtHeight = m_mtBaseHeight;
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

    QDialogButtonBox* buttons = makeButtonBox(this, ButtonSend, ButtonCancel);
    buttons->setCenterButtons(true);
    buttons->layout()->setSpacing(24); // the designed gap between the two

    auto* form = new QVBoxLayout(this);
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

// ---- opening, closing, size ----

void TFormSendSMS::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // A window restored by the window system is not a new opening.
    if (!e->spontaneous())
        FormShow();
}

void TFormSendSMS::FormShow() {
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
    findOverlongRows();
    updateListTextNote();
    m_richEditMT->setFocus();
}

int TFormSendSMS::openFor(SendOpener opener, const QString& text, const std::vector<sMtData>& entries) {
    m_opener = opener;
    if (opener == SendOpener::SendLog)
        setMessageText(text);
    if (opener == SendOpener::AddressBook) {
        ParseRecipientField(true);
        m_parsed.RecipientList.insert(m_parsed.RecipientList.end(), entries.begin(), entries.end());
    }
    return prompts().execDialog(this);
}

void TFormSendSMS::clearRecipients() {
    m_parsed.RecipientList.clear();
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
    return m_jobs.askWhileRunning(m_jobs.progressWindow(), windowTitle(), StopRows::continueQuestion(failures, mode));
}

// The field asked for the height its text needs: it gets it up to about four lines, and everything below it
// moves down by the growth while the message field gives up as much height.
void TFormSendSMS::RichEditMTResizeRequest(int height) {
    const int next = RecipientFieldHeight(height, m_mtBaseHeight);
    if (next == m_mtHeight)
        return;
    m_richEditMT->setFixedHeight(next);
    m_mtHeight = next;
    // At once, so the controls below are in their places before the next key.
    layout()->activate();
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
    // Only 替代簡訊 puts the message into the rows' texts.
    if (RadioButtonReplaceMsg->isChecked() && m_listHasText)
        m_overlongTimer->start();
}

void TFormSendSMS::RadioButtonNormalMsgClick() {
    Recount();
    findOverlongRows();
    updateListTextNote();
}

void TFormSendSMS::RadioButtonReplaceMsgClick() {
    Recount();
    findOverlongRows();
    updateListTextNote();
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
    const QString text = MemoSM->toPlainText();
    m_msgSegments = segment(CountedText(text));
    m_msgCount = m_msgSegments.count;
    m_droppedCharacters = DroppedCharacters(text, m_msgSegments);
    if (!showSelectedRowCount())
        showCount(m_msgCount, m_droppedCharacters);
}

void TFormSendSMS::showCount(int count, int droppedCharacters) {
    LabelMsgNo->setText(CountLabelText(count, droppedCharacters));
    // The tail of a text too long for six short messages is not sent: the count says so in the warning colour.
    LabelMsgNo->setStyleSheet(droppedCharacters > 0 ? QStringLiteral("color: #c00000;") : QString());
}

bool TFormSendSMS::selectedRowSegments(Segments* segments) const {
    const QTextCursor cursor = m_richEditMT->textCursor();
    if (!cursor.hasSelection())
        return false;
    const FieldEntryKey key = m_richEditMT->keyAt(cursor.selectionStart());
    if (!key.entry || key.kind != KindListRow)
        return false;
    const auto row = m_parsed.ListFileRows.find(key.id);
    if (row == m_parsed.ListFileRows.end())
        return false;
    const QByteArray content = getField(row->second.content);
    if (content.isEmpty())
        return false;
    *segments = RowSegments(content, big5(MemoSM->toPlainText()), RadioButtonReplaceMsg->isChecked());
    return true;
}

int32_t TFormSendSMS::firstRowWithText() const {
    return m_richEditMT->firstListRow([this](int32_t line) {
        const auto row = m_parsed.ListFileRows.find(line);
        return row != m_parsed.ListFileRows.end() && row->second.content[0] != '\0';
    });
}

// With 替代簡訊 a row's values fill the message, which stays in use; with 一般簡訊 the row's second column
// is sent instead of it, which a user who typed a message would not expect.
void TFormSendSMS::updateListTextNote() {
    // The field is walked only when the loaded list has such rows: a keystroke among many entries stays cheap.
    const bool rowsWithText = m_listHasText && firstRowWithText() >= 0;
    LabelListText->setVisible(RadioButtonNormalMsg->isChecked() && rowsWithText);
    LabelRowsTooLong->setVisible(rowsWithText && m_overlongRows.rows > 0);
}

void TFormSendSMS::findOverlongRows() {
    m_overlongTimer->stop();
    m_overlongRows = m_listHasText ? FindOverlongRows(m_parsed.ListFileRows, big5(MemoSM->toPlainText()),
                                                      RadioButtonReplaceMsg->isChecked())
                                   : OverlongRows{};
    LabelRowsTooLong->setText(OverlongRowsText(m_overlongRows));
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
    const int count = reader.finish(m_parsed.RecipientList);
    m_entrySpans = reader.takeSpans();
    return count;
}

void TFormSendSMS::selectEntry(int index) {
    if (index < 0 || index >= int(m_entrySpans.size()))
        return;
    const FieldSpan& span = m_entrySpans[std::size_t(index)];
    QTextCursor cursor(m_richEditMT->document());
    cursor.setPosition(span.start);
    cursor.setPosition(span.start + span.length, QTextCursor::KeepAnchor);
    m_richEditMT->setTextCursor(cursor);
    m_richEditMT->setFocus();
}

void TFormSendSMS::RenderRecipientField() {
    m_richEditMT->setEntries(m_parsed.RecipientList);
    m_parsed.RecipientList.clear();
}

void TFormSendSMS::RichEditMTMouseUp() {
    showCount(m_msgCount, m_droppedCharacters);
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
