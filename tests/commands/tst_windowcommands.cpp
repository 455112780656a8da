// The command bars in the real main window: themes across starts, check marks, the keys that stay with
// text boxes, the layout under the bars, and the arrangement of the bars across a close and a start.
#include "app/mainwindow.h"
#include "commands/commandcontroller.h"
#include "commands/commandtable.h"
#include "os/registry.h"
#include "settings/settings.h"
#include "widgets/commandbars/commandbars.h"
#include "widgets/grid.h"
#include "widgets/standinuser.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <memory>

using namespace Qt::StringLiterals;
using namespace commands;

namespace {

const int themeIds[] = {ID_THEME_STANDARD,  ID_THEME_OFFICE_XP, ID_THEME_OFFICE_2003,
                        ID_THEME_NORMAL_XP, ID_THEME_VS2005,    ID_THEME_OFFICE_2007};

CommandBar* toolbarTitled(const CommandBars& bars, const QString& title)
{
    for (CommandBar* bar : bars.bars()) {
        if (bar->type() == CommandBar::Type::ToolBar && bar->title() == title)
            return bar;
    }
    return nullptr;
}

QToolButton* buttonOf(const BarControl* control)
{
    auto* toolbar = qobject_cast<QToolBar*>(control->bar()->widget());
    return toolbar ? qobject_cast<QToolButton*>(toolbar->widgetForAction(control->action())) : nullptr;
}

// Opens and closes a menu of the bars, as the user does before looking at its entries.
void openMenuOf(const BarControl* control)
{
    auto* menu = qobject_cast<QMenu*>(control->bar()->widget());
    QVERIFY(menu);
    menu->popup(QPoint(20, 20));
    menu->hide();
}

// The theme entries that carry a check mark, as (id, in a menu) pairs.
QList<std::pair<int, bool>> markedThemeEntries(const CommandBars& bars)
{
    QList<std::pair<int, bool>> marked;
    for (int id : themeIds) {
        for (const BarControl* control : bars.findControls(id)) {
            if (control->action()->isChecked())
                marked.append({id, control->bar()->type() != CommandBar::Type::ToolBar});
        }
    }
    return marked;
}

} // namespace

class TestWindowCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void storedThemeAtStart_data();
    void storedThemeAtStart();
    void choosingAThemeRepaintsAndMovesTheMarks();
    void ctrlASelectsInTheFilterBoxButIssuesTheCommandInTheList();
    void hidingToolbarsMovesTheFrameUp();
    void exitSavesTheArrangementForTheNextStart();
    void supervisedRunIsACheckEntryUnderTools();

private:
    std::unique_ptr<MainWindow> loaded()
    {
        auto window = std::make_unique<MainWindow>(*m_settings);
        window->load();
        return window;
    }
    std::unique_ptr<MainWindow> shown()
    {
        auto window = loaded();
        window->resize(1100, 600);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        QApplication::setActiveWindow(window.get());
        return window;
    }

    StandInUser m_user; // messages are passed over
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<Settings> m_settings;
};

void TestWindowCommands::init()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    m_registry = std::make_unique<Registry>(m_dir.filePath(u"config/Brannoc/Vendrel.conf"_s).toStdString());
    m_registry->deleteKey(Hive::CurrentUser, settings::productKey);
    m_settings = std::make_unique<Settings>(*m_registry, m_dir.path().toStdString());
}

void TestWindowCommands::cleanup()
{
    m_settings.reset();
    m_registry.reset();
}

void TestWindowCommands::storedThemeAtStart_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("theme");
    QTest::addColumn<QString>("rewritten");
    QTest::newRow("none") << QString() << 2 << u"2"_s;
    QTest::newRow("above the last") << u"9"_s << 2 << u"2"_s;
    QTest::newRow("far above the last") << u"20000000000"_s << 2 << u"2"_s;
    QTest::newRow("not a number") << u"abc"_s << 0 << u"0"_s;
    QTest::newRow("Visual Studio 2005") << u"4"_s << 4 << u"4"_s;
    QTest::newRow("negative") << u"-3"_s << -3 << u"-3"_s;
}

