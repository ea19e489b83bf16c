#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace norvi {

class SendLogModel;

// "傳送紀錄": one send-log row, a line per column ("名稱：..." to "訊息內容：..."), read-only.
// Created for one row and freed after it.
class TFormShowMsg : public QDialog {
    Q_OBJECT
public:
    explicit TFormShowMsg(QWidget* parent = nullptr);

    void showRow(const SendLogModel& model, int row);
    // Any other text, as the send dialog's preview shows its short messages.
    void showText(const QString& text);
    QString text() const;

private:
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace norvi
