#include "widgets/gridmodel.h"

#include "widgets/grid.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr quint32 pictureMask = 0xffffu;
constexpr int alignShift = 16;
constexpr quint32 alignMask = 0xfu << alignShift;
constexpr quint32 boldMask = 1u << 20;
// The packed cell string stores offsets as single UTF-16 units.
constexpr qsizetype maxRowText = 0xffff;
constexpr int maxCols = 4096;

bool isTrueText(QStringView text)
{
    return text == u"-1" || text == u"1" || text.compare(u"true", Qt::CaseInsensitive) == 0;
}

} // namespace

GridModel::GridModel(QObject* parent) : QAbstractItemModel(parent), m_columns(1)
{
    m_boldFont.setBold(true);
}

GridModel::~GridModel() = default;

// ---------------------------------------------------------------- cells

int GridModel::cellCount(const Row& row)
{
    if (row.cells.isEmpty())
        return 0;
    return (row.flags & PlainText) ? 1 : row.cells.at(0).unicode();
}

QStringView GridModel::cellOf(const Row& row, int col)
{
    const QString& cells = row.cells;
    if (row.flags & PlainText)
        return col == 0 ? QStringView(cells) : QStringView();
    if (cells.isEmpty())
        return {};
    const int count = cells.at(0).unicode();
    if (col >= count)
        return {};
    const int start = col == 0 ? 0 : cells.at(col).unicode();
    const int end = cells.at(col + 1).unicode();
    return QStringView(cells).mid(1 + count + start, end - start);
}

QString GridModel::packCells(const std::vector<QStringView>& cells)
{
    qsizetype count = static_cast<qsizetype>(cells.size());
    while (count > 0 && cells[static_cast<size_t>(count - 1)].isEmpty())
        --count;
    if (count == 0)
        return {};
    qsizetype total = 0;
    for (qsizetype i = 0; i < count; ++i)
        total += cells[static_cast<size_t>(i)].size();
    total = std::min(total, maxRowText);

    QString packed(1 + count + total, Qt::Uninitialized);
    QChar* out = packed.data();
    out[0] = QChar(static_cast<char16_t>(count));
    qsizetype end = 0;
    QChar* text = out + 1 + count;
    for (qsizetype i = 0; i < count; ++i) {
        // A row holds at most 65535 characters of text; a cell that would pass that is cut.
        const QStringView cell = cells[static_cast<size_t>(i)].first(std::min(cells[static_cast<size_t>(i)].size(),
                                                                              total - end));
        std::copy(cell.begin(), cell.end(), text + end);
        end += cell.size();
        out[1 + i] = QChar(static_cast<char16_t>(end));
    }
    return packed;
}

void GridModel::appendTabbed(QStringView tabSeparated)
{
    std::vector<QStringView> cells;
    cells.reserve(static_cast<size_t>(m_cols));
    for (const QStringView part : tabSeparated.tokenize(u'\t')) {
        if (static_cast<int>(cells.size()) == m_cols)
            break;
        cells.push_back(part);
    }
    Row row;
    row.cells = packCells(cells);
    m_rows.push_back(std::move(row));
    rowsCame(rows() - 1, 1);
}

QString GridModel::text(int row, int col) const
{
    return textView(row, col).toString();
}

QStringView GridModel::textView(int row, int col) const
{
    if (!validCell(row, col))
        return {};
    return cellOf(m_rows[static_cast<size_t>(row)], col);
}

void GridModel::setText(int row, int col, QStringView text)
{
    if (!validCell(row, col))
        return;
    Row& r = m_rows[static_cast<size_t>(row)];
    const int count = cellCount(r);
    std::vector<QStringView> cells(static_cast<size_t>(std::max(count, col + 1)));
    for (int c = 0; c < count; ++c)
        cells[static_cast<size_t>(c)] = cellOf(r, c);
    cells[static_cast<size_t>(col)] = text;
    r.cells = packCells(cells); // the views point into the old string, which lives until here
    r.flags &= ~PlainText;
    if (col == 0) {
        r.measured = 0;
        ++m_firstCellGeneration;
    }
    cellsChanged(row, col, row, col);
}

