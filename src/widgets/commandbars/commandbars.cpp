#include "widgets/commandbars/commandbars.h"

#include "widgets/commandbars/commandbarlocks.h"
#include "widgets/commandbars/commandbarthemes.h"
#include "widgets/twips.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The caption as a toolbar button shows it: the access-key marks dropped (the menus own the access keys),
// a literal "&&" kept for the button to draw as '&'.
QString toolText(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            text += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            text += u"&&";
            ++i;
        }
    }
    return text;
}

QString tooltipText(QString tooltip)
{
    tooltip.replace(u"\r\n"_s, u"\n"_s);
    tooltip.replace(u'\r', u'\n');
    return tooltip;
}

// Boxes that do their own thing with keys such as Ctrl+A and Ctrl+V.
bool isTextBox(const QObject* object)
{
    if (qobject_cast<const QLineEdit*>(object) || qobject_cast<const QAbstractSpinBox*>(object) ||
        qobject_cast<const QTextEdit*>(object) || qobject_cast<const QPlainTextEdit*>(object))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(object);
    return combo && combo->isEditable();
}

std::optional<Qt::Key> keyFromCode(int code)
{
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        return static_cast<Qt::Key>(code);
    if (code >= 0x70 && code <= 0x87)
        return static_cast<Qt::Key>(Qt::Key_F1 + (code - 0x70));
    return std::nullopt;
}

Qt::ToolBarArea toolBarArea(BarPosition position)
{
    switch (position) {
    case BarPosition::Bottom:
        return Qt::BottomToolBarArea;
    case BarPosition::Left:
        return Qt::LeftToolBarArea;
    case BarPosition::Right:
        return Qt::RightToolBarArea;
    default:
        return Qt::TopToolBarArea;
    }
}

// The action of a hosted box. The box stays the window's: when the action leaves its bar the box goes
// back to the window, hidden, instead of being deleted with the action.
class HostAction final : public QWidgetAction
{
public:
    HostAction(QWidget* hosted, QWidget* home, QObject* parent) : QWidgetAction(parent), m_hosted(hosted), m_home(home)
    {
        setVisible(hosted != nullptr);
    }

protected:
    QWidget* createWidget(QWidget* parent) override
    {
        if (!m_hosted || m_inUse)
            return nullptr;
        m_inUse = true;
        m_hosted->setParent(parent);
        return m_hosted;
    }

    void deleteWidget(QWidget* widget) override
    {
        m_inUse = false;
        if (widget && m_home) {
            widget->hide();
            widget->setParent(m_home);
        }
    }

private:
    QPointer<QWidget> m_hosted;
    QPointer<QWidget> m_home;
    bool m_inUse = false;
};

} // namespace

// ---------------------------------------------------------------------------------------------------------

BarControl::BarControl(CommandBars& owner, CommandBar* bar, ControlKind kind, int id, const QString& caption,
                       bool temporary)
    : m_owner(owner), m_bar(bar), m_kind(kind), m_id(id), m_temporary(temporary), m_caption(caption)
{
}

BarControl::~BarControl()
{
    QWidget* container = m_bar ? m_bar->widget() : nullptr;
    // Taking the action out of its bar first hands a hosted box back to the window.
    if (container && m_action)
        container->removeAction(m_action);
    m_subBar.reset();
    delete m_action.data();
    delete m_separator.data();
}

void BarControl::createAction()
{
    const bool inMenu = m_bar->type() == CommandBar::Type::Popup || m_bar->type() == CommandBar::Type::SubBar;
    if (m_kind == ControlKind::Hosted) {
        m_action = new HostAction(nullptr, &m_owner.window(), &m_owner);
        return;
    }
    if (m_kind == ControlKind::Popup || (m_id == CommandBars::toolbarListId && !inMenu)) {
        // Outside a menu the toolbar list opens as a popup of its own.
        auto* menu = new QMenu(m_caption, &m_owner.window());
        m_subBar.reset(new CommandBar(m_owner, CommandBar::Type::SubBar, BarPosition::Popup, m_caption, menu));
        m_owner.setupMenu(m_subBar.get(), menu);
        if (m_kind != ControlKind::Popup)
            m_subBar->m_listsToolbars = true;
        m_action = menu->menuAction();
    } else {
        m_action = new QAction(m_caption, &m_owner);
        if (m_id == CommandBars::toolbarListId) {
            // Stands in the menu only to mark the place of the toolbar entries it expands into.
            m_action->setVisible(false);
        } else {
            QObject::connect(m_action, &QAction::triggered, m_action, [this] {
                if (m_action->isCheckable())
                    m_action->setChecked(m_checked);
                m_owner.issue(this);
            });
        }
    }
    m_action->setText(m_caption);
    m_action->setIconText(toolText(m_caption));
    applyIcon();
}

