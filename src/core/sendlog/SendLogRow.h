#pragma once

#include <QByteArray>

#include <array>

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

// One send-log row as the user sees it: the caption (名稱) and the seven cells, all Big5, plus the
// row image and the image of the 傳送碼 cell (ImageNone when there is none).
struct SendLogRow {
    std::array<QByteArray, kSendLogColumns> texts; // texts[0] is the caption
    int image = ImageNone;
    int codeImage = ImageNone;

    const QByteArray& caption() const { return texts[ColName]; }
};

} // namespace norvi
