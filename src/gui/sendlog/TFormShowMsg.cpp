#include "gui/sendlog/TFormShowMsg.h"

#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/ShownText.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace norvi {

TFormShowMsg::TFormShowMsg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormShowMsg"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("傳送紀錄"));
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("MemoMsg"));
    m_memo->setReadOnly(true);
    // The text has no label but the window's title, which the send dialog's preview changes.
    m_memo->setAccessibleName(windowTitle());
    connect(this, &QWidget::windowTitleChanged, m_memo, &QWidget::setAccessibleName);
    m_previous = makeButton(this, QStringLiteral("< 上一位(&P)"), "ButtonPrevious");
    m_next = makeButton(this, QStringLiteral("下一位(&N) >"), "ButtonNext");
    m_previous->hide();
    m_next->hide();
    m_close = makeButton(this, QStringLiteral("關閉"), "ButtonClose");
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_previous, &QPushButton::clicked, this, [this] { showPage(m_pageIndex - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { showPage(m_pageIndex + 1); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_previous);
    buttons->addWidget(m_next);
    buttons->addWidget(m_close);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_memo);
    layout->addLayout(buttons);
    resize(420, 300);
}

namespace {

// A message's own line breaks stay line breaks; any other control character (a gateway text, a damaged
// file) shows as "\xNN".
QString shownText(const QByteArray& big5Text) {
    QString text = fromBig5(big5Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return escapeControlsKeepLines(text);
}

} // namespace

void TFormShowMsg::showRow(const SendLogModel& model, int row) {
    m_memo->clear();
    for (int column = 0; column < kSendLogColumns; ++column)
        m_memo->appendPlainText(SendLogModel::plainCaption(column) + QStringLiteral("：") +
                                shownText(model.text(row, column)));
}

void TFormShowMsg::showText(const QString& text) {
    m_memo->setPlainText(text);
}

void TFormShowMsg::showPages(int count, int first, std::function<QString(int)> page) {
    m_page = std::move(page);
    m_pageCount = count;
    m_previous->setVisible(count > 1);
    m_next->setVisible(count > 1);
    showPage(first);
}

void TFormShowMsg::showPage(int index) {
    if (m_pageCount <= 0 || index < 0 || index >= m_pageCount)
        return;
    m_pageIndex = index;
    m_memo->setPlainText(m_page(index));
    m_previous->setEnabled(index > 0);
    m_next->setEnabled(index + 1 < m_pageCount);
    // A button that just went grey would leave the focus nowhere: it moves to the one still usable.
    if (!m_next->isEnabled() && m_next->hasFocus())
        m_previous->setFocus();
    else if (!m_previous->isEnabled() && m_previous->hasFocus())
        m_next->setFocus();
}

QString TFormShowMsg::text() const {
    return m_memo->toPlainText();
}

} // namespace norvi
