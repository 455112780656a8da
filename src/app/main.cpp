#include "appicon.h"
#include "mainwindow.h"
#include "programfolder.h"
#include "registry.h"
#include "settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(settings::companyName.data(), settings::companyName.size()));
    QApplication::setApplicationName(QString::fromLatin1(settings::productName.data(), settings::productName.size()));

    QApplication::setWindowIcon(applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("vendrel"));

    Registry registry(Registry::defaultUserStore());
    Settings settings(registry, programFolder(QApplication::applicationDirPath()));
    MainWindow window(settings);
    window.load();
    window.show();
    return QApplication::exec();
}
