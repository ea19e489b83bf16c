#include "core/sendlog/SendLogModel.h"
#include "support/CheckedModel.h"
#include "support/Sanitized.h"

#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QSignalSpy>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

using namespace norvi;
using norvi::test::CheckedModel;

namespace {

QByteArray b5(const char* utf8) {
    return big5(utf8);
}

// The captions of the list from top to bottom.
QList<QByteArray> captions(const SendLogModel& model) {
    QList<QByteArray> out;
    for (int i = 0; i < model.rowCount(); ++i)
        out << model.text(i, ColName);
    return out;
}

QList<QByteArray> column(const SendLogModel& model, int col) {
    QList<QByteArray> out;
    for (int i = 0; i < model.rowCount(); ++i)
        out << model.text(i, col);
    return out;
}

quint64 addFilled(SendLogModel& model, const QByteArray& caption, const QByteArray& code) {
    const quint64 id = model.addRow(caption, ImageTyped);
    model.setText(model.positionOf(id), ColSendCode, code);
    return id;
}

} // namespace

// ---- the text order ----

TEST(CompareKeysTest, OrdersLikeTheList) {
    const struct {
        const char* name;
        QByteArray a, b;
        int expected; // sign
    } cases[] = {{"letters ignore case", "Chen", "cHEN", 0},
                 {"proper prefix first", "09", "091", -1},
                 {"empty before anything", "", "0", -1},
                 {"codes compare as text", "10", "9", -1},
                 {"times compare as text", "20240101120000", "2024010112", 1},
                 {"letters fold to upper case", "_", "a", 1},
                 {"Big5 bytes are unsigned", QByteArray("\xA4\x40"), "z", 1},
                 {"Big5 characters by byte value", QByteArray("\xA4\x40"), QByteArray("\xA5\x40"), -1},
                 {"second Big5 byte keeps its case", QByteArray("\xA4\x61"), QByteArray("\xA4\x41"), 1},
                 {"letter after Big5 folds again", QByteArray("\xA4\x40x"), QByteArray("\xA4\x40X"), 0},
                 {"letter after a high second byte folds",
                  QByteArray("\xA4\xA4"
                             "a"),
                  QByteArray("\xA4\xA4"
                             "A"),
                  0},
                 {"letter after a lone lead byte is a second byte",
                  QByteArray("\xA4\xA4\xA4"
                             "a"),
                  QByteArray("\xA4\xA4\xA4"
                             "A"),
                  1},
                 {"case differences before the Big5 text",
                  QByteArray("ab\xA4"
                             "a"),
                  QByteArray("AB\xA4"
                             "A"),
                  1}};
    for (const auto& c : cases) {
        const int got = SendLogModel::compareKeys(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.expected) << c.name;
        const int back = SendLogModel::compareKeys(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.expected) << c.name << " (reversed)";
    }
}

// The order read straight off its definition, one character at a time from the start.
int referenceCompare(const QByteArray& a, const QByteArray& b) {
    auto fold = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : int(c); };
    bool second = false;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        const int fa = second ? ca : fold(ca);
        const int fb = second ? cb : fold(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        second = !second && isBig5LeadByte(ca);
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TEST(CompareKeysTest, AgreesWithTheCharacterByCharacterDefinition) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', 'A', 'z', '_', '\x40', '\xA4', '\xA1', '\x81', '\xFE', '0'};
    auto text = [&] {
        QByteArray t;
        for (unsigned n = rng() % 24; n > 0; --n)
            t += alphabet[rng() % sizeof alphabet];
        return t;
    };
    for (int i = 0; i < 200000; ++i) {
        // Unrelated texts, texts that differ in one byte, and a text against its own beginning.
        const QByteArray a = text();
        QByteArray b = (i % 3 == 0) ? text() : a;
        if (i % 3 == 1 && !b.isEmpty())
            b[qsizetype(rng() % unsigned(b.size()))] = alphabet[rng() % sizeof alphabet];
        if (i % 3 == 2)
            b.truncate(qsizetype(rng() % unsigned(a.size() + 1)));
        const int got = SendLogModel::compareKeys(a, b);
        ASSERT_EQ((got > 0) - (got < 0), referenceCompare(a, b))
            << a.toHex().constData() << " " << b.toHex().constData();
    }
}

// ---- the sort commands ----

