#include "widgets/messagebox.h"

#include "widgets/standinuser.h"

#include <QMessageBox>

namespace messagebox {

namespace {

QMessageBox::Icon qtIcon(Icon icon)
{
    switch (icon) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void show(QWidget* parent, const QString& text, const QString& title, Icon icon)
{
    if (StandInUser* user = StandInUser::current()) {
        if (user->showMessage)
            user->showMessage({text, title, icon});
        return;
    }
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool ask(QWidget* parent, const QString& question, const QString& title)
{
    if (StandInUser* user = StandInUser::current())
        return user->answerYesNo && user->answerYesNo({title, question});
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace messagebox
