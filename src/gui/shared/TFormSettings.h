#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace norvi {

// "參數設定": the log folder, the gateway address and port, and the account. Created once at start-up and
// shown modally; OK stores the fields in Config and NorviSMSAp.cfg, 連線測試 logs in with them.
class TFormSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormSettings(QWidget* parent = nullptr);

signals:
    // OK sends true once the settings are stored: the gateway commands can be used.
    void gatewayCommandsEnabled(bool enabled);

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void ButtonOkClick();
    void ButtonCancelClick();
    void ButtonLogFilesClick();
    void ButtonLoginTestClick();

private:
    void FormShow();
    // CollectSettings with the dialog's fields; a refusal is shown in an error box.
    bool collectSettings();

    QTabWidget* m_pages = nullptr;
    QLineEdit* m_editLogFiles = nullptr;
    QLineEdit* m_editGWIp = nullptr;
    QLineEdit* m_editGWPort = nullptr;
    QLineEdit* m_editGWAccount = nullptr;
    QLineEdit* m_editGWPasswd = nullptr;
};

} // namespace norvi
