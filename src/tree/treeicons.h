#pragma once

#include "tree/drivetypes.h"

#include <QIcon>
#include <array>

// The tree's pictures: the desktop's icon theme where it has them, our own drawings otherwise.
class TreeIcons
{
public:
    TreeIcons();
    const QIcon& icon(TreeIcon which) const { return m_icons[static_cast<std::size_t>(which)]; }

private:
    std::array<QIcon, 6> m_icons;
};
