#pragma once

#include <QAction>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class BarControl;
class CommandBar;
class CommandBars;
class QKeyEvent;
class QLabel;
class QMainWindow;
class QMenu;
class QShortcut;
class QStatusBar;
class Registry;

// Where a bar stands. A popup bar is shown on demand at the mouse pointer.
enum class BarPosition
{
    Top = 0,
    Bottom = 1,
    Left = 2,
    Right = 3,
    Popup = 5,
};

enum class ControlKind
{
    Button = 1,
    Popup = 2,  // opens its sub-bar
    Hosted = 7, // embeds an edit or combo box of the window
};

// How a toolbar button shows itself. A control whose id has no icon shows its caption alone whatever
// its style.
enum class ControlStyle
{
    Default = 0, // the icon when there is one, else the caption
    IconOnly = 2,
    IconAndCaption = 3,
};

// A rectangle in twips; right and bottom are the first twips outside it.
struct TwipRect
{
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

// One control of a bar: a button, a popup entry with its sub-bar, or a hosted edit or combo box.
// Owned by its bar; shortcuts own controls of their own that stand in no bar.
class BarControl final
{
public:
    ~BarControl();
    BarControl(const BarControl&) = delete;
    BarControl& operator=(const BarControl&) = delete;

    ControlKind kind() const { return m_kind; }
    int id() const { return m_id; }
    bool isTemporary() const { return m_temporary; }
    // The bar the control stands in; null for a shortcut's control.
    CommandBar* bar() const { return m_bar; }
    // The sub-bar of a popup entry, and of a toolbar-list button outside a menu (the list opens from it);
    // null otherwise.
    CommandBar* commandBar() const { return m_subBar.get(); }

    // The caption marks its access key with '&'; "&&" is a literal ampersand.
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

    // A separator in front of the control; none is drawn in front of a bar's first control.
    bool separatorBefore() const { return m_separatorBefore; }
    void setSeparatorBefore(bool separator);

    // Shown in the status bar's message pane while the pointer rests on the control.
    QString description() const { return m_description; }
    void setDescription(const QString& description);

    // A carriage return in the tooltip breaks the line.
    QString tooltip() const { return m_tooltip; }
    void setTooltip(const QString& tooltip);

    ControlStyle style() const { return m_style; }
    void setStyle(ControlStyle style);

    QString category() const { return m_category; }
    void setCategory(const QString& category) { m_category = category; }

    // The edit or combo box a hosted control embeds. While the control stands in its bar the box is a child
    // of the bar; when the control goes the box goes back to the window, hidden, and is not deleted.
    // Ignored for other kinds.
    QWidget* hostedWindow() const { return m_hosted; }
    void setHostedWindow(QWidget* window);

    // The check mark. The program sets it, usually in answer to update(); a click does not toggle it.
    bool isChecked() const { return m_checked; }
    void setChecked(bool checked);

    // The Qt action that stands for the control in its bar (for a hosted control, the action of its box).
    QAction* action() const { return m_action; }

private:
    friend class CommandBar;
    friend class CommandBars;
    BarControl(CommandBars& owner, CommandBar* bar, ControlKind kind, int id, const QString& caption, bool temporary);

    void createAction();
    void applyIcon();
    void applyToolButtonStyle();
    void applyTooltip();
    QAction* firstAction() const;

    CommandBars& m_owner;
    CommandBar* m_bar;
    ControlKind m_kind;
    int m_id;
    bool m_temporary;
    QString m_caption;
    bool m_separatorBefore = false;
    QString m_description;
    QString m_tooltip;
    ControlStyle m_style = ControlStyle::Default;
    QString m_category;
    QPointer<QWidget> m_hosted;
    bool m_checked = false;
    QPointer<QAction> m_action;
    QPointer<QAction> m_separator;
    std::unique_ptr<CommandBar> m_subBar;
};

// A bar: the menu bar, a toolbar, a popup bar, or the sub-bar of a popup entry.
class CommandBar final
{
public:
    enum class Type
    {
        MenuBar,
        ToolBar,
        Popup,
        SubBar,
    };

    ~CommandBar();
    CommandBar(const CommandBar&) = delete;
    CommandBar& operator=(const CommandBar&) = delete;

