#pragma once

#include <QDialog>

#include <functional>

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
    // Several pages, page `first` first: 上一位 and 下一位 step through the `count` pages `page` gives (the
    // send dialog's preview, one recipient a page).
    void showPages(int count, int first, std::function<QString(int)> page);
    QString text() const;

private:
    void showPage(int index);

    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_close = nullptr;
    std::function<QString(int)> m_page;
    int m_pageCount = 0;
    int m_pageIndex = 0;
};

} // namespace norvi
