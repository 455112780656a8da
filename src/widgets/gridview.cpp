#include "widgets/gridview.h"

#include "widgets/gridmodel.h"
#include "widgets/gridstore.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

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

bool outlineKey(const QKeyEvent* event)
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

// ---------------------------------------------------------------- text widths

bool TextWidths::use(const QFont& font)
{
    const QString key = font.key();
    if (m_metrics && key == m_key)
        return false;
    m_key = key;
    m_metrics.emplace(font);
    m_advances.assign(tableSize, unknown);
    return true;
}

int TextWidths::width(QStringView text)
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

qint32 TextWidths::measure(char16_t c) const
{
    if (!isSimple(c))
        return complex;
    return static_cast<qint32>(std::ceil(m_metrics->horizontalAdvance(QChar(c)) * 64));
}

bool TextWidths::isSimple(char16_t c)
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

// ---------------------------------------------------------------- the view

GridView::GridView(GridStore& store, GridModel& model, GridViewHost& host, QWidget* parent)
    : QTreeView(parent), m_store(store), m_model(model), m_host(host), m_delegate(new GridDelegate(this))
{
    setItemDelegate(m_delegate);
    setModel(&m_model);
    setUniformRowHeights(true);
    setAlternatingRowColors(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemsExpandable(false); // every opening and closing goes through the host's userOutline()
    setExpandsOnDoubleClick(false);
    setRootIsDecorated(false);
    setSortingEnabled(false);
    setHeaderHidden(true);
    header()->setSectionsMovable(false);
    header()->setHighlightSections(false);
    viewport()->setAcceptDrops(true);
    header()->viewport()->setAcceptDrops(true);
}

int GridView::sizeHintForColumn(int column) const
{
    if (column != 0 || !m_fitTree)
        return QTreeView::sizeHintForColumn(column);
    // The header asks several times while a change settles; the answer stands until something changes.
    const FitKey key{m_store.outlineGeneration(),
                     m_store.firstCellGeneration(),
                     font(),
                     style(),
                     iconSize(),
                     indentation(),
                     rootIsDecorated()};
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
void GridView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    QScrollBar* bar = horizontalScrollBar();
    const int before = bar->value();
    QTreeView::scrollTo(index, hint);
    if (!m_store.outline() || !index.isValid() || index.column() != treePosition())
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

void GridView::relayout()
{
    executeDelayedItemsLayout();
    updateGeometries();
}

int GridView::outlineButtonAt(QPoint pos) const
{
    if (!m_store.outline())
        return -1;
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.column() != 0)
        return -1;
    const QRect rect = visualRect(index);
    if (pos.x() >= rect.left() || pos.x() < rect.left() - indentation())
        return -1;
    const int row = m_model.rowOfIndex(index);
    return m_model.hasPresentedChildren(row) ? row : -1;
}

void GridView::showExpansion(bool reset)
{
    for (int r = m_store.fixedRows(); r < m_store.rows(); ++r) {
        if ((!reset && !m_store.collapseChanged(r)) || !m_model.hasPresentedChildren(r))
            continue;
        const QModelIndex index = m_model.indexOfRow(r);
        const bool open = !m_store.isCollapsed(r);
        if (reset ? open : isExpanded(index) != open)
            setExpanded(index, open);
    }
    m_store.clearCollapseChanges();
}

void GridView::showMarks()
{
    QItemSelection wanted;
    const std::vector<int>& rows = m_store.selectedRows();
    const int lastCol = m_store.cols() - 1;
    for (size_t i = 0; i < rows.size() && lastCol >= 0;) {
        // Runs of neighbouring rows make one range where they share a parent.
        size_t j = i + 1;
        if (!m_store.outline()) {
            while (j < rows.size() && rows[j] == rows[j - 1] + 1)
                ++j;
        }
        wanted.append(QItemSelectionRange(m_model.indexOfRow(rows[i], 0), m_model.indexOfRow(rows[j - 1], lastCol)));
        i = j;
    }
    if (wanted.isEmpty())
        selectionModel()->clearSelection();
    else
        selectionModel()->select(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int GridView::widthForText(int col, const QString& text) const
{
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.font = font();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    const int cell = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width();
    return std::max(cell, header()->sectionSizeHint(col));
}

void GridView::setEditable(bool on)
{
    m_editable = on;
    setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                       : QAbstractItemView::NoEditTriggers);
}

bool GridView::event(QEvent* event)
{
    if (!admit(event))
        return true;
    return QTreeView::event(event);
}

bool GridView::viewportEvent(QEvent* event)
{
    if (!admit(event))
        return true;
    return QTreeView::viewportEvent(event);
}

void GridView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return; // other buttons leave the marks and the current row alone; the program reacts on release
    const int row = outlineButtonAt(event->position().toPoint());
    if (row >= 0) {
        m_host.userOutline(row, !m_store.isCollapsed(row));
        return;
    }
    QTreeView::mousePressEvent(event);
}

void GridView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || outlineButtonAt(pos) >= 0)
        setState(NoState);
    else
        QTreeView::mouseReleaseEvent(event);
    m_host.viewMouseUp(event->button(), event->modifiers(), pos);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    if (outlineButtonAt(pos) >= 0) {
        mousePressEvent(event); // a second click on the button toggles again
        return;
    }
    const quint64 before = m_store.outlineGeneration();
    QTreeView::mouseDoubleClickEvent(event);
    m_host.viewDoubleClick();
    m_host.syncView();
    // The program's handler may open or close the row itself; doing it here as well would undo it.
    if (m_store.outlineGeneration() != before || !m_host.redrawOn())
        return;
    const int row = m_model.rowOfIndex(indexAt(pos));
    if (row >= 0 && m_model.hasPresentedChildren(row))
        m_host.userOutline(row, !m_store.isCollapsed(row));
}

