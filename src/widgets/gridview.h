#pragma once

#include <QFontMetricsF>
#include <QTreeView>
#include <optional>
#include <vector>

class GridDelegate;
class GridModel;
class GridStore;

// What a grid's view asks of the grid it belongs to: the grid decides what input means and when the view
// is brought up to date.
class GridViewHost
{
public:
    // Brings the view up to date with every change made so far (while redraw is on).
    virtual void syncView() = 0;
    // Off while the program changes the rows: the view then takes no input.
    virtual bool redrawOn() const = 0;
    virtual int currentRow() const = 0;
    // The user asks to open or close a row (row < 0: every node); the program may cancel first.
    virtual void userOutline(int row, bool collapse) = 0;
    // Input the grid reports to its program. pos is in the view's viewport; key codes are Windows
    // virtual-key numbers.
    virtual void viewMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) = 0;
    virtual void viewKeyDown(int keyCode, Qt::KeyboardModifiers modifiers) = 0;
    virtual void viewKeyUp(int keyCode, Qt::KeyboardModifiers modifiers) = 0;
    virtual void viewDoubleClick() = 0;
    virtual void viewBeforeEdit(int row, int col, bool& cancel) = 0;

protected:
    ~GridViewHost() = default;
};

// Text widths as sums of character advances, a small fraction of what a text layout costs: a tree of
// tens of thousands of folders is measured as it opens. Text whose glyphs depend on their neighbours
// (combining marks, scripts that join or reorder) is laid out as a whole.
class TextWidths
{
public:
    // Takes the font the texts are shown in; true when it differs from the last one.
    bool use(const QFont& font);
    // At least the width a text layout gives the text, rounded up to pixels.
    int width(QStringView text);

private:
    static constexpr char16_t tableSize = 0x2500;
    static constexpr qint32 unknown = -1;
    static constexpr qint32 complex = -2;

    qint32 measure(char16_t c) const;
    static bool isSimple(char16_t c);

    QString m_key;
    std::optional<QFontMetricsF> m_metrics;
    std::vector<qint32> m_advances;
};

// The tree view that shows a grid and takes its input: outline buttons, keys and double clicks go through
// the grid, which asks its program before it opens or closes anything.
class GridView final : public QTreeView
{
public:
    GridView(GridStore& store, GridModel& model, GridViewHost& host, QWidget* parent);

    // A tree that follows its rows is as wide as its widest open row, every row counted; each row is
    // measured once, when it is first shown, and again only when its text or looks change.
    int sizeHintForColumn(int column) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void relayout();
    // The row whose outline button is at pos (viewport coordinates), -1 when there is none.
    int outlineButtonAt(QPoint pos) const;
    // Opens and closes rows as the store has them: every row with children after a reset, else the rows
    // whose state changed since the last time; the store's changes are cleared.
    void showExpansion(bool reset);
    // Selects exactly the store's marked rows.
    void showMarks();
    // The pixels column col needs to show its header and a cell of text (no picture) whole.
    int widthForText(int col, const QString& text) const;

    // Column 0 as wide as its widest open row (a tree of one column without a width of its own).
    void setFitTree(bool on) { m_fitTree = on; }
    bool isEditable() const { return m_editable; }
    void setEditable(bool on);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    struct FitKey
    {
        quint64 outline;
        quint64 firstCells;
        QFont font;
        const QStyle* style;
        QSize iconSize;
        int indentation;
        bool decorated;
        bool operator==(const FitKey&) const = default;
    };

    bool admit(QEvent* event);
    void outlineKeyAction(int key);
    int fittedWidth() const;

    GridStore& m_store;
    GridModel& m_model;
    GridViewHost& m_host;
    GridDelegate* m_delegate;
    bool m_fitTree = false;
    bool m_editable = false;
    mutable TextWidths m_plainWidths;
    mutable TextWidths m_boldWidths;
    mutable std::optional<int> m_fitted;
    mutable FitKey m_fittedKey{};
};