QByteArray GridModel::rowData(int row) const
{
    return validRow(row) ? m_rows[static_cast<size_t>(row)].data : QByteArray();
}

void GridModel::setRowData(int row, const QByteArray& data)
{
    if (validRow(row))
        m_rows[static_cast<size_t>(row)].data = data;
}

// ---------------------------------------------------------------- rows and columns

void GridModel::setRows(int n)
{
    n = std::max(n, m_fixedRows);
    const int old = rows();
    if (n == old)
        return;
    if (n < old) {
        rowsDropped(n, old - n);
        rowsLeaving(n, old - n);
        m_rows.erase(m_rows.begin() + n, m_rows.end());
    } else {
        m_rows.resize(static_cast<size_t>(n));
        rowsCame(old, n - old);
    }
}

void GridModel::setFixedRows(int n)
{
    n = std::clamp(n, 0, 1);
    if (n == m_fixedRows)
        return;
    m_fixedRows = n;
    if (rows() < n)
        m_rows.resize(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        m_rows[static_cast<size_t>(r)].flags &= ~Selected;
    m_selectedDirty = true;
    needReset();
    ++m_outlineGeneration;
}

void GridModel::setCols(int n)
{
    n = std::clamp(n, 0, maxCols);
    if (n == m_cols)
        return;
    if (n < m_cols) {
        for (Row& r : m_rows) {
            if (cellCount(r) > n) {
                std::vector<QStringView> cells;
                for (int c = 0; c < n; ++c)
                    cells.push_back(cellOf(r, c));
                r.cells = packCells(cells);
                r.flags &= ~PlainText;
            }
            r.lookCount = static_cast<quint16>(std::clamp(n - 1, 0, int(r.lookCount)));
        }
    }
    m_cols = n;
    m_columns.resize(static_cast<size_t>(n));
    needReset();
}

bool GridModel::isBooleanColumn(int col) const
{
    return col >= 0 && col < m_cols && m_columns[static_cast<size_t>(col)].boolean;
}

void GridModel::setBooleanColumn(int col, bool on)
{
    if (col < 0 || col >= m_cols)
        return;
    m_columns[static_cast<size_t>(col)].boolean = on;
    cellsChanged(m_fixedRows, col, rows() - 1, col);
}

int GridModel::columnAlignment(int col) const
{
    return col >= 0 && col < m_cols ? m_columns[static_cast<size_t>(col)].alignment : 0;
}

void GridModel::setColumnAlignment(int col, int code)
{
    if (col < 0 || col >= m_cols)
        return;
    m_columns[static_cast<size_t>(col)].alignment = std::clamp(code, 0, 15);
    cellsChanged(0, col, rows() - 1, col);
}

void GridModel::setOutline(bool on)
{
    if (on == m_outline)
        return;
    m_outline = on;
    needReset();
    ++m_outlineGeneration;
}

void GridModel::insertRowAt(int row)
{
    if (row < m_fixedRows || row > rows())
        return;
    rowsShifted(row, 1);
    m_rows.insert(m_rows.begin() + row, Row());
    rowsCame(row, 1);
}

bool GridModel::insertRows(int row, std::span<GridRow> block, std::span<const QIcon> pictures)
{
    if (row < m_fixedRows || row > rows() || block.empty() || block.size() > static_cast<size_t>(INT_MAX - rows()))
        return false;
    std::vector<quint32> pictureIds;
    pictureIds.reserve(pictures.size());
    for (const QIcon& picture : pictures)
        pictureIds.push_back(static_cast<quint32>(pictureIndex(picture)));

    // The new rows are built in place: the rows below move once, to the end, and the gap is filled.
    const int count = static_cast<int>(block.size());
    const size_t oldSize = m_rows.size();
    m_rows.resize(oldSize + block.size());
    std::move_backward(m_rows.begin() + row, m_rows.begin() + static_cast<std::ptrdiff_t>(oldSize), m_rows.end());
    std::vector<QStringView> cells;
    cells.reserve(static_cast<size_t>(m_cols));
    for (size_t i = 0; i < block.size(); ++i) {
        GridRow& spec = block[i];
        Row& r = m_rows[static_cast<size_t>(row) + i];
        r = Row();
        if (m_cols > 0 && !spec.text.contains(u'\t')) {
            // A single cell, as tree rows are, is kept as it came.
            spec.text.truncate(maxRowText);
            r.cells = std::move(spec.text);
            r.flags = PlainText;
        } else {
            cells.clear();
            for (const QStringView part : QStringView(spec.text).tokenize(u'\t')) {
                if (static_cast<int>(cells.size()) == m_cols)
                    break;
                cells.push_back(part);
            }
            r.cells = packCells(cells);
        }
        r.data = std::move(spec.data);
        r.level = static_cast<quint16>(std::clamp(spec.level, 0, maxLevel));
        if (spec.node)
            r.flags |= spec.collapsed ? Node | Collapsed : Node | CollapseChanged;
        else if (spec.collapsed)
            r.flags |= Collapsed;
        const auto picture = static_cast<size_t>(spec.picture);
        if (spec.picture >= 0 && picture < pictureIds.size() && m_cols > 0)
            r.firstLook = pictureIds[picture];
    }
    rowsShifted(row, count);
    rowsCame(row, count);
    return true;
}

void GridModel::removeRowAt(int row)
{
    if (row < m_fixedRows || row >= rows())
        return;
    rowsDropped(row, 1);
    rowsLeaving(row, 1);
    m_rows.erase(m_rows.begin() + row);
}

void GridModel::noteStructure()
{
    ++m_outlineGeneration;
    m_selectedDirty = true;
}

void GridModel::needReset()
{
    m_resetPending = true;
    m_edits.clear();
}

bool GridModel::editable() const
{
    return m_outline && m_shownOutline && !m_resetPending && m_shownFixed == m_fixedRows && m_edits.size() < maxEdits;
}

bool GridModel::wholeSubtrees(int row, int count) const
{
    // The rows are whole subtrees of neighbouring siblings when none is shallower than the first and the
    // row after them is no deeper: no row outside them changes its parent.
    const int top = m_rows[static_cast<size_t>(row)].level;
    for (int r = row + 1; r < row + count; ++r) {
        if (m_rows[static_cast<size_t>(r)].level < top)
            return false;
    }
    return row + count >= rows() || m_rows[static_cast<size_t>(row + count)].level <= top;
}

void GridModel::rowsCame(int row, int count)
{
    noteStructure();
    if (!m_outline && !m_shownOutline) {
        m_tailFrom = std::min(m_tailFrom, std::max(0, row - m_fixedRows));
        return;
    }
    if (!editable() || !wholeSubtrees(row, count)) {
        needReset();
        return;
    }
    Edit edit{row - m_fixedRows, count, true, {}};
    edit.levels.reserve(static_cast<size_t>(count));
    for (int r = row; r < row + count; ++r)
        edit.levels.push_back(m_rows[static_cast<size_t>(r)].level);
    m_edits.push_back(std::move(edit));
}

void GridModel::rowsLeaving(int row, int count)
{
    noteStructure();
    if (!m_outline && !m_shownOutline) {
        m_tailFrom = std::min(m_tailFrom, std::max(0, row - m_fixedRows));
        return;
    }
    if (!editable() || !wholeSubtrees(row, count)) {
        needReset();
        return;
    }
    m_edits.push_back(Edit{row - m_fixedRows, count, false, {}});
}

void GridModel::trackRow(int* row)
{
    m_tracked.push_back(row);
}

void GridModel::untrackRow(int* row)
{
    m_tracked.erase(std::remove(m_tracked.begin(), m_tracked.end(), row), m_tracked.end());
}

void GridModel::rowsShifted(int from, int delta)
{
    for (int* t : m_tracked) {
        if (*t >= from)
            *t += delta;
    }
}

void GridModel::rowsDropped(int from, int count)
{
    for (int* t : m_tracked) {
        if (*t >= from + count)
            *t -= count;
        else if (*t >= from)
            *t = -1;
    }
}

// ---------------------------------------------------------------- outline and selection flags

int GridModel::level(int row) const
{
    return validRow(row) ? m_rows[static_cast<size_t>(row)].level : 0;
}

void GridModel::setLevel(int row, int level)
{
    if (!validRow(row))
        return;
    const auto value = static_cast<quint16>(std::clamp(level, 0, maxLevel));
    Row& r = m_rows[static_cast<size_t>(row)];
    if (r.level == value)
        return;
    r.level = value;
    ++m_outlineGeneration;
    if (m_outline)
        needReset();
}

bool GridModel::isNode(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Node);
}

