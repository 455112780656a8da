#pragma once

#include "script/runrequest.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string_view>

class BarControl;
class CommandBars;
class Settings;

// What the commands do. The window registers the operations of the parts that own them; a command whose
// operation is not registered does nothing.
struct CommandHandlers
{
    std::function<void()> closeMainWindow;         // 100: the same close as the window's close box
    std::function<void()> showAboutBox;            // 601
    std::function<void()> selectAllFiles;          // 901
    std::function<void()> deselectAllFiles;        // 902
    std::function<void()> chooseTemplateFolder;    // 910
    std::function<void()> refreshTree;             // 911: the drives read again, then the tree rebuilt
    std::function<void()> editTemplate;            // 912
    std::function<void()> refreshTemplateList;     // 913
    std::function<void()> reviewScript;            // 914
    std::function<void(CadKind)> runScript;        // 922 and 932
    std::function<void(CadKind)> browseCadProgram; // 923 and 933
    std::function<void()> toggleSupervisedRun;     // 960: a check entry
    std::function<bool()> supervisedRunOn;         // its check mark
    std::function<void()> supervisedRunSettings;   // 961
    std::function<void()> saveJob;                 // 962
    std::function<void()> openJob;                 // 963
    std::function<void()> scheduleJob;             // 964
    // Not a command: the bars changed, and with them the room left for the window's contents.
    std::function<void()> arrangeMainWindow;
};

// The program's own surfaces that take the toolbar face colour of the theme.
struct ThemeSurfaces
{
    QPointer<QWidget> frmMain;
    QPointer<QWidget> fraFileSelection;
    QPointer<QWidget> cboScr;
};

// The program's side of the command bars: their start with the stored theme and arrangement, the colour
// themes, and the dispatch of the commands the bars report to the operations registered in handlers().
class CommandController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandController)

public:
    CommandController(CommandBars& bars, Settings& settings, ThemeSurfaces surfaces, QObject* parent = nullptr);
    ~CommandController() override;

    CommandHandlers& handlers() { return m_handlers; }
    CommandBars& bars() const { return m_bars; }

    // The command bars' steps of the main window's load, in order: the stored theme set and applied,
    // the bars built, the menu bar titled, the face colour taken, the tooltip settings, and the user's
    // saved arrangement of the bars.
    void startCommandBars();
    // Saves the user's arrangement of the bars; the main window's close does this once.
    void saveArrangement();

    // Stores the theme and paints the program's surfaces with its face colour. The caller has set the
    // theme on the bars, so that their face colour is the new theme's.
    void applyTheme(int theme);
    // Sets the theme on the bars, then applies it.
    void selectTheme(int theme);
    // Turns "Granska före körning" on or off; the setting holds it.
    void toggleReviewBeforeRun();
    // The face colour of the theme in force, for the windows opened later.
    QColor toolbarFaceColour() const { return m_faceColour; }

    // The three notifications of the bars.
    void onCommandExecute(BarControl* control);
    void onCommandUpdate(BarControl* control);
    void onBarsResized();

private:
    void paintSurfaces();

    CommandBars& m_bars;
    Settings& m_settings;
    ThemeSurfaces m_surfaces;
    CommandHandlers m_handlers;
    QColor m_faceColour;
};

// The theme to start with from the stored text: a text that is not a number counts as 0, a number above
// the last theme gives the default theme; a negative number is kept.
int themeFromSetting(std::string_view text);
