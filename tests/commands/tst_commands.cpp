// The command model built into the bars, and the dispatch of every command to its operation.
#include "commands/commandcontroller.h"
#include "commands/commandtable.h"
#include "os/registry.h"
#include "settings/settings.h"
#include "widgets/commandbars/commandbars.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace commands;

namespace {

CommandBar* toolbarTitled(const CommandBars& bars, const QString& title)
{
    for (CommandBar* bar : bars.bars()) {
        if (bar->type() == CommandBar::Type::ToolBar && bar->title() == title)
            return bar;
    }
    return nullptr;
}

QStringList titlesOf(const QList<CommandBar*>& bars)
{
    QStringList titles;
    for (const CommandBar* bar : bars) {
        if (bar->type() == CommandBar::Type::ToolBar)
            titles << bar->title();
    }
    return titles;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void barsAreBuiltAsTheModelSays();
    void onlyTheSixCommandsHavePictures();
    void everyCommandReachesItsOperation();
    void shortcutsIssueTheirCommands();
    void aFailingOperationLeavesTheProgramRunning();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<QMainWindow> m_window;
    CommandBars* m_bars = nullptr;
    CommandController* m_commands = nullptr;
    QStringList m_calls;
};

void TestCommands::init()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    m_registry = std::make_unique<Registry>(m_dir.filePath(u"Vendrel.conf"_s).toStdString());
    m_settings = std::make_unique<Settings>(*m_registry, m_dir.path().toStdString());
    m_window = std::make_unique<QMainWindow>();
    m_window->resize(900, 500);
    m_window->setCentralWidget(new QWidget);
    auto* frame = new QFrame(m_window.get());
    QComboBox* cboScr = nullptr;
    for (const char* name : {"Combo1", "cboScr"}) {
        auto* box = new QComboBox(m_window.get());
        box->setObjectName(QLatin1String(name));
        box->setEditable(true);
        box->hide();
        cboScr = box;
    }
    for (const char* name : {"txtAcad", "txtParamAcad", "txtIcad", "txtParamIcad"}) {
        auto* box = new QLineEdit(m_window.get());
        box->setObjectName(QLatin1String(name));
        box->hide();
    }
    m_bars = new CommandBars(*m_window, *m_registry);
    m_commands = new CommandController(*m_bars, *m_settings, {m_window.get(), frame, cboScr}, m_window.get());

    m_calls.clear();
    CommandHandlers& h = m_commands->handlers();
    auto record = [this](const char* name) { return [this, name] { m_calls << QLatin1String(name); }; };
    auto recordKind = [this](const char* name) {
        return [this, name](CadKind kind) {
            m_calls << QLatin1String(name) + (kind == CadKind::Icad ? u" Icad"_s : u" Acad"_s);
        };
    };
    h.closeMainWindow = record("closeMainWindow");
    h.showAboutBox = record("showAboutBox");
    h.selectAllFiles = record("selectAllFiles");
    h.deselectAllFiles = record("deselectAllFiles");
    h.chooseTemplateFolder = record("chooseTemplateFolder");
    h.refreshTree = record("refreshTree");
    h.editTemplate = record("editTemplate");
    h.refreshTemplateList = record("refreshTemplateList");
    h.reviewScript = record("reviewScript");
    h.runScript = recordKind("runScript");
    h.browseCadProgram = recordKind("browseCadProgram");
    m_commands->startCommandBars();
}

void TestCommands::cleanup()
{
    m_window.reset();
    m_bars = nullptr;
    m_commands = nullptr;
    m_settings.reset();
    m_registry->deleteKey(Hive::CurrentUser, "Software\\Brannoc\\Vendrel"); // the store is a key on Windows
    m_registry.reset();
    QFile::remove(m_dir.filePath(u"Vendrel.conf"_s));
}

