#pragma once

#include "runs/qt/supervisedplan.h"
#include "script/expandtemplate.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"

#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class ScriptReviewDialog;
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
        // The supervised runs that take over from the plain start when they are on; the review of a supervised
        // run shows its scripts with the marks they will carry. None: runs are never supervised.
        SupervisedRuns* supervised = nullptr;
    };

    explicit CadLauncher(Wiring wiring);
    CadLauncher(const CadLauncher&) = delete;
    CadLauncher& operator=(const CadLauncher&) = delete;

    // At start-up: a program path from the settings when it names an existing file, otherwise the one the
    // system registers (for AutoCAD, AutoCAD LT when AutoCAD has none). The parameter boxes are not touched.
    void loadProgramsAtStart();
    // At close: both program boxes as they are, for the next start.
    void saveProgramsAtClose();

    // Reads the chosen template, asks for the project database when the template needs one, writes the
    // script for the marked drawings and starts the CAD program on it. Every step that fails ends the run;
    // only a missing template or program, and a line break in a name or folder, are reported. With
    // "Granska före körning" on, a script in which the check finds anything is shown instead of run.
    void runScript(CadKind kind);

    // How a run reads the clock: for every line, as a plain run does, or once for the whole script, so that a
    // review shows exactly the bytes it can run.
    enum class ClockReading
    {
        PerLine,
        Once,
    };
    // The steps of a run up to its request: the template read, the line breaks refused, the project database
    // asked for, the kind's program and parameters. Nothing when the run would end there (the user has been
    // told what a run tells).
    std::optional<script::RunRequest> buildRequest(CadKind kind, ClockReading clock);
    // The kind's program, its parameters and the start drawing, as a run takes them from the window.
    script::CadProgram program(CadKind kind) const;
    // Writes exactly these bytes as the script file and starts the kind's program on it. Gives whether the
    // program was started.
    bool writeAndLaunch(CadKind kind, const script::Script& script);

    // Builds the script as a run would and shows it with what the check finds. kind, when given, is the run
    // that asked: its button is the dialog's default. With supervised runs on, the script carries the marks
    // the run will write and the run buttons begin that supervised run.
    void reviewScript(std::optional<CadKind> kind = std::nullopt);
    // The review dialog while it is open.
    ScriptReviewDialog* reviewDialog() const;
    // Starts the kind's program on the script; a missing program file is reported. Gives whether the
    // program was started.
    bool launchCad(CadKind kind, const std::string& scriptPath);
    // Lets the user choose the kind's program file; anything but a program file changes nothing.
    void browseCadProgram(CadKind kind);

private:
    const Boxes& boxes(CadKind kind) const { return kind == CadKind::Acad ? m_wiring.acad : m_wiring.icad; }
    std::string programFolder() const;
    void showReview(script::RunRequest request, script::Script script, std::vector<script::Finding> findings,
                    std::optional<CadKind> kind, std::optional<SupervisedPlan> plan = std::nullopt);
    // The script of a request, with the plan's marks when it has them; nothing when a value holds a line break
    // (the user has been told).
    std::optional<script::Script> expandScript(const script::RunRequest& request, const SupervisedPlan* plan = nullptr);
    bool supervised() const { return m_wiring.supervised && m_wiring.supervised->enabled(); }
    // Hands a request built by buildRequest to the supervised run; a missing program is told to the user.
    bool handOver(script::RunRequest request, const SupervisedPlan& plan = {});
    // The one check of a request before it runs; false when the user has been told why not.
    bool checked(script::RunRequest& request);
    // The run button of a supervised review: the reviewed run, or the other kind's when its scripts would be
    // the same; otherwise the other kind's scripts are reviewed first.
    bool superviseReviewed(CadKind kind, script::RunRequest request, const SupervisedPlan& plan);

    Wiring m_wiring;
    QPointer<ScriptReviewDialog> m_review;
};
