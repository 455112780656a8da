#include "job/qt/jobcommands.h"

#include "filelist/filelist.h"
#include "job/qt/jobtexts.h"
#include "os/nativetext.h"
#include "runs/qt/templates.h"
#include "script/scripttemplate.h"
#include "settings/settings.h"
#include "supervise/qt/supervisedsettings.h"
#include "tree/foldertree.h"
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace {

// A path or name of the file system as a job holds it (UTF-8); nothing when the bytes cannot be told as text
// and read back the same (a Linux name that is not UTF-8).
std::optional<std::string> jobText(const std::string& bytes)
{
    const QString text = nativeText(bytes);
    if (nativeBytes(text) != bytes)
        return std::nullopt;
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), std::size_t(utf8.size()));
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The path as the job keeps it: relative to the job's folder when it lies in it, so that the two can move
// together; with "/" between the parts on every system.
QString pathInJob(const QString& jobFolder, const QString& path)
{
    const QString relative = QDir(jobFolder).relativeFilePath(path);
    const bool inside = !relative.startsWith(QStringLiteral("..")) && !QDir::isAbsolutePath(relative);
    return QDir::fromNativeSeparators(inside ? relative : path);
}

bool sameFolder(const QString& a, const QString& b)
{
    const auto clean = [](const QString& path) { return QDir::cleanPath(QDir::fromNativeSeparators(path)); };
    return clean(a).compare(clean(b), QDir::separator() == u'\\' ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
}

} // namespace

JobCommands::JobCommands(Wiring wiring) : m_wiring(std::move(wiring)) {}

void JobCommands::error(const QString& text) const
{
    messagebox::show(m_wiring.window, text, jobtexts::saveTitle(), messagebox::Icon::Critical);
}

std::optional<CadKind> JobCommands::chooseKind() const
{
    const QString acad = m_wiring.acad.program->text(), icad = m_wiring.icad.program->text();
    if (acad.isEmpty() && icad.isEmpty()) {
        error(jobtexts::noProgram());
        return std::nullopt;
    }
    if (icad.isEmpty() || acad == icad)
        return CadKind::Acad;
    if (acad.isEmpty())
        return CadKind::Icad;
    return messagebox::ask(m_wiring.window, jobtexts::chooseProgram(acad, icad), jobtexts::saveTitle()) ? CadKind::Acad
                                                                                                        : CadKind::Icad;
}

std::optional<job::Job> JobCommands::windowJob(const std::string& jobPath, CadKind kind) const
{
    const FileList& files = *m_wiring.files;
    const std::string& folder = files.listingFolder();
    if (folder.empty()) {
        error(jobtexts::noFolder());
        return std::nullopt;
    }
    const std::vector<std::string> marked = files.markedDrawings();
    if (marked.empty()) {
        error(jobtexts::noDrawings());
        return std::nullopt;
    }
    const QString jobFolder = QFileInfo(nativeText(jobPath)).absolutePath();
    const std::string templatePath = script::scriptTemplatePath(m_wiring.templates->templateFolder(),
                                                                nativeBytes(m_wiring.templates->templateName()));
    const script::CadProgram program = m_wiring.launcher->program(kind);
    const auto folderText = jobText(folder);
    const auto templateText = jobText(templatePath);
    const auto programText = jobText(program.path);
    if (!folderText || !templateText || !programText) {
        error(jobtexts::notUtf8(nativeText(!folderText ? folder : !templateText ? templatePath : program.path)));
        return std::nullopt;
    }

    job::Job job;
    job.templatePath = utf8(pathInJob(jobFolder, fromUtf8(*templateText)));
    job.drawings.folder = utf8(pathInJob(jobFolder, fromUtf8(*folderText)));
    job.drawings.pattern = utf8(files.filterPattern());
    // Every drawing of the list: the folder and the filter say it, and the run takes what is there then.
    if (!files.allMarked()) {
        for (const std::string& name : marked) {
            const auto text = jobText(name);
            if (!text) {
                error(jobtexts::notUtf8(nativeText(name)));
                return std::nullopt;
            }
            job.drawings.names.push_back(*text);
        }
    }
    job.cad.path = *programText;
    job.cad.parameters = utf8(QString::fromLocal8Bit(program.parameters.data(), qsizetype(program.parameters.size())));
    // Empty: the start drawing of the program folder, which the window's runs take too.
    job.policy = supervisedsettings::policy(*m_wiring.settings);
    // The session scripts as the template: relative to the job's folder when they lie in it.
    for (std::string* script : {&job.policy.sessionStart, &job.policy.sessionEnd}) {
        if (script->empty())
            continue;
        const auto text = jobText(*script);
        if (!text) {
            error(jobtexts::notUtf8(nativeText(*script)));
            return std::nullopt;
        }
        *script = utf8(pathInJob(jobFolder, fromUtf8(*text)));
    }
    return job;
}

