#pragma once

#include "core/compose/OptOutList.h"

#include <QByteArray>
#include <QDialog>

#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace norvi {

class Config;

// "拒收名單": the numbers whose owners asked to get no more messages (OptOut.txt in the start folder), opened
// from 工具 → 拒收名單.... A number is added with its note in the row at the top (Return adds it), the list is
// sorted by a click on a column and narrowed by the filter box; 刪除 removes the selected numbers, 匯入 adds
// the numbers of a text or CSV file, 匯出 writes the list to one. Every change is made to the file as it then
// stands, under its lock, and goes into the operation log; the list shows the file afterwards.
class TFormOptOut : public QDialog {
    Q_OBJECT
public:
    TFormOptOut(const Config& config, QWidget* parent = nullptr);

    // The address book's 加入拒收名單: asks, adds the members' numbers (noted with their names) and says how
    // many were added.
    static void addFromBook(QWidget* parent, const Config& config, const std::vector<OptOutCandidate>& numbers);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void ButtonAddClick();
    void ButtonDeleteClick();
    void ButtonImportClick();
    void ButtonExportClick();
    void EditFilterChange();

private:
    void reload();
    void showList(const OptOutList& list);
    // Makes `change` to the file; false (after saying why) when it could not be made.
    bool changeFile(const std::function<bool(OptOutList&)>& change);
    void updateCommands();
    void warn(const QString& text);

    const Config& m_config;
    QString m_path;
    QLineEdit* EditNumber = nullptr;
    QLineEdit* EditNote = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QLineEdit* EditFilter = nullptr;
    QTreeWidget* ListViewOptOut = nullptr;
    QLabel* LabelCount = nullptr;
    QLabel* LabelDamaged = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonImport = nullptr;
    QPushButton* ButtonExport = nullptr;
    QPushButton* ButtonClose = nullptr;
};

} // namespace norvi
