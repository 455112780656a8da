#pragma once

#include <QString>
#include <functional>

class QWidget;

// The folder picker and the open-file dialog. Tests take the place of the user: the next answer hook gets
// the question instead of a dialog being shown, answers once and is then gone.
namespace dialogs {

struct Question
{
    QString title;
    QString filter;  // Qt filter text; empty for the folder picker
    QString initial; // the folder (or file) the dialog starts at
};

// The chosen folder with native separators, or empty text when cancelled.
QString browseForFolder(QWidget* owner, const QString& prompt, const QString& preselect);

// The chosen file with native separators, or empty text when cancelled.
QString openFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial);

// The file to save to with native separators, or empty text when cancelled. The dialog asks before an
// existing file is replaced.
QString saveFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial);

void setNextAnswer(std::function<QString(const Question&)> answer);

} // namespace dialogs
