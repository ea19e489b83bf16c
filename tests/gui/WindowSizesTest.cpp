#include "ProgramWindows.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTest>

using namespace norvi;
using namespace norvi::test;

namespace {

// A control a user reads or works: not a container, and not a part of another control (the edit inside a
// drop-down, a list's header and scroll bars).
bool isControl(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w))
        return !label->text().isEmpty() || !label->pixmap().isNull();
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QTabBar*>(w) || qobject_cast<const QMenuBar*>(w);
}

QList<QWidget*> shownControls(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window || !isControl(w))
            continue;
        bool part = false;
        for (QWidget* above = w->parentWidget(); above != window && !part; above = above->parentWidget())
            part = isControl(above);
        if (!part)
            controls.append(w);
    }
    return controls;
}

QString nameOf(const QWidget* w) {
    return describe(w) + QStringLiteral(" (") + QString::fromLatin1(w->metaObject()->className()) + QStringLiteral(")");
}

// The room a control needs to show itself whole: its text (a button's, a label's, a drop-down's widest item),
// the tabs of a tab bar, the menus of a menu bar. A list scrolls, and needs no more than it gets.
QSize needed(QWidget* w) {
    const QFontMetrics metrics = w->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap())
            return {0, label->heightForWidth(label->width())};
        return label->sizeHint();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        int width = metrics.horizontalAdvance(text) + 6; // the style's margin on both sides
        if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))
            width += w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) + 4;
        if (!button->icon().isNull())
            width = std::max(width, button->iconSize().width());
        return {text.isEmpty() ? 0 : width, text.isEmpty() ? 0 : metrics.height()};
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The field the current item shows in, against the widest item.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.frame = combo->hasFrame();
        const QRect field = w->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w);
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
        return {w->width() - field.width() + widest, metrics.height()};
    }
    if (qobject_cast<QAbstractScrollArea*>(w))
        return {0, 0};
    if (qobject_cast<QTabBar*>(w) || qobject_cast<QMenuBar*>(w))
        return w->sizeHint(); // else its tabs or menus scroll or fold away
    return w->minimumSizeHint();
}

// What is wrong with the window as it stands: controls over each other, past the window or its frame, too
// small for what they show, or buttons a tool bar hides.
QStringList layoutFaults(QWidget* window) {
    QStringList faults;
    const QList<QWidget*> controls = shownControls(window);
    QList<QRect> places;
    for (QWidget* w : controls) {
        const QRect place(w->mapTo(window, QPoint(0, 0)), w->size());
        places.append(place);
        if (QByteArray(w->metaObject()->className()) == "QToolBarExtension")
            faults << QStringLiteral("the tool bar hides some of its buttons");
        for (QWidget* frame = w->parentWidget(); frame; frame = frame->isWindow() ? nullptr : frame->parentWidget())
            if (!QRect(frame->mapTo(window, QPoint(0, 0)), frame->size()).contains(place))
                faults << nameOf(w) + QStringLiteral(" is cut off by ") + nameOf(frame);
        const QSize need = needed(w);
        if (w->width() < need.width() || w->height() < need.height())
            faults << QStringLiteral("%1 is %2x%3 but needs %4x%5")
                          .arg(nameOf(w))
                          .arg(w->width())
                          .arg(w->height())
                          .arg(need.width())
                          .arg(need.height());
    }
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j)
            if (places[i].intersects(places[j]))
                faults << nameOf(controls[i]) + QStringLiteral(" overlaps ") + nameOf(controls[j]);
    return faults;
}

// The sizes a window was given, in order.
class SizesSeen : public QObject {
public:
    QList<QSize> sizes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            sizes.append(static_cast<QResizeEvent*>(event)->size());
        return QObject::eventFilter(watched, event);
    }
};

using WindowSizesTest = ProgramWindowTest;

TEST_P(WindowSizesTest, AtItsMinimumSizeNoControlOverlapsOrIsCutOff) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    const QSize least = window->minimumSize();
    EXPECT_GT(least.width(), 0) << "the window has no minimum width";
    EXPECT_GT(least.height(), 0) << "the window has no minimum height";
    window->resize(1, 1); // as small as it lets itself be
    settle();
    EXPECT_EQ(window->size(), least.expandedTo(QSize(1, 1)));
    const QStringList faults = layoutFaults(window);
    EXPECT_TRUE(faults.isEmpty()) << "at " << window->width() << "x" << window->height() << ":\n"
                                  << faults.join(QLatin1Char('\n')).toStdString();
    window->close();
}

// Without a window manager nothing keeps a window to its minimum: a size the window system imposes is
// taken back.
TEST_P(WindowSizesTest, TakesItsMinimumBackFromTheWindowSystem) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    const QSize least = window->minimumSize();
    SizesSeen seen;
    window->installEventFilter(&seen);
    window->windowHandle()->resize(least / 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.sizes.contains(least / 2); }, 5000))
        << "the window system's size never reached the window";
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->width() >= least.width() && window->height() >= least.height(); }, 5000))
        << "the window stays at " << window->width() << "x" << window->height();
    window->close();
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, WindowSizesTest, ::testing::ValuesIn(programWindows()),
                         [](const ::testing::TestParamInfo<ProgramWindow>& info) { return info.param.name; });

} // namespace
