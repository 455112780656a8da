#include "app/mainwindow.h"

#include "about/aboutbox.h"
#include "app/placement.h"
#include "commands/commandcontroller.h"
#include "commands/commandtable.h"
#include "filelist/filelist.h"
#include "filelist/filetexts.h"
#include "job/qt/jobcommands.h"
#include "os/device.h"
#include "os/drives.h"
#include "os/folders.h"
#include "os/nativetext.h"
#include "os/registry.h"
#include "runs/qt/cadlauncher.h"
#include "runs/qt/templates.h"
#include "schedule/qt/scheduledialog.h"
#include "settings/initreg.h"
#include "settings/settings.h"
#include "supervise/qt/supervisedsettings.h"
#include "supervise/qt/supervisor.h"
#include "tree/foldertree.h"
#include "widgets/commandbars/commandbars.h"
#include "widgets/grid.h"
#include "widgets/messagebox.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int listColumnsBeforeSetUp = 5;
constexpr int missingColumnWidth = 960;

} // namespace

MainWindow::MainWindow(Settings& settings, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_deviceCheck(isDeviceAvailable)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vendrel"));
    createControls();
    createTree();
    createFileList();
    createCommandBars();
    createRuns();
    connectCommands();
}

MainWindow::~MainWindow()
{
    releaseSettings();
}

const std::string& MainWindow::listingFolder() const
{
    return m_fileList->listingFolder();
}

const std::string& MainWindow::templateFolder() const
{
    return m_scriptTemplates->templateFolder();
}

void MainWindow::setDeviceCheck(std::function<bool(const std::string&)> check)
{
    m_deviceCheck = std::move(check);
}

void MainWindow::createControls()
{
    // The central widget only marks the part of the client area the bars leave free; the frame is
    // placed over it by the layout.
    auto* free = new QWidget(this);
    free->setObjectName(QStringLiteral("freeClientArea"));
    setCentralWidget(free);

    m_fraFileSelection = new QFrame(this);
    m_fraFileSelection->setObjectName(QStringLiteral("fraFileSelection"));
    m_fraFileSelection->setAutoFillBackground(true);
    m_fraFileSelection->hide();

    m_fgTree = new Grid(m_fraFileSelection);
    m_fgTree->setObjectName(QStringLiteral("fgTree"));

    m_picDrag = new QLabel(QStringLiteral("H"), m_fraFileSelection);
    m_picDrag->setObjectName(QStringLiteral("picDrag"));
    m_picDrag->setCursor(Qt::SizeHorCursor);
    m_picDrag->installEventFilter(this);

    m_fgFiles = new Grid(m_fraFileSelection);
    m_fgFiles->setObjectName(QStringLiteral("fgFiles"));
    m_fgFiles->setFixedRows(1);
    m_fgFiles->setCols(listColumnsBeforeSetUp);
    m_fgFiles->setSelectionMode(Grid::SelectionMode::ListMulti);

    connect(m_fgTree, &Grid::dragDrop, this,
            [this](QWidget* source, int x, int) { onSplitterDropped(m_fgTree, source, x); });
    connect(m_fgFiles, &Grid::dragDrop, this,
            [this](QWidget* source, int x, int) { onSplitterDropped(m_fgFiles, source, x); });

    auto edit = [this](const char* name) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QLatin1String(name));
        box->hide(); // shown where the toolbars host it
        return box;
    };
    m_combo1 = new QComboBox(this);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(true);
    // The list follows what the box shows: a completion typed in by the box itself would show one pattern
    // while the list (and a run) used another. Nor does Enter add a pattern to the three offered.
    m_combo1->setCompleter(nullptr);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    m_combo1->hide();
    m_cboScr = new QComboBox(this);
    m_cboScr->setObjectName(QStringLiteral("cboScr"));
    m_cboScr->setEditable(true);
    m_cboScr->setInsertPolicy(QComboBox::NoInsert); // its list is the template folder's, a typed name is not added
    m_cboScr->hide();
    m_txtAcad = edit("txtAcad");
    m_txtParamAcad = edit("txtParamAcad");
    m_txtIcad = edit("txtIcad");
    m_txtParamIcad = edit("txtParamIcad");
}

