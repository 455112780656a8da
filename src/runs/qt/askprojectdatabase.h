#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace script {

struct ProjectDatabaseQuestion
{
    QString title;
    QString filter;
    QString folder;
};

// Asks for a project database (*.pds) with the open-file dialog, starting in the listing folder, and gives
// its project name: the file's name without its extension. Nothing when the dialog is cancelled or the
// chosen file does not end in "pds" (without regard to case).
std::optional<std::string> askProjectDatabase(QWidget* parent, std::string_view listingFolder);

// Tests answer the next dialog instead of a user: the hook gets the question and returns the chosen path
// (empty for cancel). It answers once and is then gone.
void setNextProjectDatabaseAnswer(std::function<QString(const ProjectDatabaseQuestion&)> answer);

} // namespace script
