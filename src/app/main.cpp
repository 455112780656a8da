#include "about/appicon.h"
#include "app/mainwindow.h"
#include "app/programfolder.h"
#include "app/qtmessages.h"
#include "app/qttexts.h"
#include "os/registry.h"
#include "settings/settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    routeQtMessages();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(settings::companyName.data(), settings::companyName.size()));
    QApplication::setApplicationName(QString::fromLatin1(settings::productName.data(), settings::productName.size()));

    installSwedishQtTexts(app);

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
