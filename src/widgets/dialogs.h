#pragma once

#include <QString>

class QWidget;

// The folder picker and the file dialogs. While a StandInUser (widgets/standinuser.h) exists, none is
// shown: the stand-in gets the question and answers.
namespace dialogs {

// The chosen folder with native separators, or empty text when cancelled.
QString browseForFolder(QWidget* owner, const QString& prompt, const QString& preselect);

// The chosen file with native separators, or empty text when cancelled.
QString openFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial);

// The file to save to with native separators, or empty text when cancelled. The dialog asks before an
// existing file is replaced.
QString saveFile(QWidget* owner, const QString& title, const QString& filter, const QString& initial);

} // namespace dialogs
