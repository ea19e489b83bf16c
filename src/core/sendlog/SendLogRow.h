#pragma once

#include "core/sendlog/JobRows.h"

#include <QByteArray>

#include <array>

namespace norvi {

// One send-log row as the user sees it: the caption (名稱) and the seven cells, all Big5, plus the
// row image and the image of the 傳送碼 cell (ImageNone when there is none).
struct SendLogRow {
    std::array<QByteArray, kSendLogColumns> texts; // texts[0] is the caption
    int image = ImageNone;
    int codeImage = ImageNone;

    const QByteArray& caption() const { return texts[ColName]; }
};

} // namespace norvi
