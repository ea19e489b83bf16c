#pragma once

#include <QByteArray>
#include <QVector>

namespace norvi {

// Send-log columns: 0 is the row caption (名稱), 1 to 7 the cells.
enum SendLogColumn {
    ColName = 0,
    ColMobile = 1,
    ColSendTime = 2,
    ColSendCode = 3,
    ColSendResult = 4,
    ColQueryCode = 5,
    ColQueryResult = 6,
    ColContent = 7,
};
constexpr int kSendLogColumns = 8;

// Images of the shared icon table that the send log uses.
enum ImageIndex {
    ImageNone = -1,
    ImageAdrBkRoot = 4,
    ImageMember = 11,
    ImageGroup = 12,
    ImageDefaultNumber = 13,
    ImageTyped = 14,
    ImageListRow = 15,
    ImageReservation = 16,
};

// The narrow door through which the jobs reach the send log. The desktop program runs each call on
// the user-interface thread while the worker waits; the command-line front end and the tests call a
// model directly. Apart from addRow's id, rows are addressed by their current position, which only
// changes when a row is added. Texts are Big5.
class JobRows {
public:
    virtual ~JobRows() = default;

    // Adds a row with its caption, row image and first cells. It lands in sorted position, and later
    // rows may move it, so it is named by the returned id rather than by its position.
    virtual quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                           const QByteArray& sendTime) = 0;
    // Fills the result cells of a row made by addRow.
    virtual void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                const QByteArray& content) = 0;
    virtual void setQueryResult(int row, const QByteArray& code, const QByteArray& result) = 0;

    virtual int rowCount() = 0;
    virtual QByteArray text(int row, int column) = 0;
    virtual int rowImage(int row) = 0;
    virtual int codeImage(int row) = 0;

    // The order the rows were added in (a file's rows in the file's order, then the rows jobs appended): a row
    // added later has a larger number. The rows of one message are read in this order, never in the list's
    // sort. The default, the position, fits a log kept in the order its rows came.
    virtual quint64 addedOrder(int row) { return quint64(row); }
    // The send run of this program that added the row (runs are numbered from 1 by startRun); 0 for a row read
    // from a file, whose run is not known.
    virtual quint32 addedRun(int /*row*/) { return 0; }
    // A send run is about to add rows: those added from now on are that run's.
    virtual void startRun() {}

    virtual QVector<int> selectedRows() = 0; // in list order
    virtual bool isSelected(int row) = 0;
    virtual void setSelected(int row, bool selected) = 0;
    // The same for many rows at once (in any order). A list view announces each change of its selection
    // to everyone who watches it, so a job that marks thousands of rows hands them over together.
    virtual void setSelectedRows(const QVector<int>& rows, bool selected) {
        for (int row : rows)
            setSelected(row, selected);
    }
};

} // namespace norvi
