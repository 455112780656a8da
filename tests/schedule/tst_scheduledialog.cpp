// "Schemalägg jobb..." worked through its controls' accessible names, against a stand-in systemctl.

#include "schedule/qt/scheduledialog.h"
#include "schedule/scheduler.h"
#include "support/tempfolder.h"
#include "widgets/standinuser.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

namespace {

template <typename Widget> Widget* control(const QWidget& dialog, const QString& name)
{
    for (Widget* widget : dialog.findChildren<Widget*>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    return nullptr;
}

} // namespace

class TestScheduleDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_job;
    QString m_units;

    QString unit(const QString& file) const
    {
        QFile in(m_units + u'/' + file);
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }
    ScheduleDialog::Setup setup() const { return {QString(), QStringLiteral(VENDREL_RUN_PROGRAM), {}}; }
    static QStringList rows(const QWidget& dialog)
    {
        QStringList texts;
        const QAbstractItemModel* model = control<QListView>(dialog, QStringLiteral("Schemalagda uppgifter"))->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, 0).data().toString();
        return texts;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        m_job = m_dir.filePath(QStringLiteral("Jobb mapp/å ö/Natt körning.vjob"));
        m_units = m_dir.filePath(QStringLiteral("config/systemd/user"));
        writeFile(m_job.toStdString(), "version = 1\ntemplate = \"m.scr\"\n[drawings]\nfolder = \".\"\n[cad]\n"
                                       "program = \"/bin/true\"\n");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_dir.filePath(QStringLiteral("runtime")).toUtf8());
        qputenv("VENDREL_SYSTEMCTL", SYSTEMCTL_STAND_IN);
        qputenv("STANDIN_RECORD", m_dir.filePath(QStringLiteral("systemctl")).toUtf8());
    }
    void init()
    {
        qunsetenv("STANDIN_STATE");
        qunsetenv("STANDIN_REFUSE");
    }

    // A saved job scheduled on weekdays, a second time only if the user says so, then removed from the list.
    void schedulesListsAndRemoves()
    {
        StandInUser user;
        QStringList asked, shown;
        bool yes = false;
        user.answerYesNo = [&](const StandInUser::YesNoQuestion& question) {
            asked << question.text;
            return yes;
        };
        user.showMessage = [&](const StandInUser::Message& message) { shown << message.text; };

        ScheduleDialog::Setup given = setup();
        given.jobPath = m_job;
        ScheduleDialog dialog(nullptr, given);
        QCOMPARE(control<QLineEdit>(dialog, QStringLiteral("Uppgiftens namn"))->text(), QStringLiteral("Natt-korning"));
        control<QRadioButton>(dialog, QStringLiteral("Vardagar (måndag-fredag)"))->click();
        control<QTimeEdit>(dialog, QStringLiteral("Klockslag"))->setTime(QTime(3, 15));
        control<QPushButton>(dialog, QStringLiteral("Schemalägg"))->click();
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
        QVERIFY(unit(QStringLiteral("vendrel-Natt-korning.timer"))
                    .contains(QStringLiteral("OnCalendar=Mon..Fri *-*-* 03:15:00")));
        QVERIFY(
            unit(QStringLiteral("vendrel-Natt-korning.service")).contains(QStringLiteral(" --job \"") + m_job + u'"'));
        QCOMPARE(rows(dialog), QStringList{QStringLiteral("Natt-korning – Vendrel: weekdays 03:15 ") + m_job});

        control<QRadioButton>(dialog, QStringLiteral("Dagligen"))->click();
        control<QPushButton>(dialog, QStringLiteral("Schemalägg"))->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("redan")));
        QVERIFY(unit(QStringLiteral("vendrel-Natt-korning.timer")).contains(QStringLiteral("Mon..Fri")));

        auto* list = control<QListView>(dialog, QStringLiteral("Schemalagda uppgifter"));
        auto* remove = control<QPushButton>(dialog, QStringLiteral("Ta bort uppgiften"));
        QVERIFY(!remove->isEnabled());
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(remove->isEnabled());
        yes = true;
        remove->click();
        QCOMPARE(asked.size(), 2);
        QVERIFY(unit(QStringLiteral("vendrel-Natt-korning.timer")).isEmpty());
        QCOMPARE(rows(dialog), QStringList());
    }

    // No job chosen: the window is offered to be saved as one first, and that job is scheduled.
    void offersToSaveTheWindowFirst()
    {
        StandInUser user;
        QStringList asked;
        user.answerYesNo = [&](const StandInUser::YesNoQuestion& question) {
            asked << question.text;
            return true;
        };
        QString saved = m_dir.filePath(QStringLiteral("sparat.vjob"));
        QFile::copy(m_job, saved);
        ScheduleDialog::Setup given = setup();
        given.saveJob = [&] { return saved; };
        ScheduleDialog dialog(nullptr, given);
        control<QRadioButton>(dialog, QStringLiteral("En gång"))->click();
        control<QPushButton>(dialog, QStringLiteral("Schemalägg"))->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("sparat jobb")));
        QCOMPARE(control<QLineEdit>(dialog, QStringLiteral("Jobbfil"))->text(), saved);
        QVERIFY(unit(QStringLiteral("vendrel-sparat.timer"))
                    .contains(QStringLiteral("OnCalendar=") + QDate::currentDate().addDays(1).toString(Qt::ISODate) +
                              QStringLiteral(" 02:00:00")));
        QVERIFY(schedule::removeTask("sparat"));
    }

    // systemd's refusal is shown and leaves nothing; without a user's systemd the crontab line is given to copy.
    void refusalAndCrontab()
    {
        StandInUser user;
        QStringList shown;
        user.showMessage = [&](const StandInUser::Message& message) { shown << message.text; };
        ScheduleDialog::Setup given = setup();
        given.jobPath = m_job;
        qputenv("STANDIN_REFUSE", "enable");
        {
            ScheduleDialog dialog(nullptr, given);
            control<QPushButton>(dialog, QStringLiteral("Schemalägg"))->click();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].contains(QStringLiteral("Access denied")), qPrintable(shown[0]));
            QVERIFY(QDir(m_units).entryList(QDir::Files).isEmpty());
        }
        qunsetenv("STANDIN_REFUSE");
        qputenv("STANDIN_STATE", "offline");
        ScheduleDialog dialog(nullptr, given);
        QVERIFY(control<QLabel>(dialog, QStringLiteral("Besked"))->text().contains(QStringLiteral("Ingen systemd")));
        control<QPushButton>(dialog, QStringLiteral("Schemalägg"))->click();
        auto* line = control<QLineEdit>(dialog, QStringLiteral("Rad för crontab"));
        QVERIFY(!line->isHidden() && line->isReadOnly());
        QCOMPARE(line->text(), QStringLiteral("0 2 * * * '" VENDREL_RUN_PROGRAM "' --job '") + m_job + u'\'');
        QCOMPARE(line->selectedText(), line->text());
        QCOMPARE(shown.size(), 1);
    }
};

QTEST_MAIN(TestScheduleDialog)
#include "tst_scheduledialog.moc"