void MainWindow::createTree()
{
    m_drives = std::make_unique<Drives>();
    m_folderTree = std::make_unique<FolderTree>(*m_fgTree, *m_drives);
    m_folderTree->setFillFileList([this] { m_fileList->fillFileList(); });
}

void MainWindow::createFileList()
{
    m_fileList = std::make_unique<FileList>(*m_fgFiles, *m_folderTree);
    m_fileList->connectFilterBox(*m_combo1);
}

void MainWindow::createRuns()
{
    m_scriptTemplates = std::make_unique<ScriptTemplates>(ScriptTemplates::Wiring{this, m_cboScr, &m_settings});
    connect(m_scriptTemplates.get(), &ScriptTemplates::folderShown, this, &MainWindow::showTemplateFolder);
    connect(m_scriptTemplates.get(), &ScriptTemplates::listRefreshed, this, &MainWindow::arrangeMainWindow);

    CadLauncher::Wiring runs;
    runs.window = this;
    runs.settings = &m_settings;
    runs.templates = m_scriptTemplates.get();
    runs.acad = {m_txtAcad, m_txtParamAcad};
    runs.icad = {m_txtIcad, m_txtParamIcad};
    runs.markedDrawings = [this] { return markedDrawings(); };
    runs.listingFolder = [this] { return m_fileList->listingFolder(); };
    m_supervisor = new Supervisor(
        this, [this] { return supervisedsettings::policy(m_settings); },
        [this] { return supervisedsettings::enabled(m_settings); }, this);
    runs.supervised = m_supervisor;
    m_cadLauncher = std::make_unique<CadLauncher>(std::move(runs));

    JobCommands::Wiring jobs;
    jobs.window = this;
    jobs.settings = &m_settings;
    jobs.tree = m_folderTree.get();
    jobs.files = m_fileList.get();
    jobs.filterBox = m_combo1;
    jobs.templateBox = m_cboScr;
    jobs.templates = m_scriptTemplates.get();
    jobs.launcher = m_cadLauncher.get();
    jobs.acad = {m_txtAcad, m_txtParamAcad};
    jobs.icad = {m_txtIcad, m_txtParamIcad};
    m_jobCommands = std::make_unique<JobCommands>(std::move(jobs));
}

// The template folder's button shows the folder as its description and tooltip, the template box's
// control as its description.
void MainWindow::showTemplateFolder(const QString& folder)
{
    for (BarControl* control : m_commandBars->findControls(commands::ID_TEMPLATE_FOLDER)) {
        control->setDescription(folder);
        control->setTooltip(folder);
    }
    for (BarControl* control : m_commandBars->findControls(commands::ID_REFRESH_TREE))
        control->setDescription(folder);
}

std::vector<std::string> MainWindow::markedDrawings() const
{
    return m_fileList->markedDrawings();
}

void MainWindow::createCommandBars()
{
    // Made in the stored theme: themed once, unless Init.reg's import at the load changes it.
    m_commandBars = new CommandBars(*this, m_settings.registry(), themeFromSetting(m_settings.text(settings::Theme)));
    m_commands = new CommandController(*m_commandBars, m_settings, {this, m_fraFileSelection, m_cboScr}, this);
    CommandHandlers& handlers = m_commands->handlers();
    handlers.closeMainWindow = [this] { close(); };
    handlers.arrangeMainWindow = [this] { arrangeMainWindow(); };
    handlers.showAboutBox = [this] { showAboutBox(this, m_commands->toolbarFaceColour()); };
    handlers.selectAllFiles = [this] { m_fileList->selectAllFiles(); };
    handlers.deselectAllFiles = [this] { m_fileList->deselectAllFiles(); };
    connect(m_fileList.get(), &FileList::contextMenuRequested, this, &MainWindow::showFileListPopup);
}

