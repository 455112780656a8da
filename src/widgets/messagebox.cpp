#include "widgets/messagebox.h"

#include <QMessageBox>

namespace messagebox {

namespace {

Recorder& recorder()
{
    static Recorder instance;
    return instance;
}

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
    if (recorder()) {
        recorder()(text, title, icon);
        return;
    }
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

void setRecorder(Recorder r)
{
    recorder() = std::move(r);
}

} // namespace messagebox