QString JobCommands::saveAsJob()
{
    const std::optional<CadKind> kind = chooseKind();
    if (!kind)
        return {};
    const QString chosen = dialogs::saveFile(m_wiring.window, jobtexts::saveTitle(), jobtexts::filter(), QString());
    if (chosen.isEmpty())
        return {};
    QString path = chosen;
    if (!path.endsWith(QStringLiteral(".vjob"), Qt::CaseInsensitive))
        path += QStringLiteral(".vjob");
    const std::string jobPath = nativeBytes(path);
    const std::optional<job::Job> job = windowJob(jobPath, *kind);
    if (!job)
        return {};
    if (const auto written = job::writeJob(jobPath, *job); !written) {
        error(jobtexts::notSaved(path, fromUtf8(written.error())));
        return {};
    }
    m_currentJob = path;
    return path;
}

QStringList JobCommands::applyJob(const std::string& jobPath, const job::Job& job)
{
    QStringList unset;
    // The folder: the tree opens it and the list shows it, or it is not there tonight either.
    const auto folder = job::resolvedPath(jobPath, job.drawings.folder);
    if (!folder) {
        unset << fromUtf8(folder.error());
    } else {
        m_wiring.tree->restoreLastPath(QByteArray::fromStdString(*folder));
        if (!sameFolder(nativeText(m_wiring.files->listingFolder()), nativeText(*folder)))
            unset << jobtexts::folderGone(nativeText(*folder));
    }

    const QString pattern = fromUtf8(job.drawings.pattern);
    m_wiring.filterBox->setEditText(pattern);
    m_wiring.files->applyFilterPattern(pattern);
    if (job.drawings.names.empty()) {
        m_wiring.files->selectAllFiles();
    } else {
        std::vector<std::string> names;
        names.reserve(job.drawings.names.size());
        for (const std::string& name : job.drawings.names)
            names.push_back(nativeBytes(fromUtf8(name)));
        QStringList gone;
        for (const std::string& name : m_wiring.files->markDrawings(names))
            gone << nativeText(name);
        if (!gone.isEmpty())
            unset << jobtexts::drawingsGone(gone);
    }
    if (job.drawings.subfolders)
        unset << jobtexts::subfoldersNotShown();

    if (const auto templatePath = job::resolvedPath(jobPath, job.templatePath); !templatePath) {
        unset << fromUtf8(templatePath.error());
    } else {
        const QFileInfo file(nativeText(*templatePath));
        if (!file.isFile())
            unset << jobtexts::templateGone(QDir::toNativeSeparators(file.filePath()));
        m_wiring.templates->setTemplateFolder(nativeBytes(QDir::toNativeSeparators(file.absolutePath())));
        m_wiring.templateBox->setEditText(file.fileName());
        m_wiring.templates->refreshTemplateList();
        m_wiring.settings->write(settings::RdsDir, m_wiring.templates->templateFolder());
    }

    // A job names its program without a kind: it goes in the box that holds it already, else AutoCAD's.
    const QString program = QDir::toNativeSeparators(fromUtf8(job.cad.path));
    const CadKind kind = m_wiring.icad.program->text() == program ? CadKind::Icad : CadKind::Acad;
    boxes(kind).program->setText(program);
    boxes(kind).parameters->setText(fromUtf8(job.cad.parameters));
    // The session scripts as whole paths, as the settings keep them; one that is not there is named, and set all
    // the same: the run refuses it until it is.
    supervise::RunPolicy policy = job.policy;
    for (std::string* script : {&policy.sessionStart, &policy.sessionEnd}) {
        if (script->empty())
            continue;
        const auto path = job::resolvedPath(jobPath, *script);
        if (!path) {
            unset << fromUtf8(path.error());
            script->clear();
            continue;
        }
        *script = *path;
        if (!QFileInfo(nativeText(*path)).isFile())
            unset << jobtexts::sessionScriptGone(QDir::toNativeSeparators(nativeText(*path)));
    }
    supervisedsettings::setPolicy(*m_wiring.settings, policy);
    return unset;
}

void JobCommands::openJob()
{
    const QString chosen = dialogs::openFile(m_wiring.window, jobtexts::openTitle(), jobtexts::filter(), QString());
    if (chosen.isEmpty())
        return;
    const std::string jobPath = nativeBytes(chosen);
    const auto read = job::readJob(jobPath);
    if (!read) {
        messagebox::show(m_wiring.window, jobtexts::notOpened(fromUtf8(job::problemText(read.error(), utf8(chosen)))),
                         jobtexts::openTitle(), messagebox::Icon::Critical);
        return;
    }
    m_currentJob = chosen;
    const QStringList unset = applyJob(jobPath, *read);
    if (!unset.isEmpty())
        messagebox::show(m_wiring.window, jobtexts::notAllSet(unset), jobtexts::openTitle(), messagebox::Icon::Warning);
}
