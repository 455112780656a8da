#include "runs/cadlauncher.h"

#include "os/nativetext.h"
#include "os/pathtext.h"
#include "os/process.h"
#include "runs/askprojectdatabase.h"
#include "runs/cadlookup.h"
#include "runs/runtexts.h"
#include "runs/scriptreview.h"
#include "runs/templates.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/qt/localeformat.h"
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

// A line break found in a name or folder, its value made fit for a message.
script::LineBreakFault shownFault(script::LineBreakFault fault)
{
    fault.value = pathText(fault.value);
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
    std::optional<BuiltScript> built = prepareScript();
    if (!built)
        return;
    if (m_wiring.supervised && m_wiring.supervised()) {
        handOver(kind, built->templatePath, built->scriptTemplate, built->listingFolder, built->names,
                 built->projectName);
        return;
    }
    const bool review = m_wiring.settings->flag(settings::ReviewBeforeRun);
    if (!expandScript(*built, review ? ClockReading::Once : ClockReading::PerLine))
        return;
    if (review) {
        std::vector<script::Finding> findings = script::checkScript(built->checkInput());
        if (!findings.empty()) {
            showReview(std::move(*built), std::move(findings), kind);
            return;
        }
    }
    writeAndLaunch(kind, built->script);
}

std::optional<BuiltScript> CadLauncher::buildScript(ClockReading clock)
{
    std::optional<BuiltScript> built = prepareScript();
    if (!built || !expandScript(*built, clock))
        return std::nullopt;
    return built;
}

std::optional<BuiltScript> CadLauncher::prepareScript()
{
    namespace texts = script::texts;
    QWidget* window = m_wiring.window;
    const QString errorTitle = engineText(std::string(texts::errorTitle));

    const std::string templatePath = script::scriptTemplatePath(m_wiring.templates->templateFolder(),
                                                                nativeBytes(m_wiring.templates->templateName()));
    script::LoadedTemplate loaded = script::loadScriptTemplate(templatePath);
    if (loaded.status == script::TemplateStatus::Missing) {
        messagebox::show(window, engineText(texts::templateNotFound(pathText(templatePath))), errorTitle,
                         messagebox::Icon::Critical);
        return std::nullopt;
    }
    if (loaded.status != script::TemplateStatus::Ok)
        return std::nullopt;

    BuiltScript built;
    built.templatePath = templatePath;
    built.scriptTemplate = std::move(loaded.scriptTemplate);
    built.listingFolder = m_wiring.listingFolder();
    built.names = m_wiring.markedDrawings();
    built.separator = script::nativeSeparator();
    // Checked before the user is asked anything: a line break would inject commands into the CAD program.
    if (const auto fault = script::findLineBreak(built.listingFolder, built.names, {})) {
        messagebox::show(window, engineText(texts::lineBreak(shownFault(*fault))), errorTitle,
                         messagebox::Icon::Critical);
        return std::nullopt;
    }
    if (built.scriptTemplate.needsProjectDatabase) {
        auto chosen = script::askProjectDatabase(window, built.listingFolder);
        if (!chosen)
            return std::nullopt;
        built.projectName = std::move(*chosen);
    }
    return built;
}

bool CadLauncher::expandScript(BuiltScript& built, ClockReading clock)
{
    const script::DateTimeFormat format = script::localeDateTimeFormat();
    script::Clock readClock = &script::localNow;
    if (clock == ClockReading::Once) {
        const script::LocalDateTime now = script::localNow();
        built.date = format.date ? format.date(now) : std::string();
        built.time = format.time ? format.time(now) : std::string();
        readClock = [now] { return now; };
    }
    if (const auto fault =
            script::expandTemplate(built.scriptTemplate, built.listingFolder, built.names, built.projectName, readClock,
                                   format, built.separator, built.script)) {
        messagebox::show(m_wiring.window, engineText(script::texts::lineBreak(shownFault(*fault))),
                         engineText(std::string(script::texts::errorTitle)), messagebox::Icon::Critical);
        return false;
    }
    return true;
}

bool CadLauncher::writeAndLaunch(CadKind kind, const script::Script& script)
{
    namespace texts = script::texts;
    const std::string scriptPath = script::scriptFilePath();
    // A script that cannot be written must not leave the user waiting for a program that never starts.
    if (const script::WriteResult written = script::writeScriptFile(script, scriptPath); !written.ok) {
        messagebox::show(m_wiring.window,
                         engineText(texts::scriptNotWritten(pathText(scriptPath), pathText(written.error))),
                         engineText(std::string(texts::errorTitle)), messagebox::Icon::Critical);
        return false;
    }
    return launchCad(kind, scriptPath);
}

void CadLauncher::reviewScript(std::optional<CadKind> kind)
{
    std::optional<BuiltScript> built = buildScript(ClockReading::Once);
    if (!built)
        return;
    std::vector<script::Finding> findings = script::checkScript(built->checkInput());
    showReview(std::move(*built), std::move(findings), kind);
}

ScriptReviewDialog* CadLauncher::reviewDialog() const
{
    return m_review.data();
}

void CadLauncher::showReview(BuiltScript built, std::vector<script::Finding> findings, std::optional<CadKind> kind)
{
    if (m_review)
        m_review->close();
    auto* dialog =
        new ScriptReviewDialog(m_wiring.window, *m_wiring.settings, std::move(built), std::move(findings), kind);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRunner(
        [this](CadKind runKind, const script::Script& script) { return writeAndLaunch(runKind, script); });
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

void CadLauncher::handOver(CadKind kind, const std::string& templatePath, const script::ScriptTemplate& scriptTemplate,
                           const std::string& listingFolder, const std::vector<std::string>& names,
                           const std::string& projectName)
{
    const Boxes& kindBoxes = boxes(kind);
    Handover run{kind,
                 templatePath,
                 &scriptTemplate,
                 listingFolder,
                 names,
                 projectName,
                 nativeBytes(kindBoxes.program->text()),
                 kindBoxes.parameters->text().toLocal8Bit().toStdString(),
                 script::joinPath(programFolder(), cad::startDrawingName, script::nativeSeparator())};
    // The same check as before a plain start, made before anything is written.
    if (!script::isVisibleFile(run.program)) {
        messagebox::show(m_wiring.window, runtexts::programMissing(kindBoxes.program->text()),
                         runtexts::programMissingTitle(), messagebox::Icon::Critical);
        return;
    }
    if (m_wiring.supervise)
        m_wiring.supervise(run);
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
