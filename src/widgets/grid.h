#pragma once

#include "widgets/gridstore.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <span>
#include <vector>

class QIcon;
class QItemSelection;
class QMimeData;
class QTimer;
class QTreeView;
class GridModel;
class GridView;

// The grid both the folder tree (fgTree) and the drawing list (fgFiles) are made of.
//
// Rows and columns count from 0. With one fixed row, row 0 is the header: its texts are the column
// headers and it is never selected or scrolled away. Rows carry an outline level, a node flag and a
// collapsed state, so a grid can show a tree; a row's children are the rows after it with a deeper level.
// Widths, positions and the coordinates of notifications are in twips.
//
// The rows live in a GridStore, which a GridModel presents to a GridView. While redraw is off the view is
// not told of changes and no notification is raised; turning redraw on shows the new state at once.
class Grid final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Grid)

public:
    enum class Alignment
    {
        LeftCenter = 1,
        RightCenter = 7,
        General = 9,
    };
    enum class DataType
    {
        Text = 0,
        Boolean = 11,
    };
    enum class SelectionMode
    {
        Single,   // one current row (the tree)
        ListMulti // click, Ctrl+click, Shift+click select rows (the list)
    };

    explicit Grid(QWidget* parent = nullptr);
    ~Grid() override;

    // --- rows and columns
    int rows() const;
    // Fewer rows drops the rows past n (with their selection); more adds empty rows at level 0.
    void setRows(int n);
    int fixedRows() const;
    void setFixedRows(int n); // 0 or 1
    int cols() const;
    void setCols(int n);
    void setColDataType(int col, DataType type);
    void setColHidden(int col, bool hidden);
    void setColAlignment(int col, Alignment alignment);
    int colWidth(int col) const; // twips
    void setColWidth(int col, int widthTwips);
    // The width in twips column col needs to show its header and a cell of text (no picture) whole.
    int colWidthForText(int col, const QString& text) const;

    // Appends one row whose cells are the TAB-separated parts of text, from column 0 on.
    void addItem(const QString& tabSeparated);
    // Inserts an empty row before row (at the end when row == rows()).
    void insertRow(int row);
    // Inserts a block of rows before row (at the end when row == rows()) as one change: tens of thousands
    // cost little more than the copying of their texts.
    void insertRows(int row, std::vector<GridRow> block, std::span<const QIcon> pictures = {});
    void removeRow(int row);

    QString textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);
    // The hidden text of a row, as bytes: the tree keeps a folder's path here, the list a file's name.
    QByteArray rowData(int row) const;
    void setRowData(int row, const QByteArray& data);

    // --- outline
    void setOutlineTree(bool on); // show outline buttons and indentation in column 0
    int rowOutlineLevel(int row) const;
    void setRowOutlineLevel(int row, int level);
    bool isNode(int row) const; // the row is a node (may have children)
    void setIsNode(int row, bool node);
    bool isCollapsed(int row) const;
    void setIsCollapsed(int row, bool collapsed); // raises no notification
    // Collapses every node of the given level and deeper.
    void collapseLevel(int level);

    // --- current row and view
    int row() const; // current row, -1 when none
    void setRow(int row);
    int col() const;
    void setCol(int col);
    void showCell(int row, int col);
    int topRow() const;

    // --- cell looks
    void setCellBold(int row1, int col1, int row2, int col2, bool bold);
    bool isCellBold(int row, int col) const;
    void setCellPicture(int row, int col, const QIcon& picture); // left, vertically centred
    void setCellAlignment(int row1, int col1, int row2, int col2, Alignment alignment);

    // --- selection
    void setSelectionMode(SelectionMode mode);
    int selectedRows() const;
    int selectedRow(int index) const; // index-th selected row, top to bottom
    void select(int row1, int col1, int row2, int col2);
    // Exactly these rows selected (in a multi-row grid); rows outside the grid's data rows are passed over.
    void selectRows(const std::vector<int>& rows);
    void clearSelection();

    // --- redraw
    bool redraw() const;
    void setRedraw(bool on);

    // --- place within the parent, in twips
    void setGeometryTwips(int left, int top, int width, int height);
    int leftTwips() const;
    int topTwips() const;
    int widthTwips() const;
    int heightTwips() const;

    // The row under a point of the grid's own coordinates (pixels); -1 below the last row.
    int rowAt(QPoint pos) const;
    // The view, brought up to date with every change made so far (while redraw is on).
    QTreeView* view() const;

    // Cells are read-only unless the grid is editable; then an edit starts on double click or F2 and
    // beforeEdit may cancel it. Off by default.
    bool isEditable() const;
    void setEditable(bool on);

    // The drag data a widget carries to be dropped on a grid (dragDrop): start a QDrag with the widget as
    // its source and this as its data.
    static QMimeData* widgetDragData(QWidget* source);
    static QString widgetMimeType();

signals:
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    // Key codes are the Windows virtual-key numbers (37 Left, 38 Up, 39 Right, 40 Down, 32 Space, ...).
    void keyDown(int keyCode, Qt::KeyboardModifiers modifiers);
    void keyUp(int keyCode, Qt::KeyboardModifiers modifiers);
    void dblClick();
    // Before any expansion or collapse the user starts; set cancel to keep the state. row < 0 concerns a
    // whole outline level.
    void beforeCollapse(int row, bool collapse, bool& cancel);
    // Raised only while the grid is editable (setEditable).
    void beforeEdit(int row, int col, bool& cancel);
    // A dragged widget was dropped on the grid at x, y (twips, grid coordinates).
    void dragDrop(QWidget* source, int xTwips, int yTwips);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the view asks of the grid and tells it.
    class ViewHost;

    // Nothing reaches the view until sync(): changes pile up and are shown together, at the latest when
    // control returns to the event loop or the view is about to paint or take input.
    void scheduleSync();
    void sync();
    void pushViewState(bool rowsChanged, bool reset, int scrollValue);
    void applyColumns();
    // The user asks to open or close a row (row < 0: every node); the program may cancel first.
    void userOutline(int row, bool collapse);
    bool validRow(int row) const;
    void writeBackSelection(const QItemSelection& selected, const QItemSelection& deselected);

    GridStore m_store;
    std::unique_ptr<ViewHost> m_host;
    std::unique_ptr<GridModel> m_model; // goes before the store it observes
    GridView* m_view;
    QTimer* m_syncTimer;
    SelectionMode m_mode = SelectionMode::Single;
    bool m_redraw = true;
    bool m_syncing = false;
    bool m_applyingColumns = false;
    bool m_minimumSectionKnown = false;
    QFont m_headerFont;
    // Changes of view state waiting for sync().
    bool m_selectionDirty = false;
    bool m_currentDirty = false;
    bool m_expansionDirty = false;
    bool m_columnsDirty = false;
    // Grid rows, kept in step with inserted and removed rows by the store.
    int m_current = -1;
    int m_currentCol = 0;
    int m_scrollTo = -1;
    int m_scrollCol = 0;
    std::vector<int> m_colWidthTwips; // -1: the view's default width
    std::vector<bool> m_colHidden;
    // The last placement asked for in twips and the pixels it gave, so reading it back is exact.
    QRect m_geometryTwips;
    QRect m_geometryPixels;
};
