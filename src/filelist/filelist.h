#pragma once

#include "filterpattern.h"

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <optional>
#include <string>
#include <vector>

class Grid;
class QComboBox;

// The drawing list (fgFiles): the drawings of one folder, the ListingFolder, whose names match the filter
// pattern, and the user's marks on them. The list keeps each row's file name as the file system's exact
// bytes in the row's hidden data; what the rows show is only for the eye.
class FileList final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileList)

public:
    // files: the list, already given its columns. tree: the folder tree, whose current row's hidden data
    // is its folder (empty for a row without one). listingFolder: the window's ListingFolder, kept up to
    // date by every fill.
    FileList(Grid& files, Grid& tree, std::string& listingFolder, QObject* parent = nullptr);
    ~FileList() override;

    // Lists the folder of the tree's current row afresh: the header stays, every other row and every mark
    // goes. A row without a folder, or a folder that cannot be opened, lists the ListingFolder again.
    void fillFileList();
    // Takes the filter box's text as the pattern and fills the list.
    void applyFilterPattern(const QString& text);
    const QString& filterPattern() const { return m_patternText; }
    // Refills the list on every edit of the filter box's text and on every entry chosen from it.
    void connectFilterBox(QComboBox& box);

    // Marks every drawing row; nothing on an empty list.
    void selectAllFiles();
    // Clears every mark; nothing on an empty list.
    void deselectAllFiles();
    // The names of the marked drawings, top to bottom, as the file system's bytes; their folder is the
    // ListingFolder.
    std::vector<std::string> markedDrawings() const;

signals:
    // The right mouse button was released over the list, at a global position: show the list's menu.
    void contextMenuRequested(QPoint globalPos);

private:
    std::string currentTreeFolder() const;

    Grid& m_files;
    Grid& m_tree;
    std::string& m_listingFolder;
    QString m_patternText;
    // The text the last keystroke listed, until the next fill: Enter reports it as chosen once more.
    std::optional<QString> m_editedText;
    FilterPattern m_pattern;
    QIcon m_dwgIcon;
    QIcon m_dxfIcon;
};