// Each click on a header, what the list shows after it and what the headers say: a new column starts
// ascending, the checked one again reverses (遞增 and 遞減 alike).
TEST(SendLogModelTest, AClickSortsByItsColumnAndTheCheckedOneAgainReverses) {
    CheckedModel<SendLogModel> model;
    model.resetColumnCaptions();
    const char* const rows[][2] = {{"b", "9"}, {"C", "10"}, {"a", "0"}};
    for (const auto& row : rows)
        addFilled(model, row[0], row[1]);
    const struct {
        int column;
        bool ascending;
        QList<QByteArray> shown; // the clicked column from the top
        const char *caption, *nameCaption;
    } clicks[] = {{ColName, true, {"a", "b", "C"}, "名稱 ↑", "名稱 ↑"},
                  {ColName, false, {"C", "b", "a"}, "名稱 ↓", "名稱 ↓"},
                  {ColSendCode, true, {"0", "10", "9"}, "傳送碼 ↑", "名稱"},
                  {ColSendCode, false, {"9", "10", "0"}, "傳送碼 ↓", "名稱"},
                  {ColSendCode, true, {"0", "10", "9"}, "傳送碼 ↑", "名稱"}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.caption);
        model.columnClick(c.column);
        EXPECT_EQ(model.sortAscending(), c.ascending);
        EXPECT_EQ(column(model, c.column), c.shown);
        EXPECT_EQ(model.headerData(c.column, Qt::Horizontal).toString(), QString::fromUtf8(c.caption));
        EXPECT_EQ(model.headerData(ColName, Qt::Horizontal).toString(), QString::fromUtf8(c.nameCaption));
    }
}

TEST(SendLogModelTest, ResetGivesPlainCaptionsAndTheNextClickStartsAscending) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColQueryResult);
    model.resetColumnCaptions();
    EXPECT_EQ(model.sortColumn(), int(ColName));
    EXPECT_FALSE(model.sortAscending());
    for (int c = 0; c < kSendLogColumns; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), SendLogModel::plainCaption(c));
    model.columnClick(ColName);
    EXPECT_EQ(model.headerData(ColName, Qt::Horizontal).toString(), QStringLiteral("名稱 ↑"));
}

TEST(SendLogModelTest, EqualKeysKeepTheirOrderAcrossSorts) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    const quint64 first = addFilled(model, "same", "1");
    const quint64 second = addFilled(model, "same", "0");
    const quint64 third = addFilled(model, "same", "1");
    model.columnClick(ColSendCode);
    EXPECT_EQ(model.rowId(0), second);
    EXPECT_EQ(model.rowId(1), first);
    EXPECT_EQ(model.rowId(2), third);
}

// ---- inserting in sorted position ----

TEST(SendLogModelTest, NewRowLandsAfterItsEqualsByCaption) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    model.addRow("b", ImageTyped);
    const quint64 firstA = model.addRow("a", ImageTyped);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const quint64 secondA = model.addRow("A", ImageTyped);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 1);
    EXPECT_EQ(model.rowId(0), firstA);
    EXPECT_EQ(model.rowId(1), secondA);
}

TEST(SendLogModelTest, WhileSortedByACellNewRowsLandWhereAnEmptyCellSorts) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColSendCode); // ascending: empty cells on top
    addFilled(model, "x", "0");
    addFilled(model, "y", "1");
    model.addRow("z", ImageTyped); // its code is not filled yet
    EXPECT_EQ(captions(model).front(), QByteArray("z"));

    model.columnClick(ColSendCode); // descending: empty cells at the bottom
    model.addRow("w", ImageTyped);
    EXPECT_EQ(captions(model).back(), QByteArray("w"));
}

TEST(SendLogModelTest, ChangedKeyCellMovesTheRowAtTheNextInsertOnly) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColSendCode);
    addFilled(model, "a", "0");
    addFilled(model, "b", "5");
    const quint64 late = model.addRow("c", ImageTyped); // lands on top with its empty code
    model.setText(model.positionOf(late), ColSendCode, "9");
    EXPECT_EQ(model.positionOf(late), 0) << "filling a cell does not move the row by itself";
    model.setText(model.positionOf(late), ColSendResult, "ok");

    const quint64 next = model.addRow("d", ImageTyped);
    EXPECT_EQ(model.positionOf(next), 0);
    EXPECT_EQ(model.positionOf(late), 3);
    EXPECT_EQ(column(model, ColSendCode), (QList<QByteArray>{"", "0", "5", "9"}));
}

