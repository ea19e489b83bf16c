#include "gui/sendlog/TFormShowMsg.h"

#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/ShownText.h"

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
    m_close = makeButton(this, QStringLiteral("關閉"), "ButtonClose");
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_memo);
    layout->addWidget(m_close, 0, Qt::AlignHCenter);
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

QString TFormShowMsg::text() const {
    return m_memo->toPlainText();
}

} // namespace norvi
