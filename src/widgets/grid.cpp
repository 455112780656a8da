#include "widgets/grid.h"

#include "widgets/gridmodel.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Windows virtual-key numbers, which the program's key handlers are written in; 0 for keys without one.
int windowsKeyCode(const QKeyEvent* event)
{
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key; // 65-90 in both
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? 96 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return keypad ? 107 : 187;
    case Qt::Key_Minus:
        return keypad ? 109 : 189;
    case Qt::Key_Comma:
        return 188;
    case Qt::Key_Period:
        return keypad ? 110 : 190;
    case Qt::Key_Slash:
        return keypad ? 111 : 191;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    default:
        return 0;
    }
}

Qt::KeyboardModifiers plainModifiers(Qt::KeyboardModifiers modifiers)
{
    return modifiers & ~Qt::KeypadModifier;
}

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// Text widths as sums of character advances, a small fraction of what a text layout costs: a tree of
// tens of thousands of folders is measured as it opens. Text whose glyphs depend on their neighbours
// (combining marks, scripts that join or reorder) is laid out as a whole.
class TextWidths
{
public:
    // Takes the font the texts are shown in; true when it differs from the last one.
    bool use(const QFont& font)
    {
        const QString key = font.key();
        if (m_metrics && key == m_key)
            return false;
        m_key = key;
        m_metrics.emplace(font);
        m_advances.assign(tableSize, unknown);
        return true;
    }

    // At least the width a text layout gives the text, rounded up to pixels.
    int width(QStringView text)
    {
        qint64 sum = 0; // in 1/64 pixels, as the font engines count
        const char16_t* const end = text.utf16() + text.size();
        for (const char16_t* c = text.utf16(); c != end; ++c) {
            qint32 advance = *c < tableSize ? m_advances[*c] : complex;
            if (advance == unknown)
                advance = m_advances[*c] = measure(*c);
            if (advance == complex)
                return static_cast<int>(std::ceil(m_metrics->horizontalAdvance(text.toString())));
            sum += advance;
        }
        return static_cast<int>((sum + 63) / 64);
    }

private:
    static constexpr char16_t tableSize = 0x2500;
    static constexpr qint32 unknown = -1;
    static constexpr qint32 complex = -2;

    qint32 measure(char16_t c) const
    {
        if (!isSimple(c))
            return complex;
        return static_cast<qint32>(std::ceil(m_metrics->horizontalAdvance(QChar(c)) * 64));
    }

    static bool isSimple(char16_t c)
    {
        if (c < 0x0300)
            return true;
        if (c < 0x0370)
            return false; // combining diacritical marks
        if (c < 0x0590)
            return c < 0x0483 || c > 0x0489; // Greek, Cyrillic without its combining marks
        if (c < 0x1e00)
            return false; // Hebrew, Arabic, Indic and other shaped scripts
        if (c < 0x2000)
            return true; // Latin and Greek extended
        if (c < tableSize)
            return (c >= 0x2010 && c < 0x2028) || (c >= 0x2030 && c < 0x2060) || c >= 0x2070;
        return false;
    }

    QString m_key;
    std::optional<QFontMetricsF> m_metrics;
    std::vector<qint32> m_advances;
};

} // namespace

// The grid's cells drawn as any item view draws them; it also tells what a row would need around its text.
class GridDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The width the row at index would take with text in place of its own.
    int widthWithText(const QStyleOptionViewItem& base, const QModelIndex& index, const QString& text) const
    {
        QStyleOptionViewItem option = base;
        initStyleOption(&option, index);
        option.text = text;
        const QWidget* widget = option.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        return style->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), widget).width();
    }
};

// The tree view that takes the grid's input: outline buttons, keys and double clicks go through the
// grid, which asks its program before it opens or closes anything.
class GridView final : public QTreeView
{
public:
    explicit GridView(Grid* grid) : QTreeView(grid), m_grid(grid), m_delegate(new GridDelegate(this))
    {
        setItemDelegate(m_delegate);
    }