TEST(SendLogModelTest, ChangingACaptionReSortsAtOnce) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    const quint64 a = model.addRow("a", ImageTyped);
    model.addRow("b", ImageTyped);
    model.setText(model.positionOf(a), ColName, "c");
    EXPECT_EQ(captions(model), (QList<QByteArray>{"b", "c"}));
}

TEST(SendLogModelTest, RowsGivenWithCellsArePlacedByAnEmptyKey) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColSendCode);
    addFilled(model, "a", "1");
    SendLogRow loaded;
    loaded.texts[ColName] = "b";
    loaded.texts[ColSendCode] = "5";
    const quint64 id = model.addRow(loaded);
    EXPECT_EQ(model.positionOf(id), 0);
    model.addRow("c", ImageTyped);
    EXPECT_EQ(model.positionOf(id), 2);
}

// The list must always be what a stable full re-sort on every insert gives. A plain vector re-sorted on
// every insert is the reference; random rows, cell changes, deletions and column clicks drive both, with
// few distinct keys so that ties are common and enough rows to fill several blocks.
namespace {

struct RefRow {
    quint64 id;
    std::array<QByteArray, kSendLogColumns> texts;
};

class Reference {
public:
    int column = 0;
    bool ascending = false;
    std::vector<RefRow> rows;

    // A stable sort of rows already in order leaves them as they are, so only a change of a key in the sort
    // column calls for one: the same order as a re-sort on every insert, without its cost.
    void sort() {
        if (!unsorted)
            return;
        std::stable_sort(rows.begin(), rows.end(), [this](const RefRow& a, const RefRow& b) {
            const int c = SendLogModel::compareKeys(a.texts[column], b.texts[column]);
            return ascending ? c < 0 : c > 0;
        });
        unsorted = false;
    }
    void setText(std::size_t position, int col, const QByteArray& text) {
        QByteArray& cell = rows[position].texts[std::size_t(col)];
        unsorted = unsorted || (col == column && cell != text);
        cell = text;
    }
    // A new row goes after its equals by its caption, or by an empty key while another column sorts: a key
    // it brings in that column places it at the next insert, as one typed into its cell later would.
    void insert(const RefRow& row) {
        sort();
        const QByteArray key = column == ColName ? row.texts[ColName] : QByteArray();
        const auto at = std::upper_bound(rows.begin(), rows.end(), key, [this](const QByteArray& k, const RefRow& r) {
            const int c = SendLogModel::compareKeys(k, r.texts[column]);
            return ascending ? c < 0 : c > 0;
        });
        rows.insert(at, row);
        unsorted = unsorted || key != row.texts[column];
    }
    void click(int k) {
        if (k != column)
            ascending = false;
        ascending = !ascending;
        column = k;
        unsorted = true;
        sort();
    }

private:
    bool unsorted = false;
};

} // namespace

class SendLogModelOrderTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(SendLogModelOrderTest, MatchesAFullReSortOnEveryInsert) {
    std::mt19937 rng(GetParam());
    const QByteArray keys[] = {"",
                               "a",
                               "A",
                               "b",
                               "10",
                               "9",
                               QByteArray("\xA4\x40"),
                               "ab",
                               "message-to-everyone-a",
                               "MESSAGE-to-everyone-B",
                               QByteArray("\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4"
                                          "a"),
                               QByteArray("\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4\xA4"
                                          "A")};
    auto pick = [&] { return keys[rng() % (sizeof keys / sizeof keys[0])]; };
    auto below = [&](int n) { return int(rng() % unsigned(n)); };

    SendLogModel model;
    Reference ref;
    model.columnClick(ColName);
    ref.click(ColName);

