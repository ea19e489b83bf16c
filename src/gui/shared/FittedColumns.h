#pragma once

#include <QObject>
#include <QString>
#include <QVector>

class QTreeView;

namespace norvi {

// The columns of a report list sized to what they show. Each column is at least as wide as its caption
// (with the sort arrow), a sample of its widest usual text (a whole yyyymmddhhnnss time, a whole
// "(MsgId:…)" result) and its width from the window's table, measured with the list's own font; a wider
// list shares the extra width among the columns; the last column takes what is left and is the one
// that shrinks when there is too little, so the list scrolls sideways only when even that is not
// enough. A width the user drags a column to is kept for as long as the window lives.
class FittedColumns : public QObject {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        QString sample;    // the widest text the column usually holds; may be empty
        int tableWidth;    // the width the window's design gives the column
        int iconWidth = 0; // an image drawn before the text
    };

    FittedColumns(QTreeView* view, QVector<Column> columns);

    // The width of the whole list (frame and vertical scroll bar included) that shows every column whole.
    int naturalListWidth() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void measure();
    void fit();
    void sectionResized(int logical, int oldSize, int newSize);
    int lastColumn() const { return int(m_columns.size()) - 1; }

    QTreeView* m_view;
    // Compared, never called: the filter also sees the events of a view being destroyed.
    const QObject* m_viewport = nullptr;
    QVector<Column> m_columns;
    QVector<int> m_needed;
    QVector<int> m_userWidths; // 0: not set by the user
    bool m_fitting = false;
};

} // namespace norvi