// The drawing list's menu, built anew for every right click; choosing an entry runs its command.
void MainWindow::showFileListPopup()
{
    CommandBar* popup = m_commandBars->addBar(QStringLiteral("Popup"), BarPosition::Popup);
    popup->addControl(ControlKind::Button, commands::ID_SELECT_ALL, QStringLiteral("Markera alla"));
    popup->addControl(ControlKind::Button, commands::ID_DESELECT_ALL, QStringLiteral("Avmarkera alla"))
        ->setSeparatorBefore(true);
    m_commandBars->showPopup(popup);
    m_commandBars->removeBar(popup);
}

// The tree's menu, built anew for every right click: "Uppdatera" reads the drives again and rebuilds it.
void MainWindow::showFolderTreePopup()
{
    CommandBar* popup = m_commandBars->addBar(QStringLiteral("Popup"), BarPosition::Popup);
    popup->addControl(ControlKind::Button, commands::ID_REFRESH_TREE, QStringLiteral("Uppdatera"))
        ->setSeparatorBefore(true);
    m_commandBars->showPopup(popup);
    m_commandBars->removeBar(popup);
}

// The operations of the tree and the runs behind their commands.
void MainWindow::connectCommands()
{
    CommandHandlers& handlers = m_commands->handlers();
    handlers.refreshTree = [this] { m_folderTree->refreshTree(); };
    connect(m_folderTree.get(), &FolderTree::contextMenuRequested, this, &MainWindow::showFolderTreePopup);
    handlers.chooseTemplateFolder = [this] { m_scriptTemplates->chooseTemplateFolder(); };
    handlers.editTemplate = [this] { m_scriptTemplates->editTemplate(); };
    handlers.refreshTemplateList = [this] { m_scriptTemplates->refreshTemplateList(); };
    handlers.runScript = [this](CadKind kind) { m_cadLauncher->runScript(kind); };
    handlers.reviewScript = [this] { m_cadLauncher->reviewScript(); };
    handlers.browseCadProgram = [this](CadKind kind) { m_cadLauncher->browseCadProgram(kind); };
    handlers.toggleSupervisedRun = [this] { supervisedsettings::toggle(m_settings); };
    handlers.supervisedRunOn = [this] { return supervisedsettings::enabled(m_settings); };
    handlers.supervisedRunSettings = [this] { editSupervisedSettings(); };
    handlers.saveJob = [this] { m_jobCommands->saveAsJob(); };
    handlers.openJob = [this] { m_jobCommands->openJob(); };
    handlers.scheduleJob = [this] {
        ScheduleDialog dialog(this, {m_jobCommands->currentJob(), ScheduleDialog::runProgram(),
                                     [this] { return m_jobCommands->saveAsJob(); }});
        dialog.exec();
    };
}

// The settings dialog tries the CAD programs as a run starts them: with their parameters and start drawing.
void MainWindow::editSupervisedSettings()
{
    std::vector<script::CadProgram> programs;
    for (const CadKind kind : {CadKind::Acad, CadKind::Icad})
        programs.push_back(m_cadLauncher->program(kind));
    supervisedsettings::edit(this, m_settings, std::move(programs));
}

void MainWindow::offerUnfinishedRun()
{
    m_supervisor->offerResume();
}

