#pragma once

#include "widgets/gridstore.h"

#include <QAbstractItemModel>
#include <QFont>
#include <climits>
#include <vector>

// The item model a view sees of a grid's row store.
//
// Rows are grid rows: with one fixed row, row 0 is the header and the model's rows are grid rows 1 to n.
// When the grid is an outline, a row's parent is the nearest row above it with a lower level.
//
// The store changes at once; views learn of structural changes only through announce(). Until then the
// model keeps answering structural questions from what it last announced, so a view that looks in between
// (to paint, say) finds a consistent, if dated, picture and never an index the model cannot serve.
class GridModel final : public QAbstractItemModel, private GridStore::Observer
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

    // The model observes store from here on; the store must outlive it.
    explicit GridModel(GridStore& store, QObject* parent = nullptr);
    ~GridModel() override;

    const QFont& boldFont() const { return m_boldFont; }

    bool hasPending() const { return hasPendingStructure() || m_dataPending; }
    bool hasPendingStructure() const { return m_resetPending || m_tailFrom != INT_MAX || !m_edits.empty(); }
    Announced announce();
    // While quiet, views hear of nothing until announce(): redraw is off.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    // Tells views of changed cells now, or at the next announce() while quiet or structure is pending.
    void cellsChanged(int row1, int col1, int row2, int col2) override;
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

    // --- GridStore::Observer
    void rowsInserted(int row, int count) override;
    void rowsRemoving(int row, int count) override;
    void reshaped() override;

    void rowsChanged(int row, int count, bool insert);
    bool editable() const;
    void presentEdit(const Edit& edit);
    void moveParentsOfPersistent(int from, int count, bool insert);
    // Model rows between what views were last told and the store; -1 when the row is not in the other.
    int storeRowOf(int shownRow) const;
    int shownRowOf(int storeRow) const;
    QModelIndex shownIndex(int shownRow) const;
    void buildOutline();
    void takeSnapshot();
    void announceAllData();
    void outlineDataChanged();
    int presentedRow(const QModelIndex& index) const; // model row as last announced, -1 when invalid

    GridStore& m_store;
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
