#include "mainwindow.h"
#include "registry.h"
#include "settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(settings::companyName.data(), settings::companyName.size()));
    QApplication::setApplicationName(QString::fromLatin1(settings::productName.data(), settings::productName.size()));

    Registry registry(Registry::defaultUserStore());
    Settings settings(registry, QApplication::applicationDirPath().toStdString());
    MainWindow window(settings);
    window.load();
    window.show();
    return QApplication::exec();
}
