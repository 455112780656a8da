// The folder tree on a real grid over real folders.
#include "os/drives.h"
#include "os/folders.h"
#include "tree/drivetypes.h"
#include "tree/foldertree.h"
#include "widgets/grid.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

QByteArray bytes(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

// folder/relative with the platform's separator, as the tree joins names.
QByteArray under(const QByteArray& folder, QByteArray relative)
{
    return folder + folderSeparator + relative.replace('/', folderSeparator);
}

struct Row
{
    QString label;
    QByteArray folder;
    int level;
    bool node;
};

} // namespace

class TestFolderTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void freshTreeShowsComputerAndClosedDrives();
    void openingReadsSubfoldersInNameOrderOnce();
    void namesSharingTheirStart_data();
    void namesSharingTheirStart();
    void folderWithoutSubfoldersOpensEmpty();
    void unreadableOrVanishedFolderOpensEmpty();
    void namesThatAreNotTextKeepTheirBytes();
    void linkToAncestorIsReadOnlyLevelByLevel();
    void restoreLastPath_data();
    void restoreLastPath();
    void aDriveLetterInCapitalsFindsItsRow();
    void refreshReturnsToFreshStateWithoutListing();
    void clicksAndKeysRefillAndMarkTheListedFolder();
    void currentFolderIsScrolledIntoView();
    void outlineButtonOpensAndItsReleaseListsTheNode();
    void levelWideRequestsAreRefused();
    void driveTypeTable_data();
    void driveTypeTable();

private:
    QByteArray makeFolder(const QString& relative);
    std::vector<Row> rows() const;
    int rowOf(const QByteArray& folder) const;
    void pressKey(Qt::Key key);
    QPoint pointOfRow(int row) const; // in the view's viewport

    std::unique_ptr<QWidget> m_frame; // the grid is placed within a container, as in the window

    std::unique_ptr<QTemporaryDir> m_dir;
    Grid* m_grid = nullptr;
    std::unique_ptr<Drives> m_drives;
    std::unique_ptr<FolderTree> m_tree;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::vector<std::string> m_reads;
    std::vector<std::string> m_unreadable; // folders the reader refuses, as a permission check would
    int m_fills = 0;
    int m_driveReads = 0;
    QByteArray m_local;
    QByteArray m_net;
};

QByteArray TestFolderTree::makeFolder(const QString& relative)
{
    const QString path = m_dir->filePath(relative);
    QDir().mkpath(path);
    return bytes(path);
}

void TestFolderTree::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    m_local = makeFolder(QStringLiteral("local"));
    m_net = makeFolder(QStringLiteral("net"));
    m_reads.clear();
    m_unreadable.clear();
    m_fills = 0;
    m_driveReads = 0;

    m_frame = std::make_unique<QWidget>();
    m_frame->resize(320, 420);
    m_grid = new Grid(m_frame.get());
    m_grid->resize(300, 400);
    m_frame->show();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_grid->view()->model());
    m_drives = std::make_unique<Drives>([this] {
        ++m_driveReads;
        return std::vector<Drive>{{m_local.toStdString() + " [DATA]", m_local.toStdString(), DriveType::Fixed},
                                  {m_net.toStdString() + " [nas:/plans]", m_net.toStdString(), DriveType::Remote}};
    });
    m_tree = std::make_unique<FolderTree>(*m_grid, *m_drives, [this](const std::string& folder) {
        m_reads.push_back(folder);
        if (std::find(m_unreadable.begin(), m_unreadable.end(), folder) != m_unreadable.end())
            return std::optional<std::vector<std::string>>();
        return readSubfolderNames(folder);
    });
    m_tree->setFillFileList([this] { ++m_fills; });
    m_tree->setupTreeView();
}

void TestFolderTree::cleanup()
{
    m_tree.reset();
    m_tester.reset();
    m_frame.reset();
    m_drives.reset();
    m_dir.reset();
}

std::vector<Row> TestFolderTree::rows() const
{
    std::vector<Row> out;
    for (int r = 0; r < m_grid->rows(); ++r)
        out.push_back({m_grid->textMatrix(r, 0), m_grid->rowData(r), m_grid->rowOutlineLevel(r), m_grid->isNode(r)});
    return out;
}

int TestFolderTree::rowOf(const QByteArray& folder) const
{
    for (int r = 0; r < m_grid->rows(); ++r)
    {
        if (m_grid->rowData(r) == folder)
            return r;
    }
    return -1;
}

