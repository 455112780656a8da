#include "runs/qt/askprojectdatabase.h"
#include "script/qt/localeformat.h"
#include "widgets/standinuser.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;

class TestScriptQt final : public QObject
{
    Q_OBJECT

private slots:
    void swedishRegionalDateAndTime();
    void timeZoneLeavesTheTimeFormat_data();
    void timeZoneLeavesTheTimeFormat();
    void otherLocalesShowNoTimeZone();
    void projectDatabaseAnswers_data();
    void projectDatabaseAnswers();
    void projectDatabaseQuestion();
};

void TestScriptQt::swedishRegionalDateAndTime()
{
    const auto format = script::localeDateTimeFormat(QLocale(QLocale::Swedish, QLocale::Sweden));
    const script::LocalDateTime when{2026, 12, 6, 14, 5, 9};
    QCOMPARE(format.date(when), std::string("2026-12-06"));
    QCOMPARE(format.time(when), std::string("14:05:09"));
    QCOMPARE(format.time({2026, 12, 6, 0, 0, 0}), std::string("00:00:00"));
}

void TestScriptQt::timeZoneLeavesTheTimeFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zone last") << u"HH:mm:ss t"_s << u"HH:mm:ss"_s;
    QTest::newRow("am/pm") << u"h:mm:ss AP t"_s << u"h:mm:ss AP"_s;
    QTest::newRow("zone first") << u"t HH:mm:ss"_s << u"HH:mm:ss"_s;
    QTest::newRow("quoted t") << u"HH 'tim' mm t"_s << u"HH 'tim' mm"_s;
    QTest::newRow("no zone") << u"HH.mm.ss"_s << u"HH.mm.ss"_s;
}

void TestScriptQt::timeZoneLeavesTheTimeFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(script::timeFormatWithoutZone(format), expected);
}

void TestScriptQt::otherLocalesShowNoTimeZone()
{
    const script::LocalDateTime when{2026, 12, 6, 14, 5, 9};
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German),
                                  QLocale(QLocale::Finnish), QLocale::c()}) {
        const std::string time = script::localeDateTimeFormat(locale).time(when);
        QVERIFY2(time.find("05") != std::string::npos && time.find("09") != std::string::npos, time.c_str());
        QVERIFY2(time.find("UTC") == std::string::npos && time.find("GMT") == std::string::npos &&
                     time.find("CET") == std::string::npos,
                 time.c_str());
        QVERIFY2(time == QByteArray(time.c_str()).trimmed().toStdString(), time.c_str());
    }
}

void TestScriptQt::projectDatabaseAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("project");
    QTest::addColumn<bool>("given");
    QTest::newRow("chosen") << u"/srv/Proj/Anl 7.pds"_s << u"Anl 7"_s << true;
    QTest::newRow("upper case") << u"/srv/Proj/a.b.PDS"_s << u"a.b"_s << true;
    QTest::newRow("cancelled") << QString() << QString() << false;
    QTest::newRow("not a database") << u"/srv/Proj/Anl 7.dwg"_s << QString() << false;
}

void TestScriptQt::projectDatabaseAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QString, project);
    QFETCH(bool, given);
    StandInUser user;
    user.chooseFile = [answer](const StandInUser::FileQuestion&) { return answer; };
    const auto name = script::askProjectDatabase(nullptr, "/srv/Proj");
    QCOMPARE(name.has_value(), given);
    if (given)
        QCOMPARE(QString::fromStdString(*name), project);
}

void TestScriptQt::projectDatabaseQuestion()
{
    // The folder comes as the file system's bytes and must reach the dialog decoded.
    const QString folder = u"/srv/Ritningar \u00e5\u00e4\u00f6"_s;
    const QByteArray folderBytes = QFile::encodeName(folder);
    StandInUser::FileQuestion asked;
    StandInUser user;
    user.chooseFile = [&asked](const StandInUser::FileQuestion& question) {
        asked = question;
        return QString();
    };
    QVERIFY(!script::askProjectDatabase(nullptr, folderBytes.toStdString()));
    QCOMPARE(asked.title, u"V\u00e4lj projektdatabas"_s);
    QCOMPARE(asked.filter, u"Projektdatabas (*.pds)"_s);
    QCOMPARE(asked.initial, folder);
}

QTEST_MAIN(TestScriptQt)
#include "tst_scriptqt.moc"
