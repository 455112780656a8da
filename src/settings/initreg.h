#pragma once

class Settings;

// On a user's first start (no toolbar arrangement saved yet) the settings delivered beside the program
// in "Init.reg" are applied. Returns true when an import was started or done.
bool importInitReg(Settings& settings);