void TestFolderTree::pressKey(Qt::Key key)
{
    QTest::keyClick(m_grid->view(), key);
}

QPoint TestFolderTree::pointOfRow(int row) const
{
    for (int y = 0; y < m_grid->height(); ++y)
    {
        const QPoint p(m_grid->width() / 2, y);
        if (m_grid->rowAt(p) == row)
            return m_grid->view()->viewport()->mapFrom(m_grid, p + QPoint(0, 3));
    }
    return {};
}

void TestFolderTree::freshTreeShowsComputerAndClosedDrives()
{
    const std::vector<Row> r = rows();
    QCOMPARE(r.size(), 5u);
    QCOMPARE(r[0].label, QStringLiteral("Den här datorn"));
    QVERIFY(r[0].folder.isEmpty() && r[0].level == 0 && r[0].node);
    QCOMPARE(r[1].label, QStringLiteral("Lokal disk (") + QString::fromUtf8(m_local) + QStringLiteral(" [DATA])"));
    QCOMPARE(r[1].folder, m_local);
    QCOMPARE(r[3].label, QStringLiteral("Nätverksenhet (") + QString::fromUtf8(m_net) + QStringLiteral(" [nas:/plans])"));
    for (int drive : {1, 3})
    {
        QCOMPARE(r[drive].level, 1);
        QVERIFY(r[drive].node && m_grid->isCollapsed(drive));
        // exactly one placeholder, hidden below its closed drive
        QVERIFY(r[drive + 1].label.isEmpty() && r[drive + 1].folder.isEmpty() && !r[drive + 1].node);
        QCOMPARE(r[drive + 1].level, 2);
    }
    QVERIFY(!m_grid->isCollapsed(0));
    QCOMPARE(m_grid->row(), 0);
    QCOMPARE(m_grid->leftTwips(), 50);
    QVERIFY(m_reads.empty());
    QCOMPARE(m_fills, 0);
}

