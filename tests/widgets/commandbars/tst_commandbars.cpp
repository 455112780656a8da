#include "os/registry.h"
#include "widgets/commandbars/commandbars.h"
#include "widgets/commandbars/commandbarthemes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <set>

using namespace Qt::StringLiterals;

namespace {

QIcon squareIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QList<int> ids(const QList<BarControl*>& controls)
{
    QList<int> result;
    for (const BarControl* control : controls)
        result.append(control->id());
    return result;
}

QToolButton* buttonOf(const BarControl* control)
{
    auto* toolbar = qobject_cast<QToolBar*>(control->bar()->widget());
    return toolbar ? qobject_cast<QToolButton*>(toolbar->widgetForAction(control->action())) : nullptr;
}

} // namespace

class TestCommandBars : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsStandInTheOrderAdded();
    void noSeparatorAtTheStartOfABar();
    void oneIdReportsAlikeFromMenuToolbarShortcutAndPopup();
    void checkMarkIsTheProgramsNotTheClicks();
    void ctrlAStaysInTextBoxes_data();
    void ctrlAStaysInTextBoxes();
    void ctrlVPastesIntoTheFocusedEdit();
    void toolbarListShowsAndHidesToolbars();
    void freeClientRectIsWhatTheBarsLeave();
    void themesHaveDistinctStableFaceColours();
    void changingTheThemeRepaintsAtOnce();
    void eachBarLooksAsWithTheWholeSheet();
    void aMenuOpensInTheTheme();
    void buttonsShowIconsAndCaptionsByStyle();
    void tooltipsBreakAtCarriageReturns();
    void descriptionsShowInTheMessagePane();
    void hostedBoxStaysTheWindowsAndIssuesNothing();
    void statusBarPanes();
    void arrangementRoundTrip();
    void unusableArrangementLeavesTheBarsAsBuilt_data();
    void unusableArrangementLeavesTheBarsAsBuilt();

private:
    // A window with the shape the program builds: a menu with popups, a toolbar with a hosted box,
    // a second toolbar, and a third one hidden.
    void build(QMainWindow& window, CommandBars& bars);

    QTemporaryDir m_dir;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<QMainWindow> m_window;
    CommandBars* m_bars = nullptr;
};

void TestCommandBars::init()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    m_registry = std::make_unique<Registry>(m_dir.filePath(u"Vendrel.conf"_s).toStdString());
    m_window = std::make_unique<QMainWindow>();
    m_window->resize(640, 400);
    m_bars = new CommandBars(*m_window, *m_registry);
}

void TestCommandBars::cleanup()
{
    m_window.reset();
    m_bars = nullptr;
    m_registry->deleteKey(Hive::CurrentUser, "Software\\Brannoc\\Vendrel"); // the store is a key on Windows
    m_registry.reset();
    QFile::remove(m_dir.filePath(u"Vendrel.conf"_s));
}

void TestCommandBars::build(QMainWindow& window, CommandBars& bars)
{
    CommandBar* file = bars.menuBar()->addControl(ControlKind::Popup, 0, u"&Arkiv"_s)->commandBar();
    file->addControl(ControlKind::Button, 100, u"&Avsluta"_s)->setSeparatorBefore(true);
    CommandBar* view = bars.menuBar()->addControl(ControlKind::Popup, 0, u"&Visa"_s)->commandBar();
    CommandBar* list = view->addControl(ControlKind::Popup, 0, u"&Verktygsfält"_s)->commandBar();
    list->addControl(ControlKind::Button, CommandBars::toolbarListId, u"&Standard"_s);
    CommandBar* tools = bars.menuBar()->addControl(ControlKind::Popup, 0, u"Ver&ktyg"_s)->commandBar();
    tools->addControl(ControlKind::Button, 901, u"Markera &alla"_s)->setSeparatorBefore(true);

    CommandBar* standard = bars.addBar(u"Standard"_s, BarPosition::Top);
    BarControl* filter = standard->addControl(ControlKind::Hosted, 940, QString());
    filter->setSeparatorBefore(true);
    auto* combo = new QComboBox(&window);
    combo->setObjectName(u"Combo1"_s);
    combo->setEditable(true);
    filter->setHostedWindow(combo);
    filter->setDescription(u"Urvalsfilter för filer"_s);
    standard->addControl(ControlKind::Button, 901, u"Markera &alla"_s)->setSeparatorBefore(true);
    standard->addControl(ControlKind::Button, 100, u"&Avsluta"_s)->setSeparatorBefore(true);

    CommandBar* acad = bars.addBar(u"AutoCAD"_s, BarPosition::Top);
    auto* path = new QLineEdit(&window);
    path->setObjectName(u"txtAcad"_s);
    acad->addControl(ControlKind::Hosted, 920, QString())->setHostedWindow(path);
    acad->addControl(ControlKind::Button, 922, u"K&ör script i AutoCAD"_s)->setSeparatorBefore(true);

    CommandBar* themes = bars.addBar(u"Färgtema"_s, BarPosition::Top);
    themes->addControl(ControlKind::Button, 130, u"Office XP"_s);
    themes->addControl(ControlKind::Button, 131, u"Standard"_s);
    themes->setVisible(false);

    bars.addShortcut(CommandBars::ctrlFlag, 'A', 901);
    bars.setStatusBarVisible(true);
    for (int id : {CommandBars::messagePaneId, CommandBars::capsLockPaneId, CommandBars::numLockPaneId,
                   CommandBars::scrollLockPaneId})
        bars.addStatusPane(id);
}

