#include "gui/shared/FormControls.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>

namespace norvi {

namespace {

// Every window puts 確定 (or its own accepting button) before 取消; the desktop's style would otherwise
// choose, and some put the accepting button last.
class AcceptFirstStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DialogButtonLayout)
            return QDialogButtonBox::WinLayout;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QLabel* makeLabel(QWidget* parent, const QString& caption, QWidget* buddy) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* name) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QRadioButton* makeRadio(QWidget* parent, const QString& caption, const char* name) {
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(QString::fromLatin1(name));
    return radio;
}

QComboBox* makeDropDown(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setAccessibleName(accessibleName);
    combo->setMaxVisibleItems(12);
    return combo;
}

void keepSelectionVisible(QWidget* view) {
    QPalette palette = view->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    view->setPalette(palette);
}

QAction* makeAction(QObject* owner, const QString& caption, const char* name) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QToolBar* makeToolBar(QWidget* parent, int iconSize) {
    auto* toolBar = new QToolBar(parent);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar->setIconSize(QSize(iconSize, iconSize));
    toolBar->toggleViewAction()->setVisible(false);
    return toolBar;
}

QDialogButtonBox* makeButtonBox(QWidget* parent, QPushButton* accept, QPushButton* reject,
                                std::initializer_list<QPushButton*> more) {
    auto* box = new QDialogButtonBox(Qt::Horizontal, parent);
    auto* style = new AcceptFirstStyle;
    style->setParent(box);
    box->setStyle(style);
    box->addButton(accept, accept->isDefault() ? QDialogButtonBox::AcceptRole : QDialogButtonBox::ActionRole);
    box->addButton(reject, QDialogButtonBox::RejectRole);
    for (QPushButton* button : more)
        box->addButton(button, QDialogButtonBox::ActionRole);
    // The box passes its focus on to its first button, which makes it report that button's focus as its own;
    // a button added later would make it do so again.
    box->setFocusProxy(nullptr);
    return box;
}

} // namespace norvi