void MainWindow::load()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    holdSettings();
    m_loading = true;

    importInitReg(m_settings);
    m_commands->startCommandBars();

    restoreWindowPlacement(m_settings, this, settings::mainPlacement, 9000, 12000);

    if (auto width = m_settings.number(settings::TreeWidth); width && *width >= 0)
        setTreeWidth(*width);

    std::string lastFolder = m_settings.read(settings::LastPath);
    applyColumnWidths();

    if (y() < 0)
        move(x(), 0);
    if (x() < 0)
        move(0, y());
    if (auto state = m_settings.number(settings::WinState); state && (*state == 1 || *state == 2))
        setWindowState(*state == 2 ? Qt::WindowMaximized : Qt::WindowMinimized);

    m_layout.frame.left = 60;
    m_layout.frame.top = 0;
    m_fraFileSelection->show();

    restoreLastFolder(lastFolder);
    m_folderTree->setupTreeView();
    m_folderTree->restoreLastPath(QByteArray::fromStdString(lastFolder));
    setUpFileListGrid();
    fitDefaultColumnWidths();
    if (QFileInfo(nativeText(lastFolder)).isDir())
        m_fileList->setListingFolder(lastFolder);

    m_cadLauncher->loadProgramsAtStart();
    m_scriptTemplates->loadAtStart();

    m_combo1->setEditText(nativeText(m_settings.read(settings::LastPattern)));
    m_fileList->applyFilterPattern(m_combo1->currentText());

    m_txtParamAcad->setText(nativeText(m_settings.read(settings::ParametersAcad)));
    m_txtParamIcad->setText(nativeText(m_settings.read(settings::ParametersIcad)));

    QApplication::restoreOverrideCursor();
    restoreWindowPlacement(m_settings, this, settings::mainPlacement, 4000, 7000);
    // A window shown at its restored size has its toolbar rows now; a maximised one gets them at the size
    // it shows at.
    if (windowState() == Qt::WindowNoState)
        m_commandBars->settleToolbarRows();
    m_loading = false;
    arrangeMainWindow();
}

// Step "LastFolder": a folder on a device that is gone (a removed medium, a share that is not connected)
// is replaced by the program folder, with a message.
void MainWindow::restoreLastFolder(std::string& lastFolder)
{
    m_fileList->setListingFolder(currentFolder());
    if (m_deviceCheck(lastFolder))
        return;
    messagebox::show(this, QStringLiteral("Sökvägen ") + nativeText(lastFolder) + QStringLiteral(" är ej tillgänglig."),
                     QStringLiteral("Vendrel"), messagebox::Icon::Critical);
    lastFolder = m_settings.programFolder();
    m_fileList->setListingFolder(m_settings.programFolder());
}

void MainWindow::applyColumnWidths()
{
    const std::vector<std::optional<double>> widths = m_settings.numbers(settings::Files);
    for (int c = 0; c < m_fgFiles->cols(); ++c) {
        if (std::size_t(c) >= widths.size()) {
            m_fgFiles->setColWidth(c, missingColumnWidth);
            continue;
        }
        // A width that is not a number leaves that column alone; the next one is still set.
        if (const std::optional<double>& width = widths[std::size_t(c)]; width && *width >= 0)
            m_fgFiles->setColWidth(c, int(*width));
    }
}