    // A tree that follows its rows is as wide as its widest open row, every row counted; each row is
    // measured once, when it is first shown, and again only when its text or looks change.
    int sizeHintForColumn(int column) const override
    {
        if (column != 0 || !m_grid->m_fitTree)
            return QTreeView::sizeHintForColumn(column);
        // The header asks several times while a change settles; the answer stands until something changes.
        const GridModel& model = *m_grid->m_model;
        const FitKey key{model.outlineGeneration(), model.firstCellGeneration(), font(), style(), iconSize(),
                         indentation(), rootIsDecorated()};
        if (m_fitted && m_fittedKey == key)
            return *m_fitted;
        const int width = fittedWidth();
        if (width < 0)
            return QTreeView::sizeHintForColumn(column);
        m_fitted = width;
        m_fittedKey = key;
        return width;
    }

    // As Qt scrolls to a row, and in a tree wider than the grid so that the row's picture and the start of its
    // text (some eight characters) are in view: Qt would show the column's left edge, which for a deep folder
    // is indentation only. Where they show already, the tree is not scrolled sideways.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override
    {
        QScrollBar* bar = horizontalScrollBar();
        const int before = bar->value();
        QTreeView::scrollTo(index, hint);
        if (!m_grid->m_model->outline() || !index.isValid() || index.column() != treePosition())
            return;
        bar->setValue(before);
        const QRect rect = visualRect(index);
        const int width = std::min(rect.width(), sizeHintForIndex(index).width());
        const int start = std::min(width, iconSize().width() + 8 * fontMetrics().averageCharWidth());
        const int shown = viewport()->width();
        if (rect.isEmpty() || (rect.left() >= 0 && rect.left() + start <= shown))
            return;
        // The outline button before it too, where there is room.
        const int margin = std::clamp(shown - width, 0, indentation());
        bar->setValue(bar->value() + rect.left() - margin);
    }

    void relayout()
    {
        executeDelayedItemsLayout();
        updateGeometries();
    }

    // The row whose outline button is at pos (viewport coordinates), -1 when there is none.
    int outlineButtonAt(QPoint pos) const
    {
        if (!m_grid->m_model->outline())
            return -1;
        const QModelIndex index = indexAt(pos);
        if (!index.isValid() || index.column() != 0)
            return -1;
        const QRect rect = visualRect(index);
        if (pos.x() >= rect.left() || pos.x() < rect.left() - indentation())
            return -1;
        const int row = m_grid->m_model->rowOfIndex(index);
        return m_grid->m_model->hasPresentedChildren(row) ? row : -1;
    }

protected:
    bool event(QEvent* event) override
    {
        if (!admit(event))
            return true;
        return QTreeView::event(event);
    }

    bool viewportEvent(QEvent* event) override
    {
        if (!admit(event))
            return true;
        return QTreeView::viewportEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return; // other buttons leave the marks and the current row alone; the program reacts on release
        const int row = outlineButtonAt(event->position().toPoint());
        if (row >= 0) {
            m_grid->userOutline(row, !m_grid->m_model->isCollapsed(row));
            return;
        }
        QTreeView::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const QPoint pos = event->position().toPoint();
        if (event->button() != Qt::LeftButton || outlineButtonAt(pos) >= 0)
            setState(NoState);
        else
            QTreeView::mouseReleaseEvent(event);
        emit m_grid->mouseUp(event->button(), event->modifiers(), viewport()->mapTo(m_grid, pos));
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        if (outlineButtonAt(pos) >= 0) {
            mousePressEvent(event); // a second click on the button toggles again
            return;
        }
        const quint64 before = m_grid->m_model->outlineGeneration();
        QTreeView::mouseDoubleClickEvent(event);
        emit m_grid->dblClick();
        m_grid->sync();
        // The program's handler may open or close the row itself; doing it here as well would undo it.
        if (m_grid->m_model->outlineGeneration() != before || !m_grid->m_redraw)
            return;
        const int row = m_grid->m_model->rowOfIndex(indexAt(pos));
        if (row >= 0 && m_grid->m_model->hasPresentedChildren(row))
            m_grid->userOutline(row, !m_grid->m_model->isCollapsed(row));
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const quint64 before = m_grid->m_model->outlineGeneration();
        emit m_grid->keyDown(windowsKeyCode(event), plainModifiers(event->modifiers()));
        m_grid->sync();
        if (!m_grid->m_redraw)
            return;
        if (m_grid->m_model->outline() && outlineKey(event)) {
            // As with double clicks: what the program's handler did already stands.
            if (m_grid->m_model->outlineGeneration() == before)
                outlineKeyAction(event->key());
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
    }

    void keyReleaseEvent(QKeyEvent* event) override
    {
        QTreeView::keyReleaseEvent(event);
        emit m_grid->keyUp(windowsKeyCode(event), plainModifiers(event->modifiers()));
    }

    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        if (!m_grid->m_editable)
            return false;
        const bool starts = (trigger & editTriggers()) || trigger == AllEditTriggers;
        if (starts && state() != EditingState && index.isValid()) {
            bool cancel = false;
            emit m_grid->beforeEdit(m_grid->m_model->rowOfIndex(index), index.column(), cancel);
            if (cancel)
                return false;
        }
        return QTreeView::edit(index, trigger, event);
    }

private:
    // Input waits while redraw is off (the view would act on rows that are no longer there); before
    // anything else the view is brought up to date.
    bool admit(QEvent* event)
    {
        const bool input = isInput(event->type());
        if (!input && event->type() != QEvent::Paint)
            return true;
        if (!m_grid->m_redraw)
            return !input;
        m_grid->sync();
        return true;
    }

