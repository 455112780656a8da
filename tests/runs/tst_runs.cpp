// The template folder and list and the runs, from the click to the started CAD program: real folders,
// templates, settings and a stand-in CAD program that records what it was started with.
#include "os/registry.h"
#include "runs/qt/askprojectdatabase.h"
#include "runs/qt/cadlauncher.h"
#include "runs/qt/scriptreview.h"
#include "runs/qt/templates.h"
#include "script/drawingmarks.h"
#include "settings/settings.h"
#include "supervise/marks.h"
#include "supervise/probe.h"
#include "supervise/qt/supervisor.h"
#include "supervise/runfiles.h"
#include "widgets/messagebox.h"
#include "widgets/standinuser.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <map>
#include <memory>

namespace {

struct Shown
{
    QString text;
    QString title;
    messagebox::Icon icon;
};

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

std::string bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// folder and name joined as the program joins them, with the platform's separator.
QString in(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

#ifdef _WIN32
const QString programSuffix = QStringLiteral(".exe");
#else
const QString programSuffix;
#endif
#ifdef _WIN32
const QString notAProgram = QStringLiteral("acad.txt"); // Windows runs what its name says it can run
#else
const QString notAProgram = QStringLiteral("acad.com"); // without the permission to run
#endif

} // namespace

class TestRuns : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<QWidget> m_window;
    QComboBox* m_cboScr = nullptr;
    QLineEdit* m_txtAcad = nullptr;
    QLineEdit* m_txtParamAcad = nullptr;
    QLineEdit* m_txtIcad = nullptr;
    QLineEdit* m_txtParamIcad = nullptr;
    std::vector<std::string> m_marked;
    QString m_shownFolder;
    int m_arranged = 0;
    StandInUser m_user;
    QList<Shown> m_shown;
    std::unique_ptr<ScriptTemplates> m_templates;
    std::unique_ptr<CadLauncher> m_launcher;
    std::unique_ptr<Supervisor> m_supervisor;
    bool m_supervised = false;
    supervise::RunPolicy m_policy; // what the settings say of supervised runs
    QList<script::RunRequest> m_handedOver;
    std::size_t m_handedOverLines = 0;

    // The supervised runs as the launcher sees them: a run without a plan is recorded here, a planned one
    // (from a review) begins in the real supervisor.
    class Recorder final : public SupervisedRuns
    {
    public:
        explicit Recorder(TestRuns& test) : m_test(test) {}
        bool enabled() const override { return m_test.m_supervised; }
        SupervisedPlan plan(const script::RunRequest& run) const override { return m_test.m_supervisor->plan(run); }
        void start(script::RunRequest run, const SupervisedPlan& plan) override
        {
            if (!plan.journalPath.empty())
                return m_test.m_supervisor->start(std::move(run), plan);
            m_test.m_handedOverLines = run.scriptTemplate.bodyLines.size();
            m_test.m_handedOver.append(std::move(run));
        }

    private:
        TestRuns& m_test;
    };
    std::unique_ptr<Recorder> m_recorder;

    // Paths as the program's own, with the platform's separators.
    QString path(const QString& name) const { return QDir::toNativeSeparators(m_dir.filePath(name)); }
    QString programFolder() const { return path(QStringLiteral("prog")); }
    // å ä ö: the folder's name goes through the settings, the dialogs and the file calls in the ANSI code page.
    QString templates() const { return path(QStringLiteral("mallar \u00e5\u00e4\u00f6")); }
    QString drawings() const { return path(QStringLiteral("ritningar")); }
    QString scriptPath() const { return path(QStringLiteral("tmp/Vendrel.scr")); }
    QString m_cadRecord;
    QString cadRecord() const { return m_cadRecord; }
    QString cadScriptCopy() const { return path(QStringLiteral("cad/script")); }

    // A CAD program that writes its arguments one per line and keeps a copy of the script it was given. On
    // Windows the stand-in program of tests/windows, which writes its command line to "<name>.txt".
    QString writeStandInCad(const QString& name)
    {
#ifdef _WIN32
        const QString program = path(QStringLiteral("cad/") + name + programSuffix);
        QDir().mkpath(path(QStringLiteral("cad")));
        QFile::remove(program);
        [&] { QVERIFY(QFile::copy(QStringLiteral(VENDREL_CAD_STAND_IN), program)); }();
        m_cadRecord = path(QStringLiteral("cad/") + name + QStringLiteral(".txt"));
        return program;
#else
        const QString program = path(QStringLiteral("cad/") + name);
        m_cadRecord = path(QStringLiteral("cad/arguments"));
        writeFile(program,
                  "#!/bin/sh\n"
                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + QFile::encodeName(cadRecord()) + ".part'\n"
                  "for last in \"$@\"; do :; done\n"
                  "cp \"$last\" '" + QFile::encodeName(cadScriptCopy()) + "'\n"
                  "mv '" + QFile::encodeName(cadRecord()) + ".part' '" + QFile::encodeName(cadRecord()) + "'\n",
                  true);
        return program;
#endif
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        qputenv("TEMP", QFile::encodeName(path(QStringLiteral("tmp"))));
        // The desktop's registrations come from these folders only.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("xdg/config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path(QStringLiteral("xdg/etc"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("xdg/data"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path(QStringLiteral("xdg/usr"))));
        qunsetenv("XDG_CURRENT_DESKTOP");
        m_user.showMessage = [this](const StandInUser::Message& shown) {
            m_shown.append({shown.text, shown.title, shown.icon});
        };
    }

