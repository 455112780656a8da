#pragma once

#include "tree/drivetypes.h"

#include <QIcon>
#include <array>
#include <optional>

// The tree's pictures: the desktop's icon theme where it has them, our own drawings otherwise. Each is
// looked up when first asked for: a theme lookup walks every folder of the theme, and most kinds of drive
// never show.
class TreeIcons
{
public:
    TreeIcons();
    const QIcon& icon(TreeIcon which) const;

private:
    mutable std::array<std::optional<QIcon>, 6> m_icons;
};
