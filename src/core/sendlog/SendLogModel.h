#pragma once

#include "core/sendlog/SendLogBlocks.h"
#include "core/sendlog/SendLogKeys.h"
#include "core/sendlog/SendLogRow.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QVector>

#include <vector>

namespace norvi {

class RowJournal;

// The send log: a table of rows that is always in the order of the current sort rule.
//
// A new row is placed where a full re-sort would put it, keyed by its caption when the list is sorted by
// name and by an empty text otherwise (its cells are filled after it is placed), after every row with an
// equal key. A row whose key cell is changed later keeps its place until the next row is added, when it is
// moved to where a stable full re-sort would put it. The rows live in a SendLogBlocks list.
class SendLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The image of a cell (the row image in column 0, the code image in column 3, else ImageNone).
    static constexpr int ImageRole = Qt::UserRole + 1;
    // The row's stable id (quint64).
    static constexpr int RowIdRole = Qt::UserRole + 2;

    explicit SendLogModel(QObject* parent = nullptr);
    ~SendLogModel() override;

    // The plain column caption ("名稱" ... "訊息內容").
    static QString plainCaption(int column);
    // The send log's text order (see compareSendLogKeys).
    static int compareKeys(const QByteArray& a, const QByteArray& b) { return compareSendLogKeys(a, b); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Adds a row in sorted position and returns its id. Cells given here count as filled after the row
    // was placed, exactly as when they are set one by one afterwards. `run`: the send run that adds it (0 for
    // a row read from a file or the journal).
    quint64 addRow(const SendLogRow& row, quint32 run = 0);
    quint64 addRow(const QByteArray& caption, int image);

    const SendLogRow& row(int position) const;
    QByteArray text(int position, int column) const { return row(position).texts[std::size_t(column)]; }
    int rowImage(int position) const { return row(position).image; }
    int codeImage(int position) const { return row(position).codeImage; }
    quint64 rowId(int position) const; // ids grow in the order rows were added
    quint32 rowRun(int position) const;
    int positionOf(quint64 id) const; // -1 when no such row

    // Changing the caption re-sorts at once; changing the key cell of the sort column moves the row at the
    // next insert; other cells never move a row.
    void setText(int position, int column, const QByteArray& text);
    void setCodeImage(int position, int image);
    // A send's result (its code, the code's image, its text, the message sent) as one change of the row:
    // what a send run does for every row, so a view repaints it once instead of four times.
    void setSendResult(int position, const QByteArray& code, int codeImage, const QByteArray& result,
                       const QByteArray& content);

    // A list job's answer for the row at `position`: its 查詢碼 and 查詢結果, and the row as it then stands handed
    // to the journal (when it changed), so that a program that ends before the rows are saved keeps it.
    void setAnswer(int position, const QByteArray& code, const QByteArray& result);
    // Where setAnswer records answered rows; none by default.
    void setJournal(RowJournal* journal) { m_journal = journal; }
    RowJournal* journal() const { return m_journal; }
    // A job's or a follow-up round's answers are all in: the journal takes them to the disk at once.
    void answersDone();

    // Rows added between these two calls go to the bottom and are put in their sorted places together at the
    // end, in one layout change: each insertion into the middle makes every selection range and persistent
    // index move, and a 失敗重發 of a long log leaves thousands of rows selected. Calls may nest.
    void beginRowBatch() { ++m_batchDepth; }
    void endRowBatch();

    // Deletes the rows at the given positions (any order, duplicates ignored).
    void removePositions(QVector<int> positions);
    void clear();

    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_sortAscending; }

    // A click on column k: a new column starts ascending, the same column toggles; the list is sorted.
    void columnClick(int column);
    // Sort column 0, descending, plain captions. The list takes the new rule at the next sort or insert.
    void resetColumnCaptions();

private:
    using Row = SendLogBlocks::Row;

    const QByteArray& key(const Row* r) const;
    bool before(const Row* a, const Row* b) const; // a sorts strictly before b under the current rule
    int upperBound(const QByteArray& k) const;
    int lowerBound(const QByteArray& k) const;
    bool keyBefore(const QByteArray& a, const QByteArray& b) const;

    void markMoved(Row* r);
    void placeMovedRows();
    void sortAll();
    template <typename Rearrange> void changeLayout(Rearrange rearrange);

    SendLogBlocks m_rows;
    // Rows by id. Ids are handed out in order, so the row of id k is m_byId[k - m_firstId]: an append
    // where a hash would rehash as a run of 100,000 rows grows. A deleted row leaves a null.
    std::vector<Row*> m_byId;
    quint64 m_firstId = 1;
    std::vector<Row*> m_moved; // rows whose key changed since they were placed
    bool m_needsSort = false;  // the sort rule changed without a sort
    int m_batchDepth = 0;      // open row batches: new rows wait at the bottom for their places
    quint64 m_nextId = 1;

    RowJournal* m_journal = nullptr;

    int m_sortColumn = 0;
    bool m_sortAscending = false;
    int m_markedColumn = -1;
};

} // namespace norvi
