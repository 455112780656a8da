#include "widgets/gridstore.h"

#include <algorithm>
#include <climits>

namespace {

constexpr quint32 pictureMask = 0xffffu;
constexpr int alignShift = 16;
constexpr quint32 alignMask = 0xfu << alignShift;
constexpr quint32 boldMask = 1u << 20;
// The packed cell string stores offsets as single UTF-16 units.
constexpr qsizetype maxRowText = 0xffff;
constexpr int maxCols = 4096;

} // namespace

GridStore::GridStore() : m_columns(1) {}

GridStore::~GridStore() = default;

// ---------------------------------------------------------------- cells

int GridStore::cellCount(const Row& row)
{
    if (row.cells.isEmpty())
        return 0;
    return (row.flags & PlainText) ? 1 : row.cells.at(0).unicode();
}

QStringView GridStore::cellOf(const Row& row, int col)
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

QString GridStore::packCells(const std::vector<QStringView>& cells)
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
        const QStringView cell =
            cells[static_cast<size_t>(i)].first(std::min(cells[static_cast<size_t>(i)].size(), total - end));
        std::copy(cell.begin(), cell.end(), text + end);
        end += cell.size();
        out[1 + i] = QChar(static_cast<char16_t>(end));
    }
    return packed;
}

void GridStore::appendTabbed(QStringView tabSeparated)
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

QString GridStore::text(int row, int col) const
{
    return textView(row, col).toString();
}

QStringView GridStore::textView(int row, int col) const
{
    if (!validCell(row, col))
        return {};
    return cellOf(m_rows[static_cast<size_t>(row)], col);
}

void GridStore::setText(int row, int col, QStringView text)
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

QByteArray GridStore::rowData(int row) const
{
    return validRow(row) ? m_rows[static_cast<size_t>(row)].data : QByteArray();
}

void GridStore::setRowData(int row, const QByteArray& data)
{
    if (validRow(row))
        m_rows[static_cast<size_t>(row)].data = data;
}

// ---------------------------------------------------------------- rows and columns

bool GridStore::clipRange(int& row1, int& col1, int& row2, int& col2) const
{
    if (row1 > row2)
        std::swap(row1, row2);
    if (col1 > col2)
        std::swap(col1, col2);
    row1 = std::max(row1, 0);
    col1 = std::max(col1, 0);
    row2 = std::min(row2, rows() - 1);
    col2 = std::min(col2, m_cols - 1);
    return row1 <= row2 && col1 <= col2;
}

void GridStore::setRows(int n)
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

void GridStore::setFixedRows(int n)
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
    reshaped();
    ++m_outlineGeneration;
}

void GridStore::setCols(int n)
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
    reshaped();
}

bool GridStore::isBooleanColumn(int col) const
{
    return col >= 0 && col < m_cols && m_columns[static_cast<size_t>(col)].boolean;
}

void GridStore::setBooleanColumn(int col, bool on)
{
    if (col < 0 || col >= m_cols)
        return;
    m_columns[static_cast<size_t>(col)].boolean = on;
    cellsChanged(m_fixedRows, col, rows() - 1, col);
}

int GridStore::columnAlignment(int col) const
{
    return col >= 0 && col < m_cols ? m_columns[static_cast<size_t>(col)].alignment : 0;
}

void GridStore::setColumnAlignment(int col, int code)
{
    if (col < 0 || col >= m_cols)
        return;
    m_columns[static_cast<size_t>(col)].alignment = std::clamp(code, 0, 15);
    cellsChanged(0, col, rows() - 1, col);
}

void GridStore::setOutline(bool on)
{
    if (on == m_outline)
        return;
    m_outline = on;
    reshaped();
    ++m_outlineGeneration;
}

void GridStore::insertRowAt(int row)
{
    if (row < m_fixedRows || row > rows())
        return;
    rowsShifted(row, 1);
    m_rows.insert(m_rows.begin() + row, Row());
    rowsCame(row, 1);
}

bool GridStore::insertRows(int row, std::span<GridRow> block, std::span<const QIcon> pictures)
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
        GridRow& given = block[i];
        Row& r = m_rows[static_cast<size_t>(row) + i];
        r = Row();
        if (m_cols > 0 && !given.text.contains(u'\t')) {
            // A single cell, as tree rows are, is kept as it came.
            given.text.truncate(maxRowText);
            r.cells = std::move(given.text);
            r.flags = PlainText;
        } else {
            cells.clear();
            for (const QStringView part : QStringView(given.text).tokenize(u'\t')) {
                if (static_cast<int>(cells.size()) == m_cols)
                    break;
                cells.push_back(part);
            }
            r.cells = packCells(cells);
        }
        r.data = std::move(given.data);
        r.level = static_cast<quint16>(std::clamp(given.level, 0, maxLevel));
        if (given.node)
            r.flags |= given.collapsed ? Node | Collapsed : Node | CollapseChanged;
        else if (given.collapsed)
            r.flags |= Collapsed;
        const auto picture = static_cast<size_t>(given.picture);
        if (given.picture >= 0 && picture < pictureIds.size() && m_cols > 0)
            r.firstLook = pictureIds[picture];
    }
    rowsShifted(row, count);
    rowsCame(row, count);
    return true;
}

void GridStore::removeRowAt(int row)
{
    if (row < m_fixedRows || row >= rows())
        return;
    rowsDropped(row, 1);
    rowsLeaving(row, 1);
    m_rows.erase(m_rows.begin() + row);
}