void GridModel::setNode(int row, bool node)
{
    if (!validRow(row))
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = node ? (f | Node) : (f & ~Node);
}

bool GridModel::isCollapsed(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Collapsed);
}

void GridModel::setCollapsed(int row, bool collapsed)
{
    if (!validRow(row) || isCollapsed(row) == collapsed)
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = (collapsed ? (f | Collapsed) : (f & ~Collapsed)) | CollapseChanged;
    ++m_outlineGeneration;
}

void GridModel::clearCollapseChanges()
{
    for (Row& r : m_rows)
        r.flags &= ~CollapseChanged;
}

bool GridModel::isSelected(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Selected);
}

void GridModel::setSelected(int row, bool selected)
{
    if (row < m_fixedRows || row >= rows() || isSelected(row) == selected)
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = selected ? (f | Selected) : (f & ~Selected);
    m_selectedDirty = true;
}

void GridModel::clearSelected()
{
    for (Row& r : m_rows)
        r.flags &= ~Selected;
    m_selectedDirty = true;
}

const std::vector<int>& GridModel::selectedRows() const
{
    if (m_selectedDirty) {
        m_selectedCache.clear();
        for (int r = m_fixedRows; r < rows(); ++r) {
            if (m_rows[static_cast<size_t>(r)].flags & Selected)
                m_selectedCache.push_back(r);
        }
        m_selectedDirty = false;
    }
    return m_selectedCache;
}

