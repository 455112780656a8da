#include "about/appicon.h"
#include "app/mainwindow.h"
#include "app/programfolder.h"
#include "app/qtmessages.h"
#include "os/registry.h"
#include "settings/settings.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    routeQtMessages();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(settings::companyName.data(), settings::companyName.size()));
    QApplication::setApplicationName(QString::fromLatin1(settings::productName.data(), settings::productName.size()));

    // The program speaks Swedish whatever the desktop's language: so do Qt's own dialogs and buttons, where
    // Qt's translations are installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Swedish, QLocale::Sweden), QStringLiteral("qt"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("vendrel"));

    Registry registry(Registry::defaultUserStore());
    Settings settings(registry, programFolder(QApplication::applicationDirPath()));
    MainWindow window(settings);
    window.load();
    window.show();
    window.offerUnfinishedRun();
    return QApplication::exec();
}
