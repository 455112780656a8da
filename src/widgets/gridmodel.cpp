#include "widgets/gridmodel.h"

#include <algorithm>
#include <iterator>

namespace {

bool isTrueText(QStringView text)
{
    return text == u"-1" || text == u"1" || text.compare(u"true", Qt::CaseInsensitive) == 0;
}

} // namespace

GridModel::GridModel(GridStore& store, QObject* parent) : QAbstractItemModel(parent), m_store(store)
{
    m_boldFont.setBold(true);
    m_store.setObserver(this);
}

GridModel::~GridModel()
{
    m_store.setObserver(nullptr);
}

// ---------------------------------------------------------------- what the store tells

void GridModel::reshaped()
{
    m_resetPending = true;
    m_edits.clear();
}

bool GridModel::editable() const
{
    return m_store.outline() && m_shownOutline && !m_resetPending && m_shownFixed == m_store.fixedRows() &&
           m_edits.size() < maxEdits;
}

void GridModel::rowsInserted(int row, int count)
{
    rowsChanged(row, count, true);
}

void GridModel::rowsRemoving(int row, int count)
{
    rowsChanged(row, count, false);
}

void GridModel::rowsChanged(int row, int count, bool insert)
{
    const int fixed = m_store.fixedRows();
    if (!m_store.outline() && !m_shownOutline) {
        m_tailFrom = std::min(m_tailFrom, std::max(0, row - fixed));
        return;
    }
    if (!editable() || !m_store.wholeSubtrees(row, count)) {
        reshaped();
        return;
    }
    Edit edit{row - fixed, count, insert, {}};
    if (insert) {
        edit.levels.reserve(static_cast<size_t>(count));
        for (int r = row; r < row + count; ++r)
            edit.levels.push_back(static_cast<quint16>(m_store.level(r)));
    }
    m_edits.push_back(std::move(edit));
}

// ---------------------------------------------------------------- presentation

void GridModel::cellsChanged(int row1, int col1, int row2, int col2)
{
    row1 = std::max(row1, 0);
    row2 = std::min(row2, m_store.rows() - 1);
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
    if (m_resetPending || m_shownFixed != m_store.fixedRows() || m_shownCols != m_store.cols() ||
        m_shownOutline != m_store.outline()) {
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
        const int n = m_store.rows() - m_store.fixedRows();
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
            m_store.markCollapseChanged(store + m_shownFixed);
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
    m_shownFixed = m_store.fixedRows();
    m_shownRows = m_store.rows() - m_shownFixed;
    m_shownCols = m_store.cols();
    m_shownOutline = m_store.outline();
    m_shownLevels.clear();
    if (m_shownOutline) {
        m_shownLevels.reserve(static_cast<size_t>(m_shownRows));
        for (int r = m_shownFixed; r < m_store.rows(); ++r)
            m_shownLevels.push_back(static_cast<quint16>(m_store.level(r)));
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
    if (mr < 0 || !m_store.validCell(row, col))
        return {}; // a dated presentation may name rows that are gone
    switch (role) {
    case Qt::DisplayRole:
        if (m_store.isBooleanColumn(col))
            return {};
        return m_store.text(row, col);
    case Qt::EditRole:
        return m_store.text(row, col);
    case Qt::CheckStateRole:
        if (!m_store.isBooleanColumn(col))
            return {};
        return isTrueText(m_store.textView(row, col)) ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole: {
        const QIcon icon = m_store.picture(row, col);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::FontRole:
        return m_store.isBold(row, col) ? QVariant(m_boldFont) : QVariant();
    case Qt::TextAlignmentRole:
        switch (m_store.alignment(row, col)) {
        case GridStore::alignLeftCenter:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case GridStore::alignRightCenter:
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
    m_store.setText(row, index.column(), value.toString());
    return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || m_shownFixed == 0 || section < 0 || section >= m_shownCols)
        return {};
    if (role == Qt::DisplayRole)
        return m_store.text(0, section);
    if (role == Qt::TextAlignmentRole && m_store.columnAlignment(section) == GridStore::alignRightCenter)
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
