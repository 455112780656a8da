#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QString>
#include <climits>
#include <memory>
#include <span>
#include <vector>

struct GridRow;

// The row store behind a Grid and the item model a view sees of it.
//
// Rows are grid rows: with one fixed row, row 0 is the header and the model's rows are grid rows 1 to n.
// When the grid is an outline, a row's parent is the nearest row above it with a lower level.
//
// The store changes at once; views learn of structural changes only through announce(). Until then the
// model keeps answering structural questions from what it last announced, so a view that looks in between
// (to paint, say) finds a consistent, if dated, picture and never an index the model cannot serve.
class GridModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridModel)

public:
    enum class Announced
    {
        Nothing,
        Rows,  // rows were removed and inserted; views keep their state for the rows above
        Reset, // views lost their expansion, selection and current index
    };
    // Alignment codes as the grid's callers know them; 0 is "not set" for a cell.
    static constexpr int alignLeftCenter = 1;
    static constexpr int alignRightCenter = 7;
    static constexpr int alignGeneral = 9;
    static constexpr int maxLevel = 0x7fff;

    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    // --- store: rows and columns (grid row numbers)
    int rows() const { return static_cast<int>(m_rows.size()); }
    void setRows(int n);
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int n);
    int cols() const { return m_cols; }
    void setCols(int n);
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
    void clearCollapseChanges();
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    void clearSelected();
    // Selected rows past the fixed rows, top to bottom.
    const std::vector<int>& selectedRows() const;

    bool isBold(int row, int col) const;
    void setBold(int row, int col, bool bold);
    int alignment(int row, int col) const; // the cell's own code, else its column's
    void setAlignment(int row, int col, int code);
    void setPicture(int row, int col, const QIcon& picture);
    QIcon picture(int row, int col) const;
    int pictureIndexAt(int row, int col) const; // 0: none
    const QFont& boldFont() const { return m_boldFont; }

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
    // Counts changes of structure, levels and collapsed states: tells whether a handler acted.
    quint64 outlineGeneration() const { return m_outlineGeneration; }

    // --- presentation
    bool hasPending() const { return hasPendingStructure() || m_dataPending; }
    bool hasPendingStructure() const { return m_resetPending || m_tailFrom != INT_MAX || !m_edits.empty(); }
    Announced announce();
    // While quiet, views hear of nothing until announce(): redraw is off.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    // Tells views of changed cells now, or at the next announce() while quiet or structure is pending.
    void cellsChanged(int row1, int col1, int row2, int col2);
    QModelIndex indexOfRow(int row, int col = 0) const;
    int rowOfIndex(const QModelIndex& index) const; // grid row, -1 when invalid
    bool hasPresentedChildren(int row) const;

    // --- QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

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
    // Rows that came or went since the last announce, in model rows as they were at the time. An outline
    // that only gained or lost whole subtrees tells views so, edit by edit, instead of resetting them.
    struct Edit
    {
        int first;
        int count;
        bool insert;
        std::vector<quint16> levels; // of inserted rows
    };
    static constexpr size_t maxEdits = 16;

    bool validRow(int row) const { return row >= 0 && row < rows(); }
    bool validCell(int row, int col) const { return validRow(row) && col >= 0 && col < m_cols; }
    static int cellCount(const Row& row);
    static QStringView cellOf(const Row& row, int col);
    static QString packCells(const std::vector<QStringView>& cells);
    quint32 look(int row, int col) const;
    void setLook(int row, int col, quint32 mask, quint32 value);
    int pictureIndex(const QIcon& picture);
    // Grid rows [row, row + count) came into the store, or are about to leave it.
    void rowsCame(int row, int count);
    void rowsLeaving(int row, int count);
    void noteStructure();
    void needReset();
    bool editable() const;
    bool wholeSubtrees(int row, int count) const;
    void presentEdit(const Edit& edit);
    void moveParentsOfPersistent(int from, int count, bool insert);
    // Model rows between what views were last told and the store; -1 when the row is not in the other.
    int storeRowOf(int shownRow) const;
    int shownRowOf(int storeRow) const;
    QModelIndex shownIndex(int shownRow) const;
    void buildOutline();
    void rowsShifted(int from, int delta);
    void rowsDropped(int from, int count);
    void takeSnapshot();
    void announceAllData();
    void outlineDataChanged();
    int presentedRow(const QModelIndex& index) const; // model row as last announced, -1 when invalid

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
    QFont m_boldFont;

    // What views were last told: rows and columns, and for an outline each presented row's parent and
    // children (model rows; the root is -1). A child index carries its parent's row + 1 as internal id.
    int m_shownRows = 0;
    int m_shownCols = 0;
    int m_shownFixed = 0;
    bool m_shownOutline = false;
    std::vector<int> m_parentOf;
    std::vector<int> m_childPos;
    std::vector<int> m_childStart; // per parent + 1; children of p are m_kids[start[p+1] .. start[p+2])
    std::vector<int> m_kids;
    std::vector<quint16> m_shownLevels;
    std::vector<Edit> m_edits;
    size_t m_editsShown = 0; // edits views have been told of, while announce() tells them
    bool m_resetPending = false;
    int m_tailFrom = INT_MAX; // first model row whose structure changed since the last announce (flat)
    bool m_dataPending = false;
    bool m_quiet = false;
};