void GridView::keyPressEvent(QKeyEvent* event)
{
    const quint64 before = m_store.outlineGeneration();
    m_host.viewKeyDown(windowsKeyCode(event), plainModifiers(event->modifiers()));
    m_host.syncView();
    if (!m_host.redrawOn())
        return;
    if (m_store.outline() && outlineKey(event)) {
        // As with double clicks: what the program's handler did already stands.
        if (m_store.outlineGeneration() == before)
            outlineKeyAction(event->key());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void GridView::keyReleaseEvent(QKeyEvent* event)
{
    QTreeView::keyReleaseEvent(event);
    m_host.viewKeyUp(windowsKeyCode(event), plainModifiers(event->modifiers()));
}

bool GridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (!m_editable)
        return false;
    const bool starts = (trigger & editTriggers()) || trigger == AllEditTriggers;
    if (starts && state() != EditingState && index.isValid()) {
        bool cancel = false;
        m_host.viewBeforeEdit(m_model.rowOfIndex(index), index.column(), cancel);
        if (cancel)
            return false;
    }
    return QTreeView::edit(index, trigger, event);
}

// Input waits while redraw is off (the view would act on rows that are no longer there); before
// anything else the view is brought up to date.
bool GridView::admit(QEvent* event)
{
    const bool input = isInput(event->type());
    if (!input && event->type() != QEvent::Paint)
        return true;
    if (!m_host.redrawOn())
        return !input;
    m_host.syncView();
    return true;
}

void GridView::outlineKeyAction(int key)
{
    if (key == Qt::Key_Asterisk) {
        m_host.userOutline(-1, false);
        return;
    }
    const int row = m_host.currentRow();
    if (row < 0 || !m_model.hasPresentedChildren(row))
        return;
    const bool open = key == Qt::Key_Right || key == Qt::Key_Plus;
    if (m_store.isCollapsed(row) == open)
        m_host.userOutline(row, !open);
}

// The width of the widest open row, -1 when a row cannot be measured yet.
int GridView::fittedWidth() const
{
    const QFont plain = font();
    const QFont bold = m_model.boldFont().resolve(plain);
    const bool plainChanged = m_plainWidths.use(plain);
    if (m_boldWidths.use(bold) || plainChanged)
        m_store.forgetMeasuredWidths();

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
        const quint32 key = static_cast<quint32>(m_store.pictureIndexAt(row, 0)) << 1 | (isBold ? 1u : 0u);
        for (const Frame& frame : frames) {
            if (frame.key == key)
                return frame.width;
        }
        const QModelIndex index = m_model.indexOfRow(row);
        if (!index.isValid())
            return -1;
        const QString letter = QStringLiteral("x");
        const int width =
            m_delegate->widthWithText(option, index, letter) - (isBold ? m_boldWidths : m_plainWidths).width(letter);
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
    for (int r = m_store.fixedRows(); r < m_store.rows(); ++r) {
        const int level = m_store.level(r);
        while (!ancestors.empty() && ancestors.back().level >= level) {
            closed -= ancestors.back().open ? 0 : 1;
            ancestors.pop_back();
        }
        const bool open = !m_store.isCollapsed(r);
        if (closed == 0) {
            const bool isBold = m_store.isBold(r, 0);
            int text = m_store.measuredWidth(r) - 1;
            if (text < 0) {
                text = (isBold ? m_boldWidths : m_plainWidths).width(m_store.textView(r, 0));
                m_store.setMeasuredWidth(r, text + 1);
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
