#include "core/sendlog/ModelJobRows.h"

#include "core/sendlog/SendLogModel.h"
#include "support/CheckedModel.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QSignalSpy>

using namespace norvi;
using norvi::test::CheckedModel;

namespace {

class ModelJobRowsTest : public ::testing::Test {
protected:
    ModelJobRowsTest() { m_model.columnClick(ColName); }
    CheckedModel<SendLogModel> m_model;
    QItemSelectionModel m_selection{&m_model};
    ModelJobRows m_log{m_model, m_selection};
};

} // namespace

TEST_F(ModelJobRowsTest, ResultsReachTheirRowAfterLaterRowsMovedIt) {
    const quint64 first = m_log.addRow("m", ImageMember, "0911", "20240101000000");
    m_log.addRow("a", ImageTyped, "0922", "20240101000001"); // lands above and shifts the first row
    m_log.fillSendResult(first, "0", ImageReservation, "OK(MsgId:1)", "hello");

    ASSERT_EQ(m_log.rowCount(), 2);
    const SendLogRow& row = m_log.row(1);
    EXPECT_EQ(m_log.rowId(1), first);
    EXPECT_EQ(row.texts[ColName], QByteArray("m"));
    EXPECT_EQ(row.texts[ColMobile], QByteArray("0911"));
    EXPECT_EQ(row.texts[ColSendTime], QByteArray("20240101000000"));
    EXPECT_EQ(row.texts[ColSendCode], QByteArray("0"));
    EXPECT_EQ(row.texts[ColSendResult], QByteArray("OK(MsgId:1)"));
    EXPECT_EQ(row.texts[ColContent], QByteArray("hello"));
    EXPECT_EQ(row.codeImage, int(ImageReservation));
    EXPECT_EQ(row.image, int(ImageMember));
    EXPECT_EQ(m_log.row(0).codeImage, int(ImageNone));
}

TEST_F(ModelJobRowsTest, ResultForADeletedRowIsDropped) {
    const quint64 id = m_log.addRow("a", ImageTyped, "0911", "t");
    m_model.clear();
    m_log.fillSendResult(id, "0", ImageNone, "OK", "x");
    EXPECT_EQ(m_log.rowCount(), 0);
}

TEST_F(ModelJobRowsTest, SelectionIsReportedInListOrder) {
    for (const char* name : {"d", "c", "b", "a"})
        m_log.addRow(name, ImageTyped, "09", "t");
    m_log.setSelectedRows({3, 0, 2}, true);
    m_log.setSelectedRows({2}, false);
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{0, 3}));
    EXPECT_TRUE(m_selection.isRowSelected(3, QModelIndex())) << "whole rows are selected";
    EXPECT_EQ(m_log.selectedCount(), 2);

    // A cell selected outside the name column does not make its row selected.
    m_selection.select(m_model.index(1, ColSendCode), QItemSelectionModel::Select);
    m_log.setSelectedRows({3}, true); // selecting a selected row again counts it once
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{0, 3}));
    EXPECT_EQ(m_log.selectedCount(), 2);
    m_log.selectExactly({1});
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{1}));
}

// A list job's answers find their rows by id wherever the rows moved; the rows it came to show in the selection:
// an all-rows job selects those it asks about, a selected-rows job lets go of those it passes by.
TEST_F(ModelJobRowsTest, AnswersFindTheirRowsByIdAndTheWalkShowsInTheSelection) {
    const quint64 b = m_log.addRow("b", ImageTyped, "09", "t");
    const quint64 a = m_log.addRow("a", ImageTyped, "09", "t"); // sorts above b: b moved down
    m_log.answered(b, "4", "waiting");
    m_log.answered(999, "4", "nowhere");
    EXPECT_EQ(m_log.row(m_model.positionOf(b)).texts[ColQueryCode], QByteArray("4"));
    EXPECT_EQ(m_log.row(m_model.positionOf(b)).texts[ColQueryResult], QByteArray("waiting"));
    EXPECT_TRUE(m_log.row(m_model.positionOf(a)).texts[ColQueryCode].isEmpty());

    struct Case {
        bool allRows;
        bool asked;
        QVector<int> before, after;
    };
    const Case cases[] = {
        {true, true, {}, {0, 1}}, {true, false, {0}, {0}}, {false, false, {0, 1}, {}}, {false, true, {1}, {1}}};
    for (const Case& c : cases) {
        m_log.selectExactly(c.before);
        m_log.walkBegins(c.allRows);
        m_log.walked({a, b, 999}, c.asked);
        EXPECT_EQ(m_log.selectedRows(), c.after) << c.allRows << c.asked;
    }
}