// ---------------------------------------------------------------- cell looks

quint32 GridModel::look(int row, int col) const
{
    if (!validCell(row, col))
        return 0;
    const Row& r = m_rows[static_cast<size_t>(row)];
    if (col == 0)
        return r.firstLook;
    return col <= r.lookCount ? r.looks[static_cast<size_t>(col - 1)] : 0;
}

void GridModel::setLook(int row, int col, quint32 mask, quint32 value)
{
    if (!validCell(row, col))
        return;
    Row& r = m_rows[static_cast<size_t>(row)];
    if (col > r.lookCount) {
        if (value == 0)
            return;
        auto grown = std::make_unique<quint32[]>(static_cast<size_t>(col));
        std::copy(r.looks.get(), r.looks.get() + r.lookCount, grown.get());
        r.looks = std::move(grown);
        r.lookCount = static_cast<quint16>(col);
    }
    quint32& l = col == 0 ? r.firstLook : r.looks[static_cast<size_t>(col - 1)];
    l = (l & ~mask) | (value & mask);
    if (col == 0) {
        r.measured = 0;
        ++m_firstCellGeneration;
    }
}

bool GridModel::isBold(int row, int col) const
{
    return look(row, col) & boldMask;
}

void GridModel::setBold(int row, int col, bool bold)
{
    setLook(row, col, boldMask, bold ? boldMask : 0);
}

