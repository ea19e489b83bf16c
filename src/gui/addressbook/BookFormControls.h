#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>

// Small builders shared by the address book's windows: captions come as UTF-8 C strings from their
// tables, so one conversion helper serves the menus, the lists and the editors alike.
namespace norvi::bookform {

inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A push button that Return does not press by itself: the editors decide what Return does.
inline QPushButton* makeButton(QWidget* parent, const char* caption, const char* name) {
    auto* button = new QPushButton(u(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// A label that names its input for screen readers and gives it its Alt shortcut.
inline QLabel* makeLabel(QWidget* parent, const char* caption, QWidget* buddy) {
    auto* label = new QLabel(u(caption), parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace norvi::bookform