    Type type() const { return m_type; }
    BarPosition position() const { return m_position; }

    QString title() const { return m_title; }
    void setTitle(const QString& title);

    // For the menu bar and toolbars whether the bar is shown; other bars only keep the flag.
    bool isVisible() const;
    void setVisible(bool visible);

    // Adds a control in front of the control at index before (0-based); -1 or an index past the end
    // appends. Never null.
    BarControl* addControl(ControlKind kind, int id, const QString& caption, int before = -1, bool temporary = false);
    int controlCount() const { return static_cast<int>(m_controls.size()); }
    // Null when index is out of range.
    BarControl* control(int index) const;
    QList<BarControl*> controls() const;

    // The widget drawing the bar: a QMenuBar, QToolBar or QMenu.
    QWidget* widget() const { return m_widget; }

private:
    friend class BarControl;
    friend class CommandBars;
    CommandBar(CommandBars& owner, Type type, BarPosition position, const QString& title, QWidget* widget);

    void insertActions(BarControl* control);
    void updateSeparators();
    void findControls(int id, QList<BarControl*>& found) const;
    void forEachControl(const std::function<void(BarControl*)>& visit) const;
    void expandToolbarList(QMenu* menu, BarControl* placeholder);

    CommandBars& m_owner;
    Type m_type;
    BarPosition m_position;
    QString m_title;
    bool m_visibleFlag = true;
    bool m_listsToolbars = false; // the whole bar is the toolbar list
    QPointer<QWidget> m_widget;
    std::vector<std::unique_ptr<BarControl>> m_controls;
    QList<QPointer<QAction>> m_expandedToolbarEntries;
};

// One pane of the status bar.
class StatusPane final
{
public:
    StatusPane(const StatusPane&) = delete;
    StatusPane& operator=(const StatusPane&) = delete;

    int id() const { return m_id; }
    QString text() const;
    void setText(const QString& text);
    // In pixels. The message pane stretches; width() tells its present width there.
    int width() const;
    void setWidth(int pixels);

private:
    friend class CommandBars;
    StatusPane(int id, QLabel* label);

    int m_id;
    QPointer<QLabel> m_label;
    int m_width = -1;
};

// The command bars of one main window: menu bar, toolbars, popups, status bar, shortcuts, icons and the
// colour theme, with save and restore of the user's arrangement of the bars.
//
// Every command chosen from a menu, a toolbar, a popup or a shortcut comes out as execute() with the
// control it was chosen from; one id may stand on several controls and is reported alike from each.
class CommandBars final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandBars)