void TestFolderTree::openingReadsSubfoldersInNameOrderOnce()
{
    makeFolder(QStringLiteral("local/beta"));
    makeFolder(QStringLiteral("local/Alpha"));
    makeFolder(QStringLiteral("local/gamma/deeper"));
    makeFolder(QStringLiteral("local/.hidden"));
    QFile file(m_dir->filePath(QStringLiteral("local/plan.dwg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    m_grid->setRow(1);
    pressKey(Qt::Key_Right);

    const std::vector<Row> r = rows();
    QCOMPARE(r.size(), 5u + 6u - 1u);
    const QByteArray names[] = {"Alpha", "beta", "gamma"};
    for (int i = 0; i < 3; ++i)
    {
        const int folderRow = 2 + 2 * i;
        QCOMPARE(r[folderRow].label, QString::fromUtf8(names[i]));
        QCOMPARE(r[folderRow].folder, under(m_local, names[i]));
        QVERIFY(r[folderRow].node && m_grid->isCollapsed(folderRow));
        QCOMPARE(r[folderRow].level, 2);
        QVERIFY(r[folderRow + 1].label.isEmpty() && !r[folderRow + 1].node);
        QCOMPARE(r[folderRow + 1].level, 3);
    }
    QVERIFY(!m_grid->isCollapsed(1));
    QCOMPARE(m_grid->row(), 1);
    QCOMPARE(m_reads.size(), 1u);

    // Closing reads nothing; opening again shows the rows read before.
    pressKey(Qt::Key_Left);
    QVERIFY(m_grid->isCollapsed(1));
    m_grid->setRow(1);
    emit m_grid->dblClick();
    QVERIFY(!m_grid->isCollapsed(1));
    QCOMPARE(m_reads.size(), 1u);
    QCOMPARE(rows().size(), r.size());
    QCOMPARE(m_grid->textMatrix(2, 0), QStringLiteral("Alpha"));
}

void TestFolderTree::namesSharingTheirStart_data()
{
    // Long common starts, names equal for eight bytes after them, names equal but for case (ordered by
    // their bytes), a name that is a start of another.
    QStringList ritning{QStringLiteral("Ritning 10 rev"),   QStringLiteral("Ritning 10 rev a"),
                              QStringLiteral("Ritning 10 rev ab"), QStringLiteral("Ritning 10 rev B"),
                              QStringLiteral("ritning 10 rev b"),  QStringLiteral("Ritning 100"),
                              QStringLiteral("Ritning 9")};
#ifdef _WIN32
    ritning.removeAll(QStringLiteral("ritning 10 rev b")); // the same folder as "Ritning 10 rev B" there
#endif
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("one common start") << ritning;
    QTest::newRow("no common start") << QStringList{QStringLiteral("Arkiv")} + ritning
                                            + QStringList{QString::fromUtf8("\xc3\x84ndring")};
}

void TestFolderTree::namesSharingTheirStart()
{
    QFETCH(QStringList, sorted);
    for (auto it = sorted.crbegin(); it != sorted.crend(); ++it)
        makeFolder(QStringLiteral("local/") + *it);
    m_grid->setRow(1);
    pressKey(Qt::Key_Right);
    QStringList shown;
    for (int r = 2; r < 2 + 2 * sorted.size(); r += 2)
        shown.append(m_grid->textMatrix(r, 0));
    QCOMPARE(shown, sorted);
}

void TestFolderTree::folderWithoutSubfoldersOpensEmpty()
{
    makeFolder(QStringLiteral("local/empty"));
    m_grid->setRow(1);
    pressKey(Qt::Key_Right);
    m_grid->setRow(2);
    pressKey(Qt::Key_Right);

    QCOMPARE(m_grid->textMatrix(2, 0), QStringLiteral("empty"));
    QCOMPARE(m_grid->rows(), 5 - 1 + 2 - 1);
    QCOMPARE(m_grid->rowData(3), m_net); // the next drive follows directly
    pressKey(Qt::Key_Right);
    QCOMPARE(m_reads.size(), 2u);
}

void TestFolderTree::unreadableOrVanishedFolderOpensEmpty()
{
    const QByteArray locked = makeFolder(QStringLiteral("local/locked"));
    makeFolder(QStringLiteral("local/locked/inside"));
    const QByteArray vanished = makeFolder(QStringLiteral("local/vanished"));
    m_unreadable.push_back(locked.toStdString());
    m_grid->setRow(1);
    pressKey(Qt::Key_Right);
    QVERIFY(QDir(QString::fromUtf8(vanished)).removeRecursively());

    for (const QByteArray& folder : {locked, vanished})
    {
        const int row = rowOf(folder);
        QVERIFY(row > 0);
        const int before = m_grid->rows();
        m_grid->setRow(row);
        pressKey(Qt::Key_Right);
        QCOMPARE(m_grid->rows(), before - 1);
        QVERIFY(m_grid->rowOutlineLevel(row + 1) <= m_grid->rowOutlineLevel(row)); // no child below
    }
}

void TestFolderTree::namesThatAreNotTextKeepTheirBytes()
{
#ifdef _WIN32
    // Windows gives every name as text in the ANSI code page: å, ä, ö are that page's bytes, shown as the
    // letters, and lead back to the same folder.
    if (GetACP() != 1252)
        QSKIP("needs the ANSI code page 1252");
    const QByteArray odd = under(m_local, "Ritningar \xe5\xe4\xf6");
    QVERIFY(CreateDirectoryA(odd.constData(), nullptr));
    QVERIFY(CreateDirectoryA(under(odd, "inner").constData(), nullptr));

    m_tree->restoreLastPath(under(odd, "inner"));

    const int row = rowOf(odd);
    QVERIFY(row > 0);
    QCOMPARE(m_grid->textMatrix(row, 0), QString::fromUtf16(u"Ritningar \u00e5\u00e4\u00f6"));
    QCOMPARE(m_tree->currentFolder(), under(odd, "inner"));
    QCOMPARE(m_fills, 1);
#else
    const QByteArray odd = m_local + "/Ritningar \xff\xfe";
    QVERIFY(::mkdir(odd.constData(), 0700) == 0);
    QVERIFY(::mkdir(under(odd, "inner").constData(), 0700) == 0);
    QVERIFY(::mkdir(QByteArray(m_local + "/two\nlines").constData(), 0700) == 0);

    m_tree->restoreLastPath(under(odd, "inner"));

    const int row = rowOf(odd);
    QVERIFY(row > 0);
    QVERIFY(m_grid->textMatrix(row, 0).startsWith(QStringLiteral("Ritningar ")));
    QVERIFY(m_grid->textMatrix(row, 0).contains(QChar(0xfffd)));
    QCOMPARE(m_tree->currentFolder(), under(odd, "inner"));
    QCOMPARE(m_fills, 1);
    const int twoLines = rowOf(m_local + "/two\nlines");
    QCOMPARE(m_grid->textMatrix(twoLines, 0), QString::fromUtf16(u"two\u240Alines"));
    // names that are no text cannot be removed through QString paths
    QVERIFY(::rmdir(under(odd, "inner").constData()) == 0 && ::rmdir(odd.constData()) == 0);
#endif
}

void TestFolderTree::linkToAncestorIsReadOnlyLevelByLevel()
{
#ifdef _WIN32
    QSKIP("QFile::link makes a shortcut on Windows, no link the file system follows");
#endif
    QVERIFY(QFile::link(QString::fromUtf8(m_local), QString::fromUtf8(m_local + "/loop")));
    int row = 1;
    for (int level = 0; level < 4; ++level)
    {
        m_grid->setRow(row);
        pressKey(Qt::Key_Right);
        row = rowOf(under(m_grid->rowData(row), "loop"));
        QVERIFY(row > 0);
    }
    QCOMPARE(m_reads.size(), 4u);
    QCOMPARE(m_grid->rowData(row), under(m_local, "loop/loop/loop/loop"));
}

void TestFolderTree::restoreLastPath_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("bold"); // relative to the drive; "" is the drive itself
    QTest::addColumn<QString>("current");  // "" for the last row
    QTest::addColumn<int>("fills");

    // A folder whose path is part of the saved one is opened and marked too ("Pro" in "Project").
    QTest::newRow("existing") << QStringLiteral("local/Project/Sub")
                              << QStringList{QString(), QStringLiteral("Pro"), QStringLiteral("Project"),
                                             QStringLiteral("Project/Sub")}
                              << QStringLiteral("Project/Sub") << 1;
    QTest::newRow("gone") << QStringLiteral("local/Project/Gone/Deeper")
                          << QStringList{QString(), QStringLiteral("Pro"), QStringLiteral("Project")} << QString()
                          << 0;
    // Found without regard to case, but only the exact path is listed.
    QTest::newRow("other case") << QStringLiteral("local/PROJECT/Sub")
                                << QStringList{QString(), QStringLiteral("Pro"), QStringLiteral("Project"),
                                               QStringLiteral("Project/Sub")}
                                << QString() << 0;
}

void TestFolderTree::restoreLastPath()
{
    QFETCH(QString, saved);
    QFETCH(QStringList, bold);
    QFETCH(QString, current);
    QFETCH(int, fills);
    makeFolder(QStringLiteral("local/Pro"));
    makeFolder(QStringLiteral("local/Project/Sub/Leaf"));
    makeFolder(QStringLiteral("local/Project/Other"));
    makeFolder(QStringLiteral("local/Zed"));

    m_tree->restoreLastPath(bytes(m_dir->path() + u'/' + saved));

    QStringList boldRows;
    for (int r = 0; r < m_grid->rows(); ++r)
    {
        if (m_grid->isCellBold(r, 0))
        {
            const QString folder = QString::fromUtf8(m_grid->rowData(r));
            boldRows << QDir::fromNativeSeparators(folder.mid(QString::fromUtf8(m_local).size() + 1));
        }
    }
    QCOMPARE(boldRows, bold);
    QCOMPARE(m_fills, fills);
    if (current.isEmpty())
        QCOMPARE(m_grid->row(), m_grid->rows() - 1);
    else
        QCOMPARE(m_tree->currentFolder(), under(m_local, current.toUtf8()));
    // Opened rows show their children; the saved folder itself stays unread.
    const int project = rowOf(under(m_local, "Project"));
    QVERIFY(!m_grid->isCollapsed(project));
    QCOMPARE(m_grid->rowData(project + 1), under(m_local, "Project/Other"));
}

// A first start saves the current folder as the system spells it ("C:\\Prog åäö\\Vendrel"), the tree's rows spell
// the drive "c:": the drive letter's case alone is no difference.
void TestFolderTree::aDriveLetterInCapitalsFindsItsRow()
{
    const std::string joint(1, folderSeparator);
    const std::string prog = "c:" + joint + "Prog \xC3\xA5\xC3\xA4\xC3\xB6";
    m_tree.reset();
    Drives drives([] { return std::vector<Drive>{{"c:", "c:", DriveType::Fixed}}; });
    FolderTree tree(*m_grid, drives, [&](const std::string& folder) {
        if (folder == "c:")
            return std::optional(std::vector<std::string>{prog.substr(3)});
        return std::optional(std::vector<std::string>{folder == prog ? "Vendrel" : "Data"});
    });
    int fills = 0;
    tree.setFillFileList([&] { ++fills; });
    tree.setupTreeView();
    tree.restoreLastPath(QByteArray::fromStdString("C" + prog.substr(1) + joint + "Vendrel"));
    QCOMPARE(tree.currentFolder(), QByteArray::fromStdString(prog + joint + "Vendrel"));
    QCOMPARE(fills, 1);

    tree.setupTreeView();
    tree.restoreLastPath(QByteArray::fromStdString("c:" + joint + "PROG \xC3\xA5\xC3\xA4\xC3\xB6" + joint + "Vendrel"));
    QCOMPARE(fills, 1); // any other letter still counts
}

void TestFolderTree::refreshReturnsToFreshStateWithoutListing()
{
    makeFolder(QStringLiteral("local/Project"));
    m_tree->restoreLastPath(under(m_local, "Project"));
    QCOMPARE(m_fills, 1);
    makeFolder(QStringLiteral("local/Later"));

    m_tree->refreshTree();

    QCOMPARE(m_driveReads, 2);
    QCOMPARE(m_fills, 1);
    QCOMPARE(m_grid->rows(), 5);
    QCOMPARE(m_grid->row(), 0);
    for (int r = 0; r < m_grid->rows(); ++r)
        QVERIFY(!m_grid->isCellBold(r, 0));
    QVERIFY(m_grid->isCollapsed(1) && m_grid->textMatrix(2, 0).isEmpty());
    m_grid->setRow(1);
    pressKey(Qt::Key_Right);
    QCOMPARE(m_grid->textMatrix(2, 0), QStringLiteral("Later")); // read anew
}

void TestFolderTree::clicksAndKeysRefillAndMarkTheListedFolder()
{
    makeFolder(QStringLiteral("local/A"));
    makeFolder(QStringLiteral("local/B"));
    m_tree->restoreLastPath(under(m_local, "A"));
    QCOMPARE(m_fills, 1);
    const int a = rowOf(under(m_local, "A"));
    const int b = rowOf(under(m_local, "B"));

    // A left click lists the clicked row and moves the bold mark to it alone.
    QTreeView* view = m_grid->view();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pointOfRow(b));
    QCOMPARE(m_grid->row(), b);
    QCOMPARE(m_fills, 2);
    for (int r = 0; r < m_grid->rows(); ++r)
        QCOMPARE(m_grid->isCellBold(r, 0), r == b);

    // Arrow keys list on release; the bold mark stays where it was clicked.
    pressKey(Qt::Key_Up);
    QCOMPARE(m_grid->row(), a);
    QCOMPARE(m_fills, 3);
    QVERIFY(m_grid->isCellBold(b, 0) && !m_grid->isCellBold(a, 0));
    pressKey(Qt::Key_Space);
    QCOMPARE(m_fills, 4);
    pressKey(Qt::Key_End);
    QCOMPARE(m_fills, 4);

    // A right click asks for the menu, also below the last row, and lists nothing.
    QSignalSpy menu(m_tree.get(), &FolderTree::contextMenuRequested);
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(10, view->viewport()->height() - 2));
    QCOMPARE(menu.count(), 1);
    QCOMPARE(m_fills, 4);
}

