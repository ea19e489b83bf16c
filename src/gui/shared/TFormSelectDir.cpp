#include "gui/shared/TFormSelectDir.h"

#include "gui/shared/FontRows.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace norvi {

namespace {

bool isSameOrBelow(const QString& path, const QString& root) {
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// Shows the chosen root as the one top item: the folders leading down to it, nothing beside it, and
// everything below it.
class DriveFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setDrive(const QString& drive) {
        m_drive = drive;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
        const QString path = files->filePath(files->index(row, 0, parent));
        if (m_drive.isEmpty())
            return true;
        return isSameOrBelow(path, m_drive) || isSameOrBelow(m_drive, path);
    }

    // The file system model offers every folder as expandable until it has read it; the tree would draw
    // an expand arrow on folders that hold none. One look for a first subfolder answers, once a folder.
    bool hasChildren(const QModelIndex& parent) const override {
        if (!parent.isValid())
            return QSortFilterProxyModel::hasChildren(parent);
        const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
        const QString path = files->filePath(mapToSource(parent));
        auto known = m_hasSubfolders.constFind(path);
        if (known == m_hasSubfolders.constEnd())
            known = m_hasSubfolders.insert(path, hasSubfolder(path));
        return known.value() && QSortFilterProxyModel::hasChildren(parent);
    }

private:
    static bool hasSubfolder(const QString& path) {
        QDirIterator it(path, QDir::AllDirs | QDir::NoDotAndDotDot);
        return it.hasNext();
    }

    QString m_drive;
    mutable QHash<QString, bool> m_hasSubfolders;
};

QString cleanAbsolute(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

// The folder itself, or the nearest one above it that is there: a folder typed but not made yet opens the
// tree where it would be made.
QString nearestFolder(const QString& folder) {
    QString path = cleanAbsolute(folder);
    while (!QFileInfo(path).isDir() && !QDir(path).isRoot())
        path = QFileInfo(path).absolutePath();
    return path;
}

} // namespace

QStringList TFormSelectDir::driveRoots() {
    QStringList roots{QStringLiteral("/"), cleanAbsolute(QDir::homePath())};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString root = cleanAbsolute(volume.rootPath());
        // Single files bound into the file system are mount points too, but not places for a folder.
        if (QFileInfo(root).isDir() && !roots.contains(root))
            roots << root;
    }
    std::sort(roots.begin() + 1, roots.end());
    return roots;
}

TFormSelectDir::TFormSelectDir(QWidget* parent, const QString& start) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormSelectDir"));
    setWindowTitle(QStringLiteral("目錄選擇"));
    applyFormFont(this);

    m_prompt = new QLabel(QStringLiteral("請選擇目錄："), this);
    m_prompt->setObjectName(QStringLiteral("LabelPrompt"));

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("DriveComboBox1"));
    m_drives->addItems(driveRoots());

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_filter = new DriveFilter(this);
    m_filter->setSourceModel(m_model);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("DirectoryListBox1"));
    m_tree->setModel(m_filter);
    m_tree->setHeaderHidden(true);
    useFontRows(m_tree);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setMinimumSize(280, 240);
    // The prompt names the folder tree (a tree takes its name only as given, not from its label); the root
    // selector has a label of its own, which is how screen readers name a drop-down.
    m_prompt->setBuddy(m_tree);
    m_tree->setAccessibleName(m_prompt->text());
    auto* drivesLabel = makeLabel(this, QStringLiteral("磁碟機(&D)："), m_drives);

    auto* buttonOk = makeButton(this, QStringLiteral("確定"), "ButtonOk");
    buttonOk->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    auto* drivesRow = new QHBoxLayout;
    drivesRow->addWidget(drivesLabel);
    drivesRow->addWidget(m_drives, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(drivesRow);
    layout->addWidget(m_prompt);
    layout->addWidget(m_tree, 1);
    layout->addWidget(makeButtonBox(this, buttonOk, buttonCancel));

    connect(buttonOk, &QPushButton::clicked, this, &TFormSelectDir::ButtonOkClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormSelectDir::ButtonCancelClick);
    connect(m_drives, &QComboBox::currentIndexChanged, this, &TFormSelectDir::DriveComboBox1Change);
    // Folders are read and sorted in the background, and every change above the start folder moves it;
    // the tree is brought back to it once each burst of changes is over, until the user takes over.
    m_scrollLater = new QTimer(this);
    m_scrollLater->setSingleShot(true);
    m_scrollLater->setInterval(0);
    connect(m_scrollLater, &QTimer::timeout, this, [this] {
        if (!m_keepInView.isEmpty())
            m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
    auto scrollLater = [this] { m_scrollLater->start(); };
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, scrollLater);
    connect(m_filter, &QAbstractItemModel::layoutChanged, this, scrollLater);
    connect(m_tree, &QTreeView::clicked, this, [this] { m_keepInView.clear(); });

    setCurrentFolder(start.isEmpty() ? QDir::currentPath() : nearestFolder(start));
}

void TFormSelectDir::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Before the window has its size the tree cannot know where the start folder lies in view.
    m_scrollLater->start();
}

void TFormSelectDir::setPrompt(const QString& prompt) {
    m_prompt->setText(prompt);
    m_tree->setAccessibleName(prompt);
}

QString TFormSelectDir::currentFolder() const {
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid())
        return m_drive;
    return m_model->filePath(m_filter->mapToSource(current));
}

void TFormSelectDir::setCurrentFolder(const QString& folder) {
    const QString path = cleanAbsolute(folder);
    // The root is the innermost offered root that holds the folder.
    QString root = QStringLiteral("/");
    for (int i = 0; i < m_drives->count(); ++i) {
        const QString candidate = m_drives->itemText(i);
        if (isSameOrBelow(path, candidate) && candidate.size() > root.size())
            root = candidate;
    }
    {
        const QSignalBlocker quiet(m_drives);
        m_drives->setCurrentIndex(m_drives->findText(root));
    }
    setDrive(root);
    const QModelIndex shown = m_filter->mapFromSource(m_model->index(path));
    if (shown.isValid()) {
        m_tree->setCurrentIndex(shown);
        m_tree->scrollTo(shown, QAbstractItemView::PositionAtCenter);
        m_keepInView = path;
    }
}

void TFormSelectDir::setDrive(const QString& root) {
    m_drive = root;
    m_model->setRootPath(root);
    static_cast<DriveFilter*>(m_filter)->setDrive(root);
    const QModelIndex rootIndex = m_model->index(root);
    m_tree->setRootIndex(m_filter->mapFromSource(rootIndex.parent()));
    const QModelIndex shown = m_filter->mapFromSource(rootIndex);
    m_tree->setCurrentIndex(shown);
    m_tree->expand(shown);
}

void TFormSelectDir::DriveComboBox1Change() {
    m_keepInView.clear();
    if (m_drives->currentIndex() >= 0)
        setDrive(m_drives->currentText());
}

void TFormSelectDir::ButtonOkClick() {
    accept();
}

void TFormSelectDir::ButtonCancelClick() {
    reject();
}

} // namespace norvi
