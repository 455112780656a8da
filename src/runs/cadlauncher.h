#pragma once

#include "runs/cadkind.h"

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QWidget;
class ScriptTemplates;
class Settings;

// Runs a script template over the marked drawings and starts the CAD program on the script; finds the CAD
// programs at start-up and lets the user browse for one.
class CadLauncher final
{
public:
    struct Boxes
    {
        QLineEdit* program = nullptr;
        QLineEdit* parameters = nullptr;
    };

    struct Wiring
    {
        QWidget* window = nullptr; // owner of the dialogs and messages
        Settings* settings = nullptr;
        const ScriptTemplates* templates = nullptr;
        Boxes acad;
        Boxes icad;
        // The names of the marked drawings, top to bottom, as the file system's bytes.
        std::function<std::vector<std::string>()> markedDrawings;
        // The folder of the drawings the list shows.
        std::function<std::string()> listingFolder;
    };

    explicit CadLauncher(Wiring wiring);
    CadLauncher(const CadLauncher&) = delete;
    CadLauncher& operator=(const CadLauncher&) = delete;

    // At start-up: a program path from the settings when it names an existing file, otherwise the one the
    // system registers (for AutoCAD, AutoCAD LT when AutoCAD has none). The parameter boxes are not touched.
    void loadProgramsAtStart();

    // Reads the chosen template, asks for the project database when the template needs one, writes the
    // script for the marked drawings and starts the CAD program on it. Every step that fails ends the run;
    // only a missing template or program, and a line break in a name or folder, are reported.
    void runScript(CadKind kind);
    // Starts the kind's program on the script; a missing program file is reported. Gives whether the
    // program was started.
    bool launchCad(CadKind kind, const std::string& scriptPath);
    // Lets the user choose the kind's program file; anything but a program file changes nothing.
    void browseCadProgram(CadKind kind);

private:
    const Boxes& boxes(CadKind kind) const { return kind == CadKind::Acad ? m_wiring.acad : m_wiring.icad; }
    std::string programFolder() const;

    Wiring m_wiring;
};
