#include "SendDialogFixture.h"

#include "core/compose/RecipientField.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>

using namespace norvi;
using namespace norvi::test;

namespace {

// The recipient field with a member, a group, a list-file row and a typed number:
// "王小明; 業務部; 0911000001; 0922000002; " (member 0-2, group 5-7, row 10-19, typed 22-31).
class RecipientFieldEditTest : public SendDialogFixture {
protected:
    void SetUp() override {
        SendDialogFixture::SetUp();
        sLoadMt row{};
        row.line = 0;
        putField(row.msisdn, QByteArray("0911000001"));
        putField(row.content, QByteArray("Hello"));
        box().recipients().ListFileRows[0] = row;
    }

    void fill() {
        render({entry(5, KindAddressBook, "王小明"), entry(-2, KindAddressBook, "業務部"),
                entry(0, KindListRow, "0911000001"), entry(0, KindTyped, "0922000002")});
        ASSERT_EQ(fieldText(), QStringLiteral("王小明; 業務部; 0911000001; 0922000002; "));
    }
    // Runs `body` in the dialog with the field filled.
    void inField(const std::function<void()>& body) {
        open([&] {
            fill();
            body();
        });
    }
    // A click on the left edge of the character at `pos`: the caret goes in front of it. (A click on an
    // entry's character selects the entry instead.)
    bool clickBefore(int pos) {
        QTextCursor c(field()->document());
        c.setPosition(pos);
        const QRect r = field()->cursorRect(c);
        return clickAt(field()->viewport(), QPoint(r.left() + 1, r.center().y()));
    }
    QTextCharFormat formatAt(int pos) {
        QTextCursor c(field()->document());
        c.setPosition(pos + 1);
        return c.charFormat();
    }
    static const inline QStringList kAll{QStringLiteral("0:5:王小明"), QStringLiteral("0:-2:業務部"),
                                         QStringLiteral("1:0:0911000001"), QStringLiteral("2:0:0922000002")};
};

} // namespace

TEST_F(RecipientFieldEditTest, RenderedEntriesShowTheirKindsAndReadBackAsTheyWere) {
    inField([&] {
        EXPECT_EQ(parsed(), kAll);
        EXPECT_TRUE(formatAt(0).fontUnderline());
        EXPECT_NE(formatAt(0).fontWeight(), int(QFont::Bold));
        EXPECT_TRUE(formatAt(5).fontUnderline());
        EXPECT_EQ(formatAt(5).fontWeight(), int(QFont::Bold));
        EXPECT_TRUE(formatAt(12).fontItalic());
        EXPECT_FALSE(formatAt(24).fontItalic() || formatAt(24).fontUnderline());
        EXPECT_EQ(caret(), int(fieldText().size()) - 1) << "the caret waits in front of the trailing space";
        EXPECT_EQ(parsed(false), (QStringList{kAll[0], kAll[1], kAll[3]}));
    });
}

TEST_F(RecipientFieldEditTest, DigitsTypedRightAfterAnEntryStayPlainAndAreANumberOfTheirOwn) {
    inField([&] {
        ASSERT_TRUE(clickBefore(3));
        ASSERT_EQ(caret(), 3);
        typeKeys("0955");
        EXPECT_EQ(fieldText(), QStringLiteral("王小明0955; 業務部; 0911000001; 0922000002; "));
        EXPECT_FALSE(formatAt(4).fontUnderline());
        EXPECT_EQ(parsed(), (QStringList{kAll[0], QStringLiteral("2:0:0955"), kAll[1], kAll[2], kAll[3]}));
    });
}

TEST_F(RecipientFieldEditTest, BackspaceAndDeleteTakeAWholeEntryAndLeaveTheOthersAsTheyWere) {
    inField([&] {
        ASSERT_TRUE(clickBefore(8)); // right after 業務部
        ASSERT_TRUE(key(Qt::Key_Backspace));
        EXPECT_EQ(fieldText(), QStringLiteral("王小明; ; 0911000001; 0922000002; "));
        EXPECT_EQ(parsed(), (QStringList{kAll[0], kAll[2], kAll[3]}));
        EXPECT_TRUE(formatAt(0).fontUnderline());
        EXPECT_TRUE(formatAt(at(QStringLiteral("0911000001"))).fontItalic());

        ASSERT_TRUE(clickBefore(at(QStringLiteral("; 0911000001")) + 1)); // in front of the space before the row
        ASSERT_TRUE(key(Qt::Key_Right));
        ASSERT_TRUE(key(Qt::Key_Delete));
        EXPECT_EQ(parsed(), (QStringList{kAll[0], kAll[3]}));

        // With a selection the keys act on it as always: one character of the typed number.
        ASSERT_TRUE(clickBefore(at(QStringLiteral("0922000002")) + 1));
        ASSERT_TRUE(key(Qt::Key_Right, Qt::ShiftModifier));
        ASSERT_TRUE(key(Qt::Key_Backspace));
        EXPECT_EQ(parsed(), (QStringList{kAll[0], QStringLiteral("2:0:022000002")}));
    });
}