TEST_F(ModelJobRowsTest, ManyRowsChangeTheSelectionInOneStepAsWholeRowRuns) {
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g"})
        m_log.addRow(name, ImageTyped, "09", "t");
    int changes = 0;
    QObject::connect(&m_selection, &QItemSelectionModel::selectionChanged, [&] { ++changes; });

    m_log.setSelectedRows({5, 1, 2, 3, 99, -1, 6}, true); // any order; rows out of range are ignored
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{1, 2, 3, 5, 6}));
    EXPECT_EQ(m_selection.selection().size(), 2) << "neighbouring rows make one range";
    EXPECT_TRUE(m_selection.isRowSelected(2, QModelIndex()));

    m_log.setSelectedRows({2, 6}, false);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{1, 3, 5}));
    EXPECT_EQ(m_log.selectedCount(), 3);

    m_log.setSelectedRows({}, true); // nothing to mark: no change reported
    EXPECT_EQ(changes, 2);
}

// A long walk shows its marks a hand-over at a time and keeps them a few long ranges, each change of the
// selection as cheap as the first; what is selected stays exactly what the walk says, whatever moved or changed
// the selection between two hand-overs. Rows "b" to "k" stand at 0 to 9; each case walks them one a hand-over.
TEST_F(ModelJobRowsTest, AWalkShownAHandOverAtATimeMarksExactlyItsRowsInFewRanges) {
    struct Case {
        const char* what;
        bool allRows;
        QVector<int> asked;    // of the rows 0 to 9, in walk order; the others are passed by
        int changeAfter;       // after this many rows walked, `change` runs; -1 for none
        int change;            // 1: a row "a" lands above the rest; 2: the user lets go of row 1
        QVector<int> selected; // what the list selects at the end, by the rows' first places
        qsizetype ranges;
    };
    m_log.showWalkEvery(0); // each hand-over shown as it ends, as when answers come slowly
    const Case cases[] = {
        {"every row asked", true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, -1, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1},
        {"a final row between", true, {0, 1, 2, 3, 5, 6, 7, 8, 9}, -1, 0, {0, 1, 2, 3, 5, 6, 7, 8, 9}, 2},
        {"a row lands above meanwhile", true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 5, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 2},
        {"the user lets go of a row meanwhile",
         true,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         5,
         2,
         {0, 2, 3, 4, 5, 6, 7, 8, 9},
         3},
        {"selected rows, one asked", false, {4}, -1, 0, {4}, 1},
        {"selected rows, two asked apart", false, {2, 7}, -1, 0, {2, 7}, 2},
    };
    for (const Case& c : cases) {
        m_model.clear();
        QVector<quint64> ids;
        for (const char* name : {"b", "c", "d", "e", "f", "g", "h", "i", "j", "k"})
            ids.append(m_log.addRow(name, ImageTyped, "09", "t"));
        m_log.selectExactly(c.allRows ? QVector<int>{} : QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        m_log.walkBegins(c.allRows);
        for (int row = 0; row < 10; ++row) {
            if (row == c.changeAfter && c.change == 1)
                m_log.addRow("a", ImageTyped, "09", "t");
            if (row == c.changeAfter && c.change == 2)
                m_log.setSelectedRows({m_model.positionOf(ids[1])}, false);
            m_log.walked({ids[row]}, c.asked.contains(row));
            m_log.settle();
        }
        QVector<int> selected;
        for (const int row : m_log.selectedRows())
            selected.append(int(ids.indexOf(m_log.rowId(row))));
        EXPECT_EQ(selected, c.selected) << c.what;
        EXPECT_LE(m_selection.selection().size(), c.ranges) << c.what;
    }
    // What is read before the hand-over ends already holds the rows walked.
    m_log.selectExactly({});
    m_log.walkBegins(true);
    m_log.walked({m_log.rowId(3)}, true);
    EXPECT_EQ(m_log.selectedRows(), (QVector<int>{3}));
    // Hand-overs that come faster are shown together a moment later, with nobody reading the list.
    m_log.showWalkEvery(50);
    m_log.walked({m_log.rowId(4)}, true);
    m_log.settle();
    m_log.walked({m_log.rowId(6)}, true);
    m_log.settle();
    QSignalSpy shown(&m_selection, &QItemSelectionModel::selectionChanged);
    ASSERT_TRUE(m_selection.isRowSelected(6, QModelIndex()) || shown.wait(5000));
    EXPECT_TRUE(m_selection.isRowSelected(4, QModelIndex()));
    EXPECT_TRUE(m_selection.isRowSelected(6, QModelIndex()));
}