    void init()
    {
        for (const QString& folder : {QStringLiteral("tmp"), QStringLiteral("cad"), QStringLiteral("xdg"),
                                      QStringLiteral("andra")})
            QDir(path(folder)).removeRecursively();
        QDir(templates()).removeRecursively();
        for (const QString& folder : {QStringLiteral("tmp"), QStringLiteral("prog"), QStringLiteral("ritningar")})
            QDir().mkpath(path(folder));
        // A program folder as installed: the start drawing every CAD run opens first lies in it.
        writeFile(in(programFolder(), QStringLiteral("helvscr.dwg")), "dwg");
        writeFile(templates() + QStringLiteral("/B.scr"), "_.OPEN %f\r\n");
        writeFile(templates() + QStringLiteral("/a.scr"),
                  "%C Opens, saves and closes each drawing\r\n_.OPEN %f\r\n_.QSAVE _.CLOSE ; %name.%ext done\r\n"
                  "%END\r\ntext after the end line\r\n");
        writeFile(templates() + QStringLiteral("/c mall.SCR"), "-INSERT \"%m\" %name\r\n");
        writeFile(templates() + QStringLiteral("/.dold.scr"), "hidden\r\n");
        writeFile(templates() + QStringLiteral("/notes.txt"), "not a template\r\n");
        QDir().mkpath(templates() + QStringLiteral("/mapp.scr"));
        for (const char* name : {"K01.dwg", "K02.DWG", "K03.dwg"})
            writeFile(in(drawings(), QLatin1String(name)), "AC1027");
        m_cadRecord = path(QStringLiteral("cad/arguments"));

        m_supervisor.reset();
        m_templates.reset();
        m_launcher.reset();
        m_settings.reset();
        m_registry = std::make_unique<Registry>(bytes(path(QStringLiteral("config/Brannoc/Vendrel.conf"))));
        m_registry->deleteKey(Hive::CurrentUser, settings::productKey);
        m_settings = std::make_unique<Settings>(*m_registry, bytes(programFolder()));

        m_window = std::make_unique<QWidget>();
        m_cboScr = new QComboBox(m_window.get());
        m_cboScr->setEditable(true);
        m_txtAcad = new QLineEdit(m_window.get());
        m_txtParamAcad = new QLineEdit(m_window.get());
        m_txtIcad = new QLineEdit(m_window.get());
        m_txtParamIcad = new QLineEdit(m_window.get());
        m_marked = {"K01.dwg", "K02.DWG"};
        m_shownFolder.clear();
        m_arranged = 0;
        m_shown.clear();

        m_templates = std::make_unique<ScriptTemplates>(
            ScriptTemplates::Wiring{m_window.get(), m_cboScr, m_settings.get()});
        m_templates->setTemplateFolder(bytes(templates()));
        connect(m_templates.get(), &ScriptTemplates::folderShown, this,
                [this](const QString& folder) { m_shownFolder = folder; });
        connect(m_templates.get(), &ScriptTemplates::listRefreshed, this, [this] { ++m_arranged; });

        CadLauncher::Wiring runs;
        runs.window = m_window.get();
        runs.settings = m_settings.get();
        runs.templates = m_templates.get();
        runs.acad = {m_txtAcad, m_txtParamAcad};
        runs.icad = {m_txtIcad, m_txtParamIcad};
        runs.markedDrawings = [this] { return m_marked; };
        runs.listingFolder = [this] { return bytes(drawings()); };
        m_supervised = false;
        m_handedOver.clear();
        // Batches as large as any list here: a run writes one script.
        m_policy = {};
        m_policy.batchSize = 100;
        m_supervisor = std::make_unique<Supervisor>(m_window.get(), [this] { return m_policy; });
        m_recorder = std::make_unique<Recorder>(*this);
        runs.supervised = m_recorder.get();
        m_launcher = std::make_unique<CadLauncher>(std::move(runs));
    }