// Whichever way a folder becomes current, its picture and the start of its name are in view, however deep it
// lies in a tree narrower than its rows.
void TestFolderTree::currentFolderIsScrolledIntoView()
{
    const QString deep = QStringLiteral("local/home/anna/Projekt/Ritningar åäö/Kv Ugglan/Etapp 2/Plan 3");
    makeFolder(deep);
    makeFolder(QStringLiteral("local/home/anna/Projekt/Ritningar åäö/Kv Ugglan/Etapp 2/Plan 3 med ett långt namn"));
    m_grid->resize(157, 200); // the tree's default width, 2350 twips
    const int width = m_grid->widthTwips();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    QTreeView* view = m_grid->view();
    const auto nameStartShown = [&] {
        QCoreApplication::processEvents(); // the grid shows its changes when control returns
        const QModelIndex current = view->currentIndex();
        const QRect rect = view->visualRect(current);
        const int nameStart = rect.left() + view->iconSize().width() + view->fontMetrics().horizontalAdvance(QStringLiteral("Pla"));
        return current.isValid() && rect.left() >= 0 && nameStart <= view->viewport()->width() &&
               rect.top() >= 0 && rect.bottom() <= view->viewport()->height();
    };

    m_tree->restoreLastPath(bytes(m_dir->filePath(deep)));
    QCOMPARE(m_tree->currentFolder(), bytes(m_dir->filePath(deep)));
    QVERIFY(view->horizontalScrollBar()->maximum() > 0);
    QVERIFY(nameStartShown());
    QCOMPARE(m_grid->widthTwips(), width); // the tree keeps its width; its contents scroll

    pressKey(Qt::Key_Up);
    QVERIFY(nameStartShown());
    view->horizontalScrollBar()->setValue(0);
    view->verticalScrollBar()->setValue(0);
    pressKey(Qt::Key_Down);
    QCOMPARE(m_tree->currentFolder(), bytes(m_dir->filePath(deep)));
    QVERIFY(nameStartShown());

    // A click on a row whose start shows already scrolls nothing sideways.
    const int scrolled = view->horizontalScrollBar()->value();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->currentIndex()).center());
    QCOMPARE(view->horizontalScrollBar()->value(), scrolled);
}

