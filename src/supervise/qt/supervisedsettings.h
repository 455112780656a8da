#pragma once

#include "supervise/qt/supervisor.h"

class QWidget;
class Settings;

// The settings of supervised runs: on or off, drawings per CAD session, time-out per drawing.
namespace supervisedsettings {

bool enabled(const Settings& settings);
void toggle(Settings& settings);
// Unreadable or absurd values give the defaults' bounds: 1 to 1000 drawings, 0.1 s to a day.
Supervisor::Limits limits(const Settings& settings);
// "Inställningar för övervakad körning...": the dialog, and the values written when it is accepted.
void edit(QWidget* parent, Settings& settings);

} // namespace supervisedsettings