QAction* BarControl::firstAction() const
{
    return m_separator ? m_separator.data() : m_action.data();
}

void BarControl::setCaption(const QString& caption)
{
    m_caption = caption;
    if (m_subBar && m_subBar->widget())
        static_cast<QMenu*>(m_subBar->widget())->setTitle(caption);
    if (m_action && m_kind != ControlKind::Hosted) {
        m_action->setText(caption);
        m_action->setIconText(toolText(caption));
    }
    applyToolButtonStyle();
}

void BarControl::setSeparatorBefore(bool separator)
{
    m_separatorBefore = separator;
    if (m_bar)
        m_bar->updateSeparators();
}

void BarControl::setDescription(const QString& description)
{
    m_description = description;
    if (m_action)
        m_action->setStatusTip(description);
    if (m_hosted)
        m_hosted->setStatusTip(description);
}

void BarControl::setTooltip(const QString& tooltip)
{
    m_tooltip = tooltip;
    applyTooltip();
}

void BarControl::applyTooltip()
{
    const QString text = tooltipText(m_tooltip);
    if (m_kind == ControlKind::Hosted) {
        if (m_hosted)
            m_hosted->setToolTip(text);
    } else if (m_action) {
        // An empty tooltip gives the action's own, made from the caption.
        m_action->setToolTip(text);
    }
}

void BarControl::setStyle(ControlStyle style)
{
    m_style = style;
    applyToolButtonStyle();
}

void BarControl::setHostedWindow(QWidget* window)
{
    if (m_kind != ControlKind::Hosted || !m_bar || window == m_hosted)
        return;
    m_hosted = window;
    auto* fresh = new HostAction(window, &m_owner.window(), &m_owner);
    QWidget* container = m_bar->widget();
    if (container && m_action) {
        container->insertAction(m_action, fresh);
        container->removeAction(m_action);
    }
    delete m_action.data();
    m_action = fresh;
    if (window) {
        window->setStatusTip(m_description);
        if (!m_tooltip.isEmpty())
            window->setToolTip(tooltipText(m_tooltip));
    }
}

void BarControl::setChecked(bool checked)
{
    m_checked = checked;
    if (!m_action || m_kind == ControlKind::Hosted)
        return;
    m_action->setCheckable(true);
    m_action->setChecked(checked);
}

void BarControl::applyIcon()
{
    if (!m_action || m_kind == ControlKind::Hosted)
        return;
    m_action->setIcon(m_owner.iconFor(m_id));
    applyToolButtonStyle();
}

void BarControl::applyToolButtonStyle()
{
    if (!m_bar || m_bar->type() != CommandBar::Type::ToolBar || !m_action || !m_bar->widget())
        return;
    auto* button = qobject_cast<QToolButton*>(static_cast<QToolBar*>(m_bar->widget())->widgetForAction(m_action));
    if (!button)
        return;
    Qt::ToolButtonStyle look = Qt::ToolButtonTextOnly;
    if (!m_action->icon().isNull())
        look = m_style == ControlStyle::IconAndCaption ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly;
    button->setToolButtonStyle(look);
    if (m_action->menu())
        button->setPopupMode(QToolButton::InstantPopup);
}

// ---------------------------------------------------------------------------------------------------------