    static bool outlineKey(const QKeyEvent* event)
    {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Asterisk:
            return event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
        default:
            return false;
        }
    }

    void outlineKeyAction(int key)
    {
        if (key == Qt::Key_Asterisk) {
            m_grid->userOutline(-1, false);
            return;
        }
        const int row = m_grid->m_current;
        if (row < 0 || !m_grid->m_model->hasPresentedChildren(row))
            return;
        const bool open = key == Qt::Key_Right || key == Qt::Key_Plus;
        if (m_grid->m_model->isCollapsed(row) == open)
            m_grid->userOutline(row, !open);
    }

    // The width of the widest open row, -1 when a row cannot be measured yet.
    int fittedWidth() const
    {
        GridModel& model = *m_grid->m_model;
        const QFont plain = font();
        const QFont bold = model.boldFont().resolve(plain);
        const bool plainChanged = m_plainWidths.use(plain);
        if (m_boldWidths.use(bold) || plainChanged)
            model.forgetMeasuredWidths();

        QStyleOptionViewItem option;
        initViewItemOption(&option);
        // What a row needs beside its text, by picture and weight; the style gives it for a one-letter text.
        struct Frame
        {
            quint32 key;
            int width;
        };
        std::vector<Frame> frames;
        const auto frameOf = [&](int row, bool isBold) -> int {
            const quint32 key = static_cast<quint32>(model.pictureIndexAt(row, 0)) << 1 | (isBold ? 1u : 0u);
            for (const Frame& frame : frames) {
                if (frame.key == key)
                    return frame.width;
            }
            const QModelIndex index = model.indexOfRow(row);
            if (!index.isValid())
                return -1;
            const QString letter = QStringLiteral("x");
            const int width = m_delegate->widthWithText(option, index, letter) -
                              (isBold ? m_boldWidths : m_plainWidths).width(letter);
            frames.push_back({key, width});
            return width;
        };

        struct Ancestor
        {
            int level;
            bool open;
        };
        std::vector<Ancestor> ancestors;
        int closed = 0;
        int widest = 0;
        const int decorated = rootIsDecorated() ? 1 : 0;
        for (int r = model.fixedRows(); r < model.rows(); ++r) {
            const int level = model.level(r);
            while (!ancestors.empty() && ancestors.back().level >= level) {
                closed -= ancestors.back().open ? 0 : 1;
                ancestors.pop_back();
            }
            const bool open = !model.isCollapsed(r);
            if (closed == 0) {
                const bool isBold = model.isBold(r, 0);
                int text = model.measuredWidth(r) - 1;
                if (text < 0) {
                    text = (isBold ? m_boldWidths : m_plainWidths).width(model.textView(r, 0));
                    model.setMeasuredWidth(r, text + 1);
                }
                const int frame = frameOf(r, isBold);
                if (frame < 0)
                    return -1;
                // One pixel more than the advances: kerning rarely widens a name, and never by more.
                const int depth = static_cast<int>(ancestors.size()) + decorated;
                widest = std::max(widest, depth * indentation() + frame + text + 1);
            }
            ancestors.push_back({level, open});
            closed += open ? 0 : 1;
        }
        return widest;
    }

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

    Grid* m_grid;
    GridDelegate* m_delegate;
    mutable TextWidths m_plainWidths;
    mutable TextWidths m_boldWidths;
    mutable std::optional<int> m_fitted;
    mutable FitKey m_fittedKey{};
};

// ---------------------------------------------------------------- construction

