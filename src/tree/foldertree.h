#pragma once

#include "tree/treeicons.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class Drives;
class Grid;

// The drive and folder tree (fgTree): the computer, its drives and, level by level, their folders. A folder
// is read from the file system only when its node is opened for the first time; until then it carries one
// empty placeholder row, so it shows an outline button. Each row's hidden data is its folder as bytes.
class FolderTree final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderTree)

public:
    // Names of the subfolders of a folder, or nothing when it cannot be read (see readSubfolderNames).
    using FolderReader = std::function<std::optional<std::vector<std::string>>(const std::string& folder)>;

    FolderTree(Grid& grid, Drives& drives, FolderReader reader = {}, QObject* parent = nullptr);
    ~FolderTree() override;

    // Refills the drawing list from the tree's current row; set by the window.
    void setFillFileList(std::function<void()> fillFileList);

    // Rebuilds the tree: the computer row, one closed row per drive, the computer row current.
    void setupTreeView();
    // Reads the subfolders of the row's folder and inserts them closed, in name order, below it; the row
    // becomes the current row. A folder that cannot be read gets no rows. The caller removes the placeholder.
    void expandRow(int row);
    // Opens the tree along a saved folder at start-up and lists that folder when it is reached.
    void restoreLastPath(const QByteArray& savedPath);
    // Reads the drives again and rebuilds the tree; the drawing list keeps its folder.
    void refreshTree();
    // Before a node opens or closes: reads an unread node, refuses requests for a whole level.
    void loadOnExpand(int row, bool collapse, bool& cancel);

    // The folder of the current row (empty for the computer row).
    QByteArray currentFolder() const;
    Grid& grid() const { return m_grid; }

signals:
    // The right mouse button was released over the tree, at a global position: show the tree's menu.
    void contextMenuRequested(QPoint globalPos);

private:
    void onMouseUp(Qt::MouseButton button);
    void onKeyDown(int keyCode);
    void onKeyUp(int keyCode);
    void onDblClick();
    void openRow(int row);
    void closeRow(int row);
    void fillFileList();
    bool hasPlaceholder(int row) const;
    void appendRow(const QString& label, const QByteArray& folder, TreeIcon icon, int level);
    void insertPlaceholder(int position, int level);

    Grid& m_grid;
    Drives& m_drives;
    FolderReader m_reader;
    std::function<void()> m_fillFileList;
    TreeIcons m_icons;
};

// Whether part occurs anywhere within whole, without regard to case.
bool containsIgnoringCase(const QByteArray& whole, const QByteArray& part);
