#include "commands/commandcontroller.h"

#include "commands/buildcommandbars.h"
#include "commands/commandtable.h"
#include "settings/settings.h"
#include "widgets/commandbars/commandbars.h"

#include <QComboBox>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <string>
#include <utility>

using namespace commands;

namespace {

constexpr int defaultTheme = 2;
constexpr int lastTheme = 5;
constexpr std::string_view layoutSection = "Layout";

// An operation the window has not wired does nothing.
template <typename Operation, typename... Args> void run(const Operation& operation, Args&&... args)
{
    if (operation)
        operation(std::forward<Args>(args)...);
}

void selectThemeOfCommand(CommandController& c, int id)
{
    if (const std::optional<int> theme = themeOfCommand(id))
        c.selectTheme(*theme);
}

using Operation = void (*)(CommandController&, int id);

// What each command does. Every id not here (popup headers, the toolbar list, the hosted boxes) does
// nothing.
const std::pair<int, Operation> routes[] = {
    {ID_EXIT, [](CommandController& c, int) { run(c.handlers().closeMainWindow); }},
    {ID_THEME_OFFICE_XP, selectThemeOfCommand},
    {ID_THEME_STANDARD, selectThemeOfCommand},
    {ID_THEME_OFFICE_2003, selectThemeOfCommand},
    {ID_THEME_NORMAL_XP, selectThemeOfCommand},
    {ID_THEME_VS2005, selectThemeOfCommand},
    {ID_THEME_OFFICE_2007, selectThemeOfCommand},
    {ID_ABOUT, [](CommandController& c, int) { run(c.handlers().showAboutBox); }},
    {ID_SELECT_ALL, [](CommandController& c, int) { run(c.handlers().selectAllFiles); }},
    {ID_DESELECT_ALL, [](CommandController& c, int) { run(c.handlers().deselectAllFiles); }},
    {ID_TEMPLATE_FOLDER, [](CommandController& c, int) { run(c.handlers().chooseTemplateFolder); }},
    {ID_REFRESH_TREE, [](CommandController& c, int) { run(c.handlers().refreshTree); }},
    {ID_EDIT_TEMPLATE, [](CommandController& c, int) { run(c.handlers().editTemplate); }},
    {ID_REFRESH_TEMPLATES, [](CommandController& c, int) { run(c.handlers().refreshTemplateList); }},
    {ID_REVIEW_SCRIPT, [](CommandController& c, int) { run(c.handlers().reviewScript); }},
    {ID_REVIEW_BEFORE_RUN, [](CommandController& c, int) { c.toggleReviewBeforeRun(); }},
    {ID_RUN_ACAD, [](CommandController& c, int) { run(c.handlers().runScript, CadKind::Acad); }},
    {ID_BROWSE_ACAD, [](CommandController& c, int) { run(c.handlers().browseCadProgram, CadKind::Acad); }},
    {ID_RUN_ICAD, [](CommandController& c, int) { run(c.handlers().runScript, CadKind::Icad); }},
    {ID_BROWSE_ICAD, [](CommandController& c, int) { run(c.handlers().browseCadProgram, CadKind::Icad); }},
    {ID_SUPERVISED_RUN, [](CommandController& c, int) { run(c.handlers().toggleSupervisedRun); }},
    {ID_SUPERVISED_SETTINGS, [](CommandController& c, int) { run(c.handlers().supervisedRunSettings); }},
    {ID_SAVE_JOB, [](CommandController& c, int) { run(c.handlers().saveJob); }},
    {ID_OPEN_JOB, [](CommandController& c, int) { run(c.handlers().openJob); }},
    {ID_SCHEDULE_JOB, [](CommandController& c, int) { run(c.handlers().scheduleJob); }},
};

QString registryKey()
{
    return QString::fromLatin1(settings::companyName.data(), qsizetype(settings::companyName.size()));
}

QString application()
{
    return QString::fromLatin1(settings::productName.data(), qsizetype(settings::productName.size()));
}

QString section()
{
    return QString::fromLatin1(layoutSection.data(), qsizetype(layoutSection.size()));
}

void paintFace(QWidget* surface, const QColor& colour)
{
    if (!surface)
        return;
    QPalette palette = surface->palette();
    palette.setColor(QPalette::Window, colour);
    if (qobject_cast<QComboBox*>(surface) || qobject_cast<QLineEdit*>(surface)) {
        // A box's colour is the colour of its field. The toolbar that hosts it styles its boxes, and only
        // the box's own style sheet goes before that.
        palette.setColor(QPalette::Base, colour);
        palette.setColor(QPalette::Button, colour);
        surface->setStyleSheet(QStringLiteral("%1 { background-color: %2; }")
                                   .arg(QLatin1String(surface->metaObject()->className()), colour.name()));
    }
    surface->setPalette(palette);
    if (!surface->isWindow())
        surface->setAutoFillBackground(true);
}

} // namespace