TEST_F(RecipientFieldEditTest, ArrowsStepOverEntriesUnlessShiftIsHeld) {
    inField([&] {
        ASSERT_TRUE(clickBefore(8)); // right after 業務部 (5-7)
        ASSERT_TRUE(key(Qt::Key_Left));
        EXPECT_EQ(caret(), 5);
        ASSERT_TRUE(key(Qt::Key_Right));
        EXPECT_EQ(caret(), 8);
        ASSERT_TRUE(key(Qt::Key_Left, Qt::ShiftModifier));
        EXPECT_EQ(caret(), 7);
        EXPECT_EQ(selected(), QStringLiteral("部"));
        ASSERT_TRUE(key(Qt::Key_Right)); // leaves the selection's end where it is: after the group
        EXPECT_EQ(caret(), 8);
        ASSERT_TRUE(key(Qt::Key_Left));
        ASSERT_TRUE(key(Qt::Key_Left));
        EXPECT_EQ(caret(), 4);
        ASSERT_TRUE(key(Qt::Key_Home));
        EXPECT_EQ(caret(), 0);
        ASSERT_TRUE(key(Qt::Key_Right));
        EXPECT_EQ(caret(), 3) << "the member is stepped over as one";
    });
}

TEST_F(RecipientFieldEditTest, InOverwriteModeATypedCharacterReplacesTheEntryInFrontOfIt) {
    inField([&] {
        ASSERT_TRUE(clickBefore(4));
        ASSERT_TRUE(key(Qt::Key_Right));
        ASSERT_EQ(caret(), 5);
        ASSERT_TRUE(key(Qt::Key_Insert));
        EXPECT_FALSE(field()->insertMode());
        typeKeys("7");
        EXPECT_EQ(fieldText(), QStringLiteral("王小明; 7; 0911000001; 0922000002; "));
        // Plain text is overwritten character by character.
        ASSERT_TRUE(clickBefore(at(QStringLiteral("0922000002"))));
        typeKeys("55");
        EXPECT_EQ(parsed(), (QStringList{kAll[0], QStringLiteral("2:0:7"), kAll[2], QStringLiteral("2:0:5522000002")}));
        ASSERT_TRUE(key(Qt::Key_Insert));
        EXPECT_TRUE(field()->insertMode());
        typeKeys("1");
        EXPECT_EQ(parsed().last(), QStringLiteral("2:0:55122000002"));
    });
    open([&] { EXPECT_TRUE(field()->insertMode()) << "every opening inserts again"; });
}

TEST_F(RecipientFieldEditTest, AClickSelectsAWholeEntryAndShiftClickWidensToWholeEntries) {
    inField([&] {
        ASSERT_TRUE(clickChar(7)); // the group's last character
        EXPECT_EQ(selected(), QStringLiteral("業務部"));
        EXPECT_EQ(field()->lastClickedEntry().start, 5);
        EXPECT_EQ(field()->lastClickedEntry().length, 3);
        ASSERT_TRUE(clickChar(4)); // plain text: nothing selected
        EXPECT_EQ(selected(), QString());

        ASSERT_TRUE(clickChar(1));
        ASSERT_TRUE(clickChar(12, Qt::ShiftModifier)); // into the list-file row
        EXPECT_EQ(selected(), QStringLiteral("王小明; 業務部; 0911000001"));

        // A list-file row with its own text shows its own count.
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("a").repeated(200)));
        EXPECT_EQ(countText(), QStringLiteral("總共需要 2 通簡訊"));
        ASSERT_TRUE(clickChar(15));
        EXPECT_EQ(selected(), QStringLiteral("0911000001"));
        EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));
        ASSERT_TRUE(clickChar(1));
        EXPECT_EQ(countText(), QStringLiteral("總共需要 2 通簡訊"));
    });
}

TEST_F(RecipientFieldEditTest, TheFieldGrowsWithItsTextAndPushesTheControlsBelowDown) {
    open([&] {
        const int base = field()->height(); // one line high on opening
        QWidget* below = control<QRadioButton>("RadioButtonSendNow");
        const int belowTop = below->y();
        const int memoTop = memo()->y();
        const int memoBottom = memo()->geometry().bottom();

        ASSERT_TRUE(clickAfterText());
        for (int i = 0; i < 40 && field()->height() == base; ++i)
            typeKeys("0912345678; ");
        const int grown = field()->height();
        EXPECT_GT(grown, base);
        EXPECT_EQ(grown, field()->requestedHeight());
        EXPECT_EQ(below->y() - belowTop, grown - base);
        EXPECT_EQ(memo()->y() - memoTop, grown - base);
        EXPECT_EQ(memo()->geometry().bottom(), memoBottom) << "the message field gives up the height";

        std::list<sMtData> many;
        for (int i = 0; i < 300; ++i)
            many.push_back(entry(0, KindTyped, "0912345678"));
        box().recipients().RecipientList = many;
        box().RenderRecipientField();
        EXPECT_EQ(field()->height(), RecipientFieldHeight(field()->requestedHeight(), base));
        EXPECT_EQ(field()->height(), 4 * base - 15);
        EXPECT_EQ(below->y() - belowTop, 4 * base - 15 - base);
        EXPECT_EQ(parsed().size(), 300);

        box().recipients().RecipientList.clear();
        box().RenderRecipientField();
        EXPECT_EQ(field()->height(), base) << "an emptied field shrinks back";
        EXPECT_EQ(below->y(), belowTop);
    });
}

