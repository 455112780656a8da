#pragma once

#include "commands/layout.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CadLauncher;
class Drives;
class FileList;
class FolderTree;
class CommandBars;
class CommandController;
class Grid;
class JobCommands;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class ScriptTemplates;
class Settings;
class Supervisor;

// frmMain: the one window of the program. It owns every control for its whole life, fills them from the
// settings in a fixed order when it loads and writes the working state back when it closes.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The load sequence: everything from the first-start import to the first layout. The window is shown
    // by the caller afterwards.
    void load();

    // Places the frame, the tree, the splitter and the list below the bars.
    void arrangeMainWindow();

    // The command bars and the program's side of them (themes, dispatch, the face colour of the theme).
    CommandBars* commandBars() const { return m_commandBars; }
    CommandController* commands() const { return m_commands; }

    // Whether the device of a folder can be reached; replaceable so tests can make a device vanish.
    void setDeviceCheck(std::function<bool(const std::string&)> check);

    // The controls, for the parts of the program that work on them.
    Grid* fgTree() const { return m_fgTree; }
    Grid* fgFiles() const { return m_fgFiles; }
    // The drawing list over fgFiles: its fill, filter and marks.
    FileList* fileList() const { return m_fileList.get(); }
    QFrame* fraFileSelection() const { return m_fraFileSelection; }
    QLabel* picDrag() const { return m_picDrag; }
    QComboBox* combo1() const { return m_combo1; }
    QComboBox* cboScr() const { return m_cboScr; }
    QLineEdit* txtAcad() const { return m_txtAcad; }
    QLineEdit* txtParamAcad() const { return m_txtParamAcad; }
    QLineEdit* txtIcad() const { return m_txtIcad; }
    QLineEdit* txtParamIcad() const { return m_txtParamIcad; }

    // The folder whose drawings the list shows, and the folder whose templates the template box lists:
    // the list and the template list own them.
    const std::string& listingFolder() const;
    const std::string& templateFolder() const;

    // The drive and folder tree over fgTree.
    FolderTree& folderTree() const { return *m_folderTree; }
    // The template folder and list, and the CAD runs: the commands call their operations.
    ScriptTemplates& scriptTemplates() const { return *m_scriptTemplates; }
    CadLauncher& cadLauncher() const { return *m_cadLauncher; }
    // "Spara som jobb..." and "Öppna jobb...".
    JobCommands& jobCommands() const { return *m_jobCommands; }
    // Supervised runs: the runs commands hand over to it while "Övervakad körning" is on.
    Supervisor& supervisor() const { return *m_supervisor; }
    // Once the window shows: offers to take up a supervised run that was left unfinished.
    void offerUnfinishedRun();
    // The names of the marked drawings, top to bottom, as the file system's exact bytes.
    std::vector<std::string> markedDrawings() const;

    const MainWindowLayout& layoutGeometry() const { return m_layout; }
    double treeWidth() const { return m_layout.tree.width; }
    void setTreeWidth(double twips);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createCommandBars();
    void createTree();
    void createFileList();
    void createRuns();
    void editSupervisedSettings();
    void showTemplateFolder(const QString& folder);
    void connectCommands();
    void showFileListPopup();
    void showFolderTreePopup();
    void setUpFileListGrid();
    void applyColumnWidths();
    void fitDefaultColumnWidths();
    void restoreLastFolder(std::string& lastFolder);
    void closeSequence();
    // The settings the load wrote are held in memory until the window has been painted once: their file is
    // written (and synced to disk) while the user already sees the window.
    void holdSettings();
    void releaseSettings();
    void applyLayout();
    FreeRect freeClientRect() const;
    void onSplitterDropped(QWidget* target, QWidget* source, double x);

    Settings& m_settings;
    std::unique_ptr<Drives> m_drives;
    std::unique_ptr<FolderTree> m_folderTree;
    // Goes before the widgets do, and with it its hold on the filter box: losing the focus as the window
    // goes, the box may report its text as chosen, and nothing may list then.
    std::unique_ptr<FileList> m_fileList;
    MainWindowLayout m_layout;
    std::function<bool(const std::string&)> m_deviceCheck;
    bool m_closed = false;
    bool m_settingsHeld = false;
    bool m_loading = false; // the load lays the window out once, at its end
    std::unique_ptr<ScriptTemplates> m_scriptTemplates;
    std::unique_ptr<CadLauncher> m_cadLauncher;
    std::unique_ptr<JobCommands> m_jobCommands;
    Supervisor* m_supervisor = nullptr;

    QFrame* m_fraFileSelection = nullptr;
    Grid* m_fgTree = nullptr;
    QLabel* m_picDrag = nullptr;
    Grid* m_fgFiles = nullptr;
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_cboScr = nullptr;
    QLineEdit* m_txtAcad = nullptr;
    QLineEdit* m_txtParamAcad = nullptr;
    QLineEdit* m_txtIcad = nullptr;
    QLineEdit* m_txtParamIcad = nullptr;
    CommandBars* m_commandBars = nullptr;
    CommandController* m_commands = nullptr;
};
