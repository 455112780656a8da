#pragma once

#include <QString>
#include <functional>

class QWidget;

// The program's few message boxes. Tests take the place of the user with a recorder: while one is
// set, no box is shown and the recorder gets what would have been shown.
namespace messagebox {

enum class Icon
{
    None,
    Critical,
    Warning,
    Information,
};

void show(QWidget* parent, const QString& text, const QString& title, Icon icon);

using Recorder = std::function<void(const QString& text, const QString& title, Icon icon)>;
void setRecorder(Recorder recorder);

} // namespace messagebox