public:
    // Pane ids of the status bar.
    static constexpr int messagePaneId = 0;
    static constexpr int capsLockPaneId = 59137;
    static constexpr int numLockPaneId = 59138;
    static constexpr int scrollLockPaneId = 59139;
    // A button with this id in a menu stands for one check entry per toolbar that shows or hides it.
    static constexpr int toolbarListId = 59392;
    // The number of the special colour that is the toolbar face colour.
    static constexpr int toolbarFaceColourNumber = 30;
    // Modifier flags of the shortcut table.
    static constexpr int shiftFlag = 4;
    static constexpr int ctrlFlag = 8;
    static constexpr int altFlag = 16;

    // The bars are made in the given theme; setTheme changes it.
    CommandBars(QMainWindow& window, Registry& registry, int theme = 0);
    ~CommandBars() override;

    // Bars
    CommandBar* menuBar() const { return m_menuBar.get(); }
    CommandBar* addBar(const QString& title, BarPosition position);
    // Removes a bar made by addBar, with its controls (popups built for one use).
    void removeBar(CommandBar* bar);
    QList<CommandBar*> bars() const;
    // Shows a popup bar at the mouse pointer; returns when it has closed, after the chosen command has
    // been executed. Other bars are not shown.
    void showPopup(CommandBar* bar);

    // The first control with the id in any bar (menu bar first, then the bars in the order they were
    // added, sub-bars before the controls that follow their entry); null when there is none.
    BarControl* findControl(int id) const;
    QList<BarControl*> findControls(int id) const;

    // Shortcuts: modifier flags (ctrlFlag, shiftFlag, altFlag) and a key code (the capital letter's or the
    // digit's character code, or 0x70.. for F1..F24). False, and nothing registered, for any other key.
    // Inside an edit, spin or editable combo box with the focus a key that the box understands stays with
    // the box.
    bool addShortcut(int modifiers, int keyCode, int id);

    // Icons by command id; every control, present or added later, shows the icon of its id.
    void attachIcons(const QHash<int, QIcon>& icons);
    QIcon iconFor(int id) const { return m_icons.value(id); }

    // Status bar
    bool statusBarVisible() const;
    void setStatusBarVisible(bool visible);
    // Adds a pane; a pane id that is there already gives that pane. Null once the window dropped its
    // status bar.
    StatusPane* addStatusPane(int id);
    int statusPaneCount() const { return static_cast<int>(m_panes.size()); }
    // Null when index is out of range.
    StatusPane* statusPane(int index) const;
    QString idleText() const { return m_idleText; }
    void setIdleText(const QString& text);

    // Themes 0..5. Any other number is kept as given and drawn like theme 0.
    int theme() const { return m_theme; }
    void setTheme(int theme);
    // The colour with the number in the current theme; an invalid colour for an unknown number.
    QColor specialColor(int number) const;

    // The part of the window's client area the bars leave free, in twips.
    TwipRect freeClientRect() const;

    // Kept for the program; tooltips break their lines at carriage returns whatever these say.
    void setTooltipSettings(int style, int maxWidth);
    int tooltipStyle() const { return m_tooltipStyle; }
    int tooltipMaxWidth() const { return m_tooltipMaxWidth; }

    // The arrangement of the bars (visibility, docking place, order) is kept under
    // Software\<registryKey>\<application>\<section> and the number of saved bars (the menu bar and the
    // toolbars) as the number value "Bars" under ...\<section>-Summary.
    void saveArrangement(const QString& registryKey, const QString& application, const QString& section);
    // False, leaving the bars as they are, when nothing usable is stored.
    bool restoreArrangement(const QString& registryKey, const QString& application, const QString& section);
    // Without a restored arrangement the toolbars are put in rows that fit the window's width once, when
    // the window is first shown. A window that already has its size when it is shown may have them put
    // now, so that its first layout is its last.
    void settleToolbarRows();

    // Emits update() for every control of every bar, so that toolbar check marks can be set.
    void updateAll();

    QMainWindow& window() const { return m_window; }

signals:
    void execute(BarControl* control);
    // The control is about to be shown; the receiver may set its check mark.
    void update(BarControl* control);
    // The bars changed and with them the free client rectangle.
    void resized();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class BarControl;
    friend class CommandBar;

    struct Shortcut;

    void issue(BarControl* control);
    void setupMenu(CommandBar* bar, QMenu* menu);
    void updateToolbars();
    // The theme's sheets and palette, as applyThemeTo gives them.
    void takeTheme();
    void applyThemeTo(QWidget* widget) const;
    void watchCentralWidget();
    void checkFreeClientRect();
    void wrapToolbarRows();
    void refreshLockPanes();
    void showDescription(const QString& description);
    QList<CommandBar*> toolbars() const;
    bool isShortcutKey(const QKeyEvent& event) const;

    QMainWindow& m_window;
    Registry& m_registry;
    std::unique_ptr<CommandBar> m_menuBar;
    std::vector<std::unique_ptr<CommandBar>> m_bars;
    std::vector<std::unique_ptr<Shortcut>> m_shortcuts;
    std::vector<std::unique_ptr<StatusPane>> m_panes;
    QHash<int, QIcon> m_icons;
    QString m_idleText;
    int m_theme = 0;
    QString m_sheet;                        // the whole sheet, for a widget that is no bar
    std::array<QString, 4> m_surfaceSheets; // by commandbarthemes::Surface
    QPalette m_palette;
    int m_tooltipStyle = 0;
    int m_tooltipMaxWidth = 0;
    QPointer<QWidget> m_central;
    QPointer<QStatusBar> m_statusBar;
    TwipRect m_lastFreeRect;
    bool m_rowsSettled = false; // toolbar rows laid out for the first show, or restored
    QStringList m_toolbarNames;
};
