// The main window's load and close sequences against real settings files.
#include "app/mainwindow.h"
#include "commands/commandtable.h"
#include "filelist/filelist.h"
#include "filelist/filetexts.h"
#include "job/job.h"
#include "os/nativetext.h"
#include "os/registry.h"
#include "runs/qt/cadlauncher.h"
#include "runs/qt/templates.h"
#include "settings/settings.h"
#include "supervise/journal.h"
#include "supervise/probe.h"
#include "supervise/qt/supervisor.h"
#include "tree/foldertree.h"
#include "widgets/grid.h"
#include "widgets/messagebox.h"
#include "widgets/standinuser.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <memory>

namespace {

struct Shown
{
    QString text;
    QString title;
    messagebox::Icon icon;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<Settings> m_settings;
    StandInUser m_user;
    QList<Shown> m_shown;

    std::string store() const { return m_dir.filePath(QStringLiteral("config/Brannoc/Vendrel.conf")).toStdString(); }
    std::string programFolder() const { return m_dir.filePath(QStringLiteral("prog")).toStdString(); }
    void write(const char* name, const char* value, std::string_view section = {})
    {
        m_settings->writeSetting(name, value, section);
    }
    std::string read(const char* name, std::string_view section = {}) const
    {
        return m_settings->readSetting(name, "<missing>", section);
    }
    std::unique_ptr<MainWindow> loaded()
    {
        auto window = std::make_unique<MainWindow>(*m_settings);
        window->load();
        return window;
    }

    // The entry of the menu bar's menu with that caption, by the text the user reads.
    static QAction* menuEntry(MainWindow& window, const QString& menu, const QString& entry)
    {
        for (QAction* top : window.menuBar()->actions()) {
            if (top->text() != menu || !top->menu())
                continue;
            for (QAction* action : top->menu()->actions()) {
                if (action->text() == entry)
                    return action;
            }
        }
        return nullptr;
    }
    static void touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    // The settings file with the test folder spelt "<dir>" and without the section [Layout].
    QByteArray storedBytesWithoutArrangement() const
    {
        QFile file(QString::fromStdString(store()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QByteArray bytes = file.readAll();
        bytes.replace(QFile::encodeName(m_dir.path()), "<dir>");
        if (const qsizetype begin = bytes.indexOf("[Layout]\n"); begin >= 0)
            bytes.remove(begin, bytes.indexOf("\n\n", begin) + 2 - begin);
        return bytes;
    }

private slots:
    void init()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        QDir().mkpath(QString::fromStdString(programFolder()));
        m_settings.reset();
        m_registry = std::make_unique<Registry>(store());
        m_registry->deleteKey(Hive::CurrentUser, settings::productKey);
        m_settings = std::make_unique<Settings>(*m_registry, programFolder());
        m_shown.clear();
        m_user.showMessage = [this](const StandInUser::Message& shown) {
            m_shown.append({shown.text, shown.title, shown.icon});
        };
    }

    // The first start stores its theme; the file gets it once the window has been painted, and reads
    // see it at once.
    void firstStartStoresItsThemeOnceTheWindowShows()
    {
        auto window = loaded();
        QCOMPARE(read("Theme"), "2");
#ifndef _WIN32 // Windows keeps the settings in the registry, written at once
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(storedBytesWithoutArrangement().contains("Theme=2"));
#endif
    }

    void firstStartUsesEveryDefault()
    {
        auto window = loaded();
        QCOMPARE(window->pos(), QPoint(0, 0));
        QCOMPARE(window->size(), QSize(467, 267)); // 7000 x 4000 twips at 96 DPI, not 12000 x 9000
        QCOMPARE(window->windowState(), Qt::WindowNoState);
        QCOMPARE(window->treeWidth(), 2350.0);
        // The default widths are the least: a column grows where the font needs it to show a drawing's date,
        // type and size whole.
        const int widths[] = {500, 2000, 2000, 1200, 700};
        for (int c = 0; c < 2; ++c)
            QCOMPARE(window->fgFiles()->colWidth(c), widths[c]);
        FileTexts texts;
        const QString drawing[] = {texts.dateText(QDateTime::currentSecsSinceEpoch()), texts.typeText(u"dwg"),
                                   texts.sizeText(5'000'000)};
        for (int c = 2; c < 5; ++c) {
            QVERIFY(window->fgFiles()->colWidth(c) >= widths[c]);
            QVERIFY2(window->fgFiles()->colWidthForText(c, drawing[c - 2]) <= window->fgFiles()->colWidth(c),
                     qPrintable(drawing[c - 2]));
        }
        QCOMPARE(window->fgFiles()->cols(), 6);
        QCOMPARE(window->fgFiles()->textMatrix(0, 1), QStringLiteral("Namn"));
        QCOMPARE(window->fgFiles()->textMatrix(0, 4), QStringLiteral("Storlek"));
        QCOMPARE(window->combo1()->currentText(), QStringLiteral("*.dwg"));
        QCOMPARE(window->templateFolder(), programFolder());
        // The template folder's button and the template box's control name the folder.
        const QString folder = QString::fromStdString(programFolder());
        for (BarControl* control : window->commandBars()->findControls(commands::ID_TEMPLATE_FOLDER)) {
            QCOMPARE(control->description(), folder);
            QCOMPARE(control->tooltip(), folder);
        }
        for (BarControl* control : window->commandBars()->findControls(commands::ID_REFRESH_TREE))
            QCOMPARE(control->description(), folder);
        QVERIFY(window->cboScr()->currentText().isEmpty());
        QVERIFY(window->txtParamAcad()->text().isEmpty());
        QVERIFY(window->txtParamIcad()->text().isEmpty());
        QVERIFY(m_shown.isEmpty());
    }

    void columnWidthLists_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("two numbers") << QStringLiteral("100,200") << QList<int>{100, 200, 960, 960, 960};
        QTest::newRow("six numbers") << QStringLiteral("10,20,30,40,50,60") << QList<int>{10, 20, 30, 40, 50};
        QTest::newRow("garbage") << QStringLiteral(",,x,9999999999,77") << QList<int>{500, 500, 500, 500, 77};
    }
    void columnWidthLists()
    {
        QFETCH(QString, stored);
        QFETCH(QList<int>, expected);
        Grid plain;
        plain.setCols(6);
        const int defaultLast = plain.colWidth(5);
        m_settings->writeSetting("Files", stored.toStdString());
        auto window = std::make_unique<MainWindow>(*m_settings);
        for (int c = 0; c < 5; ++c)
            window->fgFiles()->setColWidth(c, 500);
        window->load();
        for (int c = 0; c < 5; ++c)
            QCOMPARE(window->fgFiles()->colWidth(c), expected[c]);
        QCOMPARE(window->fgFiles()->colWidth(5), defaultLast); // a sixth number is never applied at start
    }