int themeFromSetting(std::string_view text)
{
    const std::optional<double> number = settings::parseNumber(text);
    if (!number) {
        // Digits too many for the settings' reader are still a number: far above the last theme, or below
        // the first.
        const bool negative = text.starts_with('-');
        const std::string_view digits = negative || text.starts_with('+') ? text.substr(1) : text;
        const bool whole =
            !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!whole)
            return 0;
        return negative ? std::numeric_limits<int>::min() : defaultTheme;
    }
    const double whole = std::trunc(*number);
    if (whole > lastTheme)
        return defaultTheme;
    return int(std::max(whole, double(std::numeric_limits<int>::min())));
}

CommandController::CommandController(CommandBars& bars, Settings& settings, ThemeSurfaces surfaces, QObject* parent)
    : QObject(parent), m_bars(bars), m_settings(settings), m_surfaces(std::move(surfaces))
{
    connect(&bars, &CommandBars::execute, this, &CommandController::onCommandExecute);
    connect(&bars, &CommandBars::update, this, &CommandController::onCommandUpdate);
    connect(&bars, &CommandBars::resized, this, &CommandController::onBarsResized);
}

CommandController::~CommandController() = default;

void CommandController::startCommandBars()
{
    const int theme = themeFromSetting(m_settings.text(settings::Theme));
    if (theme != m_bars.theme())
        m_bars.setTheme(theme);
    m_settings.setNumber(settings::Theme, theme);
    buildCommandBars(m_bars); // the surfaces are painted once, when the bars are there
    m_bars.menuBar()->setTitle(menuBarTitle.toString());
    m_faceColour = m_bars.specialColor(CommandBars::toolbarFaceColourNumber);
    paintSurfaces();
    m_bars.setTooltipSettings(tooltipStyle, tooltipMaxWidth);
    m_bars.restoreArrangement(registryKey(), application(), section());
    // Whatever the restored arrangement shows carries its check marks from the start.
    m_bars.updateAll();
}

void CommandController::saveArrangement()
{
    m_bars.saveArrangement(registryKey(), application(), section());
}

void CommandController::applyTheme(int theme)
{
    m_settings.setNumber(settings::Theme, theme);
    m_faceColour = m_bars.specialColor(CommandBars::toolbarFaceColourNumber);
    paintSurfaces();
}

void CommandController::selectTheme(int theme)
{
    m_bars.setTheme(theme);
    applyTheme(theme);
}

void CommandController::paintSurfaces()
{
    for (QWidget* surface : {m_surfaces.frmMain.data(), m_surfaces.fraFileSelection.data(), m_surfaces.cboScr.data()})
        paintFace(surface, m_faceColour);
}

void CommandController::onCommandExecute(BarControl* control)
{
    if (!control)
        return;
    const int id = control->id();
    const auto* route =
        std::find_if(std::begin(routes), std::end(routes), [id](const auto& r) { return r.first == id; });
    if (route == std::end(routes))
        return;
    // A failing operation ends its command and nothing else: the program goes on, and the log keeps why.
    try {
        route->second(*this, id);
    } catch (const std::exception& error) {
        qWarning("command %d failed: %s", id, error.what());
    } catch (...) {
        qWarning("command %d failed", id);
    }
}

void CommandController::onCommandUpdate(BarControl* control)
{
    if (!control)
        return;
    if (const std::optional<int> theme = themeOfCommand(control->id()))
        control->setChecked(*theme == m_bars.theme());
    if (control->id() == ID_SUPERVISED_RUN && m_handlers.supervisedRunOn)
        control->setChecked(m_handlers.supervisedRunOn());
    if (control->id() == ID_REVIEW_BEFORE_RUN)
        control->setChecked(m_settings.flag(settings::ReviewBeforeRun));
}

void CommandController::toggleReviewBeforeRun()
{
    m_settings.setFlag(settings::ReviewBeforeRun, !m_settings.flag(settings::ReviewBeforeRun));
}

void CommandController::onBarsResized()
{
    run(m_handlers.arrangeMainWindow);
}
