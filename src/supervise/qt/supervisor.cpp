#include "supervise/qt/supervisor.h"

#include "os/nativetext.h"
#include "script/paths.h"
#include "script/qt/localeformat.h"
#include "script/texts.h"
#include "supervise/qt/progresswindow.h"
#include "supervise/qt/supervisedrun.h"
#include "supervise/qt/supervisetexts.h"
#include "supervise/runfiles.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>

namespace {

bool askUser(QWidget* parent, const QString& question)
{
    return messagebox::ask(parent, question, supervisetexts::progressTitle());
}

QString text(const std::string& bytes)
{
    return nativeText(bytes);
}

} // namespace

Supervisor::Supervisor(QWidget* window, std::function<Limits()> limits, QObject* parent)
    : QObject(parent), m_owner(window), m_limits(std::move(limits))
{
}

Supervisor::~Supervisor()
{
    // The window that shows the run goes first, then the run: its thread is stopped and joined.
    delete m_window.data();
    delete m_run.data();
}

ProgressWindow* Supervisor::progressWindow() const
{
    return m_window.data();
}

bool Supervisor::busy() const
{
    return m_run && m_run->running();
}

void Supervisor::error(const QString& message)
{
    messagebox::show(m_owner, message, supervisetexts::errorTitle(), messagebox::Icon::Critical);
}

void Supervisor::start(const Request& request)
{
    if (busy())
        return;
    std::string problem;
    const std::string folder = supervise::runsFolder(problem);
    if (folder.empty()) {
        error(supervisetexts::runsFolderProblem(text(problem)));
        return;
    }
    supervise::RunInputs inputs;
    inputs.templatePath = request.templatePath;
    std::string bytes;
    if (supervise::readWholeFile(request.templatePath, bytes, problem))
        inputs.templateHash = supervise::templateHash(bytes);
    inputs.cadKind = request.cadKind;
    inputs.program = request.program;
    inputs.parameters = request.parameters;
    inputs.startDrawing = request.startDrawing;
    inputs.folder = request.folder;
    inputs.projectName = request.projectName;
    const Limits limits = m_limits();
    inputs.batchSize = std::max<std::size_t>(limits.batchSize, 1);
    inputs.timeout = limits.timeout;

    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
                         QLatin1Char('-') + QString::number(QCoreApplication::applicationPid()) +
                         QStringLiteral(".journal");
    const std::string path = script::joinPath(folder, nativeBytes(name), script::nativeSeparator());
    supervise::JournalWriter::Opened how{};
    auto journal = supervise::JournalWriter::create(path, inputs, request.names, how, problem);
    if (!journal) {
        error(supervisetexts::journalProblem(text(path), text(problem)));
        return;
    }
    supervise::JournalContent content;
    content.inputs = inputs;
    content.usable = true;
    for (const std::string& drawing : request.names)
        content.drawings.emplace_back().name = drawing;
    std::vector<std::size_t> indices(content.drawings.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    begin(new SupervisedRun(std::move(journal), std::move(content), request.scriptTemplate,
                            script::localeDateTimeFormat(), std::move(indices), this));
}

bool Supervisor::runJournal(const std::string& path, bool retry)
{
    supervise::JournalContent content;
    supervise::JournalWriter::Opened how{};
    std::string problem;
    auto journal = supervise::JournalWriter::open(path, content, how, problem);
    if (!journal) {
        if (how == supervise::JournalWriter::Opened::Busy)
            error(supervisetexts::journalBusy(text(path)));
        else
            error(supervisetexts::journalProblem(text(path), text(problem)));
        return false;
    }
    return runOpened(std::move(journal), std::move(content), retry);
}

bool Supervisor::runOpened(std::unique_ptr<supervise::JournalWriter> journal, supervise::JournalContent content,
                           bool retry)
{
    const script::LoadedTemplate loaded = script::loadScriptTemplate(content.inputs.templatePath);
    if (loaded.status != script::TemplateStatus::Ok) {
        error(QString::fromUtf8(script::texts::templateNotFound(content.inputs.templatePath)));
        return false;
    }
    auto indices = retry ? supervise::drawingsToRetry(content) : supervise::drawingsToResume(content);
    begin(new SupervisedRun(std::move(journal), std::move(content), loaded.scriptTemplate,
                            script::localeDateTimeFormat(), std::move(indices), this));
    return true;
}

void Supervisor::begin(SupervisedRun* run)
{
    SupervisedRun* previous = m_run.data();
    m_run = run;
    if (m_window) {
        m_window->follow(run);
    } else {
        m_window = new ProgressWindow(run, m_owner);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &ProgressWindow::retryRequested, this, [this] {
            if (m_run && !m_run->running())
                runJournal(m_run->journalPath(), true);
        });
    }
    if (previous)
        previous->deleteLater();
    m_window->show();
    run->start();
}

void Supervisor::offerResume()
{
    std::string problem;
    const std::string folder = supervise::runsFolder(problem);
    if (folder.empty())
        return;
    std::vector<std::string> journals = supervise::journalsIn(folder);
    // The names begin with the moment the run began: the newest last.
    std::sort(journals.begin(), journals.end());
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        supervise::JournalContent content;
        if (!supervise::readJournal(*path, content, problem) || !content.usable || content.damaged ||
            content.finished || supervise::drawingsToResume(content).empty())
            continue;
        // Held from the question on: a run another Vendrel is working on is not offered.
        supervise::JournalWriter::Opened how{};
        auto journal = supervise::JournalWriter::open(*path, content, how, problem);
        if (!journal)
            continue;
        const QString question = supervisetexts::resumeQuestion(
            text(content.inputs.folder), static_cast<qsizetype>(supervise::drawingsToResume(content).size()),
            static_cast<qsizetype>(content.drawings.size()));
        if (askUser(m_owner, question))
            runOpened(std::move(journal), std::move(content), false);
        else // asked once: a declined run is closed, so the question does not come back
            journal->finished(supervise::wallClockMs(), "avböjd", problem);
        return;
    }
}