void TestCommandBars::controlsStandInTheOrderAdded()
{
    CommandBar* bar = m_bars->addBar(u"Bar"_s, BarPosition::Top);
    bar->addControl(ControlKind::Button, 1, u"One"_s);
    bar->addControl(ControlKind::Button, 3, u"Three"_s);
    bar->addControl(ControlKind::Button, 2, u"Two"_s, 1);
    bar->addControl(ControlKind::Button, 4, u"Four"_s, 99);
    QCOMPARE(ids(bar->controls()), (QList<int>{1, 2, 3, 4}));

    QStringList shown;
    for (QAction* action : bar->widget()->actions()) {
        if (!action->isSeparator())
            shown << action->text();
    }
    QCOMPARE(shown, (QStringList{u"One"_s, u"Two"_s, u"Three"_s, u"Four"_s}));
    QVERIFY(!bar->control(4));
    QVERIFY(!bar->control(-1));

    // One id on several controls, in the menu bar, a sub-bar and a toolbar: all found, menu bar first.
    CommandBar* sub = m_bars->menuBar()->addControl(ControlKind::Popup, 0, u"&Meny"_s)->commandBar();
    QVERIFY(sub);
    BarControl* inMenu = sub->addControl(ControlKind::Button, 3, u"Tre"_s);
    QCOMPARE(m_bars->findControls(3).size(), 2);
    QCOMPARE(m_bars->findControl(3), inMenu);
    QVERIFY(!m_bars->findControl(12345));
}

void TestCommandBars::noSeparatorAtTheStartOfABar()
{
    CommandBar* bar = m_bars->addBar(u"Bar"_s, BarPosition::Top);
    BarControl* first = bar->addControl(ControlKind::Button, 1, u"One"_s);
    first->setSeparatorBefore(true);
    BarControl* second = bar->addControl(ControlKind::Button, 2, u"Two"_s);
    second->setSeparatorBefore(true);
    BarControl* third = bar->addControl(ControlKind::Button, 3, u"Three"_s);

    auto visibleSeparators = [&] {
        QList<int> before; // index of the control each drawn separator stands in front of
        int index = 0;
        for (QAction* action : bar->widget()->actions()) {
            if (action->isSeparator() && action->isVisible())
                before.append(index);
            else if (!action->isSeparator())
                ++index;
        }
        return before;
    };
    QCOMPARE(visibleSeparators(), (QList<int>{1}));

    // A control put in front makes the former first one a middle one, whose separator now shows.
    bar->addControl(ControlKind::Button, 0, u"Zero"_s, 0);
    QCOMPARE(visibleSeparators(), (QList<int>{1, 2}));
    third->setSeparatorBefore(true);
    QCOMPARE(visibleSeparators(), (QList<int>{1, 2, 3}));
    second->setSeparatorBefore(false);
    QCOMPARE(visibleSeparators(), (QList<int>{1, 3}));

    // A bar whose controls start no group holds no separator at all, shown or not: a toolbar makes a
    // widget for each.
    CommandBar* plain = m_bars->addBar(u"Plain"_s, BarPosition::Top);
    plain->addControl(ControlKind::Button, 1, u"One"_s);
    plain->addControl(ControlKind::Button, 2, u"Two"_s);
    const QList<QAction*> actions = plain->widget()->actions();
    QVERIFY(std::none_of(actions.begin(), actions.end(), [](QAction* a) { return a->isSeparator(); }));
}

