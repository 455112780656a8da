// Where the program finds its own files: beside the executable, or in the installed layout.
#include "app/programfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestProgramFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& relative) const { return QDir::cleanPath(m_dir.filePath(relative)); }
    void touch(const QString& relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

private slots:
    void init()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(path(QStringLiteral("prefix/bin"))));
    }

    void programFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");

        const QString bin = QStringLiteral("prefix/bin");
        const QString shared = QStringLiteral("prefix/share/vendrel");
        QTest::newRow("installed: share beside bin") << QStringList{shared + QStringLiteral("/Skriv ut.scr")} << shared;
        QTest::newRow("installed: empty program folder") << QStringList{shared + QStringLiteral("/")} << shared;
        QTest::newRow("Init.reg beside the program") << QStringList{bin + QStringLiteral("/Init.reg")} << bin;
        QTest::newRow("template beside the program") << QStringList{bin + QStringLiteral("/Mall.scr")} << bin;
        QTest::newRow("start drawing beside the program")
            << QStringList{bin + QStringLiteral("/helvscr.dwg")} << bin;
        QTest::newRow("own files win over an installed layout")
            << QStringList{bin + QStringLiteral("/Init.reg"), shared + QStringLiteral("/Mall.scr")} << bin;
        QTest::newRow("nothing anywhere: the program's own folder") << QStringList{} << bin;
        QTest::newRow("a folder named like a template is no template")
            << QStringList{bin + QStringLiteral("/Mapp.scr/"), shared + QStringLiteral("/")} << shared;
    }

    void programFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        for (const QString& file : files) {
            if (file.endsWith(u'/'))
                QVERIFY(QDir().mkpath(path(file)));
            else
                touch(file);
        }
        const std::string found = ::programFolder(path(QStringLiteral("prefix/bin")));
        QCOMPARE(QString::fromStdString(found), QDir::toNativeSeparators(path(expected)));
    }
};

QTEST_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
