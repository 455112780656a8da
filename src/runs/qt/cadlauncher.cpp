#include "runs/qt/cadlauncher.h"

#include "os/nativetext.h"
#include "os/pathtext.h"
#include "os/process.h"
#include "runs/cadlookup.h"
#include "runs/qt/askprojectdatabase.h"
#include "runs/qt/runtexts.h"
#include "runs/qt/scriptreview.h"
#include "runs/qt/templates.h"
#include "script/drawingmarks.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/qt/localeformat.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"
#include "script/scriptfile.h"
#include "script/scripttemplate.h"
#include "script/texts.h"
#include "settings/settings.h"
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <utility>

namespace {

// The engine's texts are UTF-8 around the values they name; the values are file-system bytes.
QString engineText(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A value of a message made fit for display.
std::string shown(std::string_view bytes)
{
    return pathText(std::string(bytes));
}

// A line break found in a name or folder, its value made fit for a message.
script::LineBreakFault shownFault(script::LineBreakFault fault)
{
    fault.value = shown(fault.value);
    return fault;
}

} // namespace

CadLauncher::CadLauncher(Wiring wiring) : m_wiring(std::move(wiring)) {}

std::string CadLauncher::programFolder() const
{
    return nativeBytes(QDir::toNativeSeparators(nativeText(m_wiring.settings->programFolder())));
}

void CadLauncher::loadProgramsAtStart()
{
    const Registry& registry = m_wiring.settings->registry();
    auto existing = [](const std::string& path) { return !path.empty() && QFileInfo(nativeText(path)).isFile(); };

    std::string acad = m_wiring.settings->read(settings::ProgramAcad);
    if (!existing(acad)) {
        acad = cad::findAutoCadProgram(registry);
        if (acad.empty())
            acad = cad::findAutoCadLtProgram(registry);
    }
    m_wiring.acad.program->setText(nativeText(acad));

    std::string icad = m_wiring.settings->read(settings::ProgramIcad);
    if (!existing(icad))
        icad = cad::findIntelliCadProgram(registry);
    m_wiring.icad.program->setText(nativeText(icad));
}

void CadLauncher::saveProgramsAtClose()
{
    m_wiring.settings->write(settings::ProgramAcad, nativeBytes(m_wiring.acad.program->text()));
    m_wiring.settings->write(settings::ProgramIcad, nativeBytes(m_wiring.icad.program->text()));
}

void CadLauncher::runScript(CadKind kind)
{
    const bool supervised = this->supervised();
    const bool review = !supervised && m_wiring.settings->flag(settings::ReviewBeforeRun);
    std::optional<script::RunRequest> request = buildRequest(kind, review ? ClockReading::Once : ClockReading::PerLine);
    if (!request)
        return;
    if (supervised) {
        handOver(std::move(*request));
        return;
    }
    std::optional<script::Script> script = expandScript(*request);
    if (!script)
        return;
    if (review) {
        std::vector<script::Finding> findings = script::checkScript(*request);
        if (!findings.empty()) {
            showReview(std::move(*request), std::move(*script), std::move(findings), kind);
            return;
        }
    }
    writeAndLaunch(kind, *script);
}

std::optional<script::RunRequest> CadLauncher::buildRequest(CadKind kind, ClockReading clock)
{
    namespace texts = script::texts;
    QWidget* window = m_wiring.window;
    const QString errorTitle = engineText(std::string(texts::errorTitle));

    script::RunRequest request;
    request.templatePath = script::scriptTemplatePath(m_wiring.templates->templateFolder(),
                                                      nativeBytes(m_wiring.templates->templateName()));
    request.listingFolder = m_wiring.listingFolder();
    request.drawings = m_wiring.markedDrawings();
    request.separator = script::nativeSeparator();
    // Checked before the user is asked anything: a missing template or a line break ends the run here. The
    // program is checked when it is started, as a plain run always has.
    if (auto checked = script::checkRequest(request, false);
        !checked && checked.error().cause != script::RequestProblem::Cause::ProjectNameMissing) {
        // An unreadable template ends the run without a word, as it always has.
        const auto cause = checked.error().cause;
        if (cause != script::RequestProblem::Cause::TemplateUnreadable &&
            cause != script::RequestProblem::Cause::TemplateTooLong)
            messagebox::show(window, engineText(script::requestProblemText(checked.error(), shown)), errorTitle,
                             messagebox::Icon::Critical);
        return std::nullopt;
    }
    if (request.scriptTemplate.needsProjectDatabase) {
        auto chosen = script::askProjectDatabase(window, request.listingFolder);
        if (!chosen)
            return std::nullopt;
        request.projectName = std::move(*chosen);
    }
    request.cad = program(kind);
    if (clock == ClockReading::Once) {
        const script::DateTimeFormat format = script::localeDateTimeFormat();
        const script::LocalDateTime now = script::localNow();
        request.clockReading = script::ClockReading{format.date ? format.date(now) : std::string(),
                                                    format.time ? format.time(now) : std::string()};
    }
    return request;
}

script::CadProgram CadLauncher::program(CadKind kind) const
{
    const Boxes& kindBoxes = boxes(kind);
    script::CadProgram program;
    program.kind = kind;
    program.path = nativeBytes(kindBoxes.program->text());
    program.parameters = kindBoxes.parameters->text().toLocal8Bit().toStdString();
    program.startDrawing = script::joinPath(programFolder(), cad::startDrawingName, script::nativeSeparator());
    return program;
}

std::optional<script::Script> CadLauncher::expandScript(const script::RunRequest& request, const SupervisedPlan* plan)
{
    script::Expansion expansion;
    if (plan && plan->marks) {
        // A new run marks each drawing with its place in the list.
        std::vector<std::size_t> indices(request.drawings.size());
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = i;
        const script::DrawingMarks marks{plan->marksPathText, indices};
        expansion.lineBreak =
            script::expandTemplate(request, request.drawings, script::localeDateTimeFormat(), expansion.script, &marks);
    } else {
        expansion = script::expandRequest(request, script::localeDateTimeFormat());
    }
    if (expansion.lineBreak) {
        messagebox::show(m_wiring.window, engineText(script::texts::lineBreak(shownFault(*expansion.lineBreak))),
                         engineText(std::string(script::texts::errorTitle)), messagebox::Icon::Critical);
        return std::nullopt;
    }
    return std::move(expansion.script);
}

bool CadLauncher::writeAndLaunch(CadKind kind, const script::Script& script)
{
    namespace texts = script::texts;
    const std::string scriptPath = script::scriptFilePath();
    // A script that cannot be written must not leave the user waiting for a program that never starts.
    if (const script::WriteResult written = script::writeScriptFile(script, scriptPath); !written) {
        messagebox::show(m_wiring.window,
                         engineText(texts::scriptNotWritten(pathText(scriptPath), pathText(written.error()))),
                         engineText(std::string(texts::errorTitle)), messagebox::Icon::Critical);
        return false;
    }
    return launchCad(kind, scriptPath);
}

void CadLauncher::reviewScript(std::optional<CadKind> kind)
{
    std::optional<script::RunRequest> request = buildRequest(kind.value_or(CadKind::Acad), ClockReading::Once);
    if (!request)
        return;
    std::optional<SupervisedPlan> plan;
    if (supervised()) {
        plan = m_wiring.supervised->plan(*request);
        // Shown in place, as every session of the run will have them.
        script::nameSessionScripts(request->sessionScripts, plan->sessionStart, plan->sessionEnd);
        if (auto checked = script::checkRequest(*request, false); !checked) {
            messagebox::show(m_wiring.window, engineText(script::requestProblemText(checked.error(), shown)),
                             engineText(std::string(script::texts::errorTitle)), messagebox::Icon::Critical);
            return;
        }
    }
    std::optional<script::Script> script = expandScript(*request, plan ? &*plan : nullptr);
    if (!script)
        return;
    std::vector<script::Finding> findings = script::checkScript(*request, plan && plan->marks);
    showReview(std::move(*request), std::move(*script), std::move(findings), kind, std::move(plan));
}

ScriptReviewDialog* CadLauncher::reviewDialog() const
{
    return m_review.data();
}

void CadLauncher::showReview(script::RunRequest request, script::Script script, std::vector<script::Finding> findings,
                             std::optional<CadKind> kind, std::optional<SupervisedPlan> plan)
{
    if (m_review)
        m_review->close();
    auto* dialog =
        new ScriptReviewDialog(m_wiring.window, *m_wiring.settings, std::move(request), std::move(script),
                               std::move(findings), kind);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (plan) {
        if (plan->marks && plan->sessions > 1)
            dialog->addNote(runtexts::sessionMarksNote(qsizetype(plan->sessions)));
        if (!plan->sessionStart.empty() || !plan->sessionEnd.empty())
            dialog->addNote(runtexts::sessionScriptsNote());
        dialog->setRunner([this, plan = std::move(*plan), dialog](CadKind runKind, const script::Script&) {
            return superviseReviewed(runKind, dialog->request(), plan);
        });
    } else {
        dialog->setRunner(
            [this](CadKind runKind, const script::Script& script) { return writeAndLaunch(runKind, script); });
    }
    m_review = dialog;
    // Modal without a loop of its own: the window waits, the caller does not.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

bool CadLauncher::launchCad(CadKind kind, const std::string& scriptPath)
{
    const Boxes& kindBoxes = boxes(kind);
    const QString programText = kindBoxes.program->text();
    const std::string program = nativeBytes(programText);
    if (!script::isVisibleFile(program)) {
        messagebox::show(m_wiring.window, runtexts::programMissing(programText), runtexts::programMissingTitle(),
                         messagebox::Icon::Critical);
        return false;
    }
    const std::string parameters = kindBoxes.parameters->text().toLocal8Bit().toStdString();
    const std::string commandLine =
        cad::cadCommandLine(program, programFolder(), parameters, scriptPath, script::nativeSeparator());
    // Not awaited and not watched: the CAD program works through the script on its own.
    return process::startCommandLine(commandLine, process::Show::Minimized);
}

bool CadLauncher::checked(script::RunRequest& request)
{
    const auto checked = script::checkRequest(request);
    if (checked)
        return true;
    if (checked.error().cause == script::RequestProblem::Cause::ProgramMissing) {
        // Told as a plain start tells it, with the program as the box shows it.
        const QString program = boxes(request.cad.kind.value_or(CadKind::Acad)).program->text();
        messagebox::show(m_wiring.window, runtexts::programMissing(program), runtexts::programMissingTitle(),
                         messagebox::Icon::Critical);
    } else {
        messagebox::show(m_wiring.window, engineText(script::requestProblemText(checked.error(), shown)),
                         engineText(std::string(script::texts::errorTitle)), messagebox::Icon::Critical);
    }
    return false;
}

bool CadLauncher::handOver(script::RunRequest request, const SupervisedPlan& plan)
{
    // Checked once, before anything is written: the supervised run takes it as it is.
    if (!checked(request))
        return false;
    m_wiring.supervised->start(std::move(request), plan);
    return true;
}

bool CadLauncher::superviseReviewed(CadKind kind, script::RunRequest request, const SupervisedPlan& plan)
{
    if (request.cad.kind != kind) {
        request.cad = program(kind);
        // Marks are kept per program: the other one's scripts may not be the ones shown.
        if (m_wiring.supervised->plan(request).marks != plan.marks) {
            reviewScript(kind);
            return false;
        }
    }
    return handOver(std::move(request), plan);
}

void CadLauncher::browseCadProgram(CadKind kind)
{
    QLineEdit* box = boxes(kind).program;
    QString current = box->text();
    if (current.isEmpty())
        current = nativeText(programFolder());
    QString filter = kind == CadKind::Acad ? runtexts::autoCadFilter() : runtexts::intelliCadFilter();
    if (!process::programFilesHaveExtension())
        filter += QStringLiteral(";;") + runtexts::allFilesFilter();
    const QString chosen = dialogs::openFile(m_wiring.window, runtexts::programFileTitle(), filter, current);
    if (chosen.isEmpty() || !process::isProgramFile(nativeBytes(chosen)))
        return;
    box->setText(chosen);
}
