#include "core/shared/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace norvi {

namespace {

struct ErrorText {
    int error;
    const char* text;
};

// The failures of a file write or a file name that users meet; the system's texts for them are English
// under the default locale.
constexpr ErrorText kTexts[] = {
    {ENOSPC, "磁碟已滿"},      {EDQUOT, "已超過磁碟配額"},   {EFBIG, "檔案過大"},
    {EROFS, "磁碟為唯讀"},     {EIO, "磁碟讀寫錯誤"},        {EACCES, "沒有存取權限"},
    {EPERM, "不允許此操作"},   {ENOENT, "檔案或目錄不存在"}, {ENOTDIR, "路徑中有一段不是目錄"},
    {EISDIR, "是一個目錄"},    {EEXIST, "檔案已存在"},       {ENAMETOOLONG, "檔名過長"},
    {ELOOP, "符號連結太多層"}, {EMFILE, "開啟的檔案太多"},   {ENFILE, "系統開啟的檔案太多"},
    {ENOMEM, "記憶體不足"},    {EBUSY, "裝置忙碌中"},        {ENODEV, "裝置不存在"},
    {ENXIO, "裝置不存在"},     {ESTALE, "網路檔案已失效"},   {EPIPE, "管線已關閉"},
    {EINVAL, "不支援此操作"},
};

} // namespace

QString SystemErrorText(int error) {
    for (const ErrorText& known : kTexts)
        if (known.error == error)
            return QString::fromUtf8(known.text);
    return QString::fromLocal8Bit(std::strerror(error));
}

QString WithReason(const QString& text, const QString& reason) {
    return reason.isEmpty() ? text : text + QLatin1Char('\n') + reason;
}

} // namespace norvi
