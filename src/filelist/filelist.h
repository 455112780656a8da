#pragma once

#include "os/filelisting.h"
#include "os/filterpattern.h"

#include <QIcon>
#include <QLocale>
#include <QObject>
#include <QPoint>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FileTexts;
class FolderTree;
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
    // files: the list, already given its columns. tree: the folder tree, whose current folder a fill lists.
    FileList(Grid& files, const FolderTree& tree, QObject* parent = nullptr);
    ~FileList() override;

    // Lists the folder of the tree's current row afresh: the header stays, every other row and every mark
    // goes. A row without a folder, or a folder that cannot be opened, lists the ListingFolder again.
    void fillFileList();
    // How a fill comes by the folder's files.
    enum class Reading
    {
        Afresh,
        // A keystroke in the filter box changes the pattern alone: the names, sizes and times of the last
        // reading of the same folder serve again while the folder itself is unchanged and the reading is
        // young, so that typing stays quick over a large folder while a file changed inside it is never
        // shown stale for long.
        MayReuse,
    };
    // The longest a reading serves keystrokes.
    static constexpr std::chrono::milliseconds readingLifetime{2000};

    // Takes the filter box's text as the pattern and fills the list.
    void applyFilterPattern(const QString& text, Reading reading = Reading::Afresh);
    const QString& filterPattern() const { return m_patternText; }
    // Refills the list on every edit of the filter box's text and on every entry chosen from it.
    void connectFilterBox(QComboBox& box);

    // The folder whose drawings the list shows (the hidden list "Files"), as the file system's bytes.
    const std::string& listingFolder() const { return m_listingFolder; }
    // Takes folder as the ListingFolder without listing it: the folder a fill falls back on.
    void setListingFolder(const std::string& folder);

    // Marks every drawing row; nothing on an empty list.
    void selectAllFiles();
    // Clears every mark; nothing on an empty list.
    void deselectAllFiles();
    // The names of the marked drawings, top to bottom, as the file system's bytes; their folder is the
    // ListingFolder.
    std::vector<std::string> markedDrawings() const;
    // Marks exactly the drawings of the list with these names (the file system's bytes); gives the names the
    // list does not show.
    std::vector<std::string> markDrawings(const std::vector<std::string>& names);
    // Whether every drawing the list shows is marked (and it shows any).
    bool allMarked() const;

signals:
    // The right mouse button was released over the list, at a global position: show the list's menu.
    void contextMenuRequested(QPoint globalPos);
    // The ListingFolder is another folder now.
    void listingFolderChanged(const std::string& folder);

private:
    void fill(Reading reading);
    std::optional<std::vector<ListedFile>> listFiles(const std::string& folder, Reading reading);
    FileTexts& texts();

    Grid& m_files;
    const FolderTree& m_tree;
    std::string m_listingFolder;
    QString m_patternText;
    // The text the last keystroke listed, until the next fill: Enter reports it as chosen once more.
    std::optional<QString> m_editedText;
    FilterPattern m_pattern;
    QIcon m_dwgIcon;
    QIcon m_dxfIcon;
    // The last reading of a folder, its names in the list's order, and when it began.
    std::optional<FolderListing> m_reading;
    std::chrono::steady_clock::time_point m_readingStarted;
    // Worked-out texts serve every fill while the locale and the time zone stay.
    std::unique_ptr<FileTexts> m_texts;
    QLocale m_textsLocale;
    QByteArray m_textsZone;
};
