#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QSortFilterProxyModel;
class QTimer;
class QTreeView;

namespace norvi {

// "目錄選擇": a root selector above a folder tree. The tree shows the chosen root as its one top item
// and starts at the given folder, or the nearest one above it that is there (the process's current folder
// by default).
class TFormSelectDir : public QDialog {
    Q_OBJECT
public:
    explicit TFormSelectDir(QWidget* parent = nullptr, const QString& start = QString());

    void setPrompt(const QString& prompt);
    // The folders offered as roots: "/", the home folder and the mounted volumes.
    static QStringList driveRoots();

    // The folder selected in the tree (the root itself when nothing below it is selected).
    QString currentFolder() const;
    void setCurrentFolder(const QString& folder);

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void DriveComboBox1Change();
    void ButtonOkClick();
    void ButtonCancelClick();

private:
    void setDrive(const QString& root);

    QLabel* m_prompt = nullptr;
    QComboBox* m_drives = nullptr;
    QTreeView* m_tree = nullptr;
    QFileSystemModel* m_model = nullptr;
    QSortFilterProxyModel* m_filter = nullptr;
    QString m_drive;
    // The folder the tree was opened at, kept in view while the folders above it are still being read.
    QString m_keepInView;
    QTimer* m_scrollLater = nullptr;
};

} // namespace norvi
