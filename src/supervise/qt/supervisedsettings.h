#pragma once

#include "supervise/probe.h"
#include "supervise/qt/supervisor.h"

#include <vector>

class QWidget;
class Settings;
class SupervisedSettingsDialog;

// The settings of supervised runs: on or off, drawings per CAD session, time-out per drawing, CAD sessions at
// once, the command form; and, kept per CAD program, whether its scripts carry drawing marks.
namespace supervisedsettings {

bool enabled(const Settings& settings);
void toggle(Settings& settings);
// Unreadable or absurd values give the defaults' bounds: 1 to 1000 drawings, 0.1 s to a day, 1 to 64 sessions;
// a form that is neither "standard" nor "konsol" follows the program.
Supervisor::Limits limits(const Settings& settings);
// "Inställningar för övervakad körning...": the dialog over the CAD programs a run may start, and the values
// written when it is accepted.
void edit(QWidget* parent, Settings& settings, std::vector<supervise::ProbeRequest> programs);
// Writes what an accepted dialog holds.
void apply(Settings& settings, const SupervisedSettingsDialog& dialog);

} // namespace supervisedsettings
