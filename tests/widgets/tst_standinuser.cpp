// The stand-in that answers the program's dialogs in tests.
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"
#include "widgets/standinuser.h"

#include <QDir>
#include <QTest>

class TestStandInUser : public QObject
{
    Q_OBJECT

private slots:
    // What a stand-in has no answer for never opens a dialog that nobody would close.
    void unansweredQuestionsAreCancelledOrDeclined()
    {
        StandInUser user;
        messagebox::show(nullptr, QStringLiteral("text"), QStringLiteral("title"), messagebox::Icon::Warning);
        QCOMPARE(dialogs::openFile(nullptr, QStringLiteral("t"), QString(), QString()), QString());
        QCOMPARE(dialogs::browseForFolder(nullptr, QStringLiteral("t"), QString()), QString());
        QVERIFY(!messagebox::ask(nullptr, QStringLiteral("?"), QStringLiteral("t")));
    }

    // The newest stand-in answers; when it goes, the one before it answers again.
    void theNewestAnswersUntilItGoes()
    {
        StandInUser outer;
        QList<StandInUser::FileQuestion> asked;
        outer.chooseFile = [&](const StandInUser::FileQuestion& question) {
            asked << question;
            return QStringLiteral("/srv/a/b.dwg");
        };
        {
            StandInUser inner;
            inner.answerYesNo = [](const StandInUser::YesNoQuestion& question) {
                return question.title == QStringLiteral("Övervakad körning") &&
                       question.text == QStringLiteral("Fortsätta?");
            };
            QVERIFY(messagebox::ask(nullptr, QStringLiteral("Fortsätta?"), QStringLiteral("Övervakad körning")));
            QCOMPARE(dialogs::saveFile(nullptr, QStringLiteral("t"), QString(), QString()), QString());
            QCOMPARE(StandInUser::current(), &inner);
        }
        QCOMPARE(StandInUser::current(), &outer);
        QVERIFY(!messagebox::ask(nullptr, QStringLiteral("Fortsätta?"), QStringLiteral("Övervakad körning")));
        // The answer comes back as a chosen path does from the real dialog: with native separators.
        QCOMPARE(dialogs::saveFile(nullptr, QStringLiteral("Spara"), QStringLiteral("*.scr"), QStringLiteral("/x")),
                 QDir::toNativeSeparators(QStringLiteral("/srv/a/b.dwg")));
        QCOMPARE(dialogs::browseForFolder(nullptr, QStringLiteral("Välj"), QStringLiteral("/y")),
                 QDir::toNativeSeparators(QStringLiteral("/srv/a/b.dwg")));
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].dialog, StandInUser::FileDialog::Save);
        QCOMPARE(asked[0].filter, QStringLiteral("*.scr"));
        QCOMPARE(asked[0].initial, QStringLiteral("/x"));
        QCOMPARE(asked[1].dialog, StandInUser::FileDialog::Folder);
        QCOMPARE(asked[1].title, QStringLiteral("Välj"));
    }
};

QTEST_MAIN(TestStandInUser)
#include "tst_standinuser.moc"
