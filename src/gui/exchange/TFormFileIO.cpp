#include "exchange/TFormFileIO.h"

namespace norvi {

TFormFileIO::TFormFileIO(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormFileIO"));
    setWindowTitle(QString::fromUtf8("匯入"));
    resize(480, 320);
}

} // namespace norvi