Grid::Grid(QWidget* parent)
    : QWidget(parent), m_model(new GridModel(this)), m_view(new GridView(this)), m_syncTimer(new QTimer(this)),
      m_colWidthTwips(1, -1), m_colHidden(1, false)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    m_view->setModel(m_model);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(false);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setItemsExpandable(false); // every opening and closing goes through userOutline()
    m_view->setExpandsOnDoubleClick(false);
    m_view->setRootIsDecorated(false);
    m_view->setSortingEnabled(false);
    m_view->setHeaderHidden(true);
    m_view->header()->setSectionsMovable(false);
    m_view->header()->setHighlightSections(false);
    m_view->viewport()->setAcceptDrops(true);
    m_view->header()->viewport()->setAcceptDrops(true);
    m_view->viewport()->installEventFilter(this);
    m_view->header()->viewport()->installEventFilter(this);

    m_model->trackRow(&m_current);
    m_model->trackRow(&m_scrollTo);

    m_syncTimer->setSingleShot(true);
    m_syncTimer->setInterval(0);
    connect(m_syncTimer, &QTimer::timeout, this, &Grid::sync);

    QItemSelectionModel* selection = m_view->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this, &Grid::writeBackSelection);
    connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (m_syncing || !current.isValid())
            return;
        m_current = m_model->rowOfIndex(current);
        m_currentCol = current.column();
    });
    connect(m_view, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!m_syncing)
            m_model->setCollapsed(m_model->rowOfIndex(index), false);
    });
    connect(m_view, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (!m_syncing)
            m_model->setCollapsed(m_model->rowOfIndex(index), true);
    });
    connect(m_view->header(), &QHeaderView::sectionResized, this, [this](int col, int, int size) {
        // The user dragged a column border (or the last column stretched): that is its width now.
        if (m_syncing || m_applyingColumns || col < 0 || col >= static_cast<int>(m_colWidthTwips.size()))
            return;
        if (m_view->header()->sectionResizeMode(col) == QHeaderView::ResizeToContents)
            return; // the tree follows its rows; no width of its own
        m_colWidthTwips[static_cast<size_t>(col)] = static_cast<int>(twips::fromPixels(size, this));
    });
}

Grid::~Grid()
{
    m_syncTimer->stop();
    // The view's parts send events and signals while they are torn down, when the view is no longer a
    // view; this object must not hear them. The view goes before the model it shows.
    m_view->viewport()->removeEventFilter(this);
    m_view->header()->viewport()->removeEventFilter(this);
    m_view->header()->disconnect(this);
    m_view->selectionModel()->disconnect(this);
    m_view->disconnect(this);
    delete m_view;
    m_view = nullptr;
    m_model->untrackRow(&m_current);
    m_model->untrackRow(&m_scrollTo);
}

// ---------------------------------------------------------------- bringing the view up to date

void Grid::scheduleSync()
{
    if (m_redraw && !m_syncTimer->isActive())
        m_syncTimer->start();
}

void Grid::sync()
{
    if (!m_redraw || m_syncing || !m_view)
        return;
    m_syncTimer->stop();
    if (!m_model->hasPending() && !m_selectionDirty && !m_currentDirty && !m_expansionDirty && !m_columnsDirty &&
        m_scrollTo < 0)
        return;
    m_syncing = true;
    const int scrollValue = m_view->verticalScrollBar()->value();
    const GridModel::Announced announced = m_model->announce();
    pushViewState(announced != GridModel::Announced::Nothing, announced == GridModel::Announced::Reset, scrollValue);
    m_syncing = false;
    m_view->viewport()->update();
}