void TestFolderTree::outlineButtonOpensAndItsReleaseListsTheNode()
{
    makeFolder(QStringLiteral("local/Sub"));
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    QTreeView* view = m_grid->view();
    QPoint button = pointOfRow(1);
    button.setX(view->indentation() * 3 / 2); // a drive row's button sits in the second indentation step

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, button);
    QVERIFY(!m_grid->isCollapsed(1));
    QCOMPARE(m_grid->textMatrix(2, 0), QStringLiteral("Sub"));
    QCOMPARE(m_grid->row(), 1);
    QCOMPARE(m_fills, 1);
    QVERIFY(m_grid->isCellBold(1, 0));

    // No placeholder is ever shown: every row on the screen has a label.
    for (int y = 0; y < m_grid->height(); ++y)
    {
        const int row = m_grid->rowAt(QPoint(m_grid->width() / 2, y));
        if (row >= 0)
            QVERIFY2(!m_grid->textMatrix(row, 0).isEmpty(), qPrintable(QString::number(row)));
    }

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, button);
    QVERIFY(m_grid->isCollapsed(1));
    QCOMPARE(m_reads.size(), 1u);
}

void TestFolderTree::levelWideRequestsAreRefused()
{
    pressKey(Qt::Key_Asterisk); // the grid's "open everything"
    QVERIFY(m_grid->isCollapsed(1) && m_grid->isCollapsed(3));
    QVERIFY(m_reads.empty());
    bool cancel = false;
    m_tree->loadOnExpand(-1, true, cancel);
    QVERIFY(cancel);
}