void TestWindowCommands::storedThemeAtStart()
{
    QFETCH(QString, stored);
    QFETCH(int, theme);
    QFETCH(QString, rewritten);
    if (!stored.isNull())
        m_settings->writeSetting("Theme", stored.toStdString());
    auto window = loaded();
    CommandBars& bars = *window->commandBars();
    QCOMPARE(bars.theme(), theme);
    QCOMPARE(QString::fromStdString(m_settings->text(settings::Theme)), rewritten);

    const QColor face = bars.specialColor(CommandBars::toolbarFaceColourNumber);
    QCOMPARE(window->commands()->toolbarFaceColour(), face);
    QCOMPARE(window->palette().color(QPalette::Window), face);
    QCOMPARE(window->fraFileSelection()->palette().color(QPalette::Window), face);
    QVERIFY(window->fraFileSelection()->autoFillBackground());
    QCOMPARE(window->cboScr()->palette().color(QPalette::Base), face);

    // The theme's entries carry the mark from the start, in the menu and on the toolbar; a theme the
    // program does not know marks nothing.
    QList<std::pair<int, bool>> expected;
    if (const Command* command = theme >= 0 && theme <= 5 ? findCommand(themeIds[theme]) : nullptr)
        expected = {{command->id, true}, {command->id, false}};
    QCOMPARE(markedThemeEntries(bars), expected);
}

void TestWindowCommands::choosingAThemeRepaintsAndMovesTheMarks()
{
    auto window = shown();
    QVERIFY(window);
    CommandBars& bars = *window->commandBars();
    toolbarTitled(bars, u"Färgtema"_s)->setVisible(true);

    BarControl* inMenu = bars.findControl(ID_THEME_VS2005);
    QVERIFY(inMenu->bar()->type() != CommandBar::Type::ToolBar);
    inMenu->action()->trigger();
    openMenuOf(inMenu);
    QCOMPARE(m_settings->text(settings::Theme), "4");
    QCOMPARE(markedThemeEntries(bars),
             (QList<std::pair<int, bool>>{{ID_THEME_VS2005, true}, {ID_THEME_VS2005, false}}));

    // From the toolbar: "Standard", and everything painted at once in its face colour.
    QTest::mouseClick(buttonOf(bars.findControls(ID_THEME_STANDARD).last()), Qt::LeftButton);
    openMenuOf(inMenu);
    QCOMPARE(m_settings->text(settings::Theme), "0");
    QCOMPARE(markedThemeEntries(bars),
             (QList<std::pair<int, bool>>{{ID_THEME_STANDARD, true}, {ID_THEME_STANDARD, false}}));
    QVERIFY(buttonOf(bars.findControls(ID_THEME_STANDARD).last())->isChecked());
    QVERIFY(!buttonOf(bars.findControls(ID_THEME_VS2005).last())->isChecked());
    const QColor face = bars.specialColor(CommandBars::toolbarFaceColourNumber);
    QCOMPARE(window->commands()->toolbarFaceColour(), face);
    QCOMPARE(window->palette().color(QPalette::Window), face);
    QCOMPARE(window->fraFileSelection()->palette().color(QPalette::Window), face);
    QCOMPARE(window->cboScr()->palette().color(QPalette::Base), face);
    // The template box shows it, although its toolbar styles the boxes it hosts.
    const QImage box = window->cboScr()->grab().toImage();
    QCOMPARE(box.pixelColor(box.width() / 3, box.height() / 2), face);

    // And the next start keeps it.
    window->close();
    QCOMPARE(loaded()->commandBars()->theme(), 0);
}

