#pragma once

#include <QWidget>

class QIcon;
class QTreeView;
class GridModel;

// The grid both the folder tree (fgTree) and the drawing list (fgFiles) are made of.
//
// Rows and columns count from 0. With one fixed row, row 0 is the header: its texts are the column
// headers and it is never selected or scrolled away. Rows carry an outline level, a node flag and a
// collapsed state, so a grid can show a tree; a row's children are the rows after it with a deeper level.
// Widths, positions and the coordinates of notifications are in twips.
//
// Row store: a flat array of rows, cheap to append to by the hundred thousand. While redraw is off the
// view is not told of changes and no notification is raised; turning redraw on shows the new state at once.
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

    // Appends one row whose cells are the TAB-separated parts of text, from column 0 on.
    void addItem(const QString& tabSeparated);
    // Inserts an empty row before row (at the end when row == rows()).
    void insertRow(int row);
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
    QTreeView* view() const;

signals:
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    // Key codes are the Windows virtual-key numbers (37 Left, 38 Up, 39 Right, 40 Down, 32 Space, ...).
    void keyDown(int keyCode, Qt::KeyboardModifiers modifiers);
    void keyUp(int keyCode, Qt::KeyboardModifiers modifiers);
    void dblClick();
    // Before any expansion or collapse the user starts; set cancel to keep the state. row < 0 concerns a
    // whole outline level.
    void beforeCollapse(int row, bool collapse, bool& cancel);
    void beforeEdit(int row, int col, bool& cancel);
    // A dragged widget was dropped on the grid at x, y (twips, grid coordinates).
    void dragDrop(QWidget* source, int xTwips, int yTwips);

private:
    GridModel* m_model;
    QTreeView* m_view;
};