CommandBar::CommandBar(CommandBars& owner, Type type, BarPosition position, const QString& title, QWidget* widget)
    : m_owner(owner), m_type(type), m_position(position), m_title(title), m_widget(widget)
{
    // A menu takes its looks when it first opens: most are never opened in a session, and each costs Qt a
    // sheet of its own.
    if (auto* menu = qobject_cast<QMenu*>(widget)) {
        QObject::connect(menu, &QMenu::aboutToShow, menu, [&owner = m_owner, menu] {
            if (menu->styleSheet().isEmpty())
                owner.applyThemeTo(menu);
        });
        return;
    }
    m_owner.applyThemeTo(widget);
}

CommandBar::~CommandBar()
{
    m_controls.clear();
    qDeleteAll(m_expandedToolbarEntries);
    if (m_type != Type::MenuBar)
        delete m_widget.data();
}

void CommandBar::setTitle(const QString& title)
{
    m_title = title;
    if (!m_widget)
        return;
    if (auto* menu = qobject_cast<QMenu*>(m_widget))
        menu->setTitle(title);
    else
        m_widget->setWindowTitle(title);
}

bool CommandBar::isVisible() const
{
    if ((m_type == Type::MenuBar || m_type == Type::ToolBar) && m_widget)
        return !m_widget->isHidden();
    return m_visibleFlag;
}

void CommandBar::setVisible(bool visible)
{
    m_visibleFlag = visible;
    if ((m_type == Type::MenuBar || m_type == Type::ToolBar) && m_widget)
        m_widget->setVisible(visible);
}

BarControl* CommandBar::addControl(ControlKind kind, int id, const QString& caption, int before, bool temporary)
{
    const auto index = before >= 0 && before < controlCount() ? static_cast<std::size_t>(before) : m_controls.size();
    auto* control = new BarControl(m_owner, this, kind, id, caption, temporary);
    m_controls.emplace(m_controls.begin() + static_cast<std::ptrdiff_t>(index), control);
    control->createAction();
    insertActions(control);
    return control;
}

void CommandBar::insertActions(BarControl* control)
{
    if (!m_widget)
        return;
    auto it = std::find_if(m_controls.begin(), m_controls.end(), [&](const auto& c) { return c.get() == control; });
    QAction* next = nullptr;
    if (it != m_controls.end() && std::next(it) != m_controls.end())
        next = (*std::next(it))->firstAction();
    if (control->m_separator)
        m_widget->insertAction(next, control->m_separator);
    m_widget->insertAction(next, control->m_action);
    control->applyToolButtonStyle();
    updateSeparators();
}

// A control gets its separator the first time it starts a group, and keeps it, hidden, when it no longer
// does: a toolbar makes a widget for every separator it holds.
void CommandBar::updateSeparators()
{
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        BarControl* control = m_controls[i].get();
        const bool shown = control->m_separatorBefore && i > 0;
        if (shown && !control->m_separator && control->m_action) {
            control->m_separator = new QAction(&m_owner);
            control->m_separator->setSeparator(true);
            if (m_widget)
                m_widget->insertAction(control->m_action, control->m_separator);
        }
        if (control->m_separator)
            control->m_separator->setVisible(shown);
    }
}

BarControl* CommandBar::control(int index) const
{
    return index >= 0 && index < controlCount() ? m_controls[static_cast<std::size_t>(index)].get() : nullptr;
}

QList<BarControl*> CommandBar::controls() const
{
    QList<BarControl*> list;
    list.reserve(controlCount());
    for (const auto& control : m_controls)
        list.append(control.get());
    return list;
}

void CommandBar::forEachControl(const std::function<void(BarControl*)>& visit) const
{
    for (const auto& control : m_controls) {
        visit(control.get());
        if (control->m_subBar)
            control->m_subBar->forEachControl(visit);
    }
}

void CommandBar::expandToolbarList(QMenu* menu, BarControl* placeholder)
{
    qDeleteAll(m_expandedToolbarEntries);
    m_expandedToolbarEntries.clear();
    QAction* before = placeholder ? placeholder->m_action.data() : nullptr;
    for (CommandBar* bar : m_owner.toolbars()) {
        auto* entry = new QAction(bar->title(), menu);
        entry->setCheckable(true);
        entry->setChecked(bar->isVisible());
        QPointer<QWidget> toolbar = bar->widget();
        QObject::connect(entry, &QAction::triggered, entry, [toolbar](bool on) {
            if (toolbar)
                toolbar->setVisible(on);
        });
        menu->insertAction(before, entry);
        m_expandedToolbarEntries.append(entry);
    }
}

