#include "tree/foldertree.h"

#include "os/drives.h"
#include "os/folders.h"
#include "os/nativetext.h"
#include "tree/drivetypes.h"
#include "tree/treetexts.h"
#include "widgets/busypointer.h"
#include "widgets/grid.h"

#include <QCursor>
#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

namespace {

// Windows virtual-key codes, as the grid reports keys.
constexpr int keySpace = 32;
constexpr int keyLeft = 37;
constexpr int keyUp = 38;
constexpr int keyRight = 39;
constexpr int keyDown = 40;

constexpr int treeLeftTwips = 50;

QByteArray toBytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name without regard to case, as bytes that sort like the names should. Most names are ASCII and
// fold cheaply; other text folds through Unicode; bytes that are no text fold their ASCII letters only.
std::string sortKeyOf(const std::string& name)
{
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii)
    {
        const QByteArrayView bytes(name.data(), static_cast<qsizetype>(name.size()));
        if (bytes.isValidUtf8())
            return QString::fromUtf8(bytes).toCaseFolded().toStdString();
    }
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), asciiLower);
    return key;
}

struct SortEntry
{
    std::uint64_t head;
    std::uint32_t index;
};

// Orders entries by head, equal heads in the order they came: a byte at a time, the last byte first.
void sortByHead(std::vector<SortEntry>& entries)
{
    std::vector<SortEntry> sorted(entries.size());
    for (int shift = 0; shift < 64 && !entries.empty(); shift += 8)
    {
        std::array<std::size_t, 257> starts{};
        for (const SortEntry& e : entries)
            ++starts[((e.head >> shift) & 0xff) + 1];
        if (starts[((entries.front().head >> shift) & 0xff) + 1] == entries.size())
            continue; // every head has the same byte here
        for (std::size_t b = 1; b < starts.size(); ++b)
            starts[b] += starts[b - 1];
        for (const SortEntry& e : entries)
            sorted[starts[(e.head >> shift) & 0xff]++] = e;
        entries.swap(sorted);
    }
}

// The order the tree shows names in: without regard to case, names equal but for case by their bytes.
std::vector<std::uint32_t> nameOrder(const std::vector<std::string>& names)
{
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(sortKeyOf(name));
    // Names in one folder often share their start ("Ritning 1", "Ritning 2"): the sort orders by the eight
    // bytes after the common start, as one number, and compares whole keys only where those are equal.
    std::size_t common = keys.empty() ? 0 : keys.front().size();
    for (const std::string& key : keys)
    {
        const auto end = key.begin() + static_cast<std::ptrdiff_t>(std::min(common, key.size()));
        common = static_cast<std::size_t>(std::mismatch(key.begin(), end, keys.front().begin()).first - key.begin());
    }
    std::vector<SortEntry> entries;
    entries.reserve(keys.size());
    for (std::uint32_t i = 0; i < keys.size(); ++i)
    {
        std::uint64_t head = 0;
        for (std::size_t b = common; b < common + 8; ++b) // no key holds a 0 byte, so a shorter key sorts first
            head = head << 8 | (b < keys[i].size() ? static_cast<unsigned char>(keys[i][b]) : 0u);
        entries.push_back({head, i});
    }
    sortByHead(entries);
    for (auto run = entries.begin(); run != entries.end();)
    {
        const auto end = std::find_if(run, entries.end(), [&](const SortEntry& e) { return e.head != run->head; });
        if (end - run > 1)
            std::sort(run, end, [&](const SortEntry& a, const SortEntry& b) {
                const int byKey = keys[a.index].compare(keys[b.index]);
                return byKey != 0 ? byKey < 0 : names[a.index] < names[b.index];
            });
        run = end;
    }
    std::vector<std::uint32_t> order;
    order.reserve(entries.size());
    for (const SortEntry& e : entries)
        order.push_back(e.index);
    return order;
}

} // namespace

bool containsIgnoringCase(const QByteArray& whole, const QByteArray& part)
{
    if (whole.isValidUtf8() && part.isValidUtf8())
        return QString::fromUtf8(whole).contains(QString::fromUtf8(part), Qt::CaseInsensitive);
    // Bytes that are no text are compared as they are, letters of the ASCII range without case.
    const auto equal = [](char a, char b) { return asciiLower(a) == asciiLower(b); };
    return std::search(whole.begin(), whole.end(), part.begin(), part.end(), equal) != whole.end();
}

