#include "filelist.h"

#include "filelisting.h"
#include "filetexts.h"
#include "grid.h"

#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <algorithm>
#include <optional>

namespace {

class BusyPointer
{
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

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
std::string sortKey(const std::string& name)
{
    const bool ascii =
        std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::string key = name;
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return key;
    }
    return QString::fromUtf8(name.data(), qsizetype(name.size())).toCaseFolded().toStdString();
}

void sortByName(std::vector<ListedFile>& files)
{
    struct Keyed
    {
        std::string key;
        std::size_t index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        keyed.push_back({sortKey(files[i].name), i});
    std::sort(keyed.begin(), keyed.end(), [&files](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key : files[a.index].name < files[b.index].name;
    });
    std::vector<ListedFile> sorted;
    sorted.reserve(files.size());
    for (const Keyed& k : keyed)
        sorted.push_back(std::move(files[k.index]));
    files = std::move(sorted);
}

} // namespace

// The pictures live in this static library: the linker keeps them only when asked for by name.
static void initFileListResources()
{
    Q_INIT_RESOURCE(filelist);
}

FileList::FileList(Grid& files, Grid& tree, std::string& listingFolder, QObject* parent)
    : QObject(parent), m_files(files), m_tree(tree), m_listingFolder(listingFolder)
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

std::string FileList::currentTreeFolder() const
{
    const int row = m_tree.row();
    if (row < 0 || row >= m_tree.rows())
        return {};
    const QByteArray folder = m_tree.rowData(row);
    return std::string(folder.constData(), std::size_t(folder.size()));
}

void FileList::applyFilterPattern(const QString& text)
{
    m_patternText = text;
    m_pattern = FilterPattern(text);
    fillFileList();
}

void FileList::connectFilterBox(QComboBox& box)
{
    if (QLineEdit* edit = box.lineEdit()) {
        connect(edit, &QLineEdit::textEdited, this, [this, &box] {
            const QString text = box.currentText();
            applyFilterPattern(text);
            m_editedText = text;
        });
    }
    // Enter in the box reports the text just typed as chosen: the last keystroke has listed it already.
    connect(&box, &QComboBox::textActivated, this, [this](const QString& text) {
        const bool listed = m_editedText && *m_editedText == text;
        if (!listed)
            applyFilterPattern(text);
        m_editedText.reset();
    });
}

void FileList::fillFileList()
{
    m_editedText.reset();
    BusyPointer busy;
    RedrawOff redrawOff(m_files);
    m_files.setRows(1);

    const auto accept = [this](std::string_view name) { return m_pattern.matches(name); };
    std::optional<std::vector<ListedFile>> files;
    const std::string folder = currentTreeFolder();
    if (!folder.empty())
        files = listFolderFiles(folder, accept);
    if (files)
        m_listingFolder = folder;
    else
        files = listFolderFiles(m_listingFolder, accept);
    if (!files)
        return;

    sortByName(*files);
    FileTexts texts;
    for (const ListedFile& file : *files) {
        const QString name = displayName(file.name);
        const QString row = u"-1\t" + name + u'\t' + texts.dateText(file.mtime) + u'\t' +
                            texts.typeText(lastThree(name)) + u'\t' + texts.sizeText(file.size) + u'\t';
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
