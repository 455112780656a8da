#include "widgets/grid.h"

#include "widgets/gridmodel.h"
#include "widgets/gridview.h"
#include "widgets/twips.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

class Grid::ViewHost final : public GridViewHost
{
public:
    explicit ViewHost(Grid& grid) : m_grid(grid) {}

    void syncView() override { m_grid.sync(); }
    bool redrawOn() const override { return m_grid.m_redraw; }
    int currentRow() const override { return m_grid.m_current; }
    void userOutline(int row, bool collapse) override { m_grid.userOutline(row, collapse); }
    void viewMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) override
    {
        emit m_grid.mouseUp(button, modifiers, m_grid.m_view->viewport()->mapTo(&m_grid, pos));
    }
    void viewKeyDown(int keyCode, Qt::KeyboardModifiers modifiers) override { emit m_grid.keyDown(keyCode, modifiers); }
    void viewKeyUp(int keyCode, Qt::KeyboardModifiers modifiers) override { emit m_grid.keyUp(keyCode, modifiers); }
    void viewDoubleClick() override { emit m_grid.dblClick(); }
    void viewBeforeEdit(int row, int col, bool& cancel) override { emit m_grid.beforeEdit(row, col, cancel); }

private:
    Grid& m_grid;
};

// ---------------------------------------------------------------- construction