int GridModel::alignment(int row, int col) const
{
    const int own = static_cast<int>((look(row, col) & alignMask) >> alignShift);
    return own ? own : columnAlignment(col);
}

void GridModel::setAlignment(int row, int col, int code)
{
    setLook(row, col, alignMask, static_cast<quint32>(std::clamp(code, 0, 15)) << alignShift);
}

int GridModel::pictureIndex(const QIcon& picture)
{
    if (picture.isNull())
        return 0;
    const auto found = m_pictureIndex.constFind(picture.cacheKey());
    if (found != m_pictureIndex.constEnd())
        return *found;
    if (m_pictures.size() > pictureMask)
        return 0; // the table is full: the cell shows no picture
    const int index = static_cast<int>(m_pictures.size());
    m_pictures.push_back(picture);
    m_pictureIndex.insert(picture.cacheKey(), index);
    return index;
}

void GridModel::setPicture(int row, int col, const QIcon& picture)
{
    if (!validCell(row, col))
        return;
    setLook(row, col, pictureMask, static_cast<quint32>(pictureIndex(picture)));
    cellsChanged(row, col, row, col);
}

int GridModel::pictureIndexAt(int row, int col) const
{
    return static_cast<int>(look(row, col) & pictureMask);
}

void GridModel::setMeasuredWidth(int row, int width)
{
    if (validRow(row))
        m_rows[static_cast<size_t>(row)].measured = static_cast<quint16>(std::clamp(width, 0, 0xffff));
}

void GridModel::forgetMeasuredWidths()
{
    for (Row& r : m_rows)
        r.measured = 0;
    ++m_firstCellGeneration;
}

QIcon GridModel::picture(int row, int col) const
{
    const quint32 index = look(row, col) & pictureMask;
    return index < m_pictures.size() ? m_pictures[index] : QIcon();
}

// ---------------------------------------------------------------- presentation

void GridModel::cellsChanged(int row1, int col1, int row2, int col2)
{
    row1 = std::max(row1, 0);
    row2 = std::min(row2, rows() - 1);
    col1 = std::max(col1, 0);
    col2 = std::min(col2, m_shownCols - 1);
    if (row1 > row2 || col1 > col2)
        return;
    if (hasPendingStructure() || m_quiet) {
        m_dataPending = true;
        return;
    }
    if (row1 < m_shownFixed) {
        emit headerDataChanged(Qt::Horizontal, col1, col2);
        row1 = m_shownFixed;
        if (row1 > row2)
            return;
    }
    if (!m_shownOutline || row1 == row2) {
        emit dataChanged(indexOfRow(row1, col1), indexOfRow(row2, col2));
        return;
    }
    outlineDataChanged();
}

