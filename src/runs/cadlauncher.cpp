#include "runs/cadlauncher.h"

#include "os/nativetext.h"
#include "os/pathtext.h"
#include "os/process.h"
#include "runs/askprojectdatabase.h"
#include "runs/cadlookup.h"
#include "runs/runtexts.h"
#include "runs/templates.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/qt/localeformat.h"
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

void CadLauncher::runScript(CadKind kind)
{
    namespace texts = script::texts;
    QWidget* window = m_wiring.window;
    const QString errorTitle = engineText(std::string(texts::errorTitle));

    const std::string templatePath = script::scriptTemplatePath(m_wiring.templates->templateFolder(),
                                                                nativeBytes(m_wiring.templates->templateName()));
    const script::LoadedTemplate loaded = script::loadScriptTemplate(templatePath);
    if (loaded.status == script::TemplateStatus::Missing) {
        messagebox::show(window, engineText(texts::templateNotFound(pathText(templatePath))), errorTitle,
                         messagebox::Icon::Critical);
        return;
    }
    if (loaded.status != script::TemplateStatus::Ok)
        return;

    const std::string listingFolder = m_wiring.listingFolder();
    const std::vector<std::string> names = m_wiring.markedDrawings();
    // Checked before the user is asked anything: a line break would inject commands into the CAD program.
    if (const auto fault = script::findLineBreak(listingFolder, names, {})) {
        messagebox::show(window, engineText(texts::lineBreak(shownFault(*fault))), errorTitle, messagebox::Icon::Critical);
        return;
    }
    std::string projectName;
    if (loaded.scriptTemplate.needsProjectDatabase) {
        auto chosen = script::askProjectDatabase(window, listingFolder);
        if (!chosen)
            return;
        projectName = std::move(*chosen);
    }

    const script::Expansion expansion =
        script::expandTemplate(loaded.scriptTemplate, listingFolder, names, projectName, &script::localNow,
                               script::localeDateTimeFormat());
    if (expansion.lineBreak) {
        messagebox::show(window, engineText(texts::lineBreak(shownFault(*expansion.lineBreak))), errorTitle,
                         messagebox::Icon::Critical);
        return;
    }
    const std::string scriptPath = script::scriptFilePath();
    // A script that cannot be written must not leave the user waiting for a program that never starts.
    if (const script::WriteResult written = script::writeScriptFile(expansion.script, scriptPath); !written.ok) {
        messagebox::show(window, engineText(texts::scriptNotWritten(pathText(scriptPath), pathText(written.error))), errorTitle,
                         messagebox::Icon::Critical);
        return;
    }
    launchCad(kind, scriptPath);
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