TEST_F(RecipientFieldEditTest, PastedTextIsPlainAndCopiedEntriesStayEntries) {
    inField([&] {
        QApplication::clipboard()->setText(QStringLiteral("0933000003;0944000004"));
        ASSERT_TRUE(clickAfterText());
        ASSERT_TRUE(key(Qt::Key_V, Qt::ControlModifier));
        EXPECT_EQ(parsed().mid(4), (QStringList{QStringLiteral("2:0:0933000003"), QStringLiteral("2:0:0944000004")}));

        ASSERT_TRUE(clickChar(6));
        ASSERT_TRUE(key(Qt::Key_C, Qt::ControlModifier));
        ASSERT_TRUE(clickAfterText());
        typeKeys("; ");
        ASSERT_TRUE(key(Qt::Key_V, Qt::ControlModifier));
        EXPECT_EQ(parsed().last(), QStringLiteral("0:-2:業務部"));
    });
}

// An input method composes next to an entry, between entries and after the last one: while it composes
// the entries keep their looks and identities, and what it commits is typed text of its own.
TEST_F(RecipientFieldEditTest, InputMethodCommitsNextToEntriesAreTypedTextOfTheirOwn) {
    const struct {
        const char* where;
        int caret;
        int replaceFrom, replaceLength; // relative to the caret, as the input method sends it
        const char* text;
        QStringList parsed;
    } cases[] = {
        {"right after a member", 3, 0, 0, "陳", {kAll[0], QStringLiteral("2:0:陳"), kAll[1], kAll[2], kAll[3]}},
        {"right before a group", 5, 0, 0, "林", {kAll[0], QStringLiteral("2:0:林"), kAll[1], kAll[2], kAll[3]}},
        {"after a list-file row", 20, 0, 0, "0933", {kAll[0], kAll[1], kAll[2], QStringLiteral("2:0:0933"), kAll[3]}},
        {"after the last entry", 33, 0, 0, "張三", {kAll[0], kAll[1], kAll[2], kAll[3], QStringLiteral("2:0:張三")}},
        {"replacing the separator after a member",
         4,
         -1,
         1,
         "李",
         {kAll[0], QStringLiteral("2:0:李"), kAll[1], kAll[2], kAll[3]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        inField([&] {
            QTextCursor cursor = field()->textCursor();
            cursor.setPosition(c.caret);
            field()->setTextCursor(cursor);
            QInputMethodEvent composing(QStringLiteral("ㄔㄣˊ"), {});
            QCoreApplication::sendEvent(field(), &composing);
            EXPECT_EQ(fieldText(), QStringLiteral("王小明; 業務部; 0911000001; 0922000002; "))
                << "composing changes no text";
            EXPECT_EQ(parsed(), kAll);
            EXPECT_TRUE(formatAt(0).fontUnderline());
            EXPECT_EQ(formatAt(5).fontWeight(), int(QFont::Bold));
            EXPECT_TRUE(formatAt(12).fontItalic());

            QInputMethodEvent commit;
            commit.setCommitString(QString::fromUtf8(c.text), c.replaceFrom, c.replaceLength);
            QCoreApplication::sendEvent(field(), &commit);
            EXPECT_EQ(parsed(), c.parsed);
            const int at = c.caret + c.replaceFrom;
            EXPECT_FALSE(formatAt(at).fontUnderline() || formatAt(at).fontItalic()) << "committed text is plain";
            EXPECT_TRUE(formatAt(0).fontUnderline());
            EXPECT_EQ(
                formatAt(5 + (c.caret <= 5 ? int(QString::fromUtf8(c.text).size()) - c.replaceLength : 0)).fontWeight(),
                int(QFont::Bold));
        });
    }
}

TEST_F(RecipientFieldEditTest, CharactersWithoutBig5FormAreRefusedWhereTheyAreTyped) {
    inField([&] {
        ASSERT_TRUE(clickAfterText());
        const QString before = fieldText();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("😀"));
        QCoreApplication::sendEvent(field(), &commit);
        EXPECT_EQ(fieldText(), before);
        EXPECT_EQ(m_prompts.messages(), QStringList{unmappableMessage(QStringLiteral("😀"))});
        QInputMethodEvent chinese;
        chinese.setCommitString(QStringLiteral("王"));
        QCoreApplication::sendEvent(field(), &chinese);
        EXPECT_EQ(parsed().last(), QStringLiteral("2:0:王"));
    });
}