void TestCommands::barsAreBuiltAsTheModelSays()
{
    QCOMPARE(m_bars->menuBar()->title(), u"Meny"_s);
    QCOMPARE(m_bars->findControl(ID_ABOUT)->caption(), u"&Om Vendrel..."_s);
    // The toolbar list and the theme entries live under "&Visa".
    CommandBar* view = m_bars->menuBar()->control(1)->commandBar();
    QCOMPARE(m_bars->findControl(ID_TOOLBAR_LIST)->bar(), view->control(0)->commandBar());
    QCOMPARE(m_bars->findControl(ID_THEME_VS2005)->bar(), view->control(1)->commandBar());

    QCOMPARE(titlesOf(m_bars->bars()),
             (QStringList{u"Standard"_s, u"Scriptmallar"_s, u"AutoCAD"_s, u"IntelliCAD"_s, u"Färgtema"_s}));
    for (const QString& title : {u"Standard"_s, u"Scriptmallar"_s, u"AutoCAD"_s, u"IntelliCAD"_s})
        QVERIFY2(toolbarTitled(*m_bars, title)->isVisible(), qPrintable(title));
    QVERIFY(!toolbarTitled(*m_bars, u"Färgtema"_s)->isVisible());

    // Each box stands in its toolbar, sized for what it holds.
    const std::pair<const char*, const char*> homes[] = {{"Combo1", "Standard"},    {"cboScr", "Scriptmallar"},
                                                         {"txtAcad", "AutoCAD"},    {"txtParamAcad", "AutoCAD"},
                                                         {"txtIcad", "IntelliCAD"}, {"txtParamIcad", "IntelliCAD"}};
    for (const auto& [box, toolbar] : homes) {
        auto* widget = m_window->findChild<QWidget*>(QLatin1String(box));
        QVERIFY2(toolbarTitled(*m_bars, QString::fromUtf8(toolbar))->widget()->isAncestorOf(widget), box);
    }
    auto* filter = m_window->findChild<QComboBox*>(u"Combo1"_s);
    QStringList presets;
    for (int i = 0; i < filter->count(); ++i)
        presets << filter->itemText(i);
    QCOMPARE(presets, (QStringList{u"*.dwg"_s, u"*.dxf"_s, u"*.dwg;*.dxf"_s}));
    QCOMPARE(filter->toolTip(), u"Välj eller ange fritt.\nEx. 1?100*.dwg"_s);
    QVERIFY(m_window->findChild<QLineEdit*>(u"txtAcad"_s)->width() >
            m_window->findChild<QLineEdit*>(u"txtParamAcad"_s)->width());

    QVERIFY(m_bars->statusBarVisible());
    QCOMPARE(m_bars->statusPaneCount(), 4);
    QCOMPARE(m_bars->statusPane(0)->id(), CommandBars::messagePaneId);
    QCOMPARE(m_bars->statusPane(3)->id(), CommandBars::scrollLockPaneId);
    for (int i = 1; i < 4; ++i)
        QCOMPARE(m_bars->statusPane(i)->width(), 40);
    QCOMPARE(m_bars->idleText(), QString());
}

void TestCommands::onlyTheSixCommandsHavePictures()
{
    const QList<int> pictured{ID_SELECT_ALL, ID_DESELECT_ALL, ID_EXIT, ID_REFRESH_TEMPLATES, ID_RUN_ACAD, ID_RUN_ICAD};
    for (const CommandBar* bar : m_bars->bars()) {
        if (bar->type() != CommandBar::Type::ToolBar)
            continue;
        for (const BarControl* control : bar->controls()) {
            if (control->kind() == ControlKind::Hosted)
                continue;
            const QIcon icon = control->action()->icon();
            QCOMPARE(!icon.isNull(), pictured.contains(control->id()));
            if (icon.isNull())
                continue;
            // Drawn, not blank, at both sizes.
            for (qreal scale : {1.0, 2.0}) {
                const QImage image = icon.pixmap(QSize(16, 16), scale).toImage();
                QCOMPARE(image.size(), QSize(16, 16) * scale);
                int opaque = 0;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x)
                        opaque += qAlpha(image.pixel(x, y)) > 128;
                QVERIFY2(opaque > image.width() * image.height() / 8, qPrintable(QString::number(control->id())));
            }
        }
    }
}