void Grid::pushViewState(bool rowsChanged, bool reset, int scrollValue)
{
    if (reset || m_columnsDirty || rowsChanged)
        applyColumns();

    if (m_model->outline() && (reset || rowsChanged || m_expansionDirty)) {
        for (int r = m_model->fixedRows(); r < m_model->rows(); ++r) {
            if ((!reset && !m_model->collapseChanged(r)) || !m_model->hasPresentedChildren(r))
                continue;
            const QModelIndex index = m_model->indexOfRow(r);
            const bool open = !m_model->isCollapsed(r);
            if (reset ? open : m_view->isExpanded(index) != open)
                m_view->setExpanded(index, open);
        }
        m_model->clearCollapseChanges();
    }

    QItemSelectionModel* selection = m_view->selectionModel();
    if (rowsChanged || m_selectionDirty) {
        QItemSelection wanted;
        const std::vector<int>& rows = m_model->selectedRows();
        const int lastCol = m_model->cols() - 1;
        for (size_t i = 0; i < rows.size() && lastCol >= 0;) {
            // Runs of neighbouring rows make one range where they share a parent.
            size_t j = i + 1;
            if (!m_model->outline()) {
                while (j < rows.size() && rows[j] == rows[j - 1] + 1)
                    ++j;
            }
            wanted.append(QItemSelectionRange(m_model->indexOfRow(rows[i], 0),
                                              m_model->indexOfRow(rows[j - 1], lastCol)));
            i = j;
        }
        if (wanted.isEmpty())
            selection->clearSelection();
        else
            selection->select(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (rowsChanged || m_currentDirty) {
        const QModelIndex index = m_current >= 0 ? m_model->indexOfRow(m_current, m_currentCol) : QModelIndex();
        if (selection->currentIndex() != index)
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    if (reset) {
        // A reset forgets the scroll position; rows are added below the one the user looks at, so the
        // old position is the right one.
        m_view->relayout();
        m_view->verticalScrollBar()->setValue(scrollValue);
    }
    if (m_scrollTo >= 0) {
        m_view->scrollTo(m_model->indexOfRow(m_scrollTo, m_scrollCol));
        m_scrollTo = -1;
    }
    m_selectionDirty = m_currentDirty = m_expansionDirty = m_columnsDirty = false;
}

void Grid::applyColumns()
{
    m_applyingColumns = true;
    QHeaderView* header = m_view->header();
    // The header's least width, unless set, is worked out from its font each time it is asked, which is
    // at every layout of the rows: it is worked out once per font instead.
    if (!m_minimumSectionKnown || header->font() != m_headerFont) {
        header->setMinimumSectionSize(-1);
        header->setMinimumSectionSize(header->minimumSectionSize());
        m_headerFont = header->font();
        m_minimumSectionKnown = true;
    }
    m_view->setHeaderHidden(m_model->fixedRows() == 0);
    const int count = std::min(header->count(), m_model->cols());
    for (int c = 0; c < count; ++c) {
        header->setSectionHidden(c, m_colHidden[static_cast<size_t>(c)]);
        const int width = m_colWidthTwips[static_cast<size_t>(c)];
        if (width >= 0)
            header->resizeSection(c, twips::toPixels(width, this));
    }
    // A tree of one column is as wide as its widest shown row, with a scroll bar when that is wider than
    // the grid, so deep folders are never cut off.
    const bool fitTree = m_model->outline() && m_model->cols() == 1 && m_colWidthTwips[0] < 0;
    m_fitTree = fitTree && !m_model->isBooleanColumn(0);
    header->setStretchLastSection(!fitTree);
    m_view->setTextElideMode(fitTree ? Qt::ElideNone : Qt::ElideRight);
    if (count > 0)
        header->setSectionResizeMode(0, fitTree ? QHeaderView::ResizeToContents : QHeaderView::Interactive);
    m_applyingColumns = false;
}

void Grid::writeBackSelection(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (m_syncing)
        return;
    const auto apply = [this](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            for (int i = range.top(); i <= range.bottom(); ++i)
                m_model->setSelected(m_model->rowOfIndex(m_model->index(i, 0, range.parent())), on);
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

void Grid::userOutline(int row, bool collapse)
{
    if (!m_redraw)
        return;
    const bool wholeOutline = row < 0;
    bool cancel = false;
    // The handler may insert and remove rows (the tree reads a folder here); follow the row through it.
    m_model->trackRow(&row);
    emit beforeCollapse(wholeOutline ? -1 : row, collapse, cancel);
    m_model->untrackRow(&row);
    if (cancel)
        return;
    if (wholeOutline) {
        for (int r = m_model->fixedRows(); r < m_model->rows(); ++r)
            m_model->setCollapsed(r, collapse);
    } else if (row >= 0) {
        m_model->setCollapsed(row, collapse);
    }
    m_expansionDirty = true;
    sync();
}

bool Grid::validRow(int row) const
{
    return row >= m_model->fixedRows() && row < m_model->rows();
}

// ---------------------------------------------------------------- rows and columns

int Grid::rows() const
{
    return m_model->rows();
}

void Grid::setRows(int n)
{
    m_model->setRows(n);
    scheduleSync();
}

int Grid::fixedRows() const
{
    return m_model->fixedRows();
}

void Grid::setFixedRows(int n)
{
    m_model->setFixedRows(n);
    scheduleSync();
}

int Grid::cols() const
{
    return m_model->cols();
}

void Grid::setCols(int n)
{
    m_model->setCols(n);
    m_colWidthTwips.resize(static_cast<size_t>(m_model->cols()), -1);
    m_colHidden.resize(static_cast<size_t>(m_model->cols()), false);
    m_currentCol = std::clamp(m_currentCol, 0, std::max(0, m_model->cols() - 1));
    m_columnsDirty = true;
    scheduleSync();
}

void Grid::setColDataType(int col, DataType type)
{
    m_model->setBooleanColumn(col, type == DataType::Boolean);
    scheduleSync();
}

void Grid::setColHidden(int col, bool hidden)
{
    if (col < 0 || col >= cols())
        return;
    m_colHidden[static_cast<size_t>(col)] = hidden;
    m_columnsDirty = true;
    scheduleSync();
}

void Grid::setColAlignment(int col, Alignment alignment)
{
    m_model->setColumnAlignment(col, static_cast<int>(alignment));
    scheduleSync();
}

int Grid::colWidth(int col) const
{
    if (col < 0 || col >= cols())
        return 0;
    const int stored = m_colWidthTwips[static_cast<size_t>(col)];
    if (stored >= 0)
        return stored;
    const_cast<Grid*>(this)->sync();
    return static_cast<int>(twips::fromPixels(m_view->header()->sectionSize(col), this));
}

int Grid::colWidthForText(int col, const QString& text) const
{
    if (col < 0 || col >= cols())
        return 0;
    const_cast<Grid*>(this)->sync();
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.font = m_view->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    const int cell = m_view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), m_view).width();
    const int pixels = std::max(cell, m_view->header()->sectionSizeHint(col));
    return static_cast<int>(std::ceil(twips::fromPixels(pixels, this)));
}

void Grid::setColWidth(int col, int widthTwips)
{
    if (col < 0 || col >= cols() || widthTwips < 0)
        return;
    m_colWidthTwips[static_cast<size_t>(col)] = widthTwips;
    m_columnsDirty = true;
    scheduleSync();
}

void Grid::addItem(const QString& tabSeparated)
{
    m_model->appendTabbed(tabSeparated);
    scheduleSync();
}

void Grid::insertRow(int row)
{
    m_model->insertRowAt(row);
    scheduleSync();
}

void Grid::insertRows(int row, std::vector<GridRow> block, std::span<const QIcon> pictures)
{
    // New rows are closed in the view; open ones are opened there with the next sync.
    const bool open = std::any_of(block.begin(), block.end(), [](const GridRow& r) { return r.node && !r.collapsed; });
    if (!m_model->insertRows(row, block, pictures))
        return;
    m_expansionDirty = m_expansionDirty || open;
    scheduleSync();
}

void Grid::removeRow(int row)
{
    m_model->removeRowAt(row);
    scheduleSync();
}

QString Grid::textMatrix(int row, int col) const
{
    return m_model->text(row, col);
}

void Grid::setTextMatrix(int row, int col, const QString& text)
{
    m_model->setText(row, col, text);
    scheduleSync();
}

QByteArray Grid::rowData(int row) const
{
    return m_model->rowData(row);
}

void Grid::setRowData(int row, const QByteArray& data)
{
    m_model->setRowData(row, data);
}

// ---------------------------------------------------------------- outline

void Grid::setOutlineTree(bool on)
{
    m_model->setOutline(on);
    m_view->setRootIsDecorated(on);
    scheduleSync();
}

int Grid::rowOutlineLevel(int row) const
{
    return m_model->level(row);
}

void Grid::setRowOutlineLevel(int row, int level)
{
    m_model->setLevel(row, level);
    scheduleSync();
}

bool Grid::isNode(int row) const
{
    return m_model->isNode(row);
}

void Grid::setIsNode(int row, bool node)
{
    m_model->setNode(row, node);
}

bool Grid::isCollapsed(int row) const
{
    return m_model->isCollapsed(row);
}

void Grid::setIsCollapsed(int row, bool collapsed)
{
    m_model->setCollapsed(row, collapsed);
    m_expansionDirty = true;
    scheduleSync();
}

void Grid::collapseLevel(int level)
{
    for (int r = m_model->fixedRows(); r < m_model->rows(); ++r) {
        if (m_model->isNode(r) && m_model->level(r) >= level)
            m_model->setCollapsed(r, true);
    }
    m_expansionDirty = true;
    scheduleSync();
}

// ---------------------------------------------------------------- current row and view

int Grid::row() const
{
    return m_current;
}

void Grid::setRow(int row)
{
    if (row != -1 && !validRow(row))
        return;
    m_current = row;
    if (m_mode == SelectionMode::Single) {
        m_model->clearSelected();
        m_model->setSelected(row, true);
        m_selectionDirty = true;
    }
    m_currentDirty = true;
    scheduleSync();
}

int Grid::col() const
{
    return m_currentCol;
}

void Grid::setCol(int col)
{
    if (col < 0 || col >= cols())
        return;
    m_currentCol = col;
    m_currentDirty = true;
    scheduleSync();
}

void Grid::showCell(int row, int col)
{
    if (!validRow(row))
        return;
    m_scrollTo = row;
    m_scrollCol = std::clamp(col, 0, std::max(0, cols() - 1));
    scheduleSync();
}

int Grid::topRow() const
{
    const_cast<Grid*>(this)->sync();
    return m_model->rowOfIndex(m_view->indexAt(QPoint(0, 0)));
}

// ---------------------------------------------------------------- cell looks

namespace {

// Orders and clips a cell range to the grid; false when nothing is left of it.
bool clipRange(int& row1, int& col1, int& row2, int& col2, int rows, int cols)
{
    if (row1 > row2)
        std::swap(row1, row2);
    if (col1 > col2)
        std::swap(col1, col2);
    row1 = std::max(row1, 0);
    col1 = std::max(col1, 0);
    row2 = std::min(row2, rows - 1);
    col2 = std::min(col2, cols - 1);
    return row1 <= row2 && col1 <= col2;
}

} // namespace

void Grid::setCellBold(int row1, int col1, int row2, int col2, bool bold)
{
    if (!clipRange(row1, col1, row2, col2, rows(), cols()))
        return;
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c)
            m_model->setBold(r, c, bold);
    }
    m_model->cellsChanged(row1, col1, row2, col2);
    scheduleSync();
}

bool Grid::isCellBold(int row, int col) const
{
    return m_model->isBold(row, col);
}

void Grid::setCellPicture(int row, int col, const QIcon& picture)
{
    m_model->setPicture(row, col, picture);
    scheduleSync();
}

void Grid::setCellAlignment(int row1, int col1, int row2, int col2, Alignment alignment)
{
    if (!clipRange(row1, col1, row2, col2, rows(), cols()))
        return;
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c)
            m_model->setAlignment(r, c, static_cast<int>(alignment));
    }
    m_model->cellsChanged(row1, col1, row2, col2);
    scheduleSync();
}

