#include "core/compose/SegmentMessage.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QString>

#include <vector>

using namespace norvi;

namespace {

QByteArray narrow(int n) {
    return QByteArray(n, 'a');
}
QByteArray wide(int n) {
    return QByteArray("\xA4\xA4").repeated(n);
} // 中 in Big5

std::vector<QByteArray> segmentsOf(const Segments& s) {
    std::vector<QByteArray> out;
    for (int k = 1; k <= kSegmentCount; ++k)
        if (k <= s.count || !segmentText(s.block, k).isEmpty()) // segments past the count must stay empty
            out.push_back(segmentText(s.block, k));
    return out;
}

std::vector<QByteArray> cut(std::initializer_list<QByteArray> pieces) {
    std::vector<QByteArray> out;
    int k = 0;
    for (const QByteArray& p : pieces)
        out.push_back(QByteArray::number(++k) + "/" + QByteArray::number(int(pieces.size())) + "-" + p);
    return out;
}

TEST(SegmentMessage, CutsTheExamplesAsExpected) {
    const struct {
        const char* name;
        QByteArray text;
        std::vector<QByteArray> expected;
    } cases[] = {
        {"empty", "", {""}},
        {"159 one-byte", narrow(159), {narrow(159)}},
        {"160 one-byte", narrow(160), cut({narrow(155), narrow(5)})},
        {"70 Big5", wide(70), {wide(70)}},
        {"71 Big5", wide(71), cut({wide(66), wide(5)})},
        {"100+50", narrow(100) + wide(50), cut({narrow(100), wide(50)})},
        {"10+100", narrow(10) + wide(100), cut({narrow(10) + wide(56), wide(44)})},
        {"65+10", narrow(65) + wide(10), cut({narrow(65), wide(10)})},
        {"64+10", narrow(64) + wide(10), cut({narrow(64) + wide(2), wide(8)})},
        {"200+3", narrow(200) + wide(3), cut({narrow(155), narrow(45) + wide(3)})},
        {"1000 one-byte", narrow(1000),
         cut({narrow(155), narrow(155), narrow(155), narrow(155), narrow(155), narrow(155)})},
        {"500 Big5", wide(500), cut({wide(66), wide(66), wide(66), wide(66), wide(66), wide(66)})},
        // A lead byte that ends the text is not counted; 0x80 is no lead byte but makes the text wide.
        {"trailing lead byte", wide(70) + "\xA4", {wide(70) + "\xA4"}},
        {"byte 0x80", narrow(100) + "\x80", cut({narrow(100), "\x80"})},
    };
    for (const auto& c : cases) {
        const Segments s = segment(c.text);
        EXPECT_EQ(s.count, int(c.expected.size())) << c.name;
        EXPECT_EQ(segmentsOf(s), c.expected) << c.name;
    }
}

// Random mixes: every segment fits the gateway's field, no Big5 character is split, and the pieces
// put together are the text up to a dropped tail.
TEST(SegmentMessage, PiecesAreWholeCharactersThatRebuildTheText) {
    QRandomGenerator rng(20240601);
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        for (int r = rng.bounded(1, 8); r > 0; --r)
            text += rng.bounded(2) ? narrow(rng.bounded(0, 200)) : wide(rng.bounded(0, 120));
        const Segments s = segment(text);
        ASSERT_TRUE(s.count >= 1 && s.count <= 6);
        QByteArray rebuilt;
        for (int k = 1; k <= s.count; ++k) {
            const QByteArray seg = segmentText(s.block, k);
            ASSERT_LE(seg.size(), 159) << "round " << round;
            const QByteArray header = QByteArray::number(k) + "/" + QByteArray::number(s.count) + "-";
            ASSERT_TRUE(s.count == 1 || seg.startsWith(header)) << "round " << round;
            const QByteArray piece = s.count == 1 ? seg : seg.mid(4);
            ASSERT_EQ(piece.count(char(0xA4)) % 2, 0) << "round " << round; // a split pair leaves an odd count
            rebuilt += piece;
        }
        ASSERT_TRUE(s.count == 6 ? text.startsWith(rebuilt) : text == rebuilt) << "round " << round;
        // The check that walks the cutting without a block agrees with the cutting itself.
        const bool cut = rebuilt.size() < text.size();
        ASSERT_EQ(CutAfterSix(text, s.block, s.count), cut) << "round " << round;
        ASSERT_EQ(NeedsMoreThanSix(text), cut) << "round " << round << " of " << text.size() << " bytes";
    }
}

// The limits themselves: 930 one-byte characters or 396 Chinese ones fit six short messages.
TEST(SegmentMessage, TextsJustPastSixShortMessagesAreFoundCut) {
    const struct {
        QByteArray text;
        bool cut;
    } cases[] = {{narrow(930), false},
                 {narrow(931), true},
                 {wide(396), false},
                 {wide(397), true},
                 {narrow(70) + wide(330), false},
                 {narrow(70) + wide(331), true},
                 {narrow(391), false},
                 {narrow(930) + QByteArray(1, '\0') + narrow(10), false}};
    for (const auto& c : cases) {
        const Segments s = segment(c.text);
        EXPECT_EQ(CutAfterSix(c.text, s.block, s.count), c.cut) << c.text.size();
        EXPECT_EQ(NeedsMoreThanSix(c.text), c.cut) << c.text.size();
    }
}

} // namespace