    void cleanup()
    {
        m_user.chooseFile = nullptr;
    }

    // With "Övervakad körning" on, the run goes to the supervised run once the template is read and the
    // names and the program are checked; no Vendrel.scr is written and nothing is started here.
    void aSupervisedRunTakesOverFromThePlainStart()
    {
        m_supervised = true;
        const QString program = writeStandInCad(QStringLiteral("cad program"));
        m_txtIcad->setText(program);
        m_txtParamIcad->setText(QStringLiteral("/p X"));
        m_cboScr->setEditText(QStringLiteral("a.scr"));
        m_launcher->runScript(CadKind::Icad);
        QCOMPARE(m_handedOver.size(), 1);
        const script::RunRequest& run = m_handedOver.front();
        QVERIFY(run.cad.kind == CadKind::Icad);
        QCOMPARE(run.templatePath, bytes(in(templates(), QStringLiteral("a.scr"))));
        QCOMPARE(m_handedOverLines, std::size_t(2));
        QCOMPARE(run.cad.path, bytes(program));
        QCOMPARE(run.cad.parameters, std::string("/p X"));
        QCOMPARE(run.cad.startDrawing, bytes(in(programFolder(), QStringLiteral("helvscr.dwg"))));
        QCOMPARE(run.listingFolder, bytes(drawings()));
        QCOMPARE(run.drawings, m_marked);
        QVERIFY(!QFile::exists(scriptPath()));
        QVERIFY(!QFile::exists(cadRecord()));
        QVERIFY(m_shown.isEmpty());

        m_txtIcad->setText(path(QStringLiteral("cad/missing")));
        m_launcher->runScript(CadKind::Icad);
        QCOMPARE(m_handedOver.size(), 1);
        QCOMPARE(m_shown.size(), 1);
        QVERIFY(m_shown.front().text.startsWith(QStringLiteral("Hittar ej programmet")));
    }

    void runWritesTheScriptAndStartsTheCadProgram_data()
    {
        QTest::addColumn<CadKind>("kind");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QStringList>("switches");
        QTest::newRow("AutoCAD with parameters")
            << CadKind::Acad << QStringLiteral("/p Standard")
            << QStringList{QStringLiteral("/p"), QStringLiteral("Standard"), QStringLiteral("/b")};
        QTest::newRow("IntelliCAD with quoted parameters")
            << CadKind::Icad << QStringLiteral("/p \"Min profil\" $HOME")
            << QStringList{QStringLiteral("/p"), QStringLiteral("Min profil"), QStringLiteral("$HOME"),
                           QStringLiteral("/b")};
        QTest::newRow("empty parameter box") << CadKind::Acad << QString() << QStringList{QStringLiteral("/b")};
    }