// ---------------------------------------------------------------- selection

void Grid::setSelectionMode(SelectionMode mode)
{
    m_mode = mode;
    m_view->setSelectionMode(mode == SelectionMode::Single ? QAbstractItemView::SingleSelection
                                                           : QAbstractItemView::ExtendedSelection);
    if (mode == SelectionMode::Single) {
        m_model->clearSelected();
        m_model->setSelected(m_current, true);
        m_selectionDirty = true;
        scheduleSync();
    }
}

int Grid::selectedRows() const
{
    return static_cast<int>(m_model->selectedRows().size());
}

int Grid::selectedRow(int index) const
{
    const std::vector<int>& rows = m_model->selectedRows();
    return index >= 0 && index < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(index)] : -1;
}

void Grid::select(int row1, int col1, int row2, int col2)
{
    m_model->clearSelected();
    m_selectionDirty = true;
    // A range within the fixed rows selects no row: it only clears the marks.
    if (clipRange(row1, col1, row2, col2, rows(), cols())) {
        if (m_mode == SelectionMode::Single) {
            row2 = row1;
            if (validRow(row1)) {
                m_current = row1;
                m_currentDirty = true;
            }
        }
        for (int r = row1; r <= row2; ++r)
            m_model->setSelected(r, true);
    }
    scheduleSync();
}

