#include "sendlog/TFormQuerySMS.h"

#include "shared/UiFont.h"

namespace norvi {

TFormQuerySMS::TFormQuerySMS(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormQuerySMS"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("狀態查詢"));
    resize(360, 180);
}

bool TFormQuerySMS::queryMode() const {
    return opener && opener->objectName() == QLatin1String("MItemTQuerySMS");
}

void TFormQuerySMS::showEvent(QShowEvent* e) {
    setWindowTitle(queryMode() ? QStringLiteral("狀態查詢") : QStringLiteral("取消預約"));
    QDialog::showEvent(e);
}

} // namespace norvi
