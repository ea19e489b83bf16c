#pragma once

#include <QDialog>

namespace norvi {

// The query and cancel dialog, created once at start-up. The main window sets `opener` to its
// MItemTQuerySMS (query mode, "狀態查詢") or MItemTCancelSMS (cancel mode, "取消預約") before each
// modal show. Its choices and the start of the job come with the query work.
class TFormQuerySMS : public QDialog {
    Q_OBJECT
public:
    explicit TFormQuerySMS(QWidget* parent = nullptr);

    QObject* opener = nullptr;
    bool queryMode() const;

protected:
    void showEvent(QShowEvent* e) override;
};

} // namespace norvi