void Grid::selectRows(const std::vector<int>& rows)
{
    m_model->clearSelected();
    m_selectionDirty = true;
    for (const int row : rows) {
        if (validRow(row) && row >= fixedRows())
            m_model->setSelected(row, true);
    }
    scheduleSync();
}

void Grid::clearSelection()
{
    m_model->clearSelected();
    m_selectionDirty = true;
    scheduleSync();
}

// ---------------------------------------------------------------- redraw

bool Grid::redraw() const
{
    return m_redraw;
}

void Grid::setRedraw(bool on)
{
    if (on == m_redraw)
        return;
    m_redraw = on;
    m_model->setQuiet(!on);
    if (on) {
        sync();
        m_view->setUpdatesEnabled(true);
    } else {
        m_syncTimer->stop();
        m_view->setUpdatesEnabled(false);
    }
}

// ---------------------------------------------------------------- placement

void Grid::setGeometryTwips(int left, int top, int width, int height)
{
    // A negative size is refused and that dimension stays as it is, as a window system would do.
    const QRect old = geometry();
    const QRect pixels(twips::toPixels(left, this), twips::toPixels(top, this),
                       width < 0 ? old.width() : twips::toPixels(width, this),
                       height < 0 ? old.height() : twips::toPixels(height, this));
    m_geometryTwips = QRect(left, top, width < 0 ? widthTwips() : width, height < 0 ? heightTwips() : height);
    setGeometry(pixels);
    m_geometryPixels = geometry();
}