// The saved folder's own row: the same path byte for byte, but for the case of a drive letter, which the system
// spells in capitals in a current folder ("C:\\Prog") and the tree in small letters in its rows ("c:\\Prog").
bool isSavedFolder(const QByteArray& folder, const QByteArray& saved)
{
    if (folder.size() != saved.size())
        return false;
    const qsizetype from = folder.size() >= 2 && folder[1] == ':' && saved[1] == ':' ? 1 : 0;
    return (from == 0 || asciiLower(folder[0]) == asciiLower(saved[0])) &&
           std::equal(folder.begin() + from, folder.end(), saved.begin() + from);
}

FolderTree::FolderTree(Grid& grid, Drives& drives, FolderReader reader, QObject* parent)
    : QObject(parent), m_grid(grid), m_drives(drives),
      m_reader(reader ? std::move(reader) : FolderReader(readSubfolderNames))
{
    connect(&m_grid, &Grid::mouseUp, this, [this](Qt::MouseButton button) { onMouseUp(button); });
    connect(&m_grid, &Grid::keyDown, this, [this](int keyCode) { onKeyDown(keyCode); });
    connect(&m_grid, &Grid::keyUp, this, [this](int keyCode) { onKeyUp(keyCode); });
    connect(&m_grid, &Grid::dblClick, this, &FolderTree::onDblClick);
    connect(&m_grid, &Grid::beforeCollapse, this, &FolderTree::loadOnExpand);
}

FolderTree::~FolderTree() = default;

void FolderTree::setFillFileList(std::function<void()> fillFileList)
{
    m_fillFileList = std::move(fillFileList);
}

void FolderTree::fillFileList()
{
    // TODO(fillFileList): until the window hands in the drawing list's fill, the tree refills nothing.
    if (m_fillFileList)
        m_fillFileList();
}

void FolderTree::setupTreeView()
{
    m_grid.setRedraw(false);
    m_grid.setRows(0);
    m_grid.setFixedRows(0);
    m_grid.setCols(1);
    m_grid.setOutlineTree(true);
    m_grid.setSelectionMode(Grid::SelectionMode::Single);
    m_grid.setColAlignment(0, Grid::Alignment::LeftCenter);
    m_grid.setGeometryTwips(treeLeftTwips, m_grid.topTwips(), m_grid.widthTwips(), m_grid.heightTwips());

    appendRow(treeText::computer(), QByteArray(), TreeIcon::Computer, 0);
    for (const Drive& drive : m_drives.list())
    {
        const DriveTypeLook look = driveTypeText(drive.type, drive.entry);
        appendRow(look.text + u" (" + displayName(drive.entry) + u')', toBytes(drive.folder), look.icon, 1);
        insertPlaceholder(m_grid.rows(), 2);
    }

    m_grid.collapseLevel(1);
    m_grid.setIsCollapsed(0, false);
    m_grid.setRow(0);
    m_grid.setCellAlignment(0, 0, m_grid.rows() - 1, 0, Grid::Alignment::LeftCenter);
    m_grid.setRedraw(true);
}

void FolderTree::appendRow(const QString& label, const QByteArray& folder, TreeIcon icon, int level)
{
    const int row = m_grid.rows();
    m_grid.insertRow(row);
    m_grid.setTextMatrix(row, 0, label);
    m_grid.setRowData(row, folder);
    m_grid.setCellPicture(row, 0, m_icons.icon(icon));
    m_grid.setRowOutlineLevel(row, level);
    m_grid.setIsNode(row, true);
}

void FolderTree::insertPlaceholder(int position, int level)
{
    m_grid.insertRow(position);
    m_grid.setRowOutlineLevel(position, level);
    m_grid.setIsNode(position, false);
}