// ---------------------------------------------------------------------------------------------------------

StatusPane::StatusPane(int id, QLabel* label) : m_id(id), m_label(label) {}

QString StatusPane::text() const
{
    return m_label ? m_label->text() : QString();
}

void StatusPane::setText(const QString& text)
{
    if (m_label)
        m_label->setText(text);
}

int StatusPane::width() const
{
    if (m_width >= 0)
        return m_width;
    if (!m_label)
        return 0;
    return m_label->isVisible() ? m_label->width() : m_label->sizeHint().width();
}

void StatusPane::setWidth(int pixels)
{
    if (pixels < 0 || !m_label)
        return;
    m_width = pixels;
    if (m_id == CommandBars::messagePaneId)
        m_label->setMinimumWidth(pixels);
    else
        m_label->setFixedWidth(pixels);
}

// ---------------------------------------------------------------------------------------------------------

struct CommandBars::Shortcut
{
    QKeyCombination keys;
    std::unique_ptr<BarControl> control;
    QPointer<QShortcut> shortcut;

    ~Shortcut() { delete shortcut.data(); }
};

CommandBars::CommandBars(QMainWindow& window, Registry& registry, int theme)
    : QObject(&window), m_window(window), m_registry(registry), m_theme(theme)
{
    takeTheme();
    m_menuBar.reset(new CommandBar(*this, CommandBar::Type::MenuBar, BarPosition::Top, QString(), window.menuBar()));
    m_statusBar = window.statusBar();
    applyThemeTo(m_statusBar);
    m_statusBar->hide();

    // The bars report the free client rectangle through the central widget, which the window lays out
    // into exactly that space. A window without one gets an empty stand-in that lets the mouse through.
    if (!window.centralWidget()) {
        auto* standIn = new QWidget(&window);
        standIn->setAttribute(Qt::WA_TransparentForMouseEvents);
        window.setCentralWidget(standIn);
        standIn->lower();
    }
    watchCentralWidget();
    window.installEventFilter(this);
    qApp->installEventFilter(this);
}

CommandBars::~CommandBars()
{
    qApp->removeEventFilter(this);
    m_window.removeEventFilter(this);
    if (m_central)
        m_central->removeEventFilter(this);
    m_shortcuts.clear();
    m_bars.clear();
    m_menuBar.reset();
    for (const auto& pane : m_panes)
        delete pane->m_label.data();
}

CommandBar* CommandBars::addBar(const QString& title, BarPosition position)
{
    CommandBar* bar = nullptr;
    if (position == BarPosition::Popup) {
        auto* menu = new QMenu(title, &m_window);
        bar = new CommandBar(*this, CommandBar::Type::Popup, position, title, menu);
        setupMenu(bar, menu);
    } else {
        auto* toolbar = new QToolBar(title, &m_window);
        QString name = u"toolbar-"_s + title;
        for (int n = 2; m_toolbarNames.contains(name); ++n)
            name = u"toolbar-"_s + title + u'-' + QString::number(n);
        m_toolbarNames.append(name);
        toolbar->setObjectName(name);
        toolbar->setIconSize(QSize(16, 16));
        bar = new CommandBar(*this, CommandBar::Type::ToolBar, position, title, toolbar);
        m_window.addToolBar(toolBarArea(position), toolbar);
        connect(toolbar, &QToolBar::visibilityChanged, this, [this, bar](bool visible) {
            if (visible)
                bar->forEachControl([this](BarControl* control) { emit update(control); });
        });
        // The window hands its button style to every toolbar button; ours are set per control.
        connect(toolbar, &QToolBar::toolButtonStyleChanged, this,
                [bar] { bar->forEachControl([](BarControl* control) { control->applyToolButtonStyle(); }); });
    }
    m_bars.emplace_back(bar);
    return bar;
}

void CommandBars::removeBar(CommandBar* bar)
{
    auto it = std::find_if(m_bars.begin(), m_bars.end(), [&](const auto& b) { return b.get() == bar; });
    if (it != m_bars.end())
        m_bars.erase(it);
}

