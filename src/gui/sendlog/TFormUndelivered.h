#pragma once

#include "core/workers/DeliveryClass.h"

#include <QDialog>
#include <QList>

class QCheckBox;

namespace norvi {

class LogRows;

// 匯出未送達名單: who the listed messages did not reach, to phone them. The user picks the classes (失敗 alone at
// first), then a CSV file; each message is listed once, by its latest row.
class TFormUndelivered : public QDialog {
    Q_OBJECT
public:
    // The list is read from `log` when 匯出 is pressed; the file is proposed in `logFolder`.
    TFormUndelivered(const LogRows& log, const QString& logFolder, QWidget* parent);

    QList<Delivery> classes() const;

private:
    void exportList();
    bool writeList(const QList<Delivery>& chosen, const QString& path, qint64* listed);

    const LogRows& m_log;
    QString m_logFolder;
    QList<QCheckBox*> m_checks; // in UndeliveredClasses' order
};

} // namespace norvi