void GridModel::outlineDataChanged()
{
    // A changed range may span many parents, and one notice per row costs a tree view a search each.
    // A layout change without moves makes it repaint everything once instead.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void GridModel::announceAllData()
{
    m_dataPending = false;
    if (m_shownCols == 0)
        return;
    if (m_shownFixed > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_shownCols - 1);
    if (m_shownRows == 0)
        return;
    if (!m_shownOutline) {
        emit dataChanged(index(0, 0), index(m_shownRows - 1, m_shownCols - 1));
        return;
    }
    outlineDataChanged();
}

GridModel::Announced GridModel::announce()
{
    if (!hasPending())
        return Announced::Nothing;
    if (m_resetPending || m_shownFixed != m_fixedRows || m_shownCols != m_cols || m_shownOutline != m_outline) {
        beginResetModel();
        takeSnapshot();
        m_resetPending = false;
        m_tailFrom = INT_MAX;
        m_edits.clear();
        m_dataPending = false;
        endResetModel();
        return Announced::Reset;
    }
    if (!m_edits.empty()) {
        while (m_editsShown < m_edits.size())
            presentEdit(m_edits[m_editsShown]);
        m_edits.clear();
        m_editsShown = 0;
        if (m_dataPending)
            announceAllData();
        return Announced::Rows;
    }
    if (m_tailFrom != INT_MAX) {
        const int from = m_tailFrom;
        m_tailFrom = INT_MAX;
        if (from < m_shownRows) {
            beginRemoveRows({}, from, m_shownRows - 1);
            m_shownRows = from;
            endRemoveRows();
        }
        const int n = rows() - m_fixedRows;
        if (n > m_shownRows) {
            beginInsertRows({}, m_shownRows, n - 1);
            m_shownRows = n;
            endInsertRows();
        }
        if (m_dataPending)
            announceAllData();
        return Announced::Rows;
    }
    announceAllData();
    return Announced::Nothing;
}

void GridModel::presentEdit(const Edit& edit)
{
    const auto first = static_cast<size_t>(edit.first);
    if (edit.insert) {
        // The block's top rows follow the last child of their parent above them.
        const quint16 top = edit.levels.front();
        int parent = edit.first - 1;
        int sibling = -1;
        while (parent >= 0 && m_shownLevels[static_cast<size_t>(parent)] >= top) {
            sibling = parent;
            parent = m_parentOf[static_cast<size_t>(parent)];
        }
        const int position = sibling < 0 ? 0 : m_childPos[static_cast<size_t>(sibling)] + 1;
        // A parent that had no children before is opened in views now if it is open in the store.
        if (const int store = storeRowOf(parent); store >= 0)
            m_rows[static_cast<size_t>(store + m_shownFixed)].flags |= CollapseChanged;
        const auto tops = static_cast<int>(std::count(edit.levels.begin(), edit.levels.end(), top));
        beginInsertRows(shownIndex(parent), position, position + tops - 1);
        m_shownLevels.insert(m_shownLevels.begin() + edit.first, edit.levels.begin(), edit.levels.end());
        m_shownRows += edit.count;
        ++m_editsShown;
        buildOutline();
        moveParentsOfPersistent(edit.first, edit.count, true);
        endInsertRows();
        return;
    }
    const quint16 top = m_shownLevels[first];
    const auto tops = static_cast<int>(
        std::count(m_shownLevels.begin() + edit.first, m_shownLevels.begin() + edit.first + edit.count, top));
    const int position = m_childPos[first];
    beginRemoveRows(shownIndex(m_parentOf[first]), position, position + tops - 1);
    m_shownLevels.erase(m_shownLevels.begin() + edit.first, m_shownLevels.begin() + edit.first + edit.count);
    m_shownRows -= edit.count;
    ++m_editsShown;
    buildOutline();
    moveParentsOfPersistent(edit.first, edit.count, false);
    endRemoveRows();
}

void GridModel::moveParentsOfPersistent(int from, int count, bool insert)
{
    // An index names its parent's row, so indexes below rows that moved must be renamed. Indexes of the
    // changed parent's own children are the base class's business, those inside removed rows are dropped
    // by it.
    QModelIndexList before;
    QModelIndexList after;
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& index : persistent) {
        const int parent = static_cast<int>(index.internalId()) - 1;
        if (parent < from || (!insert && parent < from + count))
            continue;
        before.append(index);
        after.append(createIndex(index.row(), index.column(), quintptr(parent + (insert ? count : -count) + 1)));
    }
    if (!before.isEmpty())
        changePersistentIndexList(before, after);
}

int GridModel::storeRowOf(int shownRow) const
{
    if (shownRow < 0)
        return -1;
    for (size_t i = m_editsShown; i < m_edits.size(); ++i) {
        const Edit& e = m_edits[i];
        if (e.insert) {
            if (shownRow >= e.first)
                shownRow += e.count;
        } else if (shownRow >= e.first + e.count) {
            shownRow -= e.count;
        } else if (shownRow >= e.first) {
            return -1;
        }
    }
    return shownRow;
}