    void runWritesTheScriptAndStartsTheCadProgram()
    {
        QFETCH(CadKind, kind);
        QFETCH(QString, parameters);
        QFETCH(QStringList, switches);
        const QString program = writeStandInCad(QStringLiteral("cad program"));
        (kind == CadKind::Acad ? m_txtAcad : m_txtIcad)->setText(program);
        (kind == CadKind::Acad ? m_txtParamAcad : m_txtParamIcad)->setText(parameters);
        // The other kind's boxes play no part.
        (kind == CadKind::Acad ? m_txtIcad : m_txtAcad)->setText(path(QStringLiteral("cad/missing")));
        m_cboScr->setEditText(QStringLiteral("  a.scr "));

        m_launcher->runScript(kind);

        const QByteArray expected = "_.OPEN " + QFile::encodeName(in(drawings(), QStringLiteral("K01.dwg"))) +
                                    "\r\n_.QSAVE _.CLOSE\r\n"
                                    "_.OPEN " + QFile::encodeName(in(drawings(), QStringLiteral("K02.DWG"))) +
                                    "\r\n_.QSAVE _.CLOSE\r\n"
                                    ".EXIT\r\n";
        QCOMPARE(readFile(scriptPath()), expected);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);
#ifdef _WIN32
        // The command line of a run, character for character, and a minimised window.
        const QStringList received = QString::fromLocal8Bit(readFile(cadRecord())).split(u'\n');
        QCOMPARE(received.value(0), u'"' + program + QStringLiteral("\" \"") + in(programFolder(), QStringLiteral("helvscr.dwg")) +
                                        QStringLiteral("\" ") + parameters + QStringLiteral(" /b \"") + scriptPath() + u'"');
        QCOMPARE(received.value(1), QStringLiteral("2")); // SW_SHOWMINIMIZED
        Q_UNUSED(switches);
#else
        const QStringList arguments = QString::fromUtf8(readFile(cadRecord())).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(arguments, QStringList{in(programFolder(), QStringLiteral("helvscr.dwg"))} + switches +
                                QStringList{scriptPath()});
        QCOMPARE(readFile(cadScriptCopy()), expected);
#endif
        QVERIFY(m_shown.isEmpty());
    }

    void missingTemplateIsReportedAndNothingHappens_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reportedPath");
        QTest::newRow("not in the folder") << QStringLiteral("nej.scr") << in(templates(), QStringLiteral("nej.scr"));
        QTest::newRow("empty box") << QString() << in(templates(), QString());
        QTest::newRow("hidden file") << QStringLiteral(".dold.scr") << in(templates(), QStringLiteral(".dold.scr"));
        QTest::newRow("a folder") << QStringLiteral("mapp.scr") << in(templates(), QStringLiteral("mapp.scr"));
    }

    void missingTemplateIsReportedAndNothingHappens()
    {
        QFETCH(QString, name);
        QFETCH(QString, reportedPath);
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(name);
        m_launcher->runScript(CadKind::Acad);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].text, QStringLiteral("Ingen scriptmall ") + reportedPath + QStringLiteral(" funnen."));
        QCOMPARE(m_shown[0].title, QStringLiteral("fel"));
        QCOMPARE(m_shown[0].icon, messagebox::Icon::Critical);
        QVERIFY(!QFile::exists(scriptPath()));
    }

    void missingProgramIsReportedAfterTheScriptIsWritten_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("no such file") << path(QStringLiteral("cad/acad"));
        QTest::newRow("empty box") << QString();
        QTest::newRow("a folder") << programFolder();
    }

    void missingProgramIsReportedAfterTheScriptIsWritten()
    {
        QFETCH(QString, program);
        m_txtAcad->setText(program);
        m_cboScr->setEditText(QStringLiteral("B.scr"));
        m_launcher->runScript(CadKind::Acad);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].text, QStringLiteral("Hittar ej programmet ") + program + QStringLiteral("."));
        QCOMPARE(m_shown[0].title, QStringLiteral("Fil saknas"));
        QCOMPARE(m_shown[0].icon, messagebox::Icon::Critical);
        QVERIFY(QFile::exists(scriptPath()));
    }

    void projectDatabaseNamesTheProject()
    {
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(QStringLiteral("c mall.SCR"));
        StandInUser::FileQuestion asked;
        m_user.chooseFile = [&](const StandInUser::FileQuestion& question) -> QString {
            asked = question;
            return in(drawings(), QStringLiteral("Anl 7.pds"));
        };
        m_launcher->runScript(CadKind::Acad);
        QCOMPARE(asked.initial, drawings());
        QCOMPARE(asked.title, QStringLiteral("Välj projektdatabas"));
        QCOMPARE(readFile(scriptPath()), QByteArray("-INSERT \"Anl 7\" K01\r\n-INSERT \"Anl 7\" K02\r\n.EXIT\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);
        QVERIFY(m_shown.isEmpty());
    }

    void projectDatabaseCancelledOrWrongEndsTheRun_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("cancelled") << QString();
        QTest::newRow("not a project database") << in(drawings(), QStringLiteral("Anl 7.txt"));
    }

    void projectDatabaseCancelledOrWrongEndsTheRun()
    {
        QFETCH(QString, answer);
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(QStringLiteral("c mall.SCR"));
        writeFile(scriptPath(), "earlier script\r\n");
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) -> QString { return answer; };
        m_launcher->runScript(CadKind::Acad);
        QCOMPARE(readFile(scriptPath()), QByteArray("earlier script\r\n"));
        QVERIFY(m_shown.isEmpty());
    }

    // The review builds the script as the run does, shows exactly its bytes, and runs exactly those.
    void reviewShowsTheScriptARunWritesAndRunsIt()
    {
        m_txtIcad->setText(writeStandInCad(QStringLiteral("icad")));
        m_cboScr->setEditText(QStringLiteral("c mall.SCR"));
        m_marked = {"K01.dwg", "Saknas.dwg", "K02.DWG"};
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) -> QString {
            return drawings() + QStringLiteral("/Anl 7.pds");
        };
        m_launcher->reviewScript();
        ScriptReviewDialog* dialog = m_launcher->reviewDialog();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!QFile::exists(scriptPath()));

        const QByteArray expected = "-INSERT \"Anl 7\" K01\r\n-INSERT \"Anl 7\" Saknas\r\n"
                                    "-INSERT \"Anl 7\" K02\r\n.EXIT\r\n";
        // The script in a face of even widths, when the system has any (Wine here offers one proportional face).
        const auto even = [](const QFont& font) {
            const QFontMetrics metrics(font);
            return metrics.horizontalAdvance(QStringLiteral("iiii")) ==
                   metrics.horizontalAdvance(QStringLiteral("MMMM"));
        };
        const QStringList families = QFontDatabase::families();
        if (std::any_of(families.begin(), families.end(), [&](const QString& family) { return even(QFont(family)); }))
            QVERIFY(even(dialog->scriptView()->font()));
        const QAbstractItemModel* lines = dialog->scriptView()->model();
        QByteArray shown;
        for (int row = 0; row < lines->rowCount(); ++row)
            shown += lines->index(row, 0).data(ScriptReviewDialog::LineTextRole).toString().toUtf8() + "\r\n";
        QCOMPARE(shown, expected);
        // Blanks and the line end are drawn, the missing drawing's line is marked.
        QCOMPARE(lines->index(0, 0).data().toString(), QStringLiteral("-INSERT·\"Anl·7\"·K01↵"));
        QCOMPARE(lines->index(1, 0).data(ScriptReviewDialog::MarkRole).toInt(),
                 int(ScriptReviewDialog::Mark::Error));
        QCOMPARE(lines->index(0, 0).data(ScriptReviewDialog::MarkRole).toInt(), int(ScriptReviewDialog::Mark::None));

        // The finding names its line; choosing it shows that line.
        const QAbstractItemModel* findings = dialog->findingsView()->model();
        QCOMPARE(findings->rowCount(), 1);
        QCOMPARE(findings->index(0, 0).data().toString(), QStringLiteral("2"));
        QCOMPARE(findings->index(0, 1).data().toString(), QStringLiteral("missing"));
        QCOMPARE(findings->index(0, 2).data().toString(), QStringLiteral("Saknas.dwg"));
        dialog->findingsView()->setCurrentIndex(findings->index(0, 3));
        QCOMPARE(dialog->scriptView()->currentIndex().row(), 1);

        // "Spara som..." keeps a copy of exactly those bytes.
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) { return path(QStringLiteral("kopia.scr")); };
        dialog->saveButton()->click();
        QCOMPARE(readFile(path(QStringLiteral("kopia.scr"))), expected);

        dialog->runButton(CadKind::Icad)->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);
        QCOMPARE(readFile(scriptPath()), expected);