void FolderTree::expandRow(int row)
{
    if (row < 0 || row >= m_grid.rows())
        return;
    const QByteArray folder = m_grid.rowData(row);
    if (folder.isEmpty())
        return;
    const std::string path(folder.constData(), static_cast<std::size_t>(folder.size()));
    BusyPointer busy; // a folder of thousands of subfolders takes a moment to read
    std::optional<std::vector<std::string>> names = m_reader(path);
    if (!names)
        return; // gone, unreadable or unreachable: the node stays without children

    // Each folder comes closed, with a placeholder row below it for its outline button; all in one step.
    const std::string prefix = joinFolder(path, {});
    const int level = m_grid.rowOutlineLevel(row) + 1;
    std::vector<GridRow> rows;
    rows.reserve(2 * names->size());
    for (const std::uint32_t i : nameOrder(*names))
    {
        const std::string& name = (*names)[i];
        QByteArray folderPath(static_cast<qsizetype>(prefix.size() + name.size()), Qt::Uninitialized);
        std::copy(name.begin(), name.end(), std::copy(prefix.begin(), prefix.end(), folderPath.begin()));
        rows.push_back({displayName(name),
                        std::move(folderPath), level, true, true, 0});
        rows.push_back({QString(), QByteArray(), level + 1, false, false, -1});
    }
    const QIcon pictures[] = {m_icons.icon(TreeIcon::Folder)};
    m_grid.insertRows(row + 1, std::move(rows), pictures);
    m_grid.setRow(row);
}

void FolderTree::restoreLastPath(const QByteArray& savedPath)
{
    for (int r = 1; r < m_grid.rows(); ++r) // the rows grow while the walk opens nodes
    {
        m_grid.setRow(r);
        m_grid.showCell(r, 0);
        const QByteArray folder = m_grid.rowData(r);
        if (folder.isEmpty() || !containsIgnoringCase(savedPath, folder))
            continue;
        m_grid.setCellBold(r, 0, r, 0, true);
        if (!isSavedFolder(folder, savedPath))
        {
            if (hasPlaceholder(r))
            {
                m_grid.removeRow(r + 1);
                expandRow(r);
            }
            m_grid.setIsCollapsed(r, false);
        }
        else
        {
            m_grid.setRow(r);
            fillFileList();
            return;
        }
    }
}

void FolderTree::refreshTree()
{
    m_drives.reread();
    setupTreeView();
}

bool FolderTree::hasPlaceholder(int row) const
{
    const int below = row + 1;
    return below < m_grid.rows() && m_grid.isNode(row) && !m_grid.isNode(below) &&
           m_grid.rowOutlineLevel(below) == m_grid.rowOutlineLevel(row) + 1 && m_grid.textMatrix(below, 0).isEmpty();
}

void FolderTree::loadOnExpand(int row, bool collapse, bool& cancel)
{
    if (!m_grid.redraw())
        return; // the tree is being built
    if (row < 0)
    {
        cancel = true; // a whole outline level at once would read every drive
        return;
    }
    if (collapse)
        return;
    if (hasPlaceholder(row))
    {
        m_grid.removeRow(row + 1);
        expandRow(row);
    }
}

QByteArray FolderTree::currentFolder() const
{
    const int row = m_grid.row();
    return row >= 0 && row < m_grid.rows() ? m_grid.rowData(row) : QByteArray();
}

void FolderTree::openRow(int row)
{
    if (row < 0 || row >= m_grid.rows() || !m_grid.isNode(row) || !m_grid.isCollapsed(row))
        return;
    bool cancel = false;
    loadOnExpand(row, false, cancel);
    if (!cancel)
        m_grid.setIsCollapsed(row, false);
}

void FolderTree::closeRow(int row)
{
    if (row >= 0 && row < m_grid.rows() && m_grid.isNode(row))
        m_grid.setIsCollapsed(row, true);
}

void FolderTree::onMouseUp(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
    {
        fillFileList();
        if (m_grid.rows() > 0)
            m_grid.setCellBold(0, 0, m_grid.rows() - 1, 0, false);
        const int row = m_grid.row();
        if (row >= 0)
            m_grid.setCellBold(row, 0, row, 0, true);
    }
    else if (button == Qt::RightButton)
    {
        emit contextMenuRequested(QCursor::pos());
    }
}

void FolderTree::onKeyDown(int keyCode)
{
    switch (keyCode)
    {
    case keyLeft:
        closeRow(m_grid.row());
        break;
    case keyRight:
        openRow(m_grid.row());
        break;
    case keySpace:
        fillFileList();
        break;
    default:
        break;
    }
}

void FolderTree::onKeyUp(int keyCode)
{
    if (keyCode == keyUp || keyCode == keyDown)
        fillFileList();
}

void FolderTree::onDblClick()
{
    const int row = m_grid.row();
    if (row >= 0 && row < m_grid.rows() && m_grid.isNode(row) && m_grid.isCollapsed(row))
        openRow(row);
    else
        closeRow(row);
}