// Column widths nobody has stored yet are the defaults, which the platform's font may find too narrow for a
// date, a size or a type: such a column grows to show them whole. Stored widths stay as they are.
void MainWindow::fitDefaultColumnWidths()
{
    if (m_settings.isStored(settings::Files))
        return;
    FileTexts texts;
    const QString widest[] = {texts.dateText(1672254488), texts.typeText(u"dwg"), texts.sizeText(999'999 * 1024LL)};
    for (int c = 2; c < 5; ++c)
        m_fgFiles->setColWidth(c, std::max(m_fgFiles->colWidth(c), m_fgFiles->colWidthForText(c, widest[c - 2])));
}

void MainWindow::setUpFileListGrid()
{
    m_fgFiles->setCols(6);
    m_fgFiles->setColDataType(0, Grid::DataType::Boolean);
    m_fgFiles->setColHidden(0, true);
    const QString headers[] = {QString(), QStringLiteral("Namn"), QStringLiteral("Datum"), QStringLiteral("Typ"),
                               QStringLiteral("Storlek")};
    for (int c = 1; c < 5; ++c)
        m_fgFiles->setTextMatrix(0, c, headers[c]);
    for (int c = 0; c < 5; ++c)
        m_fgFiles->setColAlignment(c, Grid::Alignment::LeftCenter);
    m_fgFiles->setColAlignment(4, Grid::Alignment::RightCenter);
}

void MainWindow::holdSettings()
{
    if (m_settingsHeld)
        return;
    m_settings.registry().beginBatch();
    m_settingsHeld = true;
    // A window that starts minimised is not painted: its settings are written all the same.
    QTimer::singleShot(1000, this, &MainWindow::releaseSettings);
}

void MainWindow::releaseSettings()
{
    if (!m_settingsHeld)
        return;
    m_settingsHeld = false;
    m_settings.registry().endBatch();
}

bool MainWindow::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    // After the first painting, once what was painted is on the screen.
    if (event->type() == QEvent::Paint && m_settingsHeld)
        QTimer::singleShot(0, this, &MainWindow::releaseSettings);
    return handled;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    releaseSettings();
    if (!m_closed) {
        m_closed = true;
        closeSequence();
    }
    event->accept();
}

void MainWindow::closeSequence()
{
    if (isMinimized())
        setWindowState(Qt::WindowNoState);
    const std::string& listingFolder = m_fileList->listingFolder();
    m_settings.setNumber(settings::TreeWidth, m_layout.tree.width);
    m_settings.write(settings::LastPath, listingFolder);
    m_settings.write(settings::ParametersAcad, nativeBytes(m_txtParamAcad->text()));
    m_settings.write(settings::ParametersIcad, nativeBytes(m_txtParamIcad->text()));
    m_cadLauncher->saveProgramsAtClose();
    m_settings.write(settings::StartDir, listingFolder);
    m_settings.write(settings::LastPattern, nativeBytes(m_combo1->currentText()));
    m_scriptTemplates->saveAtClose();

    saveWindowPlacement(m_settings, this, settings::mainPlacement);
    m_settings.write(settings::InitPath, listingFolder);

    if (!isMinimized()) {
        const int state = isMaximized() ? 2 : 0;
        m_settings.setNumber(settings::WinState, state);
    }
    std::vector<double> widths;
    for (int c = 0; c < m_fgFiles->cols(); ++c)
        widths.push_back(m_fgFiles->colWidth(c));
    m_settings.setNumbers(settings::Files, widths);
    // Also tells the next start that this is no longer the user's first.
    m_commands->saveArrangement();
}

void MainWindow::setTreeWidth(double twips)
{
    m_layout.tree.width = twips;
    applyLayout();
}

FreeRect MainWindow::freeClientRect() const
{
    const TwipRect free = m_commandBars->freeClientRect();
    return {free.left, free.top, free.right, free.bottom};
}

void MainWindow::arrangeMainWindow()
{
    if (isMinimized() || m_loading)
        return;
    const double outerWidth = twips::fromPixels(frameGeometry().width(), this);
    ::arrangeMainWindow(m_layout, freeClientRect(), outerWidth);
    applyLayout();
}

void MainWindow::applyLayout()
{
    const double dpi = twips::logicalDpi(this);
    auto place = [dpi](QWidget* widget, const LayoutRect& r) {
        widget->setGeometry(twips::toPixels(r.left, dpi), twips::toPixels(r.top, dpi), twips::toPixels(r.width, dpi),
                            twips::toPixels(r.height, dpi));
    };
    place(m_fraFileSelection, m_layout.frame);
    place(m_fgTree, m_layout.tree);
    place(m_picDrag, m_layout.splitter);
    place(m_fgFiles, m_layout.list);
    m_fraFileSelection->raise();
    // The splitter draws nothing, whatever the theme: only the pointer shows where it is.
    QPalette palette = m_picDrag->palette();
    palette.setColor(QPalette::WindowText, Qt::transparent);
    m_picDrag->setPalette(palette);
    m_picDrag->setAttribute(Qt::WA_TranslucentBackground);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!isMinimized())
        arrangeMainWindow();
}

// A window restored from the taskbar keeps its size, so no resize lays it out: a window that started
// minimised would otherwise show its controls where the load left them.
void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        arrangeMainWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picDrag && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* drag = new QDrag(m_picDrag);
        drag->setMimeData(Grid::widgetDragData(m_picDrag));
        drag->exec(Qt::MoveAction);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onSplitterDropped(QWidget* target, QWidget* source, double x)
{
    if (target == m_fgTree) {
        const auto* label = qobject_cast<const QLabel*>(source);
        ::dropOnTree(m_layout, label && label->text() == QStringLiteral("H"), x);
    } else {
        ::dropOnList(m_layout, x);
    }
    arrangeMainWindow();
}