#ifndef _WIN32 // the stand-in of tests/windows records its command line only
        QCOMPARE(readFile(cadScriptCopy()), expected);
#endif
        QTRY_VERIFY(!m_launcher->reviewDialog());
        QVERIFY(m_shown.isEmpty());
    }

    // With supervised runs on and marks kept for the program, the review shows every drawing's lines between
    // the marks the run writes, its findings on the lines they concern, and its run button begins that run:
    // the CAD program gets the script shown.
    void supervisedReviewShowsTheMarksOfTheRun()
    {
#ifdef _WIN32
        QSKIP("supervised runs are tried on POSIX here");
#else
        m_supervised = true;
        const QString program = writeStandInCad(QStringLiteral("acad"));
        m_txtAcad->setText(program);
        QVERIFY(supervise::storeMarks(bytes(program), true));
        m_cboScr->setEditText(QStringLiteral("a.scr"));
        writeFile(in(drawings(), QStringLiteral("K 04.dwg")), "AC1027");
        m_marked = {"K01.dwg", "K 04.dwg"};
        // A session script gone is refused before anything is shown; there, it is shown in place.
        m_policy.sessionStart = bytes(path(QStringLiteral("start.scr")));
        m_launcher->reviewScript(CadKind::Acad);
        QVERIFY(!m_launcher->reviewDialog());
        QCOMPARE(m_shown.size(), 1);
        m_shown.clear();
        writeFile(path(QStringLiteral("start.scr")), "FILEDIA 0\r\n");
        m_launcher->reviewScript(CadKind::Acad);
        ScriptReviewDialog* dialog = m_launcher->reviewDialog();
        QVERIFY(dialog && dialog->isVisible());
        const QByteArray shown = QByteArray::fromStdString(dialog->script().bytes());
        const QList<QByteArray> lines = shown.split('\n');
        // The start script; two drawings of two lines, each between two marks; .EXIT; the last line end.
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines[0], QByteArray("FILEDIA 0\r"));
        // The unquoted blank of the second drawing's name, on its line.
        const QAbstractItemModel* findings = dialog->findingsView()->model();
        QCOMPARE(findings->rowCount(), 1);
        QCOMPARE(findings->index(0, 0).data().toString(), QStringLiteral("7"));
        QVERIFY(lines[6].startsWith("_.OPEN "));

        dialog->runButton(CadKind::Acad)->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()) && !m_supervisor->busy(), 20000);
        QCOMPARE(readFile(cadScriptCopy()), shown);
        // The marks name the run's own marks file, with the drawings' places in its list.
        const auto runs = supervise::runsFolder();
        QVERIFY(runs);
        const std::vector<std::string> journals = supervise::journalsIn(*runs);
        QCOMPARE(journals.size(), std::size_t(1));
        const std::string marks = script::markPathText(supervise::sessionMarksPath(journals.front(), 1));
        QCOMPARE(lines[1], QByteArray::fromStdString(script::markLine(marks, script::MarkKind::Begin, 0)) + '\r');
        QCOMPARE(lines[8], QByteArray::fromStdString(script::markLine(marks, script::MarkKind::End, 1)) + '\r');