void TestFolderTree::driveTypeTable_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    const auto row = [](const char* name, int type, const char* entry, const QString& text, TreeIcon icon) {
        QTest::newRow(name) << type << QByteArray(entry) << text << static_cast<int>(icon);
    };
    row("0", 0, "c:", QStringLiteral("<Okänd typ>"), TreeIcon::Drive);
    row("1 share", 1, "z: [\\\\server\\share]", QStringLiteral("Nätverksenhet"), TreeIcon::NetDrive);
    row("1 plain", 1, "z:", QStringLiteral("Flyttbar disk"), TreeIcon::Drive);
    row("2 a", 2, "a:", QStringLiteral("Floppy drive"), TreeIcon::FloppyDrive);
    row("2 b", 2, "b:", QStringLiteral("Floppy drive"), TreeIcon::FloppyDrive);
    row("2 A upper", 2, "A:", QStringLiteral("Flyttbar disk"), TreeIcon::Drive);
    row("2 e", 2, "e: [STICK]", QStringLiteral("Flyttbar disk"), TreeIcon::Drive);
    row("3", 3, "c: [SYSTEM]", QStringLiteral("Lokal disk"), TreeIcon::Drive);
    row("4", 4, "/mnt/nas [nas:/plans]", QStringLiteral("Nätverksenhet"), TreeIcon::NetDrive);
    row("5", 5, "d:", QStringLiteral("CD-enhet"), TreeIcon::CD);
    row("6", 6, "/tmp", QStringLiteral("RAM-diskenhet"), TreeIcon::Drive);
    row("7", 7, "c:", QString(), TreeIcon::Drive);
    row("-1", -1, "c:", QString(), TreeIcon::Drive);
}

void TestFolderTree::driveTypeTable()
{
    QFETCH(int, type);
    QFETCH(QByteArray, entry);
    QFETCH(QString, text);
    QFETCH(int, icon);
    const DriveTypeLook look = driveTypeText(type, entry.toStdString());
    QCOMPARE(look.text, text);
    QCOMPARE(static_cast<int>(look.icon), icon);
}

QTEST_MAIN(TestFolderTree)
#include "tst_foldertree.moc"