void TestCommands::everyCommandReachesItsOperation()
{
    const std::pair<int, QString> expected[] = {
        {ID_EXIT, u"closeMainWindow"_s},
        {ID_ABOUT, u"showAboutBox"_s},
        {ID_SELECT_ALL, u"selectAllFiles"_s},
        {ID_DESELECT_ALL, u"deselectAllFiles"_s},
        {ID_TEMPLATE_FOLDER, u"chooseTemplateFolder"_s},
        {ID_EDIT_TEMPLATE, u"editTemplate"_s},
        {ID_REFRESH_TEMPLATES, u"refreshTemplateList"_s},
        {ID_REVIEW_SCRIPT, u"reviewScript"_s},
        {ID_RUN_ACAD, u"runScript Acad"_s},
        {ID_BROWSE_ACAD, u"browseCadProgram Acad"_s},
        {ID_RUN_ICAD, u"runScript Icad"_s},
        {ID_BROWSE_ICAD, u"browseCadProgram Icad"_s},
    };
    for (const auto& [id, operation] : expected) {
        const QList<BarControl*> carriers = m_bars->findControls(id);
        QVERIFY(!carriers.isEmpty());
        for (BarControl* control : carriers) {
            m_calls.clear();
            control->action()->trigger();
            QCOMPARE(m_calls, QStringList{operation});
        }
    }

    // The themes are the dispatcher's own: the bars take the theme first, then it is stored.
    const std::pair<int, int> themes[] = {{ID_THEME_OFFICE_XP, 1}, {ID_THEME_STANDARD, 0}, {ID_THEME_OFFICE_2003, 2},
                                          {ID_THEME_NORMAL_XP, 3}, {ID_THEME_VS2005, 4},   {ID_THEME_OFFICE_2007, 5}};
    for (const auto& [id, theme] : themes) {
        for (BarControl* control : m_bars->findControls(id)) {
            m_settings->writeSetting("Theme", "x");
            control->action()->trigger();
            QCOMPARE(m_bars->theme(), theme);
            QCOMPARE(m_settings->text(settings::Theme), std::to_string(theme));
        }
    }
    m_calls.clear();

    // "Granska före körning" is a setting that the menu entry turns on and off and shows checked.
    BarControl* reviewFirst = m_bars->findControl(ID_REVIEW_BEFORE_RUN);
    QVERIFY(reviewFirst);
    for (const char* expected : {"1", "0"}) {
        reviewFirst->action()->trigger();
        QCOMPARE(m_settings->text(settings::ReviewBeforeRun), std::string(expected));
        m_commands->onCommandUpdate(reviewFirst);
        QCOMPARE(reviewFirst->isChecked(), std::string_view(expected) == "1");
    }
    QVERIFY(m_calls.isEmpty());

    // 911 is the tree popup's "Uppdatera"; the template box on the toolbar carries the number too but
    // issues nothing.
    CommandBar* popup = m_bars->addBar(u"Popup"_s, BarPosition::Popup);
    popup->addControl(ControlKind::Button, ID_REFRESH_TREE, u"Uppdatera"_s)->action()->trigger();
    QCOMPARE(m_calls, QStringList{u"refreshTree"_s});
    m_bars->removeBar(popup);
    m_calls.clear();
    auto* cboScr = m_window->findChild<QComboBox*>(u"cboScr"_s);
    cboScr->addItem(u"Plotta.scr"_s);
    cboScr->setCurrentIndex(0);

    // The toolbar list's entries show and hide toolbars and reach no operation.
    auto* list = qobject_cast<QMenu*>(m_bars->findControl(ID_TOOLBAR_LIST)->bar()->widget());
    list->popup(QPoint(10, 10));
    list->hide();
    for (QAction* entry : list->actions()) {
        if (entry->isVisible())
            entry->trigger();
    }
    QVERIFY(toolbarTitled(*m_bars, u"Färgtema"_s)->isVisible());
    QVERIFY(m_calls.isEmpty());
}

void TestCommands::shortcutsIssueTheirCommands()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QApplication::setActiveWindow(m_window.get());
    auto* elsewhere = new QPushButton(u"x"_s, m_window->centralWidget());
    elsewhere->show();
    elsewhere->setFocus();
    QTest::keyClick(elsewhere, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(elsewhere, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(m_calls, (QStringList{u"deselectAllFiles"_s, u"selectAllFiles"_s}));
}

void TestCommands::aFailingOperationLeavesTheProgramRunning()
{
    m_commands->handlers().selectAllFiles = [] { throw std::runtime_error("list gone"); };
    m_commands->handlers().editTemplate = nullptr; // not wired: the command does nothing
    m_commands->handlers().deselectAllFiles = [this] {
        m_calls << u"deselectAllFiles"_s;
        throw 7;
    };
    // What ended a command is logged with its id.
    QTest::ignoreMessage(QtWarningMsg, qPrintable(u"command %1 failed: list gone"_s.arg(ID_SELECT_ALL)));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(u"command %1 failed"_s.arg(ID_DESELECT_ALL)));
    m_bars->findControl(ID_SELECT_ALL)->action()->trigger();
    m_bars->findControl(ID_EDIT_TEMPLATE)->action()->trigger();
    m_bars->findControl(ID_DESELECT_ALL)->action()->trigger();
    QCOMPARE(m_calls, QStringList{u"deselectAllFiles"_s});
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
