#pragma once

#include <QHash>
#include <QIcon>

// The toolbar pictures (imlToolbarIcons), keyed by command id: one for every command of the command
// table that has one, sharp at 16 x 16 and on screens that draw at twice the size.
QHash<int, QIcon> commandIcons();
