#include "filelist/filelist.h"

#include "filelist/filetexts.h"
#include "os/casefolding.h"
#include "os/filelisting.h"
#include "os/nativetext.h"
#include "tree/foldertree.h"
#include "widgets/busypointer.h"
#include "widgets/grid.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimeZone>
#include <algorithm>
#include <optional>
#include <unordered_map>

namespace {

// Turns redraw back on however the fill ends.
class RedrawOff
{
public:
    explicit RedrawOff(Grid& grid) : m_grid(grid) { m_grid.setRedraw(false); }
    ~RedrawOff() { m_grid.setRedraw(true); }
    RedrawOff(const RedrawOff&) = delete;
    RedrawOff& operator=(const RedrawOff&) = delete;

private:
    Grid& m_grid;
};

// The order of names without regard to case: case-folded text first, the exact bytes between names that
// differ only in case, so the order never depends on the order the folder gave.
void sortByName(FolderListing& listing)
{
    std::vector<std::string> keys;
    keys.reserve(listing.size());
    std::vector<std::size_t> order(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        keys.push_back(nameSortKey(listing.name(i)));
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int byKey = keys[a].compare(keys[b]);
        return byKey != 0 ? byKey < 0 : listing.name(a) < listing.name(b);
    });
    listing.reorder(order);
}

} // namespace

// The pictures live in this static library: the linker keeps them only when asked for by name.
static void initFileListResources()
{
    Q_INIT_RESOURCE(filelist);
}

FileList::FileList(Grid& files, const FolderTree& tree, QObject* parent)
    : QObject(parent), m_files(files), m_tree(tree)
{
    initFileListResources();
    m_dwgIcon = QIcon(QStringLiteral(":/filelist/dwg.svg"));
    m_dxfIcon = QIcon(QStringLiteral(":/filelist/dxf.svg"));
    connect(&m_files, &Grid::mouseUp, this, [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos) {
        if (button == Qt::RightButton)
            emit contextMenuRequested(m_files.mapToGlobal(pos));
    });
    // Names, dates, types and sizes are what the disk says; only the unread column 0 may be edited.
    connect(&m_files, &Grid::beforeEdit, this, [](int, int col, bool& cancel) {
        if (col != 0)
            cancel = true;
    });
}

FileList::~FileList() = default;

void FileList::setListingFolder(const std::string& folder)
{
    if (folder == m_listingFolder)
        return;
    m_listingFolder = folder;
    emit listingFolderChanged(m_listingFolder);
}

void FileList::applyFilterPattern(const QString& text, Reading reading)
{
    m_patternText = text;
    m_pattern = FilterPattern(text.toStdString());
    fill(reading);
}

void FileList::connectFilterBox(QComboBox& box)
{
    if (QLineEdit* edit = box.lineEdit()) {
        connect(edit, &QLineEdit::textEdited, this, [this, &box] {
            const QString text = box.currentText();
            applyFilterPattern(text, Reading::MayReuse);
            m_editedText = text;
        });
    }
    // Enter in the box reports the text just typed as chosen: the reading of that keystroke may serve again,
    // unless the tree's current row has moved to another folder since.
    connect(&box, &QComboBox::textActivated, this, [this](const QString& text) {
        const bool justTyped = m_editedText && *m_editedText == text;
        applyFilterPattern(text, justTyped ? Reading::MayReuse : Reading::Afresh);
        m_editedText.reset();
    });
}

void FileList::fillFileList()
{
    fill(Reading::Afresh);
}

FileTexts& FileList::texts()
{
    const QLocale locale;
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    if (!m_texts || locale != m_textsLocale || zone != m_textsZone) {
        m_texts = std::make_unique<FileTexts>();
        m_textsLocale = locale;
        m_textsZone = zone;
    }
    return *m_texts;
}

std::optional<std::vector<ListedFile>> FileList::listFiles(const std::string& folder, Reading reading)
{
    if (folder.empty())
        return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    const bool reuse = reading == Reading::MayReuse && m_reading && m_reading->folder() == folder &&
                       now - m_readingStarted <= readingLifetime && m_reading->folderUnchanged();
    if (!reuse) {
        m_reading = FolderListing::read(folder);
        m_readingStarted = now;
        if (!m_reading)
            return std::nullopt;
        sortByName(*m_reading);
    }
    auto files = m_reading->files([this](std::string_view name) { return m_pattern.matches(name); });
    if (!files)
        m_reading.reset();
    return files;
}

void FileList::fill(Reading reading)
{
    m_editedText.reset();
    BusyPointer busy;
    RedrawOff redrawOff(m_files);
    m_files.setRows(1);

    std::optional<std::vector<ListedFile>> files;
    const QByteArray treeFolder = m_tree.currentFolder();
    const std::string folder(treeFolder.constData(), std::size_t(treeFolder.size()));
    files = listFiles(folder, reading);
    if (files)
        setListingFolder(folder);
    else
        files = listFiles(m_listingFolder, reading);
    if (!files)
        return;

    FileTexts& texts = this->texts();
    texts.forgetTypes();
    QString row;
    for (const ListedFile& file : *files) {
        const QString name = displayName(file.name);
        row.clear();
        row.append(u"-1\t");
        row.append(name);
        row.append(u'\t');
        texts.appendDateText(row, file.mtime);
        row.append(u'\t');
        row.append(texts.typeText(lastThree(name)));
        row.append(u'\t');
        texts.appendSizeText(row, file.size);
        row.append(u'\t');
        m_files.addItem(row);
        const int added = m_files.rows() - 1;
        m_files.setRowData(added, QByteArray(file.name.data(), qsizetype(file.name.size())));
        switch (fileIcon(name)) {
        case FileIcon::Dwg:
            m_files.setCellPicture(added, 1, m_dwgIcon);
            break;
        case FileIcon::Dxf:
            m_files.setCellPicture(added, 1, m_dxfIcon);
            break;
        case FileIcon::None:
            break;
        }
    }
}

void FileList::selectAllFiles()
{
    if (m_files.rows() < 2)
        return;
    m_files.select(1, 0, m_files.rows() - 1, m_files.cols() - 1);
}

void FileList::deselectAllFiles()
{
    if (m_files.rows() < 2)
        return;
    m_files.select(0, 0, 0, 0);
}

std::vector<std::string> FileList::markDrawings(const std::vector<std::string>& names)
{
    std::unordered_map<std::string, int> rows;
    for (int r = 1; r < m_files.rows(); ++r) {
        const QByteArray name = m_files.rowData(r);
        rows.emplace(std::string(name.constData(), std::size_t(name.size())), r);
    }
    std::vector<int> chosen;
    std::vector<std::string> absent;
    for (const std::string& name : names) {
        if (const auto found = rows.find(name); found != rows.end())
            chosen.push_back(found->second);
        else
            absent.push_back(name);
    }
    m_files.selectRows(chosen);
    return absent;
}

bool FileList::allMarked() const
{
    return m_files.rows() > 1 && m_files.selectedRows() == m_files.rows() - 1;
}

std::vector<std::string> FileList::markedDrawings() const
{
    std::vector<std::string> names;
    const int count = m_files.selectedRows();
    names.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const QByteArray name = m_files.rowData(m_files.selectedRow(i));
        names.emplace_back(name.constData(), std::size_t(name.size()));
    }
    return names;
}