void TestCommandBars::oneIdReportsAlikeFromMenuToolbarShortcutAndPopup()
{
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QSignalSpy executed(m_bars, &CommandBars::execute);

    const QList<BarControl*> carriers = m_bars->findControls(901);
    QCOMPARE(carriers.size(), 2);
    carriers[0]->action()->trigger(); // the menu entry
    QTest::mouseClick(buttonOf(carriers[1]), Qt::LeftButton);

    auto* focusHolder = new QPushButton(u"x"_s, m_window->centralWidget());
    focusHolder->show();
    focusHolder->setFocus();
    QTest::keyClick(focusHolder, Qt::Key_A, Qt::ControlModifier);

    CommandBar* popup = m_bars->addBar(u"Popup"_s, BarPosition::Popup);
    popup->addControl(ControlKind::Button, 902, u"A&vmarkera alla"_s);
    popup->addControl(ControlKind::Button, 901, u"Markera &alla"_s);
    QSignalSpy updated(m_bars, &CommandBars::update);
    bool executedBeforeReturn = false;
    QTimer::singleShot(0, this, [&] {
        QWidget* menu = QApplication::activePopupWidget();
        QVERIFY(menu);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    m_bars->showPopup(popup);
    executedBeforeReturn = executed.size() == 4;
    QVERIFY(executedBeforeReturn);
    QVERIFY(updated.size() >= 2);

    QCOMPARE(executed.size(), 4);
    for (const QList<QVariant>& call : executed)
        QCOMPARE(call.at(0).value<BarControl*>()->id(), 901);
    m_bars->removeBar(popup);
}

void TestCommandBars::checkMarkIsTheProgramsNotTheClicks()
{
    build(*m_window, *m_bars);
    CommandBar* themes = m_bars->findControl(130)->bar();
    themes->setVisible(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    // The program answers update() for the theme buttons; a click alone never moves a mark.
    int theme = 0;
    connect(m_bars, &CommandBars::update, this, [&](BarControl* control) {
        if (control->id() == 130 || control->id() == 131)
            control->setChecked((control->id() == 130) == (theme == 1));
    });
    connect(m_bars, &CommandBars::execute, this, [&](BarControl* control) {
        if (control->id() == 130)
            theme = 1;
    });
    m_bars->updateAll();
    BarControl* xp = m_bars->findControl(130);
    BarControl* standard = m_bars->findControl(131);
    QVERIFY(!xp->isChecked());
    QVERIFY(standard->isChecked());

    QTest::mouseClick(buttonOf(standard), Qt::LeftButton); // checked already: stays checked
    QVERIFY(standard->action()->isChecked());
    QTest::mouseClick(buttonOf(xp), Qt::LeftButton); // the command moves the mark, the toolbar follows
    QVERIFY(xp->action()->isChecked());
    QVERIFY(!standard->action()->isChecked());
}

void TestCommandBars::ctrlAStaysInTextBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("line edit") << u"txtAcad"_s;
    QTest::newRow("editable combo box") << u"Combo1"_s;
}

void TestCommandBars::ctrlAStaysInTextBoxes()
{
    QFETCH(QString, box);
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QApplication::setActiveWindow(m_window.get());
    QSignalSpy executed(m_bars, &CommandBars::execute);

    QLineEdit* edit = m_window->findChild<QLineEdit*>(box);
    auto* combo = m_window->findChild<QComboBox*>(box);
    if (combo)
        edit = combo->lineEdit();
    QVERIFY(edit);
    edit->setText(u"C:\\Program Files\\acad.exe"_s);
    edit->setCursorPosition(3);
    QWidget* focus = combo ? static_cast<QWidget*>(combo) : edit;
    focus->setFocus();
    QCOMPARE(QApplication::focusWidget(), focus);

    QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(edit->selectedText(), edit->text());
    QCOMPARE(executed.size(), 0);
}

void TestCommandBars::ctrlVPastesIntoTheFocusedEdit()
{
    build(*m_window, *m_bars);
    // Registered twice, the keys still issue one command, not an ambiguous nothing.
    QVERIFY(m_bars->addShortcut(CommandBars::ctrlFlag, 'V', 902));
    QVERIFY(m_bars->addShortcut(CommandBars::ctrlFlag, 'V', 902));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QApplication::setActiveWindow(m_window.get());
    QSignalSpy executed(m_bars, &CommandBars::execute);

    QApplication::clipboard()->setText(u"/b"_s);
    auto* params = m_window->findChild<QLineEdit*>(u"txtAcad"_s);
    params->setFocus();
    QTest::keyClick(params, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(params->text(), u"/b"_s);
    QCOMPARE(executed.size(), 0);

    // A read-only box cannot paste, but the keys are still not taken from it.
    params->setReadOnly(true);
    QTest::keyClick(params, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(executed.size(), 0);

    auto* other = new QPushButton(u"x"_s, m_window->centralWidget());
    other->show();
    other->setFocus();
    QTest::keyClick(other, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(executed.size(), 1);
    QCOMPARE(executed.at(0).at(0).value<BarControl*>()->id(), 902);
}

void TestCommandBars::toolbarListShowsAndHidesToolbars()
{
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QSignalSpy resized(m_bars, &CommandBars::resized);
    QSignalSpy executed(m_bars, &CommandBars::execute);

    auto* menu = qobject_cast<QMenu*>(m_bars->findControl(CommandBars::toolbarListId)->bar()->widget());
    QVERIFY(menu);
    auto entries = [&] {
        QList<QAction*> shown;
        for (QAction* action : menu->actions()) {
            if (action->isVisible() && !action->isSeparator())
                shown.append(action);
        }
        return shown;
    };
    auto openAndClose = [&] {
        menu->popup(QPoint(10, 10));
        menu->hide();
    };

    openAndClose();
    QList<QAction*> list = entries();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0]->text(), u"Standard"_s);
    QCOMPARE(list[2]->text(), u"Färgtema"_s);
    QVERIFY(list[0]->isChecked());
    QVERIFY(!list[2]->isChecked());

    // Hiding both toolbars of the top row gives their room to the client area.
    const TwipRect before = m_bars->freeClientRect();
    list[0]->trigger();
    openAndClose();
    entries()[1]->trigger();
    QCoreApplication::processEvents();
    QVERIFY(!m_bars->bars().at(1)->isVisible());
    QVERIFY(!m_bars->bars().at(2)->isVisible());
    QCOMPARE(resized.size(), 1);
    QVERIFY(m_bars->freeClientRect().top < before.top);

    // Opened again, the list is built anew: no entry twice, marks as the toolbars are now.
    openAndClose();
    list = entries();
    QCOMPARE(list.size(), 3);
    QVERIFY(!list[0]->isChecked());
    QVERIFY(!list[1]->isChecked());
    list[2]->trigger(); // show "Färgtema"
    QVERIFY(m_bars->findControl(130)->bar()->isVisible());

    // Outside a menu the entry opens the same list as a popup of its own.
    BarControl* onToolbar =
        m_bars->bars().at(3)->addControl(ControlKind::Button, CommandBars::toolbarListId, u"Verktygsfält"_s);
    QVERIFY(onToolbar->commandBar());
    auto* own = qobject_cast<QMenu*>(onToolbar->commandBar()->widget());
    own->popup(QPoint(10, 10));
    own->hide();
    QCOMPARE(own->actions().size(), 3);
    QVERIFY(own->actions().at(2)->isChecked());
    QCOMPARE(executed.size(), 0);
}

void TestCommandBars::freeClientRectIsWhatTheBarsLeave()
{
    build(*m_window, *m_bars);
    // The load sequence lays out the window before showing it.
    const TwipRect beforeShow = m_bars->freeClientRect();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QSignalSpy resized(m_bars, &CommandBars::resized);
    QCOMPARE(m_bars->freeClientRect(), beforeShow);

    const QWidget* toolbar = m_bars->bars().at(1)->widget();
    const QWidget* status = m_window->statusBar();
    TwipRect free = m_bars->freeClientRect();
    const double twipsPerPixel = 1440.0 / m_window->logicalDpiY();
    QCOMPARE(free.left, 0.0);
    QVERIFY(free.top >= (toolbar->geometry().bottom()) * twipsPerPixel);
    QCOMPARE(free.right, std::round(m_window->width() * twipsPerPixel));
    QCOMPARE(free.bottom, std::round(status->geometry().top() * twipsPerPixel));

    m_window->resize(700, 500);
    QCoreApplication::processEvents();
    QVERIFY(!resized.isEmpty());
    free = m_bars->freeClientRect();
    QCOMPARE(free.right, std::round(700 * twipsPerPixel));
}

void TestCommandBars::themesHaveDistinctStableFaceColours()
{
    std::set<QRgb> faces;
    for (int theme = 0; theme < commandbarthemes::count; ++theme) {
        m_bars->setTheme(theme);
        const QColor face = m_bars->specialColor(CommandBars::toolbarFaceColourNumber);
        QVERIFY(face.isValid());
        faces.insert(face.rgb());
        m_bars->setTheme((theme + 1) % commandbarthemes::count);
        m_bars->setTheme(theme);
        QCOMPARE(m_bars->specialColor(CommandBars::toolbarFaceColourNumber), face);
    }
    QCOMPARE(faces.size(), std::size_t(commandbarthemes::count));

    // Numbers outside the table are kept but drawn like theme 0.
    m_bars->setTheme(0);
    const QColor standard = m_bars->specialColor(CommandBars::toolbarFaceColourNumber);
    for (int odd : {-1, -2147483647 - 1, 6, 99}) {
        m_bars->setTheme(odd);
        QCOMPARE(m_bars->theme(), odd);
        QCOMPARE(m_bars->specialColor(CommandBars::toolbarFaceColourNumber), standard);
    }
    QVERIFY(!m_bars->specialColor(31).isValid());
}

void TestCommandBars::changingTheThemeRepaintsAtOnce()
{
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QWidget* toolbar = m_bars->bars().at(1)->widget();
    QWidget* menu = m_bars->findControl(100)->bar()->widget();

    m_bars->setTheme(0);
    const QImage classic = toolbar->grab().toImage();
    const QString classicMenuSheet = menu->styleSheet();
    const QString classicStatusSheet = m_window->statusBar()->styleSheet();
    m_bars->setTheme(2);
    QVERIFY(toolbar->grab().toImage() != classic);
    // Menus are windows of their own, and follow too.
    QVERIFY(menu->styleSheet() != classicMenuSheet);
    QVERIFY(m_window->statusBar()->styleSheet() != classicStatusSheet);
}

// Menus made after the theme was chosen take it when they open.
void TestCommandBars::aMenuOpensInTheTheme()
{
    m_bars->setTheme(3);
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto* menu = qobject_cast<QMenu*>(m_bars->findControl(100)->bar()->widget());
    QVERIFY(menu);
    menu->popup(m_window->mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QCOMPARE(menu->styleSheet(), commandbarthemes::styleSheet(3, commandbarthemes::Surface::Menu));
    menu->close();
}

// A bar gets only the rules of the sheet that can reach it; with the whole sheet it would look the same.
void TestCommandBars::eachBarLooksAsWithTheWholeSheet()
{
    build(*m_window, *m_bars);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QWidget* menu = m_bars->findControl(100)->bar()->widget();
    const QList<QWidget*> bars{m_window->menuBar(), m_bars->bars().at(1)->widget(), m_window->statusBar(), menu};
    for (int theme = 0; theme < commandbarthemes::count; ++theme) {
        m_bars->setTheme(theme);
        for (QWidget* bar : bars) {
            const QImage own = bar->grab().toImage();
            const QString sheet = bar->styleSheet();
            bar->setStyleSheet(commandbarthemes::styleSheet(theme));
            QVERIFY2(bar->grab().toImage() == own,
                     qPrintable(u"theme %1, %2"_s.arg(theme).arg(QLatin1String(bar->metaObject()->className()))));
            bar->setStyleSheet(sheet);
        }
    }
}

void TestCommandBars::buttonsShowIconsAndCaptionsByStyle()
{
    CommandBar* bar = m_bars->addBar(u"Bar"_s, BarPosition::Top);
    BarControl* both = bar->addControl(ControlKind::Button, 901, u"Markera &alla"_s);
    both->setStyle(ControlStyle::IconAndCaption);
    BarControl* iconOnly = bar->addControl(ControlKind::Button, 913, u"Uppdatera"_s);
    iconOnly->setStyle(ControlStyle::IconOnly);
    BarControl* noIcon = bar->addControl(ControlKind::Button, 923, u"..."_s);
    noIcon->setStyle(ControlStyle::IconAndCaption);
    BarControl* literal = bar->addControl(ControlKind::Button, 924, u"A && B"_s);

    // Icons attached after the buttons were made reach them all the same.
    m_bars->attachIcons({{901, squareIcon(Qt::red)}, {913, squareIcon(Qt::blue)}});
    QCOMPARE(buttonOf(both)->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QCOMPARE(buttonOf(iconOnly)->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(buttonOf(noIcon)->toolButtonStyle(), Qt::ToolButtonTextOnly);
    QCOMPARE(buttonOf(noIcon)->text(), u"..."_s);
    QCOMPARE(buttonOf(both)->text(), u"Markera alla"_s);
    QCOMPARE(buttonOf(literal)->text(), u"A && B"_s);

    BarControl* later = bar->addControl(ControlKind::Button, 913, u"Igen"_s);
    QVERIFY(!later->action()->icon().isNull());
}

void TestCommandBars::tooltipsBreakAtCarriageReturns()
{
    build(*m_window, *m_bars);
    BarControl* filter = m_bars->findControl(940);
    filter->setTooltip(u"Välj eller ange fritt.\rEx. 1?100*.dwg"_s);
    QCOMPARE(filter->hostedWindow()->toolTip(), u"Välj eller ange fritt.\nEx. 1?100*.dwg"_s);
    QCOMPARE(filter->tooltip(), u"Välj eller ange fritt.\rEx. 1?100*.dwg"_s);

    BarControl* browse = m_bars->bars().at(2)->addControl(ControlKind::Button, 923, u"..."_s);
    browse->setTooltip(u"Bläddra\r\nfram"_s);
    QCOMPARE(buttonOf(browse)->toolTip(), u"Bläddra\nfram"_s);
}

void TestCommandBars::descriptionsShowInTheMessagePane()
{
    build(*m_window, *m_bars);
    m_bars->findControl(901)->setDescription(u"Markerar alla ritningar"_s);
    m_bars->findControls(901)[1]->setDescription(u"Markerar alla ritningar"_s);
    m_bars->setIdleText(u"Klar"_s);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QStatusBar* status = m_window->statusBar();
    StatusPane* message = m_bars->statusPane(0);
    QCOMPARE(message->text(), u"Klar"_s);

    QToolButton* button = buttonOf(m_bars->findControls(901)[1]);
    QTest::mouseMove(button);
    QCOMPARE(status->currentMessage(), u"Markerar alla ritningar"_s);
    QTest::mouseMove(m_window->centralWidget());
    QCOMPARE(status->currentMessage(), QString());

    QWidget* combo = m_bars->findControl(940)->hostedWindow();
    QTest::mouseMove(combo);
    QCOMPARE(status->currentMessage(), u"Urvalsfilter för filer"_s);
    QTest::mouseMove(m_window->centralWidget());
    QCOMPARE(status->currentMessage(), QString());

    // A popup opened by the program, with no bar behind it.
    CommandBar* popup = m_bars->addBar(u"Popup"_s, BarPosition::Popup);
    BarControl* entry = popup->addControl(ControlKind::Button, 901, u"Markera &alla"_s);
    entry->setDescription(u"Markerar alla ritningar"_s);
    auto* menu = static_cast<QMenu*>(popup->widget());
    menu->popup(QPoint(20, 20));
    menu->setActiveAction(entry->action());
    QCOMPARE(status->currentMessage(), u"Markerar alla ritningar"_s);
    menu->hide();
    QCOMPARE(status->currentMessage(), QString());
}

void TestCommandBars::hostedBoxStaysTheWindowsAndIssuesNothing()
{
    QSignalSpy executed(m_bars, &CommandBars::execute);
    CommandBar* bar = m_bars->addBar(u"Bar"_s, BarPosition::Top);
    BarControl* host = bar->addControl(ControlKind::Hosted, 920, QString());
    host->setDescription(u"Sökväg"_s);
    QPointer<QLineEdit> box = new QLineEdit(m_window.get());
    host->setHostedWindow(box);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(box->parentWidget(), bar->widget());
    QVERIFY(box->isVisible());
    QCOMPARE(box->statusTip(), u"Sökväg"_s);

    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, u"abc"_s);
    QCOMPARE(executed.size(), 0);

    // The bar goes, the box stays with the window.
    m_bars->removeBar(bar);
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), m_window.get());
    QCOMPARE(box->text(), u"abc"_s);
}

void TestCommandBars::statusBarPanes()
{
    QVERIFY(!m_bars->statusBarVisible());
    m_bars->setStatusBarVisible(true);
    QVERIFY(m_bars->statusBarVisible());
    for (int id : {0, 59137, 59138, 59139})
        m_bars->addStatusPane(id);
    QCOMPARE(m_bars->addStatusPane(59138), m_bars->statusPane(2));
    QCOMPARE(m_bars->statusPaneCount(), 4);
    QVERIFY(!m_bars->statusPane(4));
    QVERIFY(!m_bars->statusPane(-1));
    for (int i = 1; i < m_bars->statusPaneCount(); ++i)
        m_bars->statusPane(i)->setWidth(40);
    m_bars->statusPane(1)->setWidth(-5);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QCOMPARE(m_bars->statusPane(0)->id(), 0);
    QCOMPARE(m_bars->statusPane(3)->id(), 59139);
    QCOMPARE(m_bars->statusPane(1)->width(), 40);
    const auto labels = m_window->statusBar()->findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->objectName() != u"messagePane")
            QCOMPARE(label->width(), 40);
    }
    // The message pane takes what the indicators leave.
    QVERIFY(m_bars->statusPane(0)->width() > m_window->width() / 2);
    // No lock state is known offscreen: the indicators stay empty.
    QCOMPARE(m_bars->statusPane(1)->text(), QString());
}

void TestCommandBars::arrangementRoundTrip()
{
    build(*m_window, *m_bars);
    QList<CommandBar*> bars = m_bars->bars();
    auto* acad = static_cast<QToolBar*>(bars.at(2)->widget());
    bars.at(1)->setVisible(false);
    bars.at(3)->setVisible(true);
    m_window->addToolBar(Qt::BottomToolBarArea, acad);
    m_bars->saveArrangement(u"Brannoc"_s, u"Vendrel"_s, u"Layout"_s);
    QCOMPARE(m_registry->readDword(Hive::CurrentUser, "Software\\Brannoc\\Vendrel\\Layout-Summary", "Bars"), 4);

    // A new window built the same way, as at the next start, from the file on disk.
    m_window.reset();
    Registry reread(m_dir.filePath(u"Vendrel.conf"_s).toStdString());
    QMainWindow window;
    auto* again = new CommandBars(window, reread);
    build(window, *again);
    QVERIFY(again->restoreArrangement(u"Brannoc"_s, u"Vendrel"_s, u"Layout"_s));
    bars = again->bars();
    QVERIFY(!bars.at(1)->isVisible());
    QVERIFY(bars.at(2)->isVisible());
    QVERIFY(bars.at(3)->isVisible());
    QCOMPARE(window.toolBarArea(static_cast<QToolBar*>(bars.at(2)->widget())), Qt::BottomToolBarArea);
    QCOMPARE(window.toolBarArea(static_cast<QToolBar*>(bars.at(1)->widget())), Qt::TopToolBarArea);
}

void TestCommandBars::unusableArrangementLeavesTheBarsAsBuilt_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\x01\x02 not an arrangement at all \xff\xfe", 32);
    QTest::newRow("cut short") << QByteArray("VBAR", 4);
}

void TestCommandBars::unusableArrangementLeavesTheBarsAsBuilt()
{
    QFETCH(QByteArray, stored);
    build(*m_window, *m_bars);
    const std::string key = "Software\\Brannoc\\Vendrel\\Layout";
    if (stored == "VBAR") {
        // A real arrangement with its end cut off.
        m_bars->saveArrangement(u"Brannoc"_s, u"Vendrel"_s, u"Layout"_s);
        std::string whole = m_registry->readBinary(Hive::CurrentUser, key, "State");
        m_registry->writeBinary(Hive::CurrentUser, key, "State", whole.substr(0, whole.size() / 3));
    } else if (!stored.isEmpty()) {
        m_registry->writeBinary(Hive::CurrentUser, key, "State", std::string_view(stored.data(), stored.size()));
    }
    const QByteArray built = m_window->saveState();

    QVERIFY(!m_bars->restoreArrangement(u"Brannoc"_s, u"Vendrel"_s, u"Layout"_s));
    QCOMPARE(m_window->saveState(), built);
    QVERIFY(m_bars->bars().at(1)->isVisible());
    QVERIFY(!m_bars->bars().at(3)->isVisible());
}

QTEST_MAIN(TestCommandBars)
#include "tst_commandbars.moc"
