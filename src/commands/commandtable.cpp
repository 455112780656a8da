#include "commands/commandtable.h"

#include "settings/settings.h"

#include <algorithm>

namespace commands {
namespace {

constexpr auto none = ControlStyle::Default;
constexpr auto iconOnly = ControlStyle::IconOnly;
constexpr auto iconAndCaption = ControlStyle::IconAndCaption;

// clang-format off
const Command table[] = {
    // id                    name                    caption                         description                                         tooltip                                     style           icon                        theme  hosted window    chars
    {ID_EXIT,              "ID_EXIT",              u"&Avsluta",                    u"Avslutar programmet",                             u"",                                        iconAndCaption, u":/commands/100.svg",      -1,    u"",             0},
    {ID_THEME_OFFICE_XP,   "ID_THEME_OFFICE_XP",   u"Office XP",                   u"",                                                u"",                                        none,           u"",                        1,     u"",             0},
    {ID_THEME_STANDARD,    "ID_THEME_STANDARD",    u"Standard",                    u"",                                                u"",                                        none,           u"",                        0,     u"",             0},
    {ID_THEME_OFFICE_2003, "ID_THEME_OFFICE_2003", u"Office 2003",                 u"",                                                u"",                                        none,           u"",                        2,     u"",             0},
    {ID_THEME_NORMAL_XP,   "ID_THEME_NORMAL_XP",   u"Normal XP",                   u"",                                                u"",                                        none,           u"",                        3,     u"",             0},
    {ID_THEME_OFFICE_2007, "ID_THEME_OFFICE_2007", u"Office 2007",                 u"",                                                u"",                                        none,           u"",                        5,     u"",             0},
    {ID_THEME_VS2005,      "ID_THEME_VS2005",      u"Visual Studio 2005",          u"",                                                u"",                                        none,           u"",                        4,     u"",             0},
    {ID_ABOUT,             "ID_ABOUT",             u"&Om %1...",                   u"",                                                u"",                                        none,           u"",                        -1,    u"",             0},
    {ID_SELECT_ALL,        "ID_SELECT_ALL",        u"Markera &alla",               u"Markerar alla ritningar i listan",                u"",                                        iconAndCaption, u":/commands/901.svg",      -1,    u"",             0},
    {ID_DESELECT_ALL,      "ID_DESELECT_ALL",      u"A&vmarkera alla",             u"",                                                u"",                                        iconAndCaption, u":/commands/902.svg",      -1,    u"",             0},
    {ID_TEMPLATE_FOLDER,   "ID_TEMPLATE_FOLDER",   u"S&ökväg scriptmallar",        u"Väljer mappen med scriptmallar",                  u"",                                        iconAndCaption, u"",                        -1,    u"",             0},
    {ID_REFRESH_TREE,      "ID_REFRESH_TREE",      u"Uppdatera",                   u"Scriptmallar",                                    u"Välj scriptmall",                         none,           u"",                        -1,    u"cboScr",       22},
    {ID_EDIT_TEMPLATE,     "ID_EDIT_TEMPLATE",     u"Re&digera scriptmall",        u"Öppnar vald scriptmall för redigering",           u"",                                        iconAndCaption, u"",                        -1,    u"",             0},
    {ID_REFRESH_TEMPLATES, "ID_REFRESH_TEMPLATES", u"Uppdatera scriptmalls-listan", u"Uppdaterar urvalslistan med scriptmallar",       u"",                                        iconOnly,       u":/commands/913.svg",      -1,    u"",             0},
    {ID_REVIEW_SCRIPT,     "ID_REVIEW_SCRIPT",     u"&Granska script...",          u"Visar scriptet som en körning skulle skriva och vad som kan gå fel i det", u"", iconAndCaption, u"", -1, u"", 0},
    {ID_REVIEW_BEFORE_RUN, "ID_REVIEW_BEFORE_RUN", u"Granska &före körning",       u"",                                                u"",                                        none,           u"",                        -1,    u"",             0},
    {ID_ACAD_PATH,         "ID_ACAD_PATH",         u"",                            u"Sökväg till AutoCADs körbara fil",                u"",                                        none,           u"",                        -1,    u"txtAcad",      26},
    {ID_ACAD_PARAMS,       "ID_ACAD_PARAMS",       u"",                            u"Startparametrar för AutoCAD",                     u"",                                        none,           u"",                        -1,    u"txtParamAcad", 12},
    {ID_RUN_ACAD,          "ID_RUN_ACAD",          u"K&ör script i AutoCAD",       u"Startar scriptkörning av markerade ritningsfiler", u"",                                       iconAndCaption, u":/commands/922.svg",      -1,    u"",             0},
    {ID_BROWSE_ACAD,       "ID_BROWSE_ACAD",       u"...",                         u"Bläddra fram Acad.exe eller Aclt.exe.",           u"Bläddra fram Acad.exe eller Aclt.exe.",   iconAndCaption, u"",                        -1,    u"",             0},
    {ID_ICAD_PATH,         "ID_ICAD_PATH",         u"",                            u"Sökväg till IntelliCADs körbara fil",             u"",                                        none,           u"",                        -1,    u"txtIcad",      26},
    {ID_ICAD_PARAMS,       "ID_ICAD_PARAMS",       u"",                            u"Startparametrar för IntelliCAD",                  u"",                                        none,           u"",                        -1,    u"txtParamIcad", 12},
    {ID_RUN_ICAD,          "ID_RUN_ICAD",          u"K&ör script i IntelliCAD",    u"Startar scriptkörning av markerade ritningsfiler", u"",                                       iconAndCaption, u":/commands/932.svg",      -1,    u"",             0},
    {ID_BROWSE_ICAD,       "ID_BROWSE_ICAD",       u"...",                         u"Bläddra fram Icad.exe.",                          u"Bläddra fram Icad.exe.",                  iconAndCaption, u"",                        -1,    u"",             0},
    {ID_FILTER_PATTERN,    "ID_FILTER_PATTERN",    u"",                            u"Urvalsfilter för filer",                          u"Välj eller ange fritt.\rEx. 1?100*.dwg",  none,           u"",                        -1,    u"Combo1",       12},
    {ID_SUPERVISED_RUN,    "ID_SUPERVISED_RUN",    u"Övervakad körning",           u"",                                                u"",                                        none,           u"",                        -1,    u"",             0},
    {ID_SUPERVISED_SETTINGS, "ID_SUPERVISED_SETTINGS", u"Inställningar för övervakad körning...", u"",                                  u"",                                        none,           u"",                        -1,    u"",             0},
    {ID_SAVE_JOB,          "ID_SAVE_JOB",          u"Spara som jobb...",           u"Sparar mappen, filtret, de markerade ritningarna, mallen och CAD-programmet som ett jobb", u"", none, u"", -1, u"", 0},
    {ID_OPEN_JOB,          "ID_OPEN_JOB",          u"Öppna jobb...",               u"Ställer in fönstret efter ett sparat jobb",       u"",                                        none,           u"",                        -1,    u"",             0},
    {ID_SCHEDULE_JOB,      "ID_SCHEDULE_JOB",      u"Schemalägg jobb...",          u"Låter systemets schemaläggare köra ett sparat jobb vid en tid", u"", none, u"", -1, u"", 0},
    {ID_TOOLBAR_LIST,      "ID_TOOLBAR_LIST",      u"&Standard",                   u"",                                                u"",                                        none,           u"",                        -1,    u"",             0},
};

constexpr MenuEntry fileMenu[] = {
    {ControlKind::Button, ID_EXIT, {}, true, {}},
};
constexpr MenuEntry toolbarListMenu[] = {
    {ControlKind::Button, ID_TOOLBAR_LIST, {}, false, {}},
};
constexpr MenuEntry themeMenu[] = {
    {ControlKind::Button, ID_THEME_OFFICE_XP, {}, false, {}},
    {ControlKind::Button, ID_THEME_STANDARD, {}, false, {}},
    {ControlKind::Button, ID_THEME_OFFICE_2003, {}, false, {}},
    {ControlKind::Button, ID_THEME_NORMAL_XP, {}, false, {}},
    {ControlKind::Button, ID_THEME_VS2005, {}, false, {}},
    {ControlKind::Button, ID_THEME_OFFICE_2007, {}, false, {}},
};
constexpr MenuEntry viewMenu[] = {
    {ControlKind::Popup, ID_NONE, u"&Verktygsfält", false, toolbarListMenu},
    {ControlKind::Popup, ID_NONE, u"&Färgtema", false, themeMenu},
};
constexpr MenuEntry toolsMenu[] = {
    {ControlKind::Button, ID_SELECT_ALL, {}, true, {}},
    {ControlKind::Button, ID_DESELECT_ALL, {}, true, {}},
    {ControlKind::Button, ID_REVIEW_SCRIPT, {}, true, {}},
    {ControlKind::Button, ID_REVIEW_BEFORE_RUN, {}, false, {}},
    {ControlKind::Button, ID_SUPERVISED_RUN, {}, true, {}},
    {ControlKind::Button, ID_SUPERVISED_SETTINGS, {}, false, {}},
    {ControlKind::Button, ID_SAVE_JOB, {}, true, {}},
    {ControlKind::Button, ID_OPEN_JOB, {}, false, {}},
    {ControlKind::Button, ID_SCHEDULE_JOB, {}, false, {}},
};
constexpr MenuEntry helpMenu[] = {
    {ControlKind::Button, ID_ABOUT, {}, false, {}},
};
constexpr MenuEntry menuBar[] = {
    {ControlKind::Popup, ID_NONE, u"&Arkiv", false, fileMenu},
    {ControlKind::Popup, ID_NONE, u"&Visa", false, viewMenu},
    {ControlKind::Popup, ID_NONE, u"Ver&ktyg", false, toolsMenu},
    {ControlKind::Popup, ID_NONE, u"&Hjälp", false, helpMenu},
};

constexpr auto button = ControlKind::Button;
constexpr auto hosted = ControlKind::Hosted;

constexpr ToolbarEntry standardBar[] = {
    {hosted, ID_FILTER_PATTERN, true, false},
    {button, ID_SELECT_ALL, true, true},
    {button, ID_DESELECT_ALL, true, true},
    {button, ID_EXIT, true, true},
};
constexpr ToolbarEntry templateBar[] = {
    {button, ID_REFRESH_TEMPLATES, true, true},
    {button, ID_TEMPLATE_FOLDER, true, true},
    {hosted, ID_REFRESH_TREE, true, false},
    {button, ID_EDIT_TEMPLATE, true, true},
    {button, ID_REVIEW_SCRIPT, true, true},
};
constexpr ToolbarEntry acadBar[] = {
    {hosted, ID_ACAD_PATH, false, false},
    {button, ID_BROWSE_ACAD, true, true},
    {hosted, ID_ACAD_PARAMS, true, false},
    {button, ID_RUN_ACAD, true, true},
};
constexpr ToolbarEntry icadBar[] = {
    {hosted, ID_ICAD_PATH, false, false},
    {button, ID_BROWSE_ICAD, true, true},
    {hosted, ID_ICAD_PARAMS, true, false},
    {button, ID_RUN_ICAD, true, true},
};
constexpr ToolbarEntry themeBar[] = {
    {button, ID_THEME_OFFICE_XP, false, false},
    {button, ID_THEME_STANDARD, false, false},
    {button, ID_THEME_OFFICE_2003, false, false},
    {button, ID_THEME_NORMAL_XP, false, false},
    {button, ID_THEME_VS2005, false, false},
    {button, ID_THEME_OFFICE_2007, false, false},
};
// The theme bar starts hidden; the user shows it through the toolbar list.
constexpr Toolbar toolbars[] = {
    {u"Standard", standardBar, true, false},
    {u"Scriptmallar", templateBar, true, false},
    {u"AutoCAD", acadBar, true, true},
    {u"IntelliCAD", icadBar, true, false},
    {u"Färgtema", themeBar, false, true},
};

constexpr ShortcutKey shortcuts[] = {
    {CommandBars::ctrlFlag, 'V', ID_DESELECT_ALL},
    {CommandBars::ctrlFlag, 'A', ID_SELECT_ALL},
};

constexpr int panes[] = {CommandBars::messagePaneId, CommandBars::capsLockPaneId, CommandBars::numLockPaneId,
                         CommandBars::scrollLockPaneId};

constexpr QStringView presets[] = {u"*.dwg", u"*.dxf", u"*.dwg;*.dxf"};
// clang-format on

} // namespace

std::span<const Command> commandTable()
{
    return table;
}

const Command* findCommand(int id)
{
    const auto* it = std::find_if(std::begin(table), std::end(table), [id](const Command& c) { return c.id == id; });
    return it == std::end(table) ? nullptr : it;
}

QString captionOf(const Command& command)
{
    QString caption = command.caption.toString();
    caption.replace(QStringLiteral("%1"),
                    QLatin1String(settings::productName.data(), qsizetype(settings::productName.size())));
    return caption;
}

std::optional<int> themeOfCommand(int id)
{
    const Command* command = findCommand(id);
    if (!command || command->theme < 0)
        return std::nullopt;
    return command->theme;
}

std::span<const MenuEntry> menuBarLayout()
{
    return menuBar;
}

std::span<const Toolbar> toolbarLayout()
{
    return toolbars;
}

std::span<const ShortcutKey> shortcutTable()
{
    return shortcuts;
}

std::span<const int> statusPaneIds()
{
    return panes;
}

std::span<const QStringView> filterPresets()
{
    return presets;
}

} // namespace commands
