#include "supervise/qt/supervisor.h"

#include "os/nativetext.h"
#include "script/drawingmarks.h"
#include "script/paths.h"
#include "script/qt/localeformat.h"
#include "supervise/marks.h"
#include "supervise/probe.h"
#include "supervise/qt/progresswindow.h"
#include "supervise/qt/supervisedrun.h"
#include "supervise/qt/supervisetexts.h"
#include "supervise/runfiles.h"
#include "widgets/messagebox.h"

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

// The run start's message, its paths in the user's text, as a sentence.
QString problemMessage(const supervise::StartProblem& problem)
{
    const std::string message = supervise::problemText(problem, [](std::string_view bytes) {
        const QString shown = nativeText(std::string(bytes));
        const QByteArray utf8 = shown.toUtf8();
        return std::string(utf8.constData(), std::size_t(utf8.size()));
    });
    QString sentence = QString::fromUtf8(message.data(), qsizetype(message.size()));
    if (!sentence.isEmpty())
        sentence[0] = sentence[0].toUpper();
    if (!sentence.endsWith(u'.'))
        sentence += u'.';
    return sentence;
}

} // namespace

Supervisor::Supervisor(QWidget* window, std::function<supervise::RunPolicy()> policy, std::function<bool()> enabled,
                       QObject* parent)
    : QObject(parent), m_owner(window), m_policy(std::move(policy)), m_enabled(std::move(enabled))
{
}

bool Supervisor::enabled() const
{
    return m_enabled && m_enabled();
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

void Supervisor::start(script::RunRequest request)
{
    start(std::move(request), SupervisedPlan{});
}

void Supervisor::start(script::RunRequest request, const SupervisedPlan& plan)
{
    if (busy())
        return;
    // A planned run has the marks its review showed; any other those the program's kept answer gives.
    const supervise::RunPolicy policy = policyFor(request.cad.path, plan.journalPath.empty() ? nullptr : &plan);
    begin(supervise::createRun(std::move(request), policy, plan.journalPath));
}

supervise::RunPolicy Supervisor::policyFor(const std::string& program, const SupervisedPlan* plan) const
{
    supervise::RunPolicy policy = m_policy();
    if (plan)
        policy.marks = plan->marks ? supervise::MarksChoice::On : supervise::MarksChoice::Off;
    return supervise::resolvedPolicy(policy, program);
}

SupervisedPlan Supervisor::plan(const script::RunRequest& request) const
{
    SupervisedPlan plan;
    const auto folder = supervise::runsFolder();
    if (!folder)
        return plan; // the run will say why it cannot begin
    plan.journalPath = script::joinPath(*folder, supervise::newJournalName(), script::nativeSeparator());
    const std::string marksPath = supervise::sessionMarksPath(plan.journalPath, 1);
    const supervise::RunPolicy policy = policyFor(request.cad.path);
    plan.marks = policy.marks == supervise::MarksChoice::On && script::markablePath(marksPath);
    if (plan.marks)
        plan.marksPathText = script::markPathText(marksPath);
    plan.sessions = supervise::sessionsFor(policy, *policy.form, request.drawings.size());
    plan.sessionStart = policy.sessionStart;
    plan.sessionEnd = policy.sessionEnd;
    return plan;
}

bool Supervisor::begin(supervise::StartResult started)
{
    if (!started) {
        error(problemMessage(started.error()));
        return false;
    }
    if (started->templateChanged &&
        !askUser(m_owner, supervisetexts::templateChanged(text(started->content.request.templatePath))))
        return false;
    auto* run = new SupervisedRun(std::move(*started), script::localeDateTimeFormat(), this);
    SupervisedRun* previous = m_run.data();
    m_run = run;
    if (m_window) {
        m_window->follow(run);
    } else {
        m_window = new ProgressWindow(run, m_owner);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &ProgressWindow::retryRequested, this, [this] {
            if (m_run && !m_run->running())
                begin(supervise::openRun(m_run->journalPath(), supervise::TakeUp::Retry));
        });
    }
    if (previous)
        previous->deleteLater();
    m_window->show();
    run->start();
    return true;
}

void Supervisor::offerResume()
{
    const auto folder = supervise::runsFolder();
    if (!folder)
        return;
    std::vector<std::string> journals = supervise::journalsIn(*folder);
    // The names begin with the moment the run began: the newest last.
    std::sort(journals.begin(), journals.end());
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        const auto read = supervise::readJournal(*path);
        if (!read || !read->usable || read->damaged || read->finished || supervise::drawingsToResume(*read).empty())
            continue;
        // Held from the question on: a run another Vendrel is working on is not offered.
        auto opened = supervise::JournalWriter::open(*path);
        if (!opened)
            continue;
        auto& [journal, content] = *opened;
        const QString question = supervisetexts::resumeQuestion(
            text(content.request.listingFolder), static_cast<qsizetype>(supervise::drawingsToResume(content).size()),
            static_cast<qsizetype>(content.drawings.size()));
        if (askUser(m_owner, question))
            begin(supervise::takeUp(std::move(journal), std::move(content), supervise::TakeUp::Resume));
        else // asked once: a declined run is closed, so the question does not come back
            (void)journal->finished(supervise::wallClockMs(), "avböjd");
        return;
    }
}
