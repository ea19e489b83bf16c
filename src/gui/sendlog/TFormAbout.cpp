#include "gui/sendlog/TFormAbout.h"

#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include "gui/shared/IconTable.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace norvi {

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormAbout"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("關於"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(IconTable::programIcon().pixmap(32, 32));
    auto* product = new QLabel(QStringLiteral("Norvi簡訊服務軟體"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    auto* version = new QLabel(QStringLiteral("Version 1.0"), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* ok = makeButton(this, QStringLiteral("OK"), "OKButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(product, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(ok, 2, 0, 1, 2, Qt::AlignHCenter);
    grid->setHorizontalSpacing(16);
    setFixedSize(sizeHint().expandedTo(QSize(260, 120)));
}

} // namespace norvi
