#include "gui/shared/FittedColumns.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace norvi {

namespace {

// Below this the last column would show nothing readable; the list scrolls sideways instead.
constexpr int kLeastLastWidth = 24;

} // namespace

FittedColumns::FittedColumns(QTreeView* view, QVector<Column> columns)
    : QObject(view), m_view(view), m_columns(std::move(columns)), m_userWidths(m_columns.size(), 0) {
    QHeaderView* header = m_view->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(std::min(header->minimumSectionSize(), kLeastLastWidth));
    measure();
    for (int c = 0; c < m_columns.size(); ++c)
        header->resizeSection(c, m_needed[c]);
    connect(header, &QHeaderView::sectionResized, this, &FittedColumns::sectionResized);
    m_viewport = m_view->viewport();
    m_view->viewport()->installEventFilter(this);
    m_view->installEventFilter(this);
}

void FittedColumns::measure() {
    const QFontMetrics cells(m_view->font());
    const QFontMetrics captions(m_view->header()->font());
    QStyle* style = m_view->style();
    // The margins the style puts around a cell's text and a header's caption, on both sides.
    const int cellMargin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1) + 4;
    const int captionMargin = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, m_view->header()) + 8;
    m_needed.resize(m_columns.size());
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column& column = m_columns[c];
        const int caption = captions.horizontalAdvance(column.caption + QStringLiteral(" ↑")) + captionMargin;
        const int sample =
            column.sample.isEmpty() ? 0 : cells.horizontalAdvance(column.sample) + cellMargin + column.iconWidth;
        m_needed[c] = std::max({column.tableWidth, caption, sample});
    }
}

int FittedColumns::naturalListWidth() const {
    int width = 2 * m_view->frameWidth() + m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
    for (int needed : m_needed)
        width += needed;
    return width;
}

bool FittedColumns::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize && watched == m_viewport) {
        fit();
    } else if ((type == QEvent::FontChange || type == QEvent::StyleChange) && watched == m_view) {
        measure();
        fit();
    }
    return QObject::eventFilter(watched, event);
}

// Columns the user sized keep their width; the others get at least what they need and share any
// extra width in proportion to it; the last column gets the rest, down to kLeastLastWidth.
void FittedColumns::fit() {
    const int last = lastColumn();
    if (last < 0)
        return;
    const int available = m_view->viewport()->width();
    int fixed = 0;    // widths the user chose
    int flexible = 0; // what the other columns need, the last one included
    for (int c = 0; c <= last; ++c) {
        if (c != last && m_userWidths[c] > 0)
            fixed += m_userWidths[c];
        else
            flexible += m_needed[c];
    }
    const double scale = flexible > 0 ? std::max(1.0, double(available - fixed) / flexible) : 1.0;
    m_fitting = true;
    QHeaderView* header = m_view->header();
    int used = 0;
    for (int c = 0; c < last; ++c) {
        const int width = m_userWidths[c] > 0 ? m_userWidths[c] : int(m_needed[c] * scale);
        header->resizeSection(c, width);
        used += width;
    }
    header->resizeSection(last, std::max(kLeastLastWidth, available - used));
    m_fitting = false;
}

void FittedColumns::sectionResized(int logical, int oldSize, int newSize) {
    Q_UNUSED(oldSize);
    if (m_fitting || logical == lastColumn())
        return;
    m_userWidths[logical] = newSize;
    // Only the last column gives or takes the difference, so nothing else moves under the pointer.
    int used = 0;
    for (int c = 0; c < lastColumn(); ++c)
        used += m_view->header()->sectionSize(c);
    m_fitting = true;
    m_view->header()->resizeSection(lastColumn(), std::max(kLeastLastWidth, m_view->viewport()->width() - used));
    m_fitting = false;
}

} // namespace norvi