QList<CommandBar*> CommandBars::bars() const
{
    QList<CommandBar*> list{m_menuBar.get()};
    for (const auto& bar : m_bars)
        list.append(bar.get());
    return list;
}

QList<CommandBar*> CommandBars::toolbars() const
{
    QList<CommandBar*> list;
    for (const auto& bar : m_bars) {
        if (bar->type() == CommandBar::Type::ToolBar)
            list.append(bar.get());
    }
    return list;
}

void CommandBars::setupMenu(CommandBar* bar, QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, bar, menu] {
        if (bar->m_listsToolbars)
            bar->expandToolbarList(menu, nullptr);
        for (const auto& control : bar->m_controls) {
            if (control->id() == toolbarListId && control->kind() == ControlKind::Button && !control->m_subBar)
                bar->expandToolbarList(menu, control.get());
        }
        for (BarControl* control : bar->controls())
            emit update(control);
    });
    // Popups opened by the program have no bar behind them that would pass descriptions on.
    connect(menu, &QMenu::hovered, this, [this](QAction* action) { showDescription(action->statusTip()); });
    connect(menu, &QMenu::aboutToHide, this, [this] { showDescription(QString()); });
}

void CommandBars::showPopup(CommandBar* bar)
{
    if (!bar || bar->type() == CommandBar::Type::MenuBar || bar->type() == CommandBar::Type::ToolBar)
        return;
    if (auto* menu = qobject_cast<QMenu*>(bar->widget()))
        menu->exec(QCursor::pos());
}

BarControl* CommandBars::findControl(int id) const
{
    const QList<BarControl*> found = findControls(id);
    return found.isEmpty() ? nullptr : found.first();
}

QList<BarControl*> CommandBars::findControls(int id) const
{
    QList<BarControl*> found;
    for (CommandBar* bar : bars()) {
        bar->forEachControl([&](BarControl* control) {
            if (control->id() == id)
                found.append(control);
        });
    }
    return found;
}

bool CommandBars::addShortcut(int modifiers, int keyCode, int id)
{
    const std::optional<Qt::Key> key = keyFromCode(keyCode);
    if (!key)
        return false;
    Qt::KeyboardModifiers mods;
    if (modifiers & ctrlFlag)
        mods |= Qt::ControlModifier;
    if (modifiers & shiftFlag)
        mods |= Qt::ShiftModifier;
    if (modifiers & altFlag)
        mods |= Qt::AltModifier;
    const QKeyCombination keys(mods, *key);

    // The same keys registered again stand for the later id.
    std::erase_if(m_shortcuts, [&](const auto& s) { return s->keys == keys; });

    auto entry = std::make_unique<Shortcut>();
    entry->keys = keys;
    entry->control.reset(new BarControl(*this, nullptr, ControlKind::Button, id, QString(), false));
    entry->shortcut = new QShortcut(QKeySequence(keys), &m_window);
    entry->shortcut->setContext(Qt::WindowShortcut);
    BarControl* control = entry->control.get();
    connect(entry->shortcut, &QShortcut::activated, this, [this, control] {
        // A text box with the focus that did not take the keys (a read-only box and Ctrl+V) still owns them.
        if (!isTextBox(QApplication::focusWidget()))
            issue(control);
    });
    m_shortcuts.push_back(std::move(entry));
    return true;
}

bool CommandBars::isShortcutKey(const QKeyEvent& event) const
{
    const auto mods = event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const QKeyCombination keys(mods, static_cast<Qt::Key>(event.key()));
    return std::any_of(m_shortcuts.begin(), m_shortcuts.end(), [&](const auto& s) { return s->keys == keys; });
}

void CommandBars::attachIcons(const QHash<int, QIcon>& icons)
{
    m_icons = icons;
    for (CommandBar* bar : bars())
        bar->forEachControl([](BarControl* control) { control->applyIcon(); });
}

void CommandBars::issue(BarControl* control)
{
    // The command may end the window and these bars with it.
    const QPointer<CommandBars> alive(this);
    emit execute(control);
    if (!alive)
        return;
    // A command may change what the toolbars show (a theme button's check mark, for one).
    updateToolbars();
}

