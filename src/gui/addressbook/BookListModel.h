#pragma once

#include "core/addressbook/BookRows.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace norvi {

// Indexes of the shared image list (IconTable) that the address book shows.
namespace BookIcon {
constexpr int Root = 4;
constexpr int Member = 11;
constexpr int Group = 12;
constexpr int DefaultNumber = 13;
constexpr int TypedNumber = 14;
constexpr int ListFileRow = 15;
} // namespace BookIcon

int BookIconFor(RowKind kind);

// The rows of an address-book list (the whole book, a group's entries, the picker's choice) for a list
// view: one column (the caption) or three (名稱, 行動電話, 說明). Texts stay Big5 in the rows and are
// converted only for the rows on screen, so a book of thousands of members fills and sorts quickly.
class BookListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int IdRole = Qt::UserRole;
    static constexpr int ImageRole = Qt::UserRole + 1; // the row's index in the shared image list

    explicit BookListModel(int columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setRows(std::vector<BookRow> rows);
    const std::vector<BookRow>& rows() const { return m_rows; }
    const BookRow& row(int r) const { return m_rows.at(std::size_t(r)); }
    int findId(int32_t id, RowKind kind) const; // the first row of that record, or -1
    void appendRow(const BookRow& row);
    void insertRowAt(int position, const BookRow& row);
    void replaceRow(int r, const BookRow& row);
    // Removes the given rows (any order).
    void removeRowsAt(QList<int> rows);

    void setCaptions(const QStringList& captions);

    // The byte order of the address book window and the picker (ASCII letters folded).
    void sortRows(int column, bool ascending);
    // The order a reader expects of names (the platform's locale-aware comparison), for the group editor.
    void sortByCaptionLocale();
    // Where a row goes so that the list stays sorted by caption that way.
    int captionLocalePosition(const BookRow& row) const;

private:
    int m_columns;
    QStringList m_captions;
    std::vector<BookRow> m_rows;
};

} // namespace norvi
