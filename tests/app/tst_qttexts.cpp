// Every dialog and message box of the program, opened with the Swedish texts the program installs: no button
// may show a text Qt supplies in English.
#include "about/aboutbox.h"
#include "app/qttexts.h"
#include "supervise/qt/settingsdialog.h"
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// The button texts Qt gives its standard buttons and its file dialog in English ("OK" is Swedish too).
const QStringList englishTexts = {
    QStringLiteral("Cancel"), QStringLiteral("Yes"),     QStringLiteral("No"),    QStringLiteral("Close"),
    QStringLiteral("Open"),   QStringLiteral("Save"),    QStringLiteral("Apply"), QStringLiteral("Help"),
    QStringLiteral("Reset"),  QStringLiteral("Retry"),   QStringLiteral("Abort"), QStringLiteral("Ignore"),
    QStringLiteral("Choose"), QStringLiteral("Discard"), QStringLiteral("Save All"),
    QStringLiteral("Yes to All"), QStringLiteral("No to All"), QStringLiteral("Restore Defaults"),
    QStringLiteral("Show Details..."), QStringLiteral("Hide Details..."), QStringLiteral("Close without Saving")};

QStringList buttonTexts(const QWidget* window)
{
    QStringList texts;
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty())
            texts << button->text();
    }
    return texts;
}

// The button texts of the modal window that open() shows; the window is closed as soon as it is read.
QStringList buttonTextsOfModal(const std::function<void()>& open)
{
    QStringList texts;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll.stop();
        texts = buttonTexts(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll.start();
    open();
    return texts;
}

} // namespace

class TestQtTexts : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static void expectSwedish(const QString& what, const QStringList& texts)
    {
        QVERIFY2(!texts.isEmpty(), qPrintable(what + QStringLiteral(": no buttons")));
        for (QString text : texts) {
            text.remove(u'&');
            QVERIFY2(!englishTexts.contains(text), qPrintable(what + QStringLiteral(": ") + text));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        installSwedishQtTexts(*QCoreApplication::instance());
    }

    void dialogs()
    {
        SupervisedSettingsDialog settings({}, {}, nullptr);
        settings.show();
        expectSwedish(QStringLiteral("supervised-run settings"), buttonTexts(&settings));
        QVERIFY(buttonTexts(&settings).contains(QStringLiteral("Avbryt")));

        AboutBox about(nullptr, Qt::lightGray);
        about.show();
        expectSwedish(QStringLiteral("About box"), buttonTexts(&about));
    }

    void messageBoxes()
    {
        const QStringList shown = buttonTextsOfModal([] {
            messagebox::show(nullptr, QStringLiteral("Sökvägen finns ej."), QStringLiteral("Vendrel"),
                             messagebox::Icon::Critical);
        });
        expectSwedish(QStringLiteral("message box"), shown);
        // The supervisor asks whether to resume a run with Yes and No.
        const QStringList asked = buttonTextsOfModal([] {
            QMessageBox::question(nullptr, QStringLiteral("Övervakad körning"), QStringLiteral("Fortsätta?"),
                                  QMessageBox::Yes | QMessageBox::No);
        });
        expectSwedish(QStringLiteral("question"), asked);
        QCOMPARE(asked.size(), 2);
    }

    // Qt's own file dialogs, as the folder picker, the program and template choice and "Spara som" open them.
    void fileDialogs()
    {
        const QString folder = m_dir.path();
        expectSwedish(QStringLiteral("folder picker"), buttonTextsOfModal([&] {
                          dialogs::browseForFolder(nullptr, QStringLiteral("Välj mapp"), folder);
                      }));
        expectSwedish(QStringLiteral("open"), buttonTextsOfModal([&] {
                          dialogs::openFile(nullptr, QStringLiteral("Öppna"), QStringLiteral("Program (*.exe)"), folder);
                      }));
        expectSwedish(QStringLiteral("save"), buttonTextsOfModal([&] {
                          dialogs::saveFile(nullptr, QStringLiteral("Spara som"), QStringLiteral("Script (*.scr)"),
                                            folder + QStringLiteral("/Vendrel.scr"));
                      }));
    }
};

QTEST_MAIN(TestQtTexts)
#include "tst_qttexts.moc"