bool GridStore::wholeSubtrees(int row, int count) const
{
    // None of the rows is shallower than the first and the row after them is no deeper.
    if (count <= 0 || row < 0 || row + count > rows())
        return false;
    const int top = m_rows[static_cast<size_t>(row)].level;
    for (int r = row + 1; r < row + count; ++r) {
        if (m_rows[static_cast<size_t>(r)].level < top)
            return false;
    }
    return row + count >= rows() || m_rows[static_cast<size_t>(row + count)].level <= top;
}

void GridStore::rowsCame(int row, int count)
{
    ++m_outlineGeneration;
    m_selectedDirty = true;
    if (m_observer)
        m_observer->rowsInserted(row, count);
}

void GridStore::rowsLeaving(int row, int count)
{
    ++m_outlineGeneration;
    m_selectedDirty = true;
    if (m_observer)
        m_observer->rowsRemoving(row, count);
}

void GridStore::reshaped()
{
    if (m_observer)
        m_observer->reshaped();
}

void GridStore::cellsChanged(int row1, int col1, int row2, int col2)
{
    if (m_observer)
        m_observer->cellsChanged(row1, col1, row2, col2);
}

void GridStore::trackRow(int* row)
{
    m_tracked.push_back(row);
}

void GridStore::untrackRow(int* row)
{
    m_tracked.erase(std::remove(m_tracked.begin(), m_tracked.end(), row), m_tracked.end());
}

void GridStore::rowsShifted(int from, int delta)
{
    for (int* t : m_tracked) {
        if (*t >= from)
            *t += delta;
    }
}

void GridStore::rowsDropped(int from, int count)
{
    for (int* t : m_tracked) {
        if (*t >= from + count)
            *t -= count;
        else if (*t >= from)
            *t = -1;
    }
}

// ---------------------------------------------------------------- outline and marks

int GridStore::level(int row) const
{
    return validRow(row) ? m_rows[static_cast<size_t>(row)].level : 0;
}

void GridStore::setLevel(int row, int level)
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
        reshaped();
}

bool GridStore::isNode(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Node);
}

void GridStore::setNode(int row, bool node)
{
    if (!validRow(row))
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = node ? (f | Node) : (f & ~Node);
}

bool GridStore::isCollapsed(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Collapsed);
}

void GridStore::setCollapsed(int row, bool collapsed)
{
    if (!validRow(row) || isCollapsed(row) == collapsed)
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = (collapsed ? (f | Collapsed) : (f & ~Collapsed)) | CollapseChanged;
    ++m_outlineGeneration;
}

void GridStore::markCollapseChanged(int row)
{
    if (validRow(row))
        m_rows[static_cast<size_t>(row)].flags |= CollapseChanged;
}

void GridStore::clearCollapseChanges()
{
    for (Row& r : m_rows)
        r.flags &= ~CollapseChanged;
}

bool GridStore::isSelected(int row) const
{
    return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & Selected);
}

void GridStore::setSelected(int row, bool selected)
{
    if (row < m_fixedRows || row >= rows() || isSelected(row) == selected)
        return;
    quint8& f = m_rows[static_cast<size_t>(row)].flags;
    f = selected ? (f | Selected) : (f & ~Selected);
    m_selectedDirty = true;
}

void GridStore::clearSelected()
{
    for (Row& r : m_rows)
        r.flags &= ~Selected;
    m_selectedDirty = true;
}

const std::vector<int>& GridStore::selectedRows() const
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

quint32 GridStore::look(int row, int col) const
{
    if (!validCell(row, col))
        return 0;
    const Row& r = m_rows[static_cast<size_t>(row)];
    if (col == 0)
        return r.firstLook;
    return col <= r.lookCount ? r.looks[static_cast<size_t>(col - 1)] : 0;
}

void GridStore::setLook(int row, int col, quint32 mask, quint32 value)
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

bool GridStore::isBold(int row, int col) const
{
    return look(row, col) & boldMask;
}

void GridStore::setBold(int row1, int col1, int row2, int col2, bool bold)
{
    if (!clipRange(row1, col1, row2, col2))
        return;
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c)
            setLook(r, c, boldMask, bold ? boldMask : 0);
    }
    cellsChanged(row1, col1, row2, col2);
}

int GridStore::alignment(int row, int col) const
{
    const int own = static_cast<int>((look(row, col) & alignMask) >> alignShift);
    return own ? own : columnAlignment(col);
}

void GridStore::setAlignment(int row1, int col1, int row2, int col2, int code)
{
    if (!clipRange(row1, col1, row2, col2))
        return;
    const quint32 value = static_cast<quint32>(std::clamp(code, 0, 15)) << alignShift;
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c)
            setLook(r, c, alignMask, value);
    }
    cellsChanged(row1, col1, row2, col2);
}

int GridStore::pictureIndex(const QIcon& picture)
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

void GridStore::setPicture(int row, int col, const QIcon& picture)
{
    if (!validCell(row, col))
        return;
    setLook(row, col, pictureMask, static_cast<quint32>(pictureIndex(picture)));
    cellsChanged(row, col, row, col);
}

int GridStore::pictureIndexAt(int row, int col) const
{
    return static_cast<int>(look(row, col) & pictureMask);
}

void GridStore::setMeasuredWidth(int row, int width)
{
    if (validRow(row))
        m_rows[static_cast<size_t>(row)].measured = static_cast<quint16>(std::clamp(width, 0, 0xffff));
}

void GridStore::forgetMeasuredWidths()
{
    for (Row& r : m_rows)
        r.measured = 0;
    ++m_firstCellGeneration;
}

QIcon GridStore::picture(int row, int col) const
{
    const quint32 index = look(row, col) & pictureMask;
    return index < m_pictures.size() ? m_pictures[index] : QIcon();
}