int Grid::leftTwips() const
{
    return x() == m_geometryPixels.x() ? m_geometryTwips.x() : static_cast<int>(twips::fromPixels(x(), this));
}

int Grid::topTwips() const
{
    return y() == m_geometryPixels.y() ? m_geometryTwips.y() : static_cast<int>(twips::fromPixels(y(), this));
}

int Grid::widthTwips() const
{
    return width() == m_geometryPixels.width() ? m_geometryTwips.width()
                                                : static_cast<int>(twips::fromPixels(width(), this));
}

int Grid::heightTwips() const
{
    return height() == m_geometryPixels.height() ? m_geometryTwips.height()
                                                  : static_cast<int>(twips::fromPixels(height(), this));
}

int Grid::rowAt(QPoint pos) const
{
    const_cast<Grid*>(this)->sync();
    const QHeaderView* header = m_view->header();
    if (!header->isHidden() && header->geometry().contains(m_view->mapFrom(this, pos)))
        return 0;
    return m_model->rowOfIndex(m_view->indexAt(m_view->viewport()->mapFrom(this, pos)));
}

QTreeView* Grid::view() const
{
    const_cast<Grid*>(this)->sync();
    return m_view;
}

void Grid::setEditable(bool on)
{
    m_editable = on;
    m_view->setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                               : QAbstractItemView::NoEditTriggers);
}

// ---------------------------------------------------------------- dragged widgets

QString Grid::widgetMimeType()
{
    return QStringLiteral("application/x-vendrel-widget");
}

QMimeData* Grid::widgetDragData(QWidget* source)
{
    auto* data = new QMimeData;
    data->setData(widgetMimeType(), source ? source->objectName().toUtf8() : QByteArray());
    return data;
}

bool Grid::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool release = type == QEvent::MouseButtonRelease;
    if (!m_view || (!release && type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        return QWidget::eventFilter(watched, event);
    QWidget* header = m_view->header()->viewport();
    if (release) {
        if (watched != header || !m_redraw)
            return QWidget::eventFilter(watched, event);
        // The header row is part of the grid too.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        emit mouseUp(mouse->button(), mouse->modifiers(), header->mapTo(this, mouse->position().toPoint()));
        return QWidget::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    // Only a widget of this window, dragged with our data, is taken; the data names it when the drag
    // itself does not tell its source.
    QWidget* source = nullptr;
    if (drop->mimeData()->hasFormat(widgetMimeType())) {
        source = qobject_cast<QWidget*>(drop->source());
        const QString name = QString::fromUtf8(drop->mimeData()->data(widgetMimeType()));
        if (!source && !name.isEmpty())
            source = window()->findChild<QWidget*>(name);
    }
    if (!m_redraw || !source) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        const QPoint pos = static_cast<QWidget*>(watched)->mapTo(this, drop->position().toPoint());
        emit dragDrop(source, static_cast<int>(twips::fromPixels(pos.x(), this)),
                      static_cast<int>(twips::fromPixels(pos.y(), this)));
    }
    return true;
}
