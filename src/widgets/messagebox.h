#pragma once

#include <QString>

class QWidget;

// The program's few message boxes and yes/no questions. While a StandInUser (widgets/standinuser.h) exists,
// none is shown: the stand-in gets it and answers.
namespace messagebox {

enum class Icon
{
    None,
    Critical,
    Warning,
    Information,
};

void show(QWidget* parent, const QString& text, const QString& title, Icon icon);

// Asks with the buttons Yes and No; gives whether the answer is yes.
bool ask(QWidget* parent, const QString& question, const QString& title);

} // namespace messagebox
