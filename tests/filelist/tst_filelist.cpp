// The drawing list on the real grid, over real folders: fill, texts, filter, marks, and the window's wiring.
#include "app/mainwindow.h"
#include "filelist/filelist.h"
#include "os/drives.h"
#include "os/registry.h"
#include "settings/settings.h"
#include "support/foldertime.h"
#include "tree/foldertree.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeDatabase>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <memory>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Names = std::vector<std::string>;

std::string bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// A file of a chosen size, last written at a chosen local time. The name is the file system's bytes: on Linux
// any bytes (open() keeps them; QString paths would not), on Windows those of the ANSI code page.
void makeFile(const std::string& path, qint64 size = 0, const QDateTime& written = {})
{
#ifdef _WIN32
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), path.c_str());
    QVERIFY(file.resize(size));
    if (written.isValid())
        QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
#else
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.c_str());
    QCOMPARE(ftruncate(fd, size), 0);
    close(fd);
    if (written.isValid()) {
        const timespec times[2] = {{time_t(written.toSecsSinceEpoch()), 0}, {time_t(written.toSecsSinceEpoch()), 0}};
        QCOMPARE(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
#endif
}

QDateTime local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QModelIndex modelIndex(Grid& grid, int row, int col)
{
    return grid.view()->model()->index(row - grid.fixedRows(), col);
}

QPoint rowCentre(Grid& grid, int row)
{
    return grid.view()->visualRect(modelIndex(grid, row, 1)).center();
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Grid> m_tree;
    Drives m_drives;
    std::unique_ptr<FolderTree> m_folderTree;
    std::unique_ptr<Grid> m_files;
    std::unique_ptr<FileList> m_list;

    std::string folder(const char* name) const
    {
        const QString path = m_dir.filePath(QString::fromUtf8(name));
        QDir().mkpath(path);
        return bytes(path);
    }
    // The tree's rows: one per folder (an empty one is a row without a folder, as the computer row).
    void setTreeRows(const Names& folders, int current)
    {
        m_tree->setRows(0);
        for (const std::string& f : folders) {
            m_tree->addItem(QString::fromStdString(f));
            m_tree->setRowData(m_tree->rows() - 1, QByteArray::fromStdString(f));
        }
        m_tree->setRow(current);
    }
    Names shownNames() const
    {
        Names names;
        for (int r = 1; r < m_files->rows(); ++r)
            names.push_back(m_files->rowData(r).toStdString());
        return names;
    }
    Names allRows()
    {
        m_list->selectAllFiles();
        Names names = m_list->markedDrawings();
        m_list->deselectAllFiles();
        return names;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    }

    // Qt cannot name a file whose name is not UTF-8, so it could not remove the folder alone.
    void cleanupTestCase() { std::filesystem::remove_all(bytes(m_dir.path())); }

    void init()
    {
        m_list.reset();
        m_folderTree.reset();
        m_files = std::make_unique<Grid>();
        m_tree = std::make_unique<Grid>();
        // As the window sets the list up.
        m_files->setFixedRows(1);
        m_files->setCols(6);
        m_files->setColDataType(0, Grid::DataType::Boolean);
        m_files->setColHidden(0, true);
        m_files->setSelectionMode(Grid::SelectionMode::ListMulti);
        m_files->resize(600, 400);
        m_files->show();
        m_folderTree = std::make_unique<FolderTree>(*m_tree, m_drives);
        m_list = std::make_unique<FileList>(*m_files, *m_folderTree);
        m_list->setListingFolder("/nowhere-listed-before");
    }

    void cleanup()
    {
        m_list.reset();
        m_folderTree.reset();
        m_files.reset();
        m_tree.reset();
    }

    void fillsOneNameOrderedSequenceWithItsTexts()
    {
        const std::string f = folder("mixed");
        makeFile(f + "/PLAN.DWG", 512, local(2004, 5, 12, 13, 45, 59));
        makeFile(f + "/b.dxf", 1536, local(2004, 5, 12, 0, 0, 0));
        makeFile(f + "/a.dwg", 0, local(2004, 5, 12, 0, 0, 1));
        makeFile(f + "/C.dxf", 511);
        makeFile(f + "/d.DWG", 1048576);
        makeFile(f + "/notes.txt");
        makeFile(f + "/.hidden.dwg");
        QDir().mkpath(QString::fromStdString(f + "/sub.dwg"));
        makeFile(f + "/sub.dwg/inner.dwg");
        setTreeRows({f}, 0);

        m_list->applyFilterPattern(QStringLiteral("*.dwg;*.dxf"));

        QCOMPARE(m_list->listingFolder(), f);
        QCOMPARE(shownNames(), (Names{"a.dwg", "b.dxf", "C.dxf", "d.DWG", "PLAN.DWG"}));
        QCOMPARE(m_files->textMatrix(0, 1), QString()); // the header row is not the list's to fill
        const int plan = 5;
        QCOMPARE(m_files->textMatrix(plan, 1), QStringLiteral("PLAN.DWG"));
        QCOMPARE(m_files->textMatrix(plan, 2), QStringLiteral("2004-05-12 13:45"));
        QCOMPARE(m_files->textMatrix(plan, 5), QString());
        QCOMPARE(m_files->view()->model()->data(modelIndex(*m_files, plan, 0), Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));

        // Type texts: the system's description of the extension, else the extension.
        const QMimeType dwgType = QMimeDatabase().mimeTypeForName(QStringLiteral("image/vnd.dwg"));
        const QString dwgText = dwgType.isValid() ? dwgType.comment() : QStringLiteral("dwg");
        QCOMPARE(m_files->textMatrix(plan, 3), dwgText);
        QCOMPARE(m_files->textMatrix(4, 3), dwgText);

        // Dates: midnight shows the date alone; a second later it shows the time too.
        QCOMPARE(m_files->textMatrix(2, 2), QStringLiteral("2004-05-12"));
        QCOMPARE(m_files->textMatrix(1, 2), QStringLiteral("2004-05-12 00:00"));

        // Sizes in kilobytes, half rounded up, grouped with the Swedish separator.
        const QString group = QLocale().groupSeparator();
        QCOMPARE(m_files->textMatrix(1, 4), QStringLiteral("0 kb"));
        QCOMPARE(m_files->textMatrix(3, 4), QStringLiteral("0 kb"));
        QCOMPARE(m_files->textMatrix(plan, 4), QStringLiteral("1 kb"));
        QCOMPARE(m_files->textMatrix(2, 4), QStringLiteral("2 kb"));
        QCOMPARE(m_files->textMatrix(4, 4), u"1" + group + u"024 kb");

        // The list's own pictures for DWG and DXF names, whatever their case.
        auto picture = [this](int row) {
            return m_files->view()->model()->data(modelIndex(*m_files, row, 1), Qt::DecorationRole).value<QIcon>();
        };
        for (int r = 1; r < m_files->rows(); ++r)
            QVERIFY2(!picture(r).isNull() && !picture(r).pixmap(16, 16).isNull(), qPrintable(QString::number(r)));
        QCOMPARE(picture(plan).cacheKey(), picture(1).cacheKey());
        QVERIFY(picture(2).cacheKey() != picture(1).cacheKey());
    }

    void otherNamesHaveNoPictureAndTheirExtensionAsType()
    {
        const std::string f = folder("others");
        makeFile(f + "/report.pdf");
        makeFile(f + "/a.ab");
        makeFile(f + "/odd.zq9");
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*"));
        QCOMPARE(shownNames(), (Names{"a.ab", "odd.zq9", "report.pdf"}));
        QCOMPARE(m_files->textMatrix(1, 3), QStringLiteral(".ab")); // the last three characters, dot and all
        QCOMPARE(m_files->textMatrix(2, 3), QStringLiteral("zq9"));
        for (int r = 1; r < m_files->rows(); ++r)
            QVERIFY(m_files->view()->model()->data(modelIndex(*m_files, r, 1), Qt::DecorationRole).isNull());
    }

    // Local times on both sides of a change to summer time, in one fill.
    void datesAreLocalAcrossADaylightSavingChange()
    {
        const std::string f = folder("dst");
        makeFile(f + "/1.dwg", 0, local(2004, 3, 28, 1, 30, 0));
        makeFile(f + "/2.dwg", 0, local(2004, 3, 28, 3, 30, 0));
        makeFile(f + "/3.dwg", 0, local(2004, 10, 31, 12, 5, 0));
        makeFile(f + "/4.dwg", 0, local(2004, 7, 1, 23, 59, 59));
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QCOMPARE(m_files->textMatrix(1, 2), QStringLiteral("2004-03-28 01:30"));
        QCOMPARE(m_files->textMatrix(2, 2), QStringLiteral("2004-03-28 03:30"));
        QCOMPARE(m_files->textMatrix(3, 2), QStringLiteral("2004-10-31 12:05"));
        QCOMPARE(m_files->textMatrix(4, 2), QStringLiteral("2004-07-01 23:59"));
    }

    void aFolderWithoutMatchesStillBecomesTheListingFolder()
    {
        const std::string before = folder("before");
        makeFile(before + "/old.dwg");
        const std::string empty = folder("nomatch");
        makeFile(empty + "/notes.txt");
        setTreeRows({before, empty}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QCOMPARE(m_files->rows(), 2);

        m_tree->setRow(1);
        m_list->fillFileList();
        QCOMPARE(m_files->rows(), 1);
        QCOMPARE(m_list->listingFolder(), empty);
    }

    // A row without a folder, or a folder gone since the tree was read: the folder listed before again.
    void withoutAFolderToOpenTheListingFolderIsListedAgain()
    {
        const std::string listed = folder("kept");
        makeFile(listed + "/a.dwg");
        const std::string gone = bytes(m_dir.filePath(QStringLiteral("gone")));
        setTreeRows({std::string(), listed, gone}, 1);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        makeFile(listed + "/b.dwg");

        m_tree->setRow(0);
        m_list->fillFileList();
        QCOMPARE(m_list->listingFolder(), listed);
        QCOMPARE(shownNames(), (Names{"a.dwg", "b.dwg"}));

        m_tree->setRow(2);
        m_list->applyFilterPattern(QStringLiteral("b*"));
        QCOMPARE(m_list->listingFolder(), listed);
        QCOMPARE(shownNames(), Names{"b.dwg"});

        // Nothing in the tree at all and a listing folder that is gone too: an empty list, no harm.
        m_tree->setRows(0);
        m_list->setListingFolder(gone);
        m_list->fillFileList();
        QCOMPARE(m_files->rows(), 1);
        QCOMPARE(m_list->listingFolder(), gone);
    }

    // A drive row's folder is the drive's root: its mount point, here the root file system's, or on Windows
    // its letter ("c:").
    void aDriveRowListsItsRootFolder()
    {
#ifdef _WIN32
        const std::string root = "c:";
#else
        const std::string root = "/";
#endif
        setTreeRows({root}, 0);
        m_list->applyFilterPattern(QStringLiteral("*"));
        QCOMPARE(m_list->listingFolder(), root);
        for (const std::string& name : shownNames()) {
            const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(root + "/" + name)));
            QVERIFY2(info.isFile(), name.c_str());
            QVERIFY(name[0] != '.');
        }
    }

    // Changing the filter lists the tree's current row, even when it was moved without a refill.
    void theFilterBoxRefillsFromTheTreesCurrentRow()
    {
        const std::string first = folder("first");
        const std::string second = folder("second");
        makeFile(first + "/10100.dwg");
        makeFile(second + "/1a100x.dwg");
        makeFile(second + "/1b100.dwg");
        makeFile(second + "/1bb100.dwg");
        setTreeRows({first, second}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QCOMPARE(shownNames(), Names{"10100.dwg"});

        QComboBox box;
        box.setEditable(true);
        box.addItems({QStringLiteral("*.dwg"), QStringLiteral("*.dxf")});
        box.setEditText(QString());
        m_list->connectFilterBox(box);
        m_tree->setRow(1);
        QTest::keyClicks(box.lineEdit(), QStringLiteral("1?100"));
        QCOMPARE(m_list->listingFolder(), second);
        QCOMPARE(m_files->rows(), 1); // "1?100" alone takes no name with an extension
        QTest::keyClicks(box.lineEdit(), QStringLiteral("*.dwg"));
        QCOMPARE(m_list->filterPattern(), QStringLiteral("1?100*.dwg"));
        QCOMPARE(shownNames(), (Names{"1a100x.dwg", "1b100.dwg"}));

        // Choosing an entry lists with it.
        m_tree->setRow(0);
        box.setCurrentIndex(0);
        emit box.textActivated(box.currentText());
        QCOMPARE(shownNames(), Names{"10100.dwg"});

        // Even the text just typed, chosen after the tree's current row moved without a fill.
        box.setEditText(QString());
        QTest::keyClicks(box.lineEdit(), QStringLiteral("1*"));
        QCOMPARE(shownNames(), Names{"10100.dwg"});
        m_tree->setRow(1);
        emit box.textActivated(box.currentText());
        QCOMPARE(shownNames(), (Names{"1a100x.dwg", "1b100.dwg", "1bb100.dwg"}));
    }

    // Keystrokes may list from the last reading of the folder, but never past a change of its entries; a
    // click in the tree always reads the folder, so a file changed in place shows then.
    void keystrokesSeeNewFilesAndATreeClickRereads()
    {
        const std::string f = folder("typing");
        makeFile(f + "/b.dwg", 1024);
        makeFile(f + "/d.dxf", 2048);
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*"));
        QCOMPARE(m_files->rows(), 3);
        m_files->select(1, 0, 2, 0);

        QComboBox box;
        box.setEditable(true);
        box.setEditText(QString());
        m_list->connectFilterBox(box);
        QTest::keyClicks(box.lineEdit(), QStringLiteral("*.dw"));
        QCOMPARE(m_files->rows(), 1);
        makeFile(f + "/a.dwg", 3072);
        makeFile(f + "/c.DWG");
        QTest::keyClicks(box.lineEdit(), QStringLiteral("g"));
        QCOMPARE(shownNames(), (Names{"a.dwg", "b.dwg", "c.DWG"}));
        QCOMPARE(m_files->textMatrix(1, 4), QStringLiteral("3 kb"));
        QCOMPARE(m_list->markedDrawings(), Names{});

        // Deleted within the same tick of the file system's clock as the last change: the folder's time stays.
        foldertime::Time changed{};
        QVERIFY(foldertime::get(f, changed));
        QVERIFY(std::filesystem::remove(f + "/b.dwg"));
        QVERIFY(foldertime::set(f, changed));
        QTest::keyClick(box.lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(box.lineEdit(), QStringLiteral("g"));
        QCOMPARE(shownNames(), (Names{"a.dwg", "c.DWG"}));
        QTest::keyClicks(box.lineEdit(), QStringLiteral(";*.dxf"));
        QCOMPARE(shownNames(), (Names{"a.dwg", "c.DWG", "d.dxf"}));
        QCOMPARE(m_files->textMatrix(3, 4), QStringLiteral("2 kb"));

        makeFile(f + "/a.dwg", 5120); // written in place: the folder itself does not change
        m_list->fillFileList();
        QCOMPARE(m_files->textMatrix(1, 4), QStringLiteral("5 kb"));
    }

    void marksAreReadTopToBottomWithExactBytes()
    {
        const std::string f = folder("marks");
#ifdef _WIN32
        // Windows names are text in the ANSI code page, without line breaks; in code page 1252 every byte
        // is a letter.
        if (GetACP() != 1252)
            QSKIP("needs the ANSI code page 1252");
        const Names names{"a.dwg", "b \xe5\xe4\xf6.dwg", "c\xff\xfe.dwg", "d.dwg"};
#else
        const Names names{"a.dwg", "b\nline.dwg", "c\xff\xfe.dwg", "d.dwg"};
#endif
        for (const std::string& n : names)
            makeFile(f + "/" + n);
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QCOMPARE(shownNames(), names);
#ifdef _WIN32
        QCOMPARE(m_files->textMatrix(2, 1), QStringView(u"b \u00e5\u00e4\u00f6.dwg").toString());
        QCOMPARE(m_files->textMatrix(3, 1), QStringView(u"c\u00ff\u00fe.dwg").toString());
#else
        // Shown for the eye: no line break in a cell, a replacement character for bytes that are no text.
        QCOMPARE(m_files->textMatrix(2, 1), QStringView(u"b\u240Aline.dwg").toString());
        QCOMPARE(m_files->textMatrix(3, 1), QStringView(u"c\uFFFD\uFFFD.dwg").toString());
#endif

        QWidget* viewport = m_files->view()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(*m_files, 4));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(*m_files, 3));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(*m_files, 1));
        QCOMPARE(m_list->markedDrawings(), (Names{"a.dwg", "c\xff\xfe.dwg", "d.dwg"}));

        // Any fill drops every mark.
        m_list->fillFileList();
        QCOMPARE(m_list->markedDrawings(), Names{});
        m_list->selectAllFiles();
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QCOMPARE(m_list->markedDrawings(), Names{});
    }

    void selectAllAndNoneOnEmptyAndFullLists()
    {
        const std::string empty = folder("selempty");
        setTreeRows({empty}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        m_list->selectAllFiles();
        QCOMPARE(m_files->selectedRows(), 0);
        m_list->deselectAllFiles();
        QCOMPARE(m_files->selectedRows(), 0);

        const std::string full = folder("selfull");
        for (int i = 0; i < 25; ++i)
            makeFile(full + "/" + std::to_string(100 + i) + ".dwg");
        setTreeRows({full}, 0);
        m_list->fillFileList();
        m_list->selectAllFiles();
        QCOMPARE(m_files->selectedRows(), 25);
        QCOMPARE(m_list->markedDrawings().front(), std::string("100.dwg"));
        QCOMPARE(m_list->markedDrawings().back(), std::string("124.dwg"));
        m_list->deselectAllFiles();
        QCOMPARE(m_files->selectedRows(), 0);
    }

    // The right button asks for the menu, over a row or below the last one, and leaves the marks alone.
    void theRightButtonAsksForTheMenuAndKeepsTheMarks()
    {
        const std::string f = folder("popup");
        for (const char* n : {"a.dwg", "b.dwg", "c.dwg"})
            makeFile(f + "/" + n);
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        QSignalSpy asked(m_list.get(), &FileList::contextMenuRequested);
        QWidget* viewport = m_files->view()->viewport();

        QTest::mouseClick(viewport, Qt::RightButton, {}, rowCentre(*m_files, 2));
        QCOMPARE(asked.count(), 1);
        QCOMPARE(m_files->selectedRows(), 0);

        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(*m_files, 1));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(*m_files, 3));
        QTest::mouseClick(viewport, Qt::RightButton, {}, rowCentre(*m_files, 2));
        QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(10, viewport->height() - 2));
        QCOMPARE(asked.count(), 3);
        QCOMPARE(asked.last().at(0).toPoint(), viewport->mapToGlobal(QPoint(10, viewport->height() - 2)));
        QCOMPARE(m_list->markedDrawings(), (Names{"a.dwg", "c.dwg"}));
    }

    void editsAreRefusedButInColumnZero()
    {
        const std::string f = folder("edit");
        makeFile(f + "/a.dwg");
        setTreeRows({f}, 0);
        m_list->applyFilterPattern(QStringLiteral("*.dwg"));
        m_files->setEditable(true);
        for (int col = 0; col < 6; ++col) {
            bool cancel = false;
            emit m_files->beforeEdit(1, col, cancel);
            QCOMPARE(cancel, col != 0);
        }
        QTest::mouseDClick(m_files->view()->viewport(), Qt::LeftButton, {}, rowCentre(*m_files, 1));
        QVERIFY(!m_files->view()->findChild<QLineEdit*>());
        QCOMPARE(m_files->textMatrix(1, 1), QStringLiteral("a.dwg"));
    }

    // Start-up lists the last folder with the last pattern, the tree and the menu reach the list, and
    // closing keeps the filter box's text.
    void theWindowWiresTheListToLoadTreeMenuAndClose()
    {
        const QString config = m_dir.filePath(QStringLiteral("config/Vendrel.conf"));
        Registry registry(bytes(config));
        Settings settings(registry, folder("prog"));
        const std::string last = folder("last");
        makeFile(last + "/x.dxf");
        makeFile(last + "/y.dwg");
        settings.writeSetting("LastPath", last, settings::mainSection);
        settings.writeSetting("LastPattern", "*.dxf");

        MainWindow window(settings);
        window.load();
        QCOMPARE(window.listingFolder(), last);
        QCOMPARE(window.fgFiles()->rows(), 2);
        QCOMPARE(window.fgFiles()->textMatrix(1, 1), QStringLiteral("x.dxf"));
        QCOMPARE(window.fgFiles()->textMatrix(0, 1), QStringLiteral("Namn"));

        // The tree refills the list: Space over its current row, the last folder.
        makeFile(last + "/w\xff.dxf");
        QTest::keyClick(window.fgTree()->view(), Qt::Key_Space);
        QCOMPARE(window.fgFiles()->rows(), 3);
        window.fileList()->selectAllFiles();
        QCOMPARE(window.markedDrawings(), (Names{"w\xff.dxf", "x.dxf"}));

        // The right button's menu: two entries, the marks left alone until one is chosen.
        window.fileList()->deselectAllFiles();
        QStringList shown;
        int markedWhileOpen = -1;
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The menu runs its own event loop: it is read and answered from there.
        QTimer answer;
        connect(&answer, &QTimer::timeout, &window, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            answer.stop();
            for (QAction* action : menu->actions()) {
                if (action->isVisible())
                    shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
            }
            markedWhileOpen = window.fgFiles()->selectedRows();
            for (QAction* action : menu->actions()) {
                if (action->text() == QStringLiteral("Markera alla"))
                    action->trigger();
            }
            menu->close();
        });
        answer.start(10);
        QTest::mouseClick(window.fgFiles()->view()->viewport(), Qt::RightButton, {}, rowCentre(*window.fgFiles(), 1));
        QCOMPARE(shown,
                 (QStringList{QStringLiteral("Markera alla"), QStringLiteral("-"), QStringLiteral("Avmarkera alla")}));
        QCOMPARE(markedWhileOpen, 0);
        QCOMPARE(window.fgFiles()->selectedRows(), 2);

        QTest::keyClicks(window.combo1()->lineEdit(), QStringLiteral(";*.dwg"));
        QCOMPARE(window.fgFiles()->rows(), 4);
        window.close();
        QCOMPARE(settings.read(settings::LastPattern), std::string("*.dxf;*.dwg"));
    }
};

int main(int argc, char** argv)
{
    // Local times are checked in a zone with summer time.
    qputenv("TZ", "Europe/Stockholm");
    tzset();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestFileList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filelist.moc"