int GridModel::shownRowOf(int storeRow) const
{
    if (storeRow < 0)
        return -1;
    for (size_t i = m_edits.size(); i-- > m_editsShown;) {
        const Edit& e = m_edits[i];
        if (!e.insert) {
            if (storeRow >= e.first)
                storeRow += e.count;
        } else if (storeRow >= e.first + e.count) {
            storeRow -= e.count;
        } else if (storeRow >= e.first) {
            return -1;
        }
    }
    return storeRow;
}

QModelIndex GridModel::shownIndex(int shownRow) const
{
    if (shownRow < 0)
        return {};
    const auto r = static_cast<size_t>(shownRow);
    return createIndex(m_childPos[r], 0, quintptr(m_parentOf[r] + 1));
}

void GridModel::takeSnapshot()
{
    m_shownFixed = m_fixedRows;
    m_shownRows = rows() - m_fixedRows;
    m_shownCols = m_cols;
    m_shownOutline = m_outline;
    m_shownLevels.clear();
    if (m_outline) {
        m_shownLevels.reserve(static_cast<size_t>(m_shownRows));
        for (int r = m_fixedRows; r < rows(); ++r)
            m_shownLevels.push_back(m_rows[static_cast<size_t>(r)].level);
    } else {
        m_shownLevels.shrink_to_fit();
    }
    buildOutline();
}

void GridModel::buildOutline()
{
    m_parentOf.clear();
    m_childPos.clear();
    m_childStart.clear();
    m_kids.clear();
    if (!m_shownOutline) {
        m_parentOf.shrink_to_fit();
        m_childPos.shrink_to_fit();
        m_kids.shrink_to_fit();
        return;
    }
    const auto n = static_cast<size_t>(m_shownRows);
    m_parentOf.resize(n);
    m_childPos.resize(n);
    m_childStart.assign(n + 2, 0);
    std::vector<int> stack;
    for (int i = 0; i < m_shownRows; ++i) {
        const int level = m_shownLevels[static_cast<size_t>(i)];
        while (!stack.empty() && m_shownLevels[static_cast<size_t>(stack.back())] >= level)
            stack.pop_back();
        const int p = stack.empty() ? -1 : stack.back();
        m_parentOf[static_cast<size_t>(i)] = p;
        m_childPos[static_cast<size_t>(i)] = m_childStart[static_cast<size_t>(p + 2)]++;
        stack.push_back(i);
    }
    // Counts sit at start[p + 2]; running sums turn them into starts.
    for (size_t k = 1; k < m_childStart.size(); ++k)
        m_childStart[k] += m_childStart[k - 1];
    m_kids.resize(n);
    for (int i = 0; i < m_shownRows; ++i) {
        const int p = m_parentOf[static_cast<size_t>(i)];
        m_kids[static_cast<size_t>(m_childStart[static_cast<size_t>(p + 1)] + m_childPos[static_cast<size_t>(i)])] = i;
    }
}

int GridModel::presentedRow(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    if (!m_shownOutline)
        return index.row() < m_shownRows ? index.row() : -1;
    const auto p1 = static_cast<size_t>(index.internalId());
    if (p1 + 1 >= m_childStart.size())
        return -1;
    const int first = m_childStart[p1];
    if (index.row() >= m_childStart[p1 + 1] - first)
        return -1;
    return m_kids[static_cast<size_t>(first + index.row())];
}

QModelIndex GridModel::indexOfRow(int row, int col) const
{
    const int mr = shownRowOf(row - m_shownFixed);
    if (mr < 0 || mr >= m_shownRows || col < 0 || col >= m_shownCols)
        return {};
    if (!m_shownOutline)
        return createIndex(mr, col, quintptr(0));
    return createIndex(m_childPos[static_cast<size_t>(mr)], col, quintptr(m_parentOf[static_cast<size_t>(mr)] + 1));
}

int GridModel::rowOfIndex(const QModelIndex& index) const
{
    const int mr = storeRowOf(presentedRow(index));
    return mr < 0 ? -1 : mr + m_shownFixed;
}

