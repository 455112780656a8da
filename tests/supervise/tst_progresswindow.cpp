// Supervised runs in the window on the offscreen platform, with a stand-in CAD program: the progress window
// follows the run while the window stays live, shows the summary, re-runs what failed, stops on "Avbryt",
// and an unfinished run is offered once at start.
#include "os/nativetext.h"
#include "os/registry.h"
#include "script/scripttemplate.h"
#include "settings/settings.h"
#include "supervise/journal.h"
#include "supervise/marks.h"
#include "supervise/probe.h"
#include "supervise/qt/consolelog.h"
#include "supervise/qt/progresswindow.h"
#include "supervise/qt/settingsdialog.h"
#include "supervise/qt/supervisedsettings.h"
#include "supervise/qt/supervisor.h"
#include "supervise/runfiles.h"
#include "support/readback.h"
#include "widgets/standinuser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

QPushButton* button(QWidget* window, const QString& text)
{
    for (QPushButton* candidate : window->findChildren<QPushButton*>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// Drawings per session, sessions at once and the command form; the time-out is generous.
supervise::RunPolicy policy(std::size_t batchSize, std::size_t sessions,
                            std::optional<supervise::CommandForm> form = std::nullopt)
{
    supervise::RunPolicy policy;
    policy.batchSize = batchSize;
    policy.sessions = sessions;
    policy.timeout = std::chrono::milliseconds(20000);
    policy.form = form;
    return policy;
}

// A drawing per session, one session at a time.
supervise::RunPolicy oneAtATime(int timeoutMs)
{
    supervise::RunPolicy policy;
    policy.timeout = std::chrono::milliseconds(timeoutMs);
    return policy;
}

// The stand-in that carries out drawing marks (tests/standin).
const std::string markStandIn = VENDREL_MARK_STAND_IN;

// The line of CAD session number, without its time.
QString sessionLine(QWidget* window, int number)
{
    auto* label = window->findChild<QLabel*>(QStringLiteral("session%1").arg(number));
    return label ? label->text().section(QStringLiteral(", "), 0, 0) : QStringLiteral("?");
}

QPushButton* accessibleButton(QWidget* window, const QString& name)
{
    for (QPushButton* candidate : window->findChildren<QPushButton*>()) {
        if (candidate->accessibleName() == name)
            return candidate;
    }
    return nullptr;
}

QString countLine(QWidget* window)
{
    auto* label = window->findChild<QLabel*>(QStringLiteral("count"));
    return label ? label->text() : QStringLiteral("?");
}

QString count(QWidget* window, const char* state)
{
    auto* label = window->findChild<QLabel*>(QString::fromLatin1(state));
    return label ? label->text() : QStringLiteral("?");
}

} // namespace

class TestProgressWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::string path(const QString& name) const { return QFile::encodeName(m_dir.filePath(name)).toStdString(); }

    // The stand-in records its script, then does what the case of the drawings in it says.
    void standIn(const QString& cases)
    {
        QFile file(m_dir.filePath(QStringLiteral("acad")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral(
                       "#!/bin/sh\nfor a; do s=\"$a\"; done\ncat \"$s\" >> '%1'\ncase \"$(cat \"$s\")\" in\n%2\nesac\n")
                       .arg(m_dir.filePath(QStringLiteral("record")), cases)
                       .toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    script::RunRequest request(const std::vector<std::string>& names, const std::string& program = {}) const
    {
        script::RunRequest request;
        request.templatePath = path(QStringLiteral("mall.scr"));
        request.cad.kind = CadKind::Acad;
        request.cad.path = program.empty() ? path(QStringLiteral("acad")) : program;
        request.cad.startDrawing = path(QStringLiteral("helvscr.dwg"));
        request.listingFolder = path(QStringLiteral("ritningar"));
        request.drawings = names;
        return request;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        QDir(m_dir.path()).mkpath(QStringLiteral("ritningar"));
        // The mark stand-in logs here, not beside itself.
        qputenv("VENDREL_STANDIN_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("standin.log"))));
        for (const char* name : {"K01.dwg", "K02.dwg", "K03.dwg", "A1.dwg", "A2.dwg", "A3CRASH.dwg", "A4.dwg", "A5.dwg",
                                 "A6.dwg", "B1.dwg", "B2FAIL.dwg"}) {
            QFile drawing(m_dir.filePath(QStringLiteral("ritningar/") + QLatin1String(name)));
            QVERIFY(drawing.open(QIODevice::WriteOnly));
        }
        QFile mall(m_dir.filePath(QStringLiteral("mall.scr")));
        QVERIFY(mall.open(QIODevice::WriteOnly));
        mall.write("_.OPEN %f\r\n");
    }

    void summaryAndRetry()
    {
        standIn(QStringLiteral("*K02*) sleep 60;;"));
        QWidget owner;
        Supervisor supervisor(&owner, [] { return oneAtATime(300); });
        supervisor.start(request({"K01.dwg", "K02.dwg", "K03.dwg"}));
        ProgressWindow* window = supervisor.progressWindow();
        QVERIFY(window && window->isVisible());
        // The run works on its own thread: the window's events go on while the second drawing hangs.
        QTRY_COMPARE_WITH_TIMEOUT(sessionLine(window, 1), QStringLiteral("Session 1: K02.dwg"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 10000);
        QCOMPARE(count(window, "done"), QStringLiteral("2"));
        QCOMPARE(count(window, "timed-out"), QStringLiteral("1"));
        QCOMPARE(window->findChild<QListView*>(QStringLiteral("problems"))->model()->index(0, 0).data().toString(),
                 QStringLiteral("Över tidsgränsen: K02.dwg (signal 9)"));
        QPushButton* retry = button(window, QStringLiteral("Kör om misslyckade"));
        QVERIFY(retry && retry->isVisible());

        QFile::remove(m_dir.filePath(QStringLiteral("record")));
        standIn(QStringLiteral("*K02*) sleep 0.1;;")); // well inside the run's 300 ms
        retry->click();
        // While it runs again, the drawing has no outcome of this run: none counted, not its old one either.
        QTRY_COMPARE_WITH_TIMEOUT(sessionLine(window, 1), QStringLiteral("Session 1: K02.dwg"), 5000);
        QCOMPARE(count(window, "timed-out"), QStringLiteral("0"));
        QCOMPARE(countLine(window), QStringLiteral("Körda: 0 av 1 ritningar"));
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 10000);
        QCOMPARE(count(window, "done"), QStringLiteral("1"));
        QVERIFY(!retry->isVisible());
        QVERIFY(window->findChild<QLabel*>(QStringLiteral("summary"))->text().contains(QStringLiteral("alla 1")));
        QFile record(m_dir.filePath(QStringLiteral("record")));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(record.readAll().count("_.OPEN"), 1);
    }

    // "Visa rapport" hands the page written beside the run's journal to the opener, the browser outside tests.
    void showReportOpensThePageBesideTheJournal()
    {
        standIn(QStringLiteral("*K02*) exit 3;;"));
        QWidget owner;
        Supervisor supervisor(&owner, [] { return oneAtATime(20000); });
        supervisor.start(request({"K01.dwg", "K02.dwg"}));
        ProgressWindow* window = supervisor.progressWindow();
        QPushButton* show = accessibleButton(window, QStringLiteral("Visa rapport"));
        QVERIFY(show && !show->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 10000);
        QVERIFY(show->isVisible());
        QList<QUrl> opened;
        window->setReportOpener([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        show->click();
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.front().isLocalFile());
        const QString page = opened.front().toLocalFile();
        QVERIFY2(page.endsWith(QStringLiteral(".html")), qPrintable(page));
        const QString stem = page.chopped(5);
        QVERIFY(QFileInfo(stem + QStringLiteral(".journal")).isFile());
        QVERIFY(QFileInfo(stem + QStringLiteral(".csv")).isFile());
        QFile html(page);
        QVERIFY(html.open(QIODevice::ReadOnly));
        QVERIFY(html.readAll().contains("K02.dwg"));
    }

    // A run of no drawing is refused before it has a journal or a window.
    void aRunOfNoDrawingIsRefused()
    {
        QStringList shown;
        StandInUser user;
        user.showMessage = [&](const StandInUser::Message& message) { shown << message.text; };
        QWidget owner;
        Supervisor supervisor(&owner, [] { return oneAtATime(300); });
        supervisor.start(request({}));
        QVERIFY(!supervisor.progressWindow());
        QCOMPARE(shown, QStringList{QStringLiteral("Ingen ritning att köra: markera eller ange ritningarna.")});
    }

    void cancelKillsTheSessionAndLeavesTheRestNotRun()
    {
        standIn(QStringLiteral("*K01*) sleep 60;;"));
        QWidget owner;
        Supervisor supervisor(&owner, [] { return oneAtATime(60000); });
        supervisor.start(request({"K01.dwg", "K02.dwg", "K03.dwg"}));
        ProgressWindow* window = supervisor.progressWindow();
        QTRY_COMPARE_WITH_TIMEOUT(sessionLine(window, 1), QStringLiteral("Session 1: K01.dwg"), 5000);
        button(window, QStringLiteral("Avbryt"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 5000);
        QCOMPARE(count(window, "interrupted"), QStringLiteral("1"));
        QCOMPARE(count(window, "not-run"), QStringLiteral("2"));
        // Nothing ran to an outcome.
        QCOMPARE(countLine(window), QStringLiteral("Körda: 0 av 3 ritningar"));
        QVERIFY(window->findChild<QLabel*>(QStringLiteral("summary"))->text().contains(QStringLiteral("avbröts")));
        // Stopped by the user, the run is closed: nothing is offered at the next start.
        bool asked = false;
        StandInUser user;
        user.answerYesNo = [&](const StandInUser::YesNoQuestion&) { return asked = true; };
        supervisor.offerResume();
        QVERIFY(!asked);
    }

    void closingVendrelMidRunLeavesItToBeOffered()
    {
        standIn(QStringLiteral("*K02*) sleep 60;;"));
        QWidget owner;
        {
            Supervisor supervisor(&owner, [] { return oneAtATime(60000); });
            supervisor.start(request({"K01.dwg", "K02.dwg", "K03.dwg"}));
            QTRY_COMPARE_WITH_TIMEOUT(sessionLine(supervisor.progressWindow(), 1), QStringLiteral("Session 1: K02.dwg"),
                                      5000);
        }
        QStringList asked;
        StandInUser user;
        user.answerYesNo = [&](const StandInUser::YesNoQuestion& question) {
            asked << question.text;
            return false;
        };
        Supervisor later(&owner, [] { return supervise::RunPolicy{}; });
        later.offerResume();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.front().contains(QStringLiteral("2 av 3")));
    }

    void anUnfinishedRunIsOfferedOnce()
    {
        standIn(QString());
        const auto runs = supervise::runsFolder();
        QVERIFY(runs);
        const std::string& folder = *runs;
        for (const std::string& journal : supervise::journalsIn(folder))
            QFile::remove(QFile::decodeName(journal.c_str()));
        // A run that died in its second batch.
        script::RunRequest inputs = request({"K01.dwg", "K02.dwg", "K03.dwg"});
        inputs.cad.kind.reset();
        inputs.templateHash = script::templateHash("_.OPEN %f\r\n");
        for (const char* name : {"/a.journal", "/b.journal"}) {
            auto created = supervise::JournalWriter::create(folder + name, inputs, {});
            QVERIFY(created);
            auto& journal = *created;
            const std::size_t first[] = {0};
            const supervise::DrawingEntry done[] = {{"K01.dwg", supervise::State::Done, false, 1, 2, "0"}};
            QVERIFY(journal->settled(first, done));
            const std::size_t second[] = {1};
            QVERIFY(journal->batchStarted(3, second));
        }

        QWidget owner;
        Supervisor supervisor(&owner, [] { return supervise::RunPolicy{}; });
        QStringList asked;
        StandInUser user;
        user.answerYesNo = [&](const StandInUser::YesNoQuestion& question) {
            asked << question.text;
            return false;
        };
        supervisor.offerResume();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.front().contains(QStringLiteral("2 av 3")));
        // Declined: the newer one is closed and the older one comes up next time, then nothing.
        user.answerYesNo = [&](const StandInUser::YesNoQuestion& question) {
            asked << question.text;
            return true;
        };
        supervisor.offerResume();
        QCOMPARE(asked.size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(supervisor.progressWindow() && !supervisor.busy(), 10000);
        supervise::JournalContent content;
        QVERIFY(readBack(folder + "/a.journal", content));
        for (const supervise::DrawingEntry& entry : content.drawings)
            QCOMPARE(entry.state, supervise::State::Done);
        supervisor.offerResume();
        QCOMPARE(asked.size(), 2);
    }
    // Two sessions with batches of two over the stand-in that carries out marks. With marks the drawing after
    // a crash goes back to the queue and is done later; without, it shares its batch's failure, as the
    // summary then says.
    void twoSessions_data()
    {
        QTest::addColumn<bool>("marks");
        QTest::addColumn<QString>("done");
        QTest::addColumn<QString>("failed");
        QTest::newRow("marks") << true << QStringLiteral("5") << QStringLiteral("1");
        QTest::newRow("no marks") << false << QStringLiteral("4") << QStringLiteral("2");
    }
    void twoSessions()
    {
        QFETCH(bool, marks);
        QVERIFY(supervise::storeMarks(markStandIn, marks));
        qputenv("VENDREL_STANDIN_MS", "250");
        QWidget owner;
        Supervisor supervisor(&owner, [] { return policy(2, 2); });
        supervisor.start(request({"A1.dwg", "A2.dwg", "A3CRASH.dwg", "A4.dwg", "A5.dwg", "A6.dwg"}, markStandIn));
        ProgressWindow* window = supervisor.progressWindow();
        QVERIFY(window);
        const auto busy = [&](int session) {
            const QString line = sessionLine(window, session);
            return line.startsWith(QStringLiteral("Session %1: A").arg(session));
        };
        QTRY_VERIFY_WITH_TIMEOUT(busy(1) && busy(2), 5000);
        if (marks) // the drawing in progress, no longer the batch
            QTRY_VERIFY_WITH_TIMEOUT(busy(1) && !sessionLine(window, 1).contains(u'+'), 5000);
        else
            QVERIFY(sessionLine(window, 1).endsWith(QStringLiteral("(+1)")));
        QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QLabel*>(QStringLiteral("times"))->text().contains(u'å'), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 20000);
        qunsetenv("VENDREL_STANDIN_MS");

        QFETCH(QString, done);
        QFETCH(QString, failed);
        QCOMPARE(count(window, "done"), done);
        QCOMPARE(count(window, "failed"), failed);
        QCOMPARE(count(window, "not-run"), QStringLiteral("0"));
        // With marks the reason names the drawing the program ended in.
        QCOMPARE(
            window->findChild<QListView*>(QStringLiteral("problems"))->model()->index(0, 0).data().toString(),
            QStringLiteral("Misslyckade: A3CRASH.dwg (signal 11") +
                (marks ? QStringLiteral(": CAD-programmet avslutades i den här ritningen)") : QStringLiteral(")")));
        const QString summary = window->findChild<QLabel*>(QStringLiteral("summary"))->text();
        QCOMPARE(summary.contains(QStringLiteral("Utan ritningsmärken: ritningarna i en grupp har gruppens "
                                                 "gemensamma utfall.")),
                 !marks);
        QVERIFY(!button(window, QStringLiteral("Visa logg"))->isVisible());
    }

    // The headless console's form: a drawing a process, its output kept; "Visa logg" shows what it wrote for
    // the failed drawing chosen.
    void consoleLogOfAFailedDrawing()
    {
        QWidget owner;
        Supervisor supervisor(&owner, [] { return policy(5, 1, supervise::CommandForm::Console); });
        supervisor.start(request({"B2FAIL.dwg"}, markStandIn));
        ProgressWindow* window = supervisor.progressWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 20000);
        QCOMPARE(count(window, "failed"), QStringLiteral("1"));
        // What the console wrote, in its UTF-16LE without a byte-order mark.
        const auto runs = supervise::runsFolder();
        QVERIFY(runs);
        std::string journal;
        for (const std::string& candidate : supervise::journalsIn(*runs)) {
            if (QFileInfo::exists(QFile::decodeName(supervise::consoleLogFolder(candidate).c_str())))
                journal = candidate;
        }
        QFile log(QFile::decodeName(supervise::consoleLogPath(journal, 0).c_str()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QByteArray("o\0k\0\r\0\n\0", 8)); // the stand-in's own output
        log.close();
        QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
        log.write(QByteArray("\xd6\0p\0p\0n\0a\0r\0\r\0\n\0", 16));
        log.close();

        QPushButton* show = button(window, QStringLiteral("Visa logg"));
        QVERIFY(show && show->isVisible() && show->isEnabled());
        show->click();
        auto* shown = window->findChild<QDialog*>(QStringLiteral("consoleLog"));
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(shown->windowTitle(), QStringLiteral("Logg: B2FAIL.dwg"));
        auto* text = shown->findChild<QPlainTextEdit*>(QStringLiteral("log"));
        QCOMPARE(text->toPlainText().trimmed(), QStringLiteral("Öppnar"));
        QVERIFY(text->isReadOnly());
    }

    void consoleLogText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString text = QStringLiteral("Öppnar K01.dwg\r\n");
        QByteArray utf16;
        for (const QChar c : text)
            utf16.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        QTest::newRow("UTF-16LE with its mark") << QByteArray("\xff\xfe") + utf16 << text;
        QTest::newRow("UTF-16LE without") << utf16 << text;
        QTest::newRow("cut in a character") << utf16 + 'x' << text;
        QTest::newRow("8-bit") << text.toLocal8Bit() << text;
    }
    void consoleLogText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(consolelog::text(bytes), text);
    }

    // What the dialog shows is what the settings hold, and what it is given back is written; the form follows
    // the program until the user chooses one, and goes on following it when the choice is the program's own.
    void settingsRoundTrip()
    {
        Registry registry(path(QStringLiteral("config/settings.conf")));
        Settings settings(registry, path(QStringLiteral("prog")));
        const std::string console = path(QStringLiteral("prog/AcCoreConsole.EXE"));
        const std::vector<script::CadProgram> programs{{{}, markStandIn, {}, {}}, {{}, console, {}, {}}, {}};
        QVERIFY(supervise::storeMarks(markStandIn, false));
        {
            SupervisedSettingsDialog dialog(supervisedsettings::policy(settings), programs, nullptr);
            auto* program = dialog.findChild<QComboBox*>(QStringLiteral("program"));
            auto* form = dialog.findChild<QComboBox*>(QStringLiteral("form"));
            QCOMPARE(program->count(), 2);
            QCOMPARE(form->currentText(), QStringLiteral("standard"));
            program->setCurrentIndex(1);
            QCOMPARE(form->currentText(), QStringLiteral("konsol"));
            QVERIFY(!dialog.findChild<QCheckBox*>(QStringLiteral("marks"))->isChecked());
            program->setCurrentIndex(0);
            dialog.findChild<QSpinBox*>(QStringLiteral("batchSize"))->setValue(7);
            dialog.findChild<QSpinBox*>(QStringLiteral("sessions"))->setValue(2);
            dialog.findChild<QCheckBox*>(QStringLiteral("marks"))->click();
            form->setCurrentIndex(1);
            emit form->activated(1);
            // The start script chosen in the file dialog, the end script typed.
            StandInUser user;
            user.chooseFile = [&](const StandInUser::FileQuestion& question) {
                return question.title == QStringLiteral("Välj startscript") ? nativeText(path(QStringLiteral("s.scr")))
                                                                            : QString();
            };
            dialog.findChild<QToolButton*>(QStringLiteral("sessionStartBrowse"))->click();
            dialog.findChild<QLineEdit*>(QStringLiteral("sessionEnd"))
                ->setText(nativeText(path(QStringLiteral("e.scr"))));
            supervisedsettings::apply(settings, dialog);
        }
        const supervise::RunPolicy stored = supervisedsettings::policy(settings);
        QCOMPARE(stored.batchSize, std::size_t(7));
        QCOMPARE(stored.sessions, std::size_t(2));
        QVERIFY(stored.form == supervise::CommandForm::Console);
        QCOMPARE(supervise::storedMarks(markStandIn), std::optional<bool>(true));
        QCOMPARE(supervise::storedMarks(console), std::nullopt);
        QCOMPARE(stored.sessionStart, path(QStringLiteral("s.scr")));
        QCOMPARE(stored.sessionEnd, path(QStringLiteral("e.scr")));

        SupervisedSettingsDialog again(stored, programs, nullptr);
        QCOMPARE(again.findChild<QSpinBox*>(QStringLiteral("sessions"))->value(), 2);
        QVERIFY(again.findChild<QCheckBox*>(QStringLiteral("marks"))->isChecked());
        auto* form = again.findChild<QComboBox*>(QStringLiteral("form"));
        QCOMPARE(form->currentText(), QStringLiteral("konsol"));
        // The console's own form for the console program: the setting follows the program again.
        again.findChild<QComboBox*>(QStringLiteral("program"))->setCurrentIndex(1);
        // An emptied field names no script.
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("sessionStart"))->text(),
                 nativeText(path(QStringLiteral("s.scr"))));
        again.findChild<QLineEdit*>(QStringLiteral("sessionStart"))->clear();
        supervisedsettings::apply(settings, again);
        QCOMPARE(settings.read(settings::SupervisedForm), std::string());
        QCOMPARE(supervisedsettings::policy(settings).sessionStart, std::string());
    }

    // "Prova CAD-programmet" tries the program on a thread of its own, then keeps and shows the answer.
    void probeButton()
    {
        QVERIFY(supervise::storeMarks(markStandIn, false));
        SupervisedSettingsDialog dialog({}, {{{}, markStandIn, {}, path(QStringLiteral("helvscr.dwg"))}}, nullptr);
        auto* probe = dialog.findChild<QPushButton*>(QStringLiteral("probe"));
        auto* answer = dialog.findChild<QLabel*>(QStringLiteral("probeAnswer"));
        auto* marks = dialog.findChild<QCheckBox*>(QStringLiteral("marks"));
        probe->click();
        QCOMPARE(answer->text(), QStringLiteral("Provar CAD-programmet..."));
        QVERIFY(!probe->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(answer->text(), QStringLiteral("Ritningsmärken fungerar med det här programmet."),
                                  10000);
        QVERIFY(marks->isChecked() && probe->isEnabled());
        QCOMPARE(supervise::storedMarks(markStandIn), std::optional<bool>(true));

        qputenv("VENDREL_STANDIN_NOLISP", "1");
        probe->click();
        QTRY_VERIFY_WITH_TIMEOUT(answer->text().startsWith(QStringLiteral("Ritningsmärken fungerar inte: ")), 10000);
        qunsetenv("VENDREL_STANDIN_NOLISP");
        QVERIFY(!marks->isChecked());
        QCOMPARE(supervise::storedMarks(markStandIn), std::optional<bool>(false));
    }
};

QTEST_MAIN(TestProgressWindow)
#include "tst_progresswindow.moc"
