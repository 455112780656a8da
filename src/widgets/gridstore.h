#pragma once

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QString>
#include <memory>
#include <span>
#include <vector>

// One row of a block a grid takes in one step (Grid::insertRows).
struct GridRow
{
    QString text; // the cells, TAB-separated from column 0 on, as addItem takes them
    QByteArray data;
    int level = 0;
    bool node = false;
    bool collapsed = false;
    int picture = -1; // column 0's picture: an index into the block's pictures, -1 for none
};

// The rows of a grid: texts, hidden data, outline levels and states, marks and cell looks, in grid row
// numbers (with one fixed row, row 0 is the header). A flat array, cheap to fill by the hundred thousand.
//
// The store knows nothing of views. Whoever presents it hears of each change through its observer, at the
// moment the change is made: rows that came are already in the store, rows that leave are still there.
class GridStore
{
public:
    class Observer
    {
    public:
        virtual void rowsInserted(int row, int count) = 0;
        virtual void rowsRemoving(int row, int count) = 0;
        // Fixed rows, columns, the outline or a level changed: what was presented no longer fits.
        virtual void reshaped() = 0;
        // Cells whose text or looks changed; the range may reach past the rows and columns.
        virtual void cellsChanged(int row1, int col1, int row2, int col2) = 0;

    protected:
        ~Observer() = default;
    };

    // Alignment codes as the grid's callers know them; 0 is "not set" for a cell.
    static constexpr int alignLeftCenter = 1;
    static constexpr int alignRightCenter = 7;
    static constexpr int alignGeneral = 9;
    static constexpr int maxLevel = 0x7fff;

    GridStore();
    ~GridStore();
    GridStore(const GridStore&) = delete;
    GridStore& operator=(const GridStore&) = delete;

    void setObserver(Observer* observer) { m_observer = observer; }

    // --- rows and columns
    int rows() const { return static_cast<int>(m_rows.size()); }
    // Never fewer than the fixed rows.
    void setRows(int n);
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int n); // 0 or 1
    int cols() const { return m_cols; }
    void setCols(int n);
    bool validRow(int row) const { return row >= 0 && row < rows(); }
    bool validCell(int row, int col) const { return validRow(row) && col >= 0 && col < m_cols; }
    // Orders a cell range's corners and clips it to the store; false when nothing is left of it.
    bool clipRange(int& row1, int& col1, int& row2, int& col2) const;
    bool isBooleanColumn(int col) const;
    void setBooleanColumn(int col, bool on);
    int columnAlignment(int col) const;
    void setColumnAlignment(int col, int code);
    bool outline() const { return m_outline; }
    void setOutline(bool on);

    void appendTabbed(QStringView tabSeparated);
    void insertRowAt(int row);
    // Inserts block before row; false when row is outside the rows or the block is empty.
    // The block's texts and data are moved into the store.
    bool insertRows(int row, std::span<GridRow> block, std::span<const QIcon> pictures);
    void removeRowAt(int row);

    QString text(int row, int col) const;
    // The cell's text in place; valid until the row changes.
    QStringView textView(int row, int col) const;
    void setText(int row, int col, QStringView text);
    QByteArray rowData(int row) const;
    void setRowData(int row, const QByteArray& data);

    // --- outline
    int level(int row) const;
    void setLevel(int row, int level);
    bool isNode(int row) const;
    void setNode(int row, bool node);
    bool isCollapsed(int row) const;
    void setCollapsed(int row, bool collapsed);
    // Whether the row was opened or closed, or came open, since the changes were last cleared.
    bool collapseChanged(int row) const
    {
        return validRow(row) && (m_rows[static_cast<size_t>(row)].flags & CollapseChanged);
    }
    void markCollapseChanged(int row);
    void clearCollapseChanges();
    // Whether rows [row, row + count) are whole subtrees of neighbouring siblings: no row outside them
    // has its parent among them, so they can come or go without any other row changing its parent.
    bool wholeSubtrees(int row, int count) const;
    // Counts changes of structure, levels and collapsed states: tells whether a handler acted.
    quint64 outlineGeneration() const { return m_outlineGeneration; }

    // --- marks
    bool isSelected(int row) const;
    // Fixed rows are never marked.
    void setSelected(int row, bool selected);
    void clearSelected();
    // Marked rows past the fixed rows, top to bottom.
    const std::vector<int>& selectedRows() const;

    // --- cell looks; a range's corners may come in any order and reach past the store
    bool isBold(int row, int col) const;
    void setBold(int row1, int col1, int row2, int col2, bool bold);
    int alignment(int row, int col) const; // the cell's own code, else its column's
    void setAlignment(int row1, int col1, int row2, int col2, int code);
    void setPicture(int row, int col, const QIcon& picture);
    QIcon picture(int row, int col) const;
    int pictureIndexAt(int row, int col) const; // 0: none

    // The width of a row's first cell text as a view last measured it, 0 when it was not measured since
    // the text or its looks changed.
    int measuredWidth(int row) const { return validRow(row) ? m_rows[static_cast<size_t>(row)].measured : 0; }
    void setMeasuredWidth(int row, int width);
    void forgetMeasuredWidths();
    // Counts changes of first-cell texts and looks: tells whether a measured width may be out of date.
    quint64 firstCellGeneration() const { return m_firstCellGeneration; }

    // Keeps *row pointing at the same grid row while rows are inserted and removed above it; a removed
    // row becomes -1.
    void trackRow(int* row);
    void untrackRow(int* row);

private:
    struct Row
    {
        // Cells packed into one string: cell count, each cell's end offset, then the texts back to back;
        // or, with PlainText, the first cell's text alone.
        QString cells;
        QByteArray data;
        // Per cell: picture index (bits 0-15), alignment code (16-19), bold (20). The first cell's in
        // place, the others' only up to the last that has a look of its own.
        std::unique_ptr<quint32[]> looks; // from column 1 on
        quint32 firstLook = 0;
        quint16 lookCount = 0;
        quint16 level = 0;
        quint16 measured = 0;
        quint8 flags = 0;
    };
    enum RowFlag : quint8
    {
        Node = 1,
        Collapsed = 2,
        Selected = 4,
        CollapseChanged = 8,
        PlainText = 16, // cells holds the first cell's text alone, not packed
    };
    struct ColumnInfo
    {
        bool boolean = false;
        int alignment = 0;
    };

    static int cellCount(const Row& row);
    static QStringView cellOf(const Row& row, int col);
    static QString packCells(const std::vector<QStringView>& cells);
    quint32 look(int row, int col) const;
    void setLook(int row, int col, quint32 mask, quint32 value);
    int pictureIndex(const QIcon& picture);
    // Grid rows [row, row + count) came into the store, or are about to leave it.
    void rowsCame(int row, int count);
    void rowsLeaving(int row, int count);
    void reshaped();
    void cellsChanged(int row1, int col1, int row2, int col2);
    void rowsShifted(int from, int delta);
    void rowsDropped(int from, int count);

    std::vector<Row> m_rows;
    std::vector<ColumnInfo> m_columns;
    int m_fixedRows = 0;
    int m_cols = 1;
    bool m_outline = false;
    std::vector<QIcon> m_pictures{QIcon()}; // index 0: no picture
    QHash<qint64, int> m_pictureIndex;
    std::vector<int*> m_tracked;
    quint64 m_outlineGeneration = 0;
    quint64 m_firstCellGeneration = 0;
    mutable std::vector<int> m_selectedCache;
    mutable bool m_selectedDirty = true;
    Observer* m_observer = nullptr;
};
