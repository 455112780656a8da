#pragma once

#include "widgets/messagebox.h"

#include <QString>
#include <QtGlobal>
#include <functional>

// Takes the user's place while it exists: the message boxes, yes/no questions and file and folder dialogs
// of widgets/messagebox.h and widgets/dialogs.h come to it instead of the screen. Tests make one; the
// program never does. The newest one answers; when it goes, the one it replaced answers again.
class StandInUser final
{
    Q_DISABLE_COPY_MOVE(StandInUser)

public:
    struct Message
    {
        QString text;
        QString title;
        messagebox::Icon icon = messagebox::Icon::None;
    };
    struct YesNoQuestion
    {
        QString title;
        QString text;
    };
    enum class FileDialog
    {
        Folder,
        Open,
        Save,
    };
    struct FileQuestion
    {
        FileDialog dialog = FileDialog::Open;
        QString title;
        QString filter;  // Qt filter text; empty for the folder picker
        QString initial; // the folder (or file) the dialog starts at
    };

    StandInUser();
    ~StandInUser();

    // The stand-in that answers now; none in the program, which then shows the real dialogs.
    static StandInUser* current();

    // What the stand-in does. Where nothing is set a message is passed over, a file or folder dialog is
    // cancelled and a question is answered no: a test never waits for a dialog nobody will close.
    std::function<void(const Message&)> showMessage;
    // The chosen path, or empty text for cancel.
    std::function<QString(const FileQuestion&)> chooseFile;
    std::function<bool(const YesNoQuestion&)> answerYesNo;

private:
    StandInUser* m_replaced;
};