#endif
    }

    // A real script as template, saved with a byte-order mark: the mark reaches no line of the script, and the
    // review tells about the template's empty line once, by its line in the template, not once per drawing.
    void reviewTellsAboutATemplateLineOnce()
    {
        writeFile(templates() + QStringLiteral("/verklig.scr"), "\xEF\xBB\xBF%C Sparar\r\n_.QSAVE\r\n\r\n");
        m_cboScr->setEditText(QStringLiteral("verklig.scr"));
        m_marked = {"K01.dwg", "K02.DWG"};
        m_launcher->reviewScript();
        ScriptReviewDialog* dialog = m_launcher->reviewDialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(QByteArray::fromStdString(dialog->script().bytes()),
                 QByteArray("_.QSAVE\r\n\r\n_.QSAVE\r\n\r\n.EXIT\r\n"));
        const QAbstractItemModel* findings = dialog->findingsView()->model();
        QCOMPARE(findings->rowCount(), 1);
        QCOMPARE(findings->index(0, 0).data().toString(), QStringLiteral("2"));
        QCOMPARE(findings->index(0, 1).data().toString(), QStringLiteral("empty-line"));
        QCOMPARE(findings->index(0, 2).data().toString(), QString());
        QVERIFY(findings->index(0, 3).data().toString().startsWith(QStringLiteral("Mallens rad 3 är tom: ")));
        dialog->findingsView()->setCurrentIndex(findings->index(0, 3));
        QCOMPARE(dialog->scriptView()->currentIndex().row(), 1);
        dialog->close();
    }

    // "Granska före körning": a run whose check finds anything shows the review instead of starting; a clean
    // run, or any run with the option off, starts as before.
    void reviewBeforeRunStopsOnlyWhenTheCheckFindsSomething()
    {
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(QStringLiteral("B.scr"));
        m_settings->setFlag(settings::ReviewBeforeRun, true);

        m_marked = {"K01.dwg", "Saknas.dwg"};
        m_launcher->runScript(CadKind::Acad);
        ScriptReviewDialog* dialog = m_launcher->reviewDialog();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!QFile::exists(scriptPath()));
        // Its size outlives it.
        dialog->resize(640, 480);
        dialog->closeButton()->click();
        QTRY_VERIFY(!m_launcher->reviewDialog());
        QTest::qWait(200);
        QVERIFY(!QFile::exists(cadRecord()));
        m_launcher->reviewScript();
        QVERIFY(m_launcher->reviewDialog());
        QCOMPARE(m_launcher->reviewDialog()->size(), QSize(640, 480));
        m_launcher->reviewDialog()->close();
        QTRY_VERIFY(!m_launcher->reviewDialog());

        m_marked = {"K01.dwg", "K02.DWG"};
        m_launcher->runScript(CadKind::Acad);
        QVERIFY(!m_launcher->reviewDialog());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);

        QFile::remove(cadRecord());
        m_settings->setFlag(settings::ReviewBeforeRun, false);
        m_marked = {"K01.dwg", "Saknas.dwg"};
        m_launcher->runScript(CadKind::Acad);
        QVERIFY(!m_launcher->reviewDialog());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);
        QVERIFY(readFile(scriptPath()).contains("Saknas.dwg"));
    }

    // A temporary folder that is gone: the user is told, and no program starts on an old script.
    void unwritableScriptIsReported()
    {
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(QStringLiteral("B.scr"));
        QVERIFY(QDir(path(QStringLiteral("tmp"))).removeRecursively());
        m_launcher->runScript(CadKind::Acad);
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown[0].text.startsWith(QStringLiteral("Scriptet ") + scriptPath() + QStringLiteral(" kan inte skrivas: ")),
                 qPrintable(m_shown[0].text));
        QCOMPARE(m_shown[0].title, QStringLiteral("fel"));
        QCOMPARE(m_shown[0].icon, messagebox::Icon::Critical);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(cadRecord()));
    }

    void lineBreakInANameStopsTheRun()
    {
        m_txtAcad->setText(writeStandInCad(QStringLiteral("acad")));
        m_cboScr->setEditText(QStringLiteral("c mall.SCR"));
        m_marked = {"K01.dwg", "K02.dwg\n_.ERASE ALL\n.dwg"};
        bool asked = false;
        m_user.chooseFile = [&](const StandInUser::FileQuestion&) -> QString {
            asked = true;
            return QString();
        };
        m_launcher->runScript(CadKind::Acad);
        QVERIFY(!asked);
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown[0].text.contains(QStringLiteral("K02.dwg\\n_.ERASE ALL\\n.dwg")), qPrintable(m_shown[0].text));
        QVERIFY(!QFile::exists(scriptPath()));
    }

    void refreshListsTheTemplatesAndKeepsTheText_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("empty box shows the first") << QString() << QStringLiteral("a.scr");
        QTest::newRow("a listed name stays") << QStringLiteral("c mall.SCR") << QStringLiteral("c mall.SCR");
        QTest::newRow("an unlisted name stays") << QStringLiteral("gammal.scr") << QStringLiteral("gammal.scr");
    }

    void refreshListsTheTemplatesAndKeepsTheText()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        m_cboScr->addItem(QStringLiteral("earlier.scr"));
        m_cboScr->setEditText(before);
        m_templates->refreshTemplateList();
        QStringList listed;
        for (int i = 0; i < m_cboScr->count(); ++i)
            listed << m_cboScr->itemText(i);
        QCOMPARE(listed, (QStringList{QStringLiteral("a.scr"), QStringLiteral("B.scr"), QStringLiteral("c mall.SCR")}));
        QCOMPARE(m_cboScr->currentText(), after);
        const QString folder = templates();
        QCOMPARE(m_shownFolder, folder);
        QCOMPARE(m_arranged, 1);
    }

    void chooseTemplateFolder()
    {
        const QString other = path(QStringLiteral("andra"));
        writeFile(other + QStringLiteral("/z.scr"), "z\r\n");
        m_templates->refreshTemplateList();

        StandInUser::FileQuestion asked;
        m_user.chooseFile = [&](const StandInUser::FileQuestion& question) -> QString {
            asked = question;
            return QString();
        };
        m_templates->chooseTemplateFolder();
        QCOMPARE(asked.title, QStringLiteral("Välj mapp innehållande scriptmallar (*.scr)"));
        QCOMPARE(asked.initial, templates());
        QCOMPARE(m_templates->templateFolder(), bytes(templates()));
        QCOMPARE(m_cboScr->count(), 3);
        QCOMPARE(m_settings->readSetting("RdsDir", "<none>"), std::string("<none>"));

        m_user.chooseFile = [&](const StandInUser::FileQuestion&) -> QString { return other; };
        m_templates->chooseTemplateFolder();
        QCOMPARE(m_templates->templateFolder(), bytes(other));
        QCOMPARE(m_cboScr->count(), 1);
        QCOMPARE(m_cboScr->currentText(), QStringLiteral("a.scr")); // kept, though not in the new folder
        QCOMPARE(m_settings->readSetting("RdsDir", "<none>"), bytes(other));
        QCOMPARE(m_shownFolder, other);
    }

    void startUpTakesTheFolderAndTemplateFromTheSettings()
    {
        m_settings->writeSetting("RdsDir", bytes(templates()));
        m_settings->writeSetting("LastTemplate", "B.scr");
        m_templates->loadAtStart();
        QCOMPARE(m_templates->templateFolder(), bytes(templates()));
        QCOMPARE(m_cboScr->currentText(), QStringLiteral("B.scr"));
        QCOMPARE(m_cboScr->count(), 3);

        // A folder that has gone falls back to the program folder.
        m_settings->writeSetting("RdsDir", bytes(path(QStringLiteral("borta"))));
        m_settings->writeSetting("LastTemplate", "");
        writeFile(programFolder() + QStringLiteral("/standard.scr"), "x\r\n");
        m_templates->loadAtStart();
        QCOMPARE(m_templates->templateFolder(), bytes(programFolder()));
        QCOMPARE(m_cboScr->currentText(), QStringLiteral("standard.scr"));
    }

    void editTemplateOpensTheDesktopTextEditor()
    {
#ifdef _WIN32
        QSKIP("the desktop's registrations are Linux's; tests/windows/tst_cad_win starts Notepad");
#endif
        const QString editor = path(QStringLiteral("xdg/bin/editor"));
        writeFile(editor,
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + QFile::encodeName(cadRecord()) +
                      ".part'\nmv '" + QFile::encodeName(cadRecord()) + ".part' '" +
                      QFile::encodeName(cadRecord()) + "'\n",
                  true);
        QDir().mkpath(path(QStringLiteral("cad")));
        writeFile(path(QStringLiteral("xdg/config/mimeapps.list")),
                  "[Default Applications]\ntext/plain=vendrel-editor.desktop\n");
        writeFile(path(QStringLiteral("xdg/data/applications/vendrel-editor.desktop")),
                  "[Desktop Entry]\nType=Application\nName=Editor\nExec=\"" + QFile::encodeName(editor) +
                      "\" --new-window %U\n");

        m_cboScr->setEditText(QString());
        m_templates->editTemplate();
        m_cboScr->setEditText(QStringLiteral("c mall.SCR"));
        m_templates->editTemplate();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cadRecord()), 20000);
        QCOMPARE(QString::fromUtf8(readFile(cadRecord())),
                 QStringLiteral("--new-window\n") + in(templates(), QStringLiteral("c mall.SCR\n")));
    }

    void browseTakesOnlyAProgramFile_data()
    {
        QTest::addColumn<CadKind>("kind");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("taken");
        const QString program = path(QStringLiteral("cad/acad") + programSuffix);
        QTest::newRow("a program") << CadKind::Acad << program << true;
        QTest::newRow("another kind's program") << CadKind::Icad << program << true;
        QTest::newRow("cancelled") << CadKind::Acad << QString() << false;
        QTest::newRow("not executable") << CadKind::Acad << path(QStringLiteral("cad/") + notAProgram) << false;
        QTest::newRow("a folder") << CadKind::Icad << path(QStringLiteral("cad")) << false;
    }

    void browseTakesOnlyAProgramFile()
    {
        QFETCH(CadKind, kind);
        QFETCH(QString, answer);
        QFETCH(bool, taken);
        writeStandInCad(QStringLiteral("acad"));
        writeFile(path(QStringLiteral("cad/") + notAProgram), "MZ");
        QLineEdit* box = kind == CadKind::Acad ? m_txtAcad : m_txtIcad;
        box->setText(kind == CadKind::Acad ? QString() : QStringLiteral("/opt/icad/icad"));
        const QString before = box->text();

        StandInUser::FileQuestion asked;
        m_user.chooseFile = [&](const StandInUser::FileQuestion& question) -> QString {
            asked = question;
            return answer;
        };
        m_launcher->browseCadProgram(kind);
        QCOMPARE(asked.title, QStringLiteral("Programfil"));
        QCOMPARE(asked.initial, kind == CadKind::Acad ? programFolder() : QStringLiteral("/opt/icad/icad"));
        QVERIFY(asked.filter.startsWith(kind == CadKind::Acad ? QStringLiteral("AutoCAD-program (acad.exe aclt.exe)")
                                                              : QStringLiteral("IntelliCAD-program (icad.exe)")));
        QCOMPARE(box->text(), taken ? answer : before);
    }

    void startUpFindsThePrograms()
    {
#ifdef _WIN32
        QSKIP("the desktop's registrations are Linux's; tests/windows/tst_cad_win reads Windows' registrations");
#endif
        const QString kept = writeStandInCad(QStringLiteral("icad"));
        writeFile(path(QStringLiteral("xdg/bin/dwgviewer")), "#!/bin/sh\n", true);
        writeFile(path(QStringLiteral("xdg/usr/applications/dwg.desktop")),
                  "[Desktop Entry]\nType=Application\nName=DWG\nExec=dwgviewer %f\n");
        writeFile(path(QStringLiteral("xdg/etc/mimeapps.list")), "[Default Applications]\nimage/vnd.dwg=dwg.desktop\n");
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(path(QStringLiteral("xdg/bin"))) + ':' + oldPath);

        m_settings->writeSetting("ProgramAcad", bytes(path(QStringLiteral("cad/uninstalled"))));
        m_settings->writeSetting("ProgramIcad", bytes(kept));
        m_launcher->loadProgramsAtStart();
        QCOMPARE(m_txtAcad->text(), path(QStringLiteral("xdg/bin/dwgviewer")));
        QCOMPARE(m_txtIcad->text(), kept);

        // Nothing registered: both boxes end up empty.
        qputenv("PATH", oldPath);
        m_settings->writeSetting("ProgramIcad", "");
        m_launcher->loadProgramsAtStart();
        QCOMPARE(m_txtAcad->text(), QString());
        QCOMPARE(m_txtIcad->text(), QString());
    }
};

QTEST_MAIN(TestRuns)
#include "tst_runs.moc"