    void maximisedStateAndNegativeTop()
    {
        write("WinState", "2", "Main");
        write("Top", "-60", "Main");
        write("Left", "-60", "Main");
        auto window = loaded();
        QVERIFY(window->isMaximized() || (window->windowState() & Qt::WindowMaximized));
        QCOMPARE(window->pos(), QPoint(0, 0)); // the second restore is not applied to a maximised window

        write("WinState", "0", "Main");
        write("Left", "300", "Main");
        window = loaded();
        QCOMPARE(window->pos(), QPoint(20, -4)); // moved to 0 in between, -60 again at the end
    }

    void garbageNumbersFallBack()
    {
        write("WinState", "7", "Main");
        write("TreeWidth", "-5", "Main");
        write("Top", "12abc", "Main");
        auto window = loaded();
        QCOMPARE(window->windowState(), Qt::WindowNoState);
        QCOMPARE(window->treeWidth(), 2350.0);
        write("TreeWidth", "abc", "Main");
        QCOMPARE(loaded()->treeWidth(), 2350.0);
    }

    void unavailableDeviceFallsBackToTheProgramFolder()
    {
        write("LastPath", "/media/usb-stick/Ritningar", "Main");
        auto window = std::make_unique<MainWindow>(*m_settings);
        window->setDeviceCheck([](const std::string&) { return false; });
        window->load();
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].text, QStringLiteral("Sökvägen /media/usb-stick/Ritningar är ej tillgänglig."));
        QCOMPARE(m_shown[0].icon, messagebox::Icon::Critical);
        QCOMPARE(window->listingFolder(), programFolder());
    }

    void aVanishedFolderOnAPresentDeviceSaysNothing()
    {
        write("LastPath", (m_dir.path() + QStringLiteral("/gone/deeper")).toUtf8().constData(), "Main");
        auto window = loaded();
        QVERIFY(m_shown.isEmpty());
        QCOMPARE(window->listingFolder(), nativeBytes(QDir::toNativeSeparators(QDir::currentPath())));
    }

    void theTreeReopensTheLastFolder()
    {
        // As the tree saves it: with the platform's separators and, on Windows, the drive as its row has it ("c:").
        QString folder = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Jobb/Kv Ugglan")));
        if (folder.size() > 1 && folder[1] == u':')
            folder[0] = folder[0].toLower();
        QDir().mkpath(folder + QStringLiteral("/Plan 1"));
        write("LastPath", folder.toUtf8().constData(), "Main");
        auto window = loaded();
        QCOMPARE(window->folderTree().currentFolder(), folder.toUtf8());
        const int row = window->fgTree()->row();
        QVERIFY(window->fgTree()->isCellBold(row, 0));
        QCOMPARE(window->fgTree()->textMatrix(0, 0), QStringLiteral("Den här datorn"));
        QCOMPARE(window->listingFolder(), folder.toStdString());
    }

    // A first start from a folder with å ä ö, as from the Start menu, which starts in the program folder: the
    // tree opens along it to its row, the list shows it, and the close stores it with the platform's separators
    // (and, on Windows, the drive as the tree's row spells it, "c:").
    void aFirstStartFromAFolderWithLettersBeyondAscii()
    {
        const QString folder = m_dir.filePath(QStringLiteral("Prog \u00e5\u00e4\u00f6/Vendrel"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/examples")));
        QByteArray native = QByteArray::fromStdString(nativeBytes(QDir::toNativeSeparators(folder)));
        if (native.size() > 1 && native[1] == ':')
            native[0] = char(QChar::toLower(uint(native[0])));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder));
        auto window = loaded();
        QDir::setCurrent(previous);
        QCOMPARE(window->folderTree().currentFolder(), native);
        QCOMPARE(QByteArray::fromStdString(window->listingFolder()), native);
        window->close();
        const std::pair<const char*, const char*> stored[] = {{"LastPath", "Main"}, {"InitPath", "Main"}, {"StartDir", ""}};
        for (const auto& [name, section] : stored)
            QCOMPARE(QByteArray::fromStdString(read(name, section)), native);
    }

    // The right button over the tree offers "Uppdatera" alone; choosing it rebuilds the tree fresh and leaves
    // the drawing list as it was.
    void theTreeMenuRebuildsTheTree()
    {
        const QString folder = m_dir.filePath(QStringLiteral("Jobb/Kv Ugglan"));
        QDir().mkpath(folder + QStringLiteral("/Plan 1"));
        QFile drawing(folder + QStringLiteral("/K01.dwg"));
        QVERIFY(drawing.open(QIODevice::WriteOnly));
        drawing.close();
        write("LastPath", folder.toUtf8().constData(), "Main");
        auto window = loaded();
        window->resize(800, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        Grid& tree = *window->fgTree();
        const int openedRows = tree.rows();
        QCOMPARE(window->fgFiles()->rows(), 2);

        QStringList shown;
        QTimer answer; // the menu runs its own event loop: it is read and answered from there
        connect(&answer, &QTimer::timeout, window.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            answer.stop();
            for (QAction* action : menu->actions()) {
                if (action->isVisible())
                    shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
            }
            for (QAction* action : menu->actions()) {
                if (action->text() == QStringLiteral("Uppdatera"))
                    action->trigger();
            }
            menu->close();
        });
        answer.start(10);
        QTest::mouseClick(tree.view()->viewport(), Qt::RightButton, {}, QPoint(20, 8));
        QCOMPARE(shown, QStringList{QStringLiteral("Uppdatera")});
        QCoreApplication::processEvents();

        QVERIFY(tree.rows() < openedRows);
        QCOMPARE(tree.row(), 0);
        QCOMPARE(tree.textMatrix(0, 0), QStringLiteral("Den här datorn"));
        for (int r = 0; r < tree.rows(); ++r)
            QVERIFY(!tree.isCellBold(r, 0));
        QCOMPARE(window->listingFolder(), folder.toStdString());
        QCOMPARE(window->fgFiles()->rows(), 2);
        QCOMPARE(window->fgFiles()->textMatrix(1, 1), QStringLiteral("K01.dwg"));
    }

    void closeWritesTheWorkingState()
    {
        const QString folder = m_dir.filePath(QStringLiteral("Jobb"));
        QDir().mkpath(folder);
        write("LastPath", folder.toUtf8().constData(), "Main");
        write("Files", "500,2000,2000,1200,700"); // as stored, not fitted to the font
        auto window = loaded();
        window->move(30, 45);
        window->resize(600, 400);
        window->setTreeWidth(3000);
        window->txtAcad()->setText(QStringLiteral("/opt/cad/acad"));
        window->txtParamAcad()->setText(QStringLiteral("/nologo"));
        window->txtIcad()->setText(QStringLiteral("/opt/cad/icad"));
        window->txtParamIcad()->setText(QStringLiteral("-p"));
        window->combo1()->setEditText(QStringLiteral("*.dxf"));
        window->cboScr()->setEditText(QStringLiteral("Plotta.scr"));
        window->fgFiles()->setColWidth(5, 1500);
        window->close();
#ifndef _WIN32 // Windows keeps them in the registry
        // Byte for byte as every earlier version wrote them: stored settings and Init.reg files rely on it.
        // The toolbar arrangement, which follows the font, is left out.
        QCOMPARE(storedBytesWithoutArrangement(), QByteArray("[General]\n"
                                                             "Files=\"500,2000,2000,1200,700,1500\"\n"
                                                             "LastPattern=*.dxf\n"
                                                             "LastTemplate=Plotta.scr\n"
                                                             "ParametersAcad=/nologo\n"
                                                             "ParametersIcad=-p\n"
                                                             "ProgramAcad=/opt/cad/acad\n"
                                                             "ProgramIcad=/opt/cad/icad\n"
                                                             "StartDir=<dir>/Jobb\n"
                                                             "Theme=2\n"
                                                             "\n"
                                                             "[Layout-Summary]\n"
                                                             "Bars=dword:00000006\n"
                                                             "\n"
                                                             "[Main]\n"
                                                             "Height=6000\n"
                                                             "InitPath=<dir>/Jobb\n"
                                                             "LastPath=<dir>/Jobb\n"
                                                             "Left=450\n"
                                                             "Top=675\n"
                                                             "TreeWidth=3000\n"
                                                             "Width=9000\n"
                                                             "WinState=0\n"));
#endif

        QCOMPARE(read("TreeWidth", "Main"), "3000");
        QCOMPARE(read("LastPath", "Main"), folder.toStdString());
        QCOMPARE(read("InitPath", "Main"), folder.toStdString());
        QCOMPARE(read("StartDir"), folder.toStdString());
        QCOMPARE(read("ProgramAcad"), "/opt/cad/acad");
        QCOMPARE(read("ParametersAcad"), "/nologo");
        QCOMPARE(read("ProgramIcad"), "/opt/cad/icad");
        QCOMPARE(read("ParametersIcad"), "-p");
        QCOMPARE(read("LastPattern"), "*.dxf");
        QCOMPARE(read("LastTemplate"), "Plotta.scr");
        QCOMPARE(read("Top", "Main"), "675");
        QCOMPARE(read("Left", "Main"), "450");
        QCOMPARE(read("Width", "Main"), "9000");
        QCOMPARE(read("Height", "Main"), "6000");
        QCOMPARE(read("WinState", "Main"), "0");
        QCOMPARE(read("Files"), "500,2000,2000,1200,700,1500");

        auto next = loaded(); // and the next start restores it
        QCOMPARE(next->pos(), QPoint(30, 45));
        QCOMPARE(next->size(), QSize(600, 400));
        QCOMPARE(next->treeWidth(), 3000.0);
        QCOMPARE(next->fgFiles()->colWidth(2), 2000);
        QCOMPARE(next->listingFolder(), folder.toStdString());
    }

    void initRegIsImportedUntilTheFirstClose()
    {
        auto deliver = [this](const char* pattern) {
            QFile file(QString::fromStdString(programFolder()) + QStringLiteral("/Init.reg"));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n\"LastPattern\"=\"");
            file.write(pattern);
            file.write("\"\r\n");
        };
        deliver("*.dxf");
        QCOMPARE(loaded()->combo1()->currentText(), QStringLiteral("*.dxf"));

        // Not closed yet, so the next start is still a first one.
        write("LastPattern", "*.abc");
        auto window = loaded();
        QCOMPARE(window->combo1()->currentText(), QStringLiteral("*.dxf"));
        window->combo1()->setEditText(QStringLiteral("1?100*.dwg"));
        window->close();

        deliver("*.dwg;*.dxf");
        QCOMPARE(loaded()->combo1()->currentText(), QStringLiteral("1?100*.dwg"));
        QFile::remove(QString::fromStdString(programFolder()) + QStringLiteral("/Init.reg"));
    }

    void closingWhileMinimisedSavesTheNormalState()
    {
        auto window = loaded();
        window->show();
        window->move(15, 30);
        window->showMinimized();
        window->close();
        QCOMPARE(read("WinState", "Main"), "0");
        QCOMPARE(read("Left", "Main"), "225");

        // Minimised from maximised: the normal state and its place are saved, not the maximised ones.
        auto second = loaded();
        second->show();
        second->showMaximized();
        second->showMinimized();
        second->close();
        QCOMPARE(read("WinState", "Main"), "0");
    }

    // The load puts the toolbars in rows that fit the window, so the window shows as the load laid it out:
    // nothing moves once it is on screen, and no toolbar is squeezed below its own width.
    void theToolbarsStandWhereTheLoadPutThem()
    {
        auto window = loaded();
        QMap<QString, QRect> placed;
        for (QToolBar* bar : window->findChildren<QToolBar*>()) {
            if (!bar->isHidden())
                placed.insert(bar->objectName(), bar->geometry());
        }
        QVERIFY(placed.size() >= 4);
        const QRect frame = window->fraFileSelection()->geometry();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        for (QToolBar* bar : window->findChildren<QToolBar*>()) {
            if (bar->isHidden())
                continue;
            QCOMPARE(bar->geometry(), placed.value(bar->objectName()));
            QVERIFY2(bar->width() >= bar->sizeHint().width() || bar->width() == window->width(),
                     qPrintable(bar->objectName()));
        }
        QCOMPARE(window->fraFileSelection()->geometry(), frame);
    }

    // A window that starts minimised is laid out when it is restored, though its size stays the same.
    void aWindowStartedMinimisedIsLaidOutWhenRestored()
    {
        write("WinState", "1", "Main");
        auto window = loaded();
        window->show();
        QVERIFY(window->isMinimized());
        QTest::qWait(50); // the bars settle while the window is minimised
        window->setWindowState(Qt::WindowNoState);
        QCoreApplication::processEvents();
        const QRect frame = window->fraFileSelection()->geometry();
        QVERIFY2(frame.top() > window->menuBar()->geometry().bottom(), "the frame lies below the bars");
        QVERIFY(window->fgFiles()->width() > 0);
    }

    // "Spara som jobb..." writes what the window would run: the folder and the template relative to the job's
    // folder, the marked drawings by name (or none when all are marked), the program and the supervised-run
    // settings; "Öppna jobb..." sets a window back to it and says what it could not set.
    void aJobSavedByTheWindowOpensInIt()
    {
        const QString folder = m_dir.filePath(QStringLiteral("Natt/Ritningar \u00e5"));
        for (const char* name : {"a.dwg", "b.dwg", "c.dwg"})
            touch(folder + u'/' + QLatin1String(name));
        touch(m_dir.filePath(QStringLiteral("Natt/Mallar/rensa.scr")));
        const QString program = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("cad/cad.exe")));
        write("LastPath", nativeBytes(QDir::toNativeSeparators(folder)).c_str(), "Main");
        write("SupervisedSessions", "3", "Main");
        // The start script beside the job, the end script elsewhere (and gone by the time the job is opened).
        const QString start = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Natt/Mallar/start.scr")));
        const QString end = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("slut.scr")));
        touch(start);
        write("SupervisedSessionStart", nativeBytes(start).c_str(), "Main");
        write("SupervisedSessionEnd", nativeBytes(end).c_str(), "Main");
        const QString jobFile = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Natt/natt.vjob")));
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) { return jobFile; };
        {
            auto window = loaded();
            window->scriptTemplates().setTemplateFolder(
                nativeBytes(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Natt/Mallar")))));
            window->cboScr()->setEditText(QStringLiteral("rensa.scr"));
            window->txtAcad()->setText(program);
            window->txtParamAcad()->setText(QStringLiteral("/p Std"));
            QVERIFY(window->fileList()->markDrawings({"a.dwg", "c.dwg"}).empty());
            QAction* save = menuEntry(*window, QStringLiteral("Ver&ktyg"), QStringLiteral("Spara som jobb..."));
            QVERIFY(save);
            save->trigger();
            QVERIFY2(m_shown.isEmpty(), qPrintable(m_shown.isEmpty() ? QString() : m_shown.front().text));

            // "Schemalägg jobb..." offers the job just saved.
            QString offered;
            QTimer::singleShot(0, window.get(), [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                QVERIFY(dialog);
                for (const QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
                    if (edit->accessibleName() == QStringLiteral("Jobbfil"))
                        offered = edit->text();
                }
                dialog->close();
            });
            menuEntry(*window, QStringLiteral("Ver&ktyg"), QStringLiteral("Schemalägg jobb..."))->trigger();
            QCOMPARE(offered, jobFile);
        }
        const auto saved = job::readJob(nativeBytes(jobFile));
        QVERIFY2(saved, saved ? "" : saved.error().message.c_str());
        QCOMPARE(saved->drawings.folder, std::string("Ritningar \u00e5"));
        QCOMPARE(saved->drawings.names, (std::vector<std::string>{"a.dwg", "c.dwg"}));
        QCOMPARE(saved->templatePath, std::string("Mallar/rensa.scr"));
        QCOMPARE(QDir::toNativeSeparators(QString::fromStdString(saved->cad.path)), program);
        QCOMPARE(saved->cad.parameters, std::string("/p Std"));
        QCOMPARE(saved->policy.sessions, std::size_t(3));
        QCOMPARE(saved->policy.sessionStart, std::string("Mallar/start.scr"));
        QCOMPARE(QDir::toNativeSeparators(QString::fromUtf8(saved->policy.sessionEnd.c_str())), end);

        // Another day, elsewhere: a drawing has gone since.
        write("LastPath", m_dir.path().toUtf8().constData(), "Main");
        write("SupervisedSessions", "1", "Main");
        write("SupervisedSessionStart", "", "Main");
        QVERIFY(QFile::remove(folder + QStringLiteral("/c.dwg")));
        auto window = loaded();
        QAction* open = menuEntry(*window, QStringLiteral("Ver&ktyg"), QStringLiteral("Öppna jobb..."));
        QVERIFY(open);
        open->trigger();
        QVERIFY(QFileInfo(nativeText(window->listingFolder())) == QFileInfo(folder)); // "c:" as the tree spells it
        QCOMPARE(window->markedDrawings(), std::vector<std::string>{"a.dwg"});
        QCOMPARE(window->cboScr()->currentText(), QStringLiteral("rensa.scr"));
        QCOMPARE(window->txtAcad()->text(), program);
        QCOMPARE(m_settings->number(settings::SupervisedSessions), 3.0);
        QCOMPARE(nativeText(m_settings->read(settings::SupervisedSessionStart)), start);
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown.front().text.contains(QStringLiteral("c.dwg")), qPrintable(m_shown.front().text));
        QVERIFY2(m_shown.front().text.contains(end), qPrintable(m_shown.front().text));
    }

    // A job saved by the window runs from vendrel-run as the window runs it: the same drawings with the same
    // outcomes in their journals.
    void aJobFromTheWindowRunsAsTheWindowRunsIt()
    {
#if defined(_WIN32) || !defined(VENDREL_RUN_PROGRAM)
        QSKIP("vendrel-run and the stand-in are tried on POSIX here");
#else
        const QString base = m_dir.filePath(QStringLiteral("Kv\u00e4ll"));
        const QString folder = base + QStringLiteral("/Ritningar");
        std::vector<std::string> names;
        for (int i = 1; i <= 30; ++i)
            names.push_back(QStringLiteral("d%1").arg(i, 2, 10, QLatin1Char('0')).toStdString() +
                            (i == 7 ? "CRASH.dwg" : ".dwg"));
        for (const std::string& name : names)
            touch(folder + u'/' + QString::fromStdString(name));
        touch(base + QStringLiteral("/Mallar/\u00f6ppna.scr"));
        {
            QFile file(base + QStringLiteral("/Mallar/\u00f6ppna.scr"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("_.OPEN \"%f\"\r\n_.QSAVE\r\n");
        }
        const QString runs = m_dir.filePath(QStringLiteral("data/Brannoc/Vendrel/runs"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        qputenv("VENDREL_STANDIN_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("standin.log"))));
        QVERIFY(supervise::storeMarks(VENDREL_MARK_STAND_IN, true));
        write("LastPath", nativeBytes(folder).c_str(), "Main");
        write("SupervisedRun", "1", "Main");
        write("SupervisedSessions", "2", "Main");
        write("SupervisedBatchSize", "4", "Main");
        write("SupervisedTimeout", "20", "Main");
        const QString jobFile = base + QStringLiteral("/kv\u00e4ll.vjob");
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) { return jobFile; };

        auto window = loaded();
        window->scriptTemplates().setTemplateFolder(nativeBytes(base + QStringLiteral("/Mallar")));
        window->cboScr()->setEditText(QStringLiteral("\u00f6ppna.scr"));
        window->txtAcad()->setText(QStringLiteral(VENDREL_MARK_STAND_IN));
        window->fileList()->selectAllFiles();
        menuEntry(*window, QStringLiteral("Ver&ktyg"), QStringLiteral("Spara som jobb..."))->trigger();
        QVERIFY(QFile::exists(jobFile));
        window->cadLauncher().runScript(CadKind::Acad);
        QTRY_VERIFY_WITH_TIMEOUT(!window->supervisor().busy(), 60000);
        const QStringList windowRuns = QDir(runs).entryList({QStringLiteral("*.journal")}, QDir::Files);
        QCOMPARE(windowRuns.size(), 1);

        QProcess job;
        job.start(QStringLiteral(VENDREL_RUN_PROGRAM), {QStringLiteral("--job"), jobFile});
        QVERIFY(job.waitForFinished(60000));
        QCOMPARE(job.exitCode(), 1); // one drawing crashed
        const QStringList jobRuns = QDir(runs).entryList({QStringLiteral("kv\u00e4ll-*.journal")}, QDir::Files);
        QCOMPARE(jobRuns.size(), 1);

        const auto windowRun = supervise::readJournal(nativeBytes(runs + u'/' + windowRuns.front()));
        const auto jobRun = supervise::readJournal(nativeBytes(runs + u'/' + jobRuns.front()));
        QVERIFY(windowRun && jobRun);
        QCOMPARE(jobRun->drawings.size(), names.size());
        QCOMPARE(windowRun->drawings.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            QCOMPARE(jobRun->drawings[i].name, windowRun->drawings[i].name);
            QCOMPARE(jobRun->drawings[i].state, windowRun->drawings[i].state);
            QCOMPARE(jobRun->drawings[i].state, i == 6 ? supervise::State::Failed : supervise::State::Done);
        }
        QVERIFY(jobRun->policy == windowRun->policy);
        QCOMPARE(jobRun->request.templatePath, windowRun->request.templatePath);
#endif
    }

    // The filter box shows the pattern the list uses: it completes nothing by itself, and Enter adds no
    // pattern to the three it offers.
    void theFilterBoxShowsThePatternTheListUses()
    {
        const QString folder = m_dir.filePath(QStringLiteral("Jobb"));
        QDir().mkpath(folder);
        for (const char* name : {"a.dwg", "b.dxf", "c.txt"}) {
            QFile file(folder + u'/' + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        write("LastPath", folder.toUtf8().constData(), "Main");
        auto window = loaded();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QComboBox& box = *window->combo1();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        box.lineEdit()->setFocus(); // a box completes only what is typed into it with the focus
        box.lineEdit()->clear();
        QTest::keyClicks(box.lineEdit(), QStringLiteral("*"));
        QCOMPARE(box.currentText(), QStringLiteral("*"));
        QCOMPARE(window->fgFiles()->rows(), 4);
        QTest::keyClicks(box.lineEdit(), QStringLiteral(".dx"));
        QCOMPARE(box.currentText(), QStringLiteral("*.dx"));
        QCOMPARE(window->fgFiles()->rows(), 1);
        QTest::keyClick(box.lineEdit(), Qt::Key_Return);
        QCOMPARE(box.count(), 3);
        window->close();
        QCOMPARE(read("LastPattern"), "*.dx");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