Grid::Grid(QWidget* parent)
    : QWidget(parent), m_host(std::make_unique<ViewHost>(*this)), m_model(std::make_unique<GridModel>(m_store)),
      m_view(new GridView(m_store, *m_model, *m_host, this)), m_syncTimer(new QTimer(this)), m_colWidthTwips(1, -1),
      m_colHidden(1, false)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    m_view->viewport()->installEventFilter(this);
    m_view->header()->viewport()->installEventFilter(this);

    m_store.trackRow(&m_current);
    m_store.trackRow(&m_scrollTo);

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
            m_store.setCollapsed(m_model->rowOfIndex(index), false);
    });
    connect(m_view, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (!m_syncing)
            m_store.setCollapsed(m_model->rowOfIndex(index), true);
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
    m_store.untrackRow(&m_current);
    m_store.untrackRow(&m_scrollTo);
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

    if (m_store.outline() && (reset || rowsChanged || m_expansionDirty))
        m_view->showExpansion(reset);
    if (rowsChanged || m_selectionDirty)
        m_view->showMarks();
    if (rowsChanged || m_currentDirty) {
        const QModelIndex index = m_current >= 0 ? m_model->indexOfRow(m_current, m_currentCol) : QModelIndex();
        if (m_view->selectionModel()->currentIndex() != index)
            m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
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
    m_view->setHeaderHidden(m_store.fixedRows() == 0);
    const int count = std::min(header->count(), m_store.cols());
    for (int c = 0; c < count; ++c) {
        header->setSectionHidden(c, m_colHidden[static_cast<size_t>(c)]);
        const int width = m_colWidthTwips[static_cast<size_t>(c)];
        if (width >= 0)
            header->resizeSection(c, twips::toPixels(width, this));
    }
    // A tree of one column is as wide as its widest shown row, with a scroll bar when that is wider than
    // the grid, so deep folders are never cut off.
    const bool fitTree = m_store.outline() && m_store.cols() == 1 && m_colWidthTwips[0] < 0;
    m_view->setFitTree(fitTree && !m_store.isBooleanColumn(0));
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
                m_store.setSelected(m_model->rowOfIndex(m_model->index(i, 0, range.parent())), on);
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
    m_store.trackRow(&row);
    emit beforeCollapse(wholeOutline ? -1 : row, collapse, cancel);
    m_store.untrackRow(&row);
    if (cancel)
        return;
    if (wholeOutline) {
        for (int r = m_store.fixedRows(); r < m_store.rows(); ++r)
            m_store.setCollapsed(r, collapse);
    } else if (row >= 0) {
        m_store.setCollapsed(row, collapse);
    }
    m_expansionDirty = true;
    sync();
}

bool Grid::validRow(int row) const
{
    return row >= m_store.fixedRows() && row < m_store.rows();
}

// ---------------------------------------------------------------- rows and columns

int Grid::rows() const
{
    return m_store.rows();
}

void Grid::setRows(int n)
{
    m_store.setRows(n);
    scheduleSync();
}

int Grid::fixedRows() const
{
    return m_store.fixedRows();
}

void Grid::setFixedRows(int n)
{
    m_store.setFixedRows(n);
    scheduleSync();
}

int Grid::cols() const
{
    return m_store.cols();
}

void Grid::setCols(int n)
{
    m_store.setCols(n);
    m_colWidthTwips.resize(static_cast<size_t>(m_store.cols()), -1);
    m_colHidden.resize(static_cast<size_t>(m_store.cols()), false);
    m_currentCol = std::clamp(m_currentCol, 0, std::max(0, m_store.cols() - 1));
    m_columnsDirty = true;
    scheduleSync();
}

void Grid::setColDataType(int col, DataType type)
{
    m_store.setBooleanColumn(col, type == DataType::Boolean);
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
    m_store.setColumnAlignment(col, static_cast<int>(alignment));
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
    return static_cast<int>(std::ceil(twips::fromPixels(m_view->widthForText(col, text), this)));
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
    m_store.appendTabbed(tabSeparated);
    scheduleSync();
}

void Grid::insertRow(int row)
{
    m_store.insertRowAt(row);
    scheduleSync();
}

void Grid::insertRows(int row, std::vector<GridRow> block, std::span<const QIcon> pictures)
{
    // New rows are closed in the view; open ones are opened there with the next sync.
    const bool open = std::any_of(block.begin(), block.end(), [](const GridRow& r) { return r.node && !r.collapsed; });
    if (!m_store.insertRows(row, block, pictures))
        return;
    m_expansionDirty = m_expansionDirty || open;
    scheduleSync();
}

void Grid::removeRow(int row)
{
    m_store.removeRowAt(row);
    scheduleSync();
}

QString Grid::textMatrix(int row, int col) const
{
    return m_store.text(row, col);
}

void Grid::setTextMatrix(int row, int col, const QString& text)
{
    m_store.setText(row, col, text);
    scheduleSync();
}

QByteArray Grid::rowData(int row) const
{
    return m_store.rowData(row);
}

void Grid::setRowData(int row, const QByteArray& data)
{
    m_store.setRowData(row, data);
}

// ---------------------------------------------------------------- outline

void Grid::setOutlineTree(bool on)
{
    m_store.setOutline(on);
    m_view->setRootIsDecorated(on);
    scheduleSync();
}

int Grid::rowOutlineLevel(int row) const
{
    return m_store.level(row);
}

void Grid::setRowOutlineLevel(int row, int level)
{
    m_store.setLevel(row, level);
    scheduleSync();
}

bool Grid::isNode(int row) const
{
    return m_store.isNode(row);
}

void Grid::setIsNode(int row, bool node)
{
    m_store.setNode(row, node);
}

bool Grid::isCollapsed(int row) const
{
    return m_store.isCollapsed(row);
}

void Grid::setIsCollapsed(int row, bool collapsed)
{
    m_store.setCollapsed(row, collapsed);
    m_expansionDirty = true;
    scheduleSync();
}

void Grid::collapseLevel(int level)
{
    for (int r = m_store.fixedRows(); r < m_store.rows(); ++r) {
        if (m_store.isNode(r) && m_store.level(r) >= level)
            m_store.setCollapsed(r, true);
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
        m_store.clearSelected();
        m_store.setSelected(row, true);
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

void Grid::setCellBold(int row1, int col1, int row2, int col2, bool bold)
{
    m_store.setBold(row1, col1, row2, col2, bold);
    scheduleSync();
}

bool Grid::isCellBold(int row, int col) const
{
    return m_store.isBold(row, col);
}

void Grid::setCellPicture(int row, int col, const QIcon& picture)
{
    m_store.setPicture(row, col, picture);
    scheduleSync();
}

void Grid::setCellAlignment(int row1, int col1, int row2, int col2, Alignment alignment)
{
    m_store.setAlignment(row1, col1, row2, col2, static_cast<int>(alignment));
    scheduleSync();
}

// ---------------------------------------------------------------- selection

void Grid::setSelectionMode(SelectionMode mode)
{
    m_mode = mode;
    m_view->setSelectionMode(mode == SelectionMode::Single ? QAbstractItemView::SingleSelection
                                                           : QAbstractItemView::ExtendedSelection);
    if (mode == SelectionMode::Single) {
        m_store.clearSelected();
        m_store.setSelected(m_current, true);
        m_selectionDirty = true;
        scheduleSync();
    }
}

int Grid::selectedRows() const
{
    return static_cast<int>(m_store.selectedRows().size());
}

int Grid::selectedRow(int index) const
{
    const std::vector<int>& rows = m_store.selectedRows();
    return index >= 0 && index < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(index)] : -1;
}

void Grid::select(int row1, int col1, int row2, int col2)
{
    m_store.clearSelected();
    m_selectionDirty = true;
    // A range within the fixed rows selects no row: it only clears the marks.
    if (m_store.clipRange(row1, col1, row2, col2)) {
        if (m_mode == SelectionMode::Single) {
            row2 = row1;
            if (validRow(row1)) {
                m_current = row1;
                m_currentDirty = true;
            }
        }
        for (int r = row1; r <= row2; ++r)
            m_store.setSelected(r, true);
    }
    scheduleSync();
}

void Grid::selectRows(const std::vector<int>& rows)
{
    m_store.clearSelected();
    m_selectionDirty = true;
    for (const int row : rows) {
        if (validRow(row) && row >= fixedRows())
            m_store.setSelected(row, true);
    }
    scheduleSync();
}

void Grid::clearSelection()
{
    m_store.clearSelected();
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

bool Grid::isEditable() const
{
    return m_view->isEditable();
}

void Grid::setEditable(bool on)
{
    m_view->setEditable(on);
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
