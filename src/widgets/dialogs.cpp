#include "widgets/dialogs.h"

#include "widgets/standinuser.h"

#include <QDir>
#include <QFileDialog>

namespace dialogs {

namespace {

// The stand-in's answer when there is one, else the real dialog's; native separators either way.
template <typename Show>
QString chosenPath(StandInUser::FileDialog dialog, const QString& title, const QString& filter, const QString& initial,
                   Show show)
{
    QString chosen;
    if (StandInUser* user = StandInUser::current()) {
        if (user->chooseFile)
            chosen = user->chooseFile({dialog, title, filter, initial});
    } else {
        chosen = show();
    }
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}

} // namespace

QString browseForFolder(QWidget* owner, const QString& prompt, const QString& preselect)
{
    return chosenPath(StandInUser::FileDialog::Folder, prompt, QString(), preselect,
                      [&] { return QFileDialog::getExistingDirectory(owner, prompt, preselect); });
}

QString openFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial)
{
    return chosenPath(StandInUser::FileDialog::Open, title, filter, initial,
                      [&] { return QFileDialog::getOpenFileName(owner, title, initial, filter); });
}

QString saveFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial)
{
    return chosenPath(StandInUser::FileDialog::Save, title, filter, initial,
                      [&] { return QFileDialog::getSaveFileName(owner, title, initial, filter); });
}

} // namespace dialogs
