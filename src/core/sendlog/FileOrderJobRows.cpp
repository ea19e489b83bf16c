#include "core/sendlog/FileOrderJobRows.h"

#include "core/sendlog/LogFile.h"

namespace norvi {

bool FileOrderJobRows::load(const QString& path, QString* damage, QString* reason) {
    LogFileReader reader(path);
    if (!reader.open()) {
        if (damage)
            *damage = reader.refusal();
        if (reason)
            *reason = reader.errorString();
        return false;
    }
    m_rows.reserve(m_rows.size() + std::size_t(reader.available()));
    const std::size_t before = m_rows.size();
    SendLogRow row;
    while (reader.next(row))
        append(row);
    if (reader.refused()) {
        // Not a send log: none of its rows stay, and the file is never written back.
        m_rows.resize(before);
        m_selected.resize(before);
        m_runs.resize(before);
        if (damage)
            *damage = reader.refusal();
        return false;
    }
    if (damage)
        *damage = reader.damageMessage();
    return true;
}

bool FileOrderJobRows::save(const QString& path) const {
    LogFileWriter writer(path);
    if (!writer.open(qint32(m_rows.size())))
        return false;
    for (const SendLogRow& row : m_rows)
        writer.write(row);
    return writer.commit();
}

void FileOrderJobRows::append(const SendLogRow& row) {
    m_rows.push_back(row);
    m_selected.push_back(false);
    m_runs.push_back(0);
}

void FileOrderJobRows::select(const QVector<int>& rows) {
    std::fill(m_selected.begin(), m_selected.end(), false);
    for (int row : rows)
        if (valid(row))
            m_selected[std::size_t(row)] = true;
}

quint64 FileOrderJobRows::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                                 const QByteArray& sendTime) {
    SendLogRow row;
    row.texts[ColName] = caption;
    row.texts[ColMobile] = mobile;
    row.texts[ColSendTime] = sendTime;
    row.image = image;
    append(row);
    m_runs.back() = m_run;
    return quint64(m_rows.size());
}

void FileOrderJobRows::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                      const QByteArray& content) {
    const int row = int(rowId) - 1;
    if (rowId == 0 || !valid(row))
        return;
    SendLogRow& r = m_rows[std::size_t(row)];
    r.texts[ColSendCode] = code;
    r.codeImage = codeImage;
    r.texts[ColSendResult] = result;
    r.texts[ColContent] = content;
}

void FileOrderJobRows::answered(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    const int row = positionOf(rowId);
    if (row < 0)
        return;
    m_rows[std::size_t(row)].texts[ColQueryCode] = code;
    m_rows[std::size_t(row)].texts[ColQueryResult] = result;
}

quint32 FileOrderJobRows::addedRun(int row) const {
    return valid(row) ? m_runs[std::size_t(row)] : 0;
}

QVector<int> FileOrderJobRows::selectedRows() const {
    QVector<int> out;
    for (std::size_t i = 0; i < m_selected.size(); ++i)
        if (m_selected[i])
            out.append(int(i));
    return out;
}

} // namespace norvi
