#include "gui/shared/UiFont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

namespace norvi {

namespace {

const char* const kFormFamily = "新細明體";
constexpr int kFormPointSize = 9;

void substituteMissingFamily(const QString& family) {
    if (QFontDatabase::families().contains(family, Qt::CaseInsensitive))
        return;
    QFont::insertSubstitutions(family, {QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing TW MBE"),
                                        QStringLiteral("AR PL UMing HK"), QStringLiteral("Noto Serif CJK TC")});
}

} // namespace

void installFormFont() {
    substituteMissingFamily(QString::fromUtf8(kFormFamily));
    // Message boxes and the toolkit's own dialogs follow the windows' face.
    QApplication::setFont(formFont());
}

QFont formFont() {
    // Windows created before installFormFont (tests build them bare) still get the substitution.
    static const bool substituted = [] {
        substituteMissingFamily(QString::fromUtf8(kFormFamily));
        return true;
    }();
    (void)substituted;
    return QFont(QString::fromUtf8(kFormFamily), kFormPointSize);
}

void applyFormFont(QWidget* window) {
    if (window)
        window->setFont(formFont());
}

} // namespace norvi
