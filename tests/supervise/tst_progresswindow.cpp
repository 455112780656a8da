// Supervised runs in the window on the offscreen platform, with a stand-in CAD program: the progress window
// follows the run while the window stays live, shows the summary, re-runs what failed, stops on "Avbryt",
// and an unfinished run is offered once at start.
#include "script/scripttemplate.h"
#include "supervise/journal.h"
#include "supervise/qt/progresswindow.h"
#include "supervise/qt/supervisor.h"
#include "supervise/runfiles.h"
#include "support/readback.h"
#include "widgets/standinuser.h"

#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QPushButton* button(QWidget* window, const QString& text)
{
    for (QPushButton* candidate : window->findChildren<QPushButton*>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// A drawing per session, one session at a time.
Supervisor::Limits oneAtATime(int timeoutMs)
{
    Supervisor::Limits limits;
    limits.timeout = std::chrono::milliseconds(timeoutMs);
    return limits;
}

// The line of CAD session number, without its time.
QString sessionLine(QWidget* window, int number)
{
    auto* label = window->findChild<QLabel*>(QStringLiteral("session%1").arg(number));
    return label ? label->text().section(QStringLiteral(", "), 0, 0) : QStringLiteral("?");
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
    script::RunRequest request(const std::vector<std::string>& names) const
    {
        script::RunRequest request;
        request.templatePath = path(QStringLiteral("mall.scr"));
        request.cadKind = CadKind::Acad;
        request.program = path(QStringLiteral("acad"));
        request.startDrawing = path(QStringLiteral("helvscr.dwg"));
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
        for (const char* name : {"K01.dwg", "K02.dwg", "K03.dwg"}) {
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
                 QStringLiteral("Över tidsgränsen: K02.dwg"));
        QPushButton* retry = button(window, QStringLiteral("Kör om misslyckade"));
        QVERIFY(retry && retry->isVisible());

        QFile::remove(m_dir.filePath(QStringLiteral("record")));
        standIn(QString());
        retry->click();
        QTRY_VERIFY_WITH_TIMEOUT(!supervisor.busy(), 10000);
        QCOMPARE(count(window, "done"), QStringLiteral("1"));
        QVERIFY(!retry->isVisible());
        QVERIFY(window->findChild<QLabel*>(QStringLiteral("summary"))->text().contains(QStringLiteral("alla 1")));
        QFile record(m_dir.filePath(QStringLiteral("record")));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(record.readAll().count("_.OPEN"), 1);
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
        Supervisor later(&owner, [] { return Supervisor::Limits{}; });
        later.offerResume();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.front().contains(QStringLiteral("2 av 3")));
    }

    void anUnfinishedRunIsOfferedOnce()
    {
        standIn(QString());
        std::string error;
        const std::string folder = supervise::runsFolder(error);
        for (const std::string& journal : supervise::journalsIn(folder))
            QFile::remove(QFile::decodeName(journal.c_str()));
        // A run that died in its second batch.
        script::RunRequest inputs = request({"K01.dwg", "K02.dwg", "K03.dwg"});
        inputs.cadKind.reset();
        inputs.templateHash = script::templateHash("_.OPEN %f\r\n");
        for (const char* name : {"/a.journal", "/b.journal"}) {
            supervise::JournalWriter::Opened how{};
            auto journal = supervise::JournalWriter::create(folder + name, inputs, how, error);
            QVERIFY(journal);
            const std::size_t first[] = {0};
            const supervise::DrawingEntry done[] = {{"K01.dwg", supervise::State::Done, false, 1, 2, "0"}};
            QVERIFY(journal->settled(first, done));
            const std::size_t second[] = {1};
            QVERIFY(journal->batchStarted(3, second));
        }

        QWidget owner;
        Supervisor supervisor(&owner, [] { return Supervisor::Limits{}; });
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
        QVERIFY(readBack(folder + "/a.journal", content, error));
        for (const supervise::DrawingEntry& entry : content.drawings)
            QCOMPARE(entry.state, supervise::State::Done);
        supervisor.offerResume();
        QCOMPARE(asked.size(), 2);
    }
};

QTEST_MAIN(TestProgressWindow)
#include "tst_progresswindow.moc"
