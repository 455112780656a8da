#pragma once

#include "supervise/probe.h"
#include "supervise/qt/supervisor.h"

#include <vector>

class QWidget;
class Settings;
class SupervisedSettingsDialog;

// The settings of supervised runs: on or off, drawings per CAD session, time-out per drawing, CAD sessions at
// once, the command form, the session scripts; and, kept per CAD program, whether its scripts carry drawing marks.
namespace supervisedsettings {

bool enabled(const Settings& settings);
void toggle(Settings& settings);
// The run policy the settings hold: values out of bounds are brought inside them, unreadable ones are the
// defaults; a form that is neither "standard" nor "konsol" follows the program. The marks choice is Auto: the
// answer kept per program decides.
supervise::RunPolicy policy(const Settings& settings);
void setPolicy(Settings& settings, const supervise::RunPolicy& policy);
// "Inställningar för övervakad körning...": the dialog over the CAD programs a run may start, and the values
// written when it is accepted.
void edit(QWidget* parent, Settings& settings, std::vector<script::CadProgram> programs);
// Writes what an accepted dialog holds.
void apply(Settings& settings, const SupervisedSettingsDialog& dialog);

} // namespace supervisedsettings