void TestWindowCommands::ctrlASelectsInTheFilterBoxButIssuesTheCommandInTheList()
{
    auto window = shown();
    QVERIFY(window);
    QSignalSpy executed(window->commandBars(), &CommandBars::execute);

    window->fgFiles()->setFocus();
    QVERIFY(window->fgFiles()->isAncestorOf(QApplication::focusWidget()) ||
            QApplication::focusWidget() == window->fgFiles());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(executed.size(), 1);
    QCOMPARE(executed.at(0).at(0).value<BarControl*>()->id(), int(ID_SELECT_ALL));

    QComboBox* filter = window->combo1();
    filter->setEditText(u"*.dwg;*.dxf"_s);
    filter->lineEdit()->setCursorPosition(2);
    filter->setFocus();
    QTest::keyClick(filter, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(filter->lineEdit()->selectedText(), u"*.dwg;*.dxf"_s);
    QCOMPARE(executed.size(), 1);
}

void TestWindowCommands::hidingToolbarsMovesTheFrameUp()
{
    auto window = shown();
    QVERIFY(window);
    CommandBars& bars = *window->commandBars();
    const double before = bars.freeClientRect().top;
    QCOMPARE(window->fraFileSelection()->y(), twips::toPixels(before, window.get()));

    // Through the toolbar list, one toolbar after the other, as the user does.
    BarControl* listEntry = bars.findControl(ID_TOOLBAR_LIST);
    for (const QString& title : {u"Standard"_s, u"Scriptmallar"_s, u"AutoCAD"_s, u"IntelliCAD"_s}) {
        openMenuOf(listEntry);
        const QList<QAction*> entries = listEntry->bar()->widget()->actions();
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](QAction* a) { return a->isVisible() && a->text() == title; });
        QVERIFY2(it != entries.end(), qPrintable(title));
        (*it)->trigger();
        QCoreApplication::processEvents();
    }
    const double after = bars.freeClientRect().top;
    QVERIFY(after < before);
    QCOMPARE(after, twips::fromPixels(window->menuBar()->geometry().bottom() + 1, window.get()));
    QCOMPARE(window->layoutGeometry().frame.top, after);
    QCOMPARE(window->fraFileSelection()->y(), twips::toPixels(after, window.get()));
}

void TestWindowCommands::exitSavesTheArrangementForTheNextStart()
{
    auto window = shown();
    QVERIFY(window);
    toolbarTitled(*window->commandBars(), u"AutoCAD"_s)->setVisible(false);
    toolbarTitled(*window->commandBars(), u"Färgtema"_s)->setVisible(true);
    window->setTreeWidth(2800);

    // "&Avsluta" on the toolbar: the same close as the close box, with everything saved.
    QTest::mouseClick(buttonOf(window->commandBars()->findControls(ID_EXIT).last()), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QCOMPARE(m_settings->readSetting("TreeWidth", "", "Main"), "2800");
    QVERIFY(m_settings->savedBarCount() >= 1);

    auto next = loaded();
    QVERIFY(!toolbarTitled(*next->commandBars(), u"AutoCAD"_s)->isVisible());
    QVERIFY(toolbarTitled(*next->commandBars(), u"Färgtema"_s)->isVisible());
    QVERIFY(toolbarTitled(*next->commandBars(), u"IntelliCAD"_s)->isVisible());

    // From the menu too.
    next->show();
    QVERIFY(QTest::qWaitForWindowExposed(next.get()));
    next->commandBars()->findControl(ID_EXIT)->action()->trigger();
    QVERIFY(!next->isVisible());
}

// "Övervakad körning" is off at first; each choice turns it over, keeps it in the settings and moves the mark.
void TestWindowCommands::supervisedRunIsACheckEntryUnderTools()
{
    auto window = shown();
    QVERIFY(window);
    BarControl* entry = window->commandBars()->findControl(ID_SUPERVISED_RUN);
    QVERIFY(entry && entry->bar()->type() != CommandBar::Type::ToolBar);
    QCOMPARE(entry->action()->text(), u"Övervakad körning"_s);
    openMenuOf(entry);
    QVERIFY(!entry->action()->isChecked());
    entry->action()->trigger();
    openMenuOf(entry);
    QCOMPARE(m_settings->text(settings::SupervisedRun), "1");
    QVERIFY(entry->action()->isChecked());
    entry->action()->trigger();
    openMenuOf(entry);
    QCOMPARE(m_settings->text(settings::SupervisedRun), "0");
    QVERIFY(!entry->action()->isChecked());
    QVERIFY(window->commandBars()->findControl(ID_SUPERVISED_SETTINGS));
}

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
