#pragma once

class QCoreApplication;

// The program speaks Swedish whatever the desktop's language, and so do Qt's own dialogs and buttons: Qt's
// Swedish catalogue (qt_sv.qm and the module files it names) where it is installed, and the texts current Qt
// asks for that the catalogue lacks (the standard buttons, the folder picker's button). Kept by app.
void installSwedishQtTexts(QCoreApplication& app);