bool GridModel::hasPresentedChildren(int row) const
{
    const int mr = shownRowOf(row - m_shownFixed);
    if (!m_shownOutline || mr < 0 || mr >= m_shownRows)
        return false;
    return m_childStart[static_cast<size_t>(mr + 2)] > m_childStart[static_cast<size_t>(mr + 1)];
}

// ---------------------------------------------------------------- QAbstractItemModel

QModelIndex GridModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= m_shownCols)
        return {};
    if (!m_shownOutline) {
        if (parent.isValid() || row >= m_shownRows)
            return {};
        return createIndex(row, column, quintptr(0));
    }
    int p = -1;
    if (parent.isValid()) {
        if (parent.column() != 0)
            return {};
        p = presentedRow(parent);
        if (p < 0)
            return {};
    }
    const int count = m_childStart[static_cast<size_t>(p + 2)] - m_childStart[static_cast<size_t>(p + 1)];
    if (row >= count)
        return {};
    return createIndex(row, column, quintptr(p + 1));
}

QModelIndex GridModel::parent(const QModelIndex& child) const
{
    if (!m_shownOutline || !child.isValid())
        return {};
    const int p = static_cast<int>(child.internalId()) - 1;
    if (p < 0 || p >= m_shownRows)
        return {};
    return createIndex(m_childPos[static_cast<size_t>(p)], 0, quintptr(m_parentOf[static_cast<size_t>(p)] + 1));
}

QModelIndex GridModel::sibling(int row, int column, const QModelIndex& idx) const
{
    if (!idx.isValid() || column < 0 || column >= m_shownCols)
        return {};
    if (row == idx.row())
        return createIndex(row, column, idx.internalId());
    return QAbstractItemModel::sibling(row, column, idx);
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    if (!m_shownOutline)
        return parent.isValid() ? 0 : m_shownRows;
    int p = -1;
    if (parent.isValid()) {
        if (parent.column() != 0)
            return 0;
        p = presentedRow(parent);
        if (p < 0)
            return 0;
    }
    return m_childStart[static_cast<size_t>(p + 2)] - m_childStart[static_cast<size_t>(p + 1)];
}

int GridModel::columnCount(const QModelIndex& /*parent*/) const
{
    return m_shownCols;
}

bool GridModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    const int mr = storeRowOf(presentedRow(index));
    const int row = mr + m_shownFixed;
    const int col = index.column();
    if (mr < 0 || !validCell(row, col))
        return {}; // a dated presentation may name rows that are gone
    switch (role) {
    case Qt::DisplayRole:
        if (m_columns[static_cast<size_t>(col)].boolean)
            return {};
        return text(row, col);
    case Qt::EditRole:
        return text(row, col);
    case Qt::CheckStateRole:
        if (!m_columns[static_cast<size_t>(col)].boolean)
            return {};
        return isTrueText(cellOf(m_rows[static_cast<size_t>(row)], col)) ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole: {
        const QIcon icon = picture(row, col);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::FontRole:
        return isBold(row, col) ? QVariant(m_boldFont) : QVariant();
    case Qt::TextAlignmentRole:
        switch (alignment(row, col)) {
        case alignLeftCenter:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case alignRightCenter:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        default:
            return {};
        }
    default:
        return {};
    }
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int row = rowOfIndex(index);
    if (row < 0 || role != Qt::EditRole || hasPendingStructure())
        return false;
    setText(row, index.column(), value.toString());
    return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || m_shownFixed == 0 || section < 0 || section >= m_shownCols)
        return {};
    if (role == Qt::DisplayRole)
        return text(0, section);
    if (role == Qt::TextAlignmentRole && columnAlignment(section) == alignRightCenter)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (presentedRow(index) < 0)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    if (!m_shownOutline)
        f |= Qt::ItemNeverHasChildren;
    return f;
}