void CommandBars::updateToolbars()
{
    for (CommandBar* bar : toolbars()) {
        if (bar->isVisible())
            bar->forEachControl([this](BarControl* control) { emit update(control); });
    }
}

void CommandBars::updateAll()
{
    for (CommandBar* bar : bars())
        bar->forEachControl([this](BarControl* control) { emit update(control); });
}

// ---------------------------------------------------------------------------------------------------------

bool CommandBars::statusBarVisible() const
{
    return m_statusBar && !m_statusBar->isHidden();
}

void CommandBars::setStatusBarVisible(bool visible)
{
    if (m_statusBar)
        m_statusBar->setVisible(visible);
}

StatusPane* CommandBars::addStatusPane(int id)
{
    for (const auto& pane : m_panes) {
        if (pane->id() == id)
            return pane.get();
    }
    if (!m_statusBar)
        return nullptr;
    auto* label = new QLabel;
    QStatusBar* status = m_statusBar;
    if (id == messagePaneId) {
        label->setObjectName(u"messagePane"_s);
        label->setText(m_idleText);
        status->addWidget(label, 1);
    } else {
        label->setObjectName(u"pane"_s + QString::number(id));
        label->setAlignment(Qt::AlignCenter);
        // Room for the longest indicator, so that the panes do not move when a lock goes on.
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(u"SCRL"_s) + 8);
        status->addPermanentWidget(label);
    }
    m_panes.push_back(std::unique_ptr<StatusPane>(new StatusPane(id, label)));
    refreshLockPanes();
    return m_panes.back().get();
}

StatusPane* CommandBars::statusPane(int index) const
{
    return index >= 0 && index < statusPaneCount() ? m_panes[static_cast<std::size_t>(index)].get() : nullptr;
}

void CommandBars::setIdleText(const QString& text)
{
    m_idleText = text;
    for (const auto& pane : m_panes) {
        if (pane->id() == messagePaneId)
            pane->setText(text);
    }
}

void CommandBars::showDescription(const QString& description)
{
    if (!m_statusBar)
        return;
    if (description.isEmpty())
        m_statusBar->clearMessage();
    else
        m_statusBar->showMessage(description);
}

