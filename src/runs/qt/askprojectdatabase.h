#pragma once

#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace script {

// Asks for a project database (*.pds) with the open-file dialog, starting in the listing folder, and gives
// its project name: the file's name without its extension. Nothing when the dialog is cancelled or the
// chosen file does not end in "pds" (without regard to case).
std::optional<std::string> askProjectDatabase(QWidget* parent, std::string_view listingFolder);

} // namespace script
