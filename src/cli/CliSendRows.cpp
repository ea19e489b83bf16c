#include "cli/CliSendRows.h"

#include "cli/CliOutput.h"

namespace norvi::cli {

quint64 CliSendRows::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                            const QByteArray& sendTime) {
    m_row = SendLogRow{};
    m_row.texts[ColName] = caption;
    m_row.image = image;
    m_row.texts[ColMobile] = mobile;
    m_row.texts[ColSendTime] = sendTime;
    return ++m_added;
}

void CliSendRows::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                 const QByteArray& content) {
    if (rowId != m_added)
        return;
    m_row.texts[ColSendCode] = code;
    m_row.codeImage = codeImage;
    m_row.texts[ColSendResult] = result;
    m_row.texts[ColContent] = content;
    m_failed = m_failed || code != "0";
    ++m_printed;
    m_console.out(rowLine(m_row));
}

} // namespace norvi::cli