void CommandBars::refreshLockPanes()
{
    using commandbarlocks::Lock;
    for (const auto& pane : m_panes) {
        switch (pane->id()) {
        case capsLockPaneId:
            pane->setText(commandbarlocks::isOn(Lock::Caps) ? u"CAP"_s : QString());
            break;
        case numLockPaneId:
            pane->setText(commandbarlocks::isOn(Lock::Num) ? u"NUM"_s : QString());
            break;
        case scrollLockPaneId:
            pane->setText(commandbarlocks::isOn(Lock::Scroll) ? u"SCRL"_s : QString());
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------------------

void CommandBars::setTheme(int theme)
{
    m_theme = theme;
    takeTheme();
    applyThemeTo(m_statusBar);
    for (CommandBar* bar : bars()) {
        applyThemeTo(bar->widget());
        bar->forEachControl([this](BarControl* control) {
            if (control->m_subBar)
                applyThemeTo(control->m_subBar->widget());
        });
    }
}

void CommandBars::takeTheme()
{
    using commandbarthemes::Surface;
    m_sheet = commandbarthemes::styleSheet(m_theme);
    for (const Surface surface : {Surface::MenuBar, Surface::ToolBar, Surface::Menu, Surface::StatusBar})
        m_surfaceSheets[static_cast<std::size_t>(surface)] = commandbarthemes::styleSheet(m_theme, surface);
    m_palette = commandbarthemes::palette(m_theme);
}

void CommandBars::applyThemeTo(QWidget* widget) const
{
    if (!widget)
        return;
    using commandbarthemes::Surface;
    // Each bar reads only the rules that can reach it: Qt reads a sheet anew for every widget it is set on.
    const QString* sheet = &m_sheet;
    if (qobject_cast<QMenuBar*>(widget))
        sheet = &m_surfaceSheets[static_cast<std::size_t>(Surface::MenuBar)];
    else if (qobject_cast<QToolBar*>(widget))
        sheet = &m_surfaceSheets[static_cast<std::size_t>(Surface::ToolBar)];
    else if (qobject_cast<QMenu*>(widget))
        sheet = &m_surfaceSheets[static_cast<std::size_t>(Surface::Menu)];
    else if (qobject_cast<QStatusBar*>(widget))
        sheet = &m_surfaceSheets[static_cast<std::size_t>(Surface::StatusBar)];
    // A style sheet given to a widget that is not yet polished is read twice: once now and again when the
    // widget is polished. Polished first, the widget reads it once.
    widget->ensurePolished();
    widget->setPalette(m_palette);
    widget->setStyleSheet(*sheet);
}

QColor CommandBars::specialColor(int number) const
{
    if (number == toolbarFaceColourNumber)
        return commandbarthemes::faceColour(m_theme);
    return QColor();
}

void CommandBars::setTooltipSettings(int style, int maxWidth)
{
    m_tooltipStyle = style;
    m_tooltipMaxWidth = maxWidth;
}

// ---------------------------------------------------------------------------------------------------------

TwipRect CommandBars::freeClientRect() const
{
    // The window lays out its bars lazily; the load sequence asks before the window is shown.
    if (QLayout* layout = m_window.layout())
        layout->activate();
    QRect free = m_window.rect();
    if (m_central && m_central == m_window.centralWidget()) {
        free = m_central->geometry();
    } else {
        if (QWidget* menu = m_window.menuWidget(); menu && !menu->isHidden())
            free.setTop(menu->geometry().bottom() + 1);
        if (m_statusBar && !m_statusBar->isHidden())
            free.setBottom(m_statusBar->geometry().top() - 1);
    }
    const double dpi = twips::logicalDpi(&m_window);
    return {twips::fromPixels(free.left(), dpi), twips::fromPixels(free.top(), dpi),
            twips::fromPixels(free.left() + free.width(), dpi), twips::fromPixels(free.top() + free.height(), dpi)};
}

void CommandBars::watchCentralWidget()
{
    QWidget* central = m_window.centralWidget();
    if (central == m_central)
        return;
    if (m_central)
        m_central->removeEventFilter(this);
    m_central = central;
    if (central)
        central->installEventFilter(this);
}

void CommandBars::settleToolbarRows()
{
    if (m_rowsSettled)
        return;
    m_rowsSettled = true;
    wrapToolbarRows();
}

void CommandBars::wrapToolbarRows()
{
    // Qt puts every toolbar of an area on one row and squeezes them into the window's width; a new
    // row is started instead where the next toolbar would not fit whole.
    const int available = m_window.width();
    int used = 0;
    for (CommandBar* bar : toolbars()) {
        auto* toolbar = static_cast<QToolBar*>(bar->widget());
        if (toolbar->isHidden() || m_window.toolBarArea(toolbar) != Qt::TopToolBarArea)
            continue;
        if (m_window.toolBarBreak(toolbar))
            used = 0;
        const int width = toolbar->sizeHint().width();
        if (used > 0 && used + width > available) {
            m_window.insertToolBarBreak(toolbar);
            used = 0;
        }
        used += width;
    }
}

void CommandBars::checkFreeClientRect()
{
    watchCentralWidget();
    const TwipRect free = freeClientRect();
    if (free == m_lastFreeRect)
        return;
    m_lastFreeRect = free;
    emit resized();
}

bool CommandBars::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // A text box with the focus keeps the keys it knows; the command goes to it, not to the table.
        if (isTextBox(watched) && isShortcutKey(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            refreshLockPanes();
        break;
    }
    case QEvent::WindowActivate:
        if (watched == &m_window)
            refreshLockPanes();
        break;
    case QEvent::Show:
        if (watched == &m_window)
            settleToolbarRows();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // Only a shown window has bars to make room for. This also leaves a window that is being
        // destroyed alone: it hides itself first.
        if (watched == m_central && m_window.isVisible())
            checkFreeClientRect();
        break;
    case QEvent::LayoutRequest:
        if (watched == &m_window && m_window.isVisible())
            watchCentralWidget();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
