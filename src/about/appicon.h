#pragma once

class QIcon;

// The program's icon in every size it is drawn in, for the windows and the desktop.
QIcon applicationIcon();
