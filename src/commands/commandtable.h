#pragma once

#include "widgets/commandbars/commandbars.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <span>
#include <string_view>

// The command model of the main window: every command with its texts, style and icon, and the menus,
// toolbars and shortcuts that carry the commands. buildCommandBars() reads these tables; nothing else
// spells them out again.

namespace commands {

// The number of a command. One id may stand on several controls; popup headers carry 0.
enum CommandId : int
{
    ID_NONE = 0,
    ID_EXIT = 100,
    ID_THEME_OFFICE_XP = 130,
    ID_THEME_STANDARD = 131,
    ID_THEME_OFFICE_2003 = 132,
    ID_THEME_NORMAL_XP = 133,
    ID_THEME_OFFICE_2007 = 135,
    ID_THEME_VS2005 = 143,
    ID_ABOUT = 601,
    ID_SELECT_ALL = 901,
    ID_DESELECT_ALL = 902,
    ID_TEMPLATE_FOLDER = 910,
    ID_REFRESH_TREE = 911,
    ID_EDIT_TEMPLATE = 912,
    ID_REFRESH_TEMPLATES = 913,
    ID_REVIEW_SCRIPT = 914,
    ID_REVIEW_BEFORE_RUN = 915,
    ID_ACAD_PATH = 920,
    ID_ACAD_PARAMS = 921,
    ID_RUN_ACAD = 922,
    ID_BROWSE_ACAD = 923,
    ID_ICAD_PATH = 930,
    ID_ICAD_PARAMS = 931,
    ID_RUN_ICAD = 932,
    ID_BROWSE_ICAD = 933,
    ID_FILTER_PATTERN = 940,
    ID_SUPERVISED_RUN = 960,
    ID_SUPERVISED_SETTINGS = 961,
    ID_SAVE_JOB = 962,
    ID_OPEN_JOB = 963,
    ID_SCHEDULE_JOB = 964,
    ID_TOOLBAR_LIST = CommandBars::toolbarListId,
};

struct Command
{
    int id;
    std::string_view name;
    // '&' marks the access key; "%1" stands for the product name.
    QStringView caption;
    // Shown in the status bar while the pointer rests on the command's toolbar control; menu entries
    // carry none.
    QStringView description;
    // A carriage return breaks the line.
    QStringView tooltip;
    ControlStyle style;
    // The resource of the command's 16 x 16 picture; empty for a command shown by its caption alone.
    QStringView icon;
    // The colour theme a theme command selects; -1 for the others.
    int theme;
    // The object name of the window's box that the command's toolbar control hosts, and the box's width
    // in average characters.
    QStringView hostedWindow;
    int hostedChars;
};

// Every command of the program.
std::span<const Command> commandTable();
// Null for an id that is not in the table.
const Command* findCommand(int id);
// The caption with the product name filled in.
QString captionOf(const Command& command);
// The theme a theme command selects.
std::optional<int> themeOfCommand(int id);

// One control of a menu: a popup entry with the entries of its sub-bar, or a button whose texts come
// from the command table.
struct MenuEntry
{
    ControlKind kind;
    int id;
    QStringView caption; // popup entries only
    bool separatorBefore;
    std::span<const MenuEntry> entries;
};

// One control of a toolbar. Buttons made through addBarControl() take the category "Controls"; the
// theme buttons are added plain.
struct ToolbarEntry
{
    ControlKind kind;
    int id;
    bool separatorBefore;
    bool viaAddBarControl;
};

struct Toolbar
{
    QStringView title;
    std::span<const ToolbarEntry> entries;
    bool visible;
    // Starts a row of its own. The bars are wrapped to the window's width when it is first shown; rows set
    // here keep the window from needing all toolbars side by side before that.
    bool newRow;
};

struct ShortcutKey
{
    int modifiers;
    int keyCode; // the character code of the capital letter
    int id;
};

// The menu bar's popups in order, with their sub-bars.
std::span<const MenuEntry> menuBarLayout();
// The toolbars in the order they are built.
std::span<const Toolbar> toolbarLayout();
// In the order they are registered.
std::span<const ShortcutKey> shortcutTable();
// The status bar's panes in order: the message pane, then the lock indicators.
std::span<const int> statusPaneIds();
constexpr int indicatorPaneWidth = 40; // pixels
constexpr int tooltipStyle = 4;
constexpr int tooltipMaxWidth = 125;
constexpr QStringView menuBarTitle = u"Meny";
constexpr QStringView controlsCategory = u"Controls";

// The preset entries of the filter box, in order.
std::span<const QStringView> filterPresets();

} // namespace commands
