#pragma once

#include <QString>

// Texts the tree shows (drive type texts live in the drive-type table).
namespace treeText {

inline QString computer() { return QStringLiteral("Den här datorn"); }

} // namespace treeText