    const int steps = norvi::test::kSanitized ? 1200 : 4000;
    // The model tester walks the whole model on every signal, so a run under it costs the square of its
    // length. One seed runs under it for a stretch from the empty list and for one about the middle, in which
    // the rows outgrow one block and it splits: every kind of change, at both sizes. Every seed checks the
    // order over the whole run.
    std::unique_ptr<QAbstractItemModelTester> tester;
    const auto underTester = [&](int step) {
        return GetParam() == 1u && (step < steps * 3 / 20 || (step >= steps * 9 / 20 && step < steps * 13 / 20));
    };
    for (int step = 0; step < steps; ++step) {
        if (underTester(step) != bool(tester))
            tester = underTester(step) ? std::make_unique<QAbstractItemModelTester>(
                                             &model, QAbstractItemModelTester::FailureReportingMode::Fatal)
                                       : nullptr;
        const int op = below(100);
        if (op < 55 || ref.rows.empty()) {
            // A bare row whose cells follow, or a send run's row that comes with its number and time.
            SendLogRow row;
            row.texts[ColName] = pick();
            row.image = ImageTyped;
            if (below(2)) {
                row.texts[ColMobile] = pick();
                row.texts[ColSendTime] = pick();
            }
            ref.insert(RefRow{model.addRow(row), row.texts});
        } else if (op < 62) {
            // A send's result, its cells in one change.
            const int position = below(int(ref.rows.size()));
            const QByteArray code = pick(), result = pick(), content = pick();
            model.setSendResult(position, code, ImageNone, result, content);
            ref.setText(std::size_t(position), ColSendCode, code);
            ref.setText(std::size_t(position), ColSendResult, result);
            ref.setText(std::size_t(position), ColContent, content);
        } else if (op < 90) {
            const int position = below(int(ref.rows.size()));
            const int col = below(kSendLogColumns);
            const QByteArray text = pick();
            ASSERT_EQ(model.rowId(position), ref.rows[std::size_t(position)].id);
            model.setText(position, col, text);
            const bool changed = ref.rows[std::size_t(position)].texts[std::size_t(col)] != text;
            ref.setText(std::size_t(position), col, text);
            if (col == ColName && changed)
                ref.sort();
        } else if (op < 97) {
            const int position = below(int(ref.rows.size()));
            model.removePositions({position});
            ref.rows.erase(ref.rows.begin() + position);
        } else {
            const int col = below(kSendLogColumns);
            model.columnClick(col);
            ref.click(col);
        }
        ASSERT_EQ(model.rowCount(), int(ref.rows.size()));
        if (step % 50 == 0 || step > steps - 100) {
            for (int i = 0; i < model.rowCount(); ++i) {
                ASSERT_EQ(model.rowId(i), ref.rows[std::size_t(i)].id) << "step " << step << " row " << i;
                ASSERT_EQ(model.positionOf(model.rowId(i)), i);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, SendLogModelOrderTest, ::testing::Values(1u, 2u, 3u));

// ---- model plumbing ----

TEST(SendLogModelTest, SelectionFollowsItsRowsThroughSortsInsertsAndDeletes) {
    CheckedModel<SendLogModel> model;
    QItemSelectionModel selection(&model);
    model.columnClick(ColName);
    std::vector<quint64> ids;
    for (const char* name : {"e", "d", "c", "b", "a"})
        ids.push_back(model.addRow(name, ImageTyped));
    auto select = [&](quint64 id) {
        selection.select(model.index(model.positionOf(id), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    select(ids[0]); // "e"
    select(ids[3]); // "b"
    auto selectedCaptions = [&] {
        QList<QByteArray> out;
        for (int i = 0; i < model.rowCount(); ++i)
            if (selection.isSelected(model.index(i, 0)))
                out << model.text(i, ColName);
        return out;
    };

    model.columnClick(ColName); // descending
    EXPECT_EQ(selectedCaptions(), (QList<QByteArray>{"e", "b"}));
    model.addRow("c2", ImageTyped);
    EXPECT_EQ(selectedCaptions(), (QList<QByteArray>{"e", "b"}));
    model.removePositions({model.positionOf(ids[2])});
    EXPECT_EQ(selectedCaptions(), (QList<QByteArray>{"e", "b"}));
    EXPECT_TRUE(selection.isSelected(model.index(model.positionOf(ids[3]), kSendLogColumns - 1)));
}

// A send run's rows, a batch at a time, into a list with scattered rows selected (失敗重發 of a long log): each
// row goes in at the bottom, where no selection range has to move, and at the batch's end every row stands
// in its sorted place, the selection still on its rows. By the caption, and by a cell the row's fill brings.
TEST(SendLogModelTest, RowsOfABatchGoInAtTheBottomAndTakeTheirPlacesAtItsEnd) {
    for (const int sortColumn : {int(ColName), int(ColSendCode)}) {
        SCOPED_TRACE(sortColumn);
        CheckedModel<SendLogModel> model;
        QItemSelectionModel selection(&model);
        model.columnClick(sortColumn);
        for (const char* name : {"b", "d", "f", "h"})
            addFilled(model, name, name);
        for (const int position : {captions(model).indexOf("b"), captions(model).indexOf("f")})
            selection.select(model.index(position, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QList<int> insertedAt;
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex&, int first, int) { insertedAt << first; });

        model.beginRowBatch();
        for (const char* name : {"g", "a", "e", "c"}) {
            const quint64 id = model.addRow(name, ImageTyped);
            model.setSendResult(model.positionOf(id), name, ImageNone, "ok", "text");
        }
        EXPECT_EQ(insertedAt, (QList<int>{4, 5, 6, 7}));
        model.endRowBatch();

        EXPECT_EQ(captions(model), (QList<QByteArray>{"a", "b", "c", "d", "e", "f", "g", "h"}));
        QList<QByteArray> selected;
        for (int i = 0; i < model.rowCount(); ++i)
            if (selection.isSelected(model.index(i, 0)))
                selected << model.text(i, ColName);
        EXPECT_EQ(selected, (QList<QByteArray>{"b", "f"}));
    }
}

TEST(SendLogModelTest, RemovingScatteredRowsReportsEachRunAndKeepsTheRest) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    std::vector<quint64> ids;
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        ids.push_back(model.addRow(name, ImageTyped));
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.removePositions({4, 0, 1, 5, 1, 9});
    EXPECT_EQ(captions(model), (QList<QByteArray>{"c", "d"}));
    // A job may still fill a row the user deleted or cleared meanwhile: its id must find nothing.
    EXPECT_EQ((std::vector<int>{model.positionOf(ids[0]), model.positionOf(ids[3]), model.positionOf(ids[5]),
                                model.positionOf(0), model.positionOf(99)}),
              (std::vector<int>{-1, 1, -1, -1, -1}));
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 4);
    EXPECT_EQ(removed.at(0).at(2).toInt(), 5);
    EXPECT_EQ(removed.at(1).at(1).toInt(), 0);
    EXPECT_EQ(removed.at(1).at(2).toInt(), 1);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    const quint64 z = model.addRow("z", ImageTyped);
    EXPECT_EQ(captions(model), (QList<QByteArray>{"z"}));
    EXPECT_EQ((std::vector<int>{model.positionOf(ids[2]), model.positionOf(z)}), (std::vector<int>{-1, 0}));
}

TEST(SendLogModelTest, CellsShowAsTextAndImagesByColumn) {
    CheckedModel<SendLogModel> model;
    SendLogRow row;
    row.texts[ColName] = b5("王小明");
    row.texts[ColSendResult] = b5("傳送成功");
    row.image = ImageMember;
    row.codeImage = ImageReservation;
    model.addRow(row);
    EXPECT_EQ(model.data(model.index(0, ColName)).toString(), QStringLiteral("王小明"));
    EXPECT_EQ(model.data(model.index(0, ColSendResult)).toString(), QStringLiteral("傳送成功"));
    EXPECT_EQ(model.data(model.index(0, ColName), SendLogModel::ImageRole).toInt(), int(ImageMember));
    EXPECT_EQ(model.data(model.index(0, ColSendCode), SendLogModel::ImageRole).toInt(), int(ImageReservation));
    EXPECT_EQ(model.data(model.index(0, ColMobile), SendLogModel::ImageRole).toInt(), int(ImageNone));
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setCodeImage(0, ImageNone);
    model.setText(0, ColQueryCode, "0");
    model.setText(0, ColQueryCode, "0"); // the same text again is no change
    EXPECT_EQ(changed.count(), 2);
}

// A row is one line on screen: a message's own line breaks and tabs show as spaces, any other control
// character (a gateway text as received, a damaged file) as "\xNN".
TEST(SendLogModelTest, CellsShowControlCharactersEscapedAndMessagesOnOneLine) {
    CheckedModel<SendLogModel> model;
    SendLogRow row;
    row.texts[ColSendResult] = QByteArray("bad\x1b[2J\r\n") + big5("回覆");
    row.texts[ColQueryResult] = "\x01";
    row.texts[ColContent] = QByteArray("a\r\nb\tc\x07") + big5("完");
    model.addRow(row);
    const auto shown = [&](int column) { return model.data(model.index(0, column), Qt::DisplayRole).toString(); };
    EXPECT_EQ(shown(ColSendResult), QStringLiteral("bad\\x1B[2J\\x0D\\x0A回覆"));
    EXPECT_EQ(shown(ColQueryResult), QStringLiteral("\\x01"));
    EXPECT_EQ(shown(ColContent), QStringLiteral("a  b c\\x07完"));
    EXPECT_EQ(model.text(0, ColContent), row.texts[ColContent]) << "the stored text stays as it was";
}
