#include "gui/sendlog/SendLogColumns.h"

#include "core/sendlog/SendLogModel.h"
#include "gui/shared/FittedColumns.h"

#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace norvi {

namespace {

// A row image or the reservation mark drawn before the text.
constexpr int kImageWidth = 20;

} // namespace

FittedColumns* fitSendLogColumns(QTreeView* list) {
    const auto column = [](int c, const char* sample, int tableWidth, int iconWidth = 0) {
        return FittedColumns::Column{SendLogModel::plainCaption(c), QString::fromUtf8(sample), tableWidth, iconWidth};
    };
    return new FittedColumns(list, {
                                       column(ColName, "王小明", 56, kImageWidth),
                                       column(ColMobile, "+886912345678", 80),
                                       column(ColSendTime, "20240301093000", 80),
                                       column(ColSendCode, "-1", 54, kImageWidth),
                                       column(ColSendResult, "訊息已成功送出(MsgId:NV240301093000000001)", 80),
                                       column(ColQueryCode, "", 54),
                                       // the longest answer a query of a message under way usually gets
                                       column(ColQueryResult, "已送至簡訊中心，尚未完成查詢", 80),
                                       column(ColContent, "", 160),
                                   });
}

int sendLogWindowWidth(const QWidget* window, const FittedColumns& columns, int designWidth) {
    const int wanted = std::max(designWidth, columns.naturalListWidth());
    const QScreen* screen = window->screen();
    return screen ? std::min(wanted, screen->availableGeometry().width()) : wanted;
}

} // namespace norvi
