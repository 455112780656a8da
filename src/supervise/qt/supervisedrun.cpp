#include "supervise/qt/supervisedrun.h"

#include "os/processtree.h"
#include "report/report.h"
#include "supervise/runstart.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <algorithm>

namespace {

std::int64_t nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

// Carries the engine's news from its threads to the window's, as copies. Calls may come from several sessions at
// once: it keeps no state of its own, and each call queues its copy for the window's thread.
class SupervisedRun::Relay final : public supervise::RunObserver
{
public:
    explicit Relay(SupervisedRun* run) : m_run(run) {}
    void batchStarted(std::size_t session, std::span<const std::size_t> indices) override
    {
        std::vector<std::size_t> copy(indices.begin(), indices.end());
        post([run = m_run, session, copy = std::move(copy)]() mutable { run->takeBatch(session, std::move(copy)); });
    }
    void settled(std::span<const std::size_t> indices, std::span<const supervise::DrawingEntry> entries) override
    {
        std::vector<std::size_t> copy(indices.begin(), indices.end());
        std::vector<supervise::DrawingEntry> states(entries.begin(), entries.end());
        post([run = m_run, copy = std::move(copy), states = std::move(states)]() mutable {
            run->takeSettled(std::move(copy), std::move(states));
        });
    }
    void drawingBegan(std::size_t session, std::size_t index, std::int64_t) override
    {
        post([run = m_run, session, index] { run->takeBegun(session, index); });
    }
    void sessionEnded(std::size_t session) override
    {
        post([run = m_run, session] { run->takeSessionEnd(session); });
    }

private:
    template <typename F> void post(F&& call)
    {
        QMetaObject::invokeMethod(m_run, std::forward<F>(call), Qt::QueuedConnection);
    }

    SupervisedRun* m_run;
};

SupervisedRun::SupervisedRun(supervise::OpenedRun run, script::DateTimeFormat format, QObject* parent)
    : QObject(parent), m_journal(std::move(run.journal)), m_content(run.content),
      m_engineContent(std::move(run.content)), m_format(std::move(format)), m_indices(std::move(run.indices)),
      m_journalPath(m_journal->path()), m_interrupt(std::make_unique<process::Interrupt>()),
      m_relay(std::make_unique<Relay>(this))
{
    // As many sessions as the engine will have: no more than there are batches to run.
    const auto left = static_cast<std::size_t>(std::count_if(m_indices.begin(), m_indices.end(), [this](std::size_t i) {
        return m_content.drawings[i].state != supervise::State::Done;
    }));
    m_sessions.resize(supervise::sessionsFor(m_content.policy, form(), left));
}

SupervisedRun::~SupervisedRun()
{
    if (m_thread.joinable()) {
        m_closing = true;
        m_interrupt->raise();
        m_thread.join();
    }
}

std::size_t SupervisedRun::batchSize() const
{
    return supervise::batchSizeFor(m_content.policy, form());
}

supervise::CommandForm SupervisedRun::form() const
{
    return supervise::formFor(m_content.policy, m_content.request.cad.path);
}

std::optional<double> SupervisedRun::msPerDrawing() const
{
    if (m_timedDrawings == 0)
        return std::nullopt;
    return double(m_busyMs) / double(m_timedDrawings);
}

void SupervisedRun::start()
{
    if (m_running || m_thread.joinable())
        return;
    m_running = true;
    m_thread = std::thread([this] {
        supervise::RunEngine::Setup setup =
            supervise::engineSetup(m_journalPath, m_content.policy, m_format, m_interrupt.get(), m_relay.get());
        supervise::RunEngine engine(*m_journal, m_engineContent, std::move(setup));
        supervise::RunOutcome outcome = engine.run(m_indices);
        if (!m_closing)
            engine.recordEnd(outcome);
        // The lock goes before the window hears of the end, so "Kör om misslyckade" can take the journal.
        m_journal.reset();
        // Written here, off the window's thread; whether it could be never changes the run's outcome.
        const report::ReportPaths paths = report::reportPathsFor(m_journalPath);
        const std::string journals[] = {m_journalPath};
        const auto written = report::writeReportOf(journals, paths);
        Result<std::string> report =
            written ? Result<std::string>(paths.html) : Result<std::string>::failure(written.error());
        QMetaObject::invokeMethod(
            this,
            [this, outcome = std::move(outcome), report = std::move(report)]() mutable {
                takeEnd(std::move(outcome), std::move(report));
            },
            Qt::QueuedConnection);
    });
}

void SupervisedRun::stop()
{
    m_interrupt->raise();
}

SupervisedRun::Session* SupervisedRun::session(std::size_t number)
{
    return number >= 1 && number <= m_sessions.size() ? &m_sessions[number - 1] : nullptr;
}

void SupervisedRun::takeBatch(std::size_t number, std::vector<std::size_t> indices)
{
    Session* session = this->session(number);
    if (!session)
        return;
    for (const std::size_t index : indices)
        m_sessionOf[index] = number;
    session->batch = std::move(indices);
    session->current.reset();
    session->sinceMs = session->countedMs = nowMs();
    emit sessionsChanged();
}

void SupervisedRun::takeSettled(std::vector<std::size_t> indices, std::vector<supervise::DrawingEntry> entries)
{
    const std::int64_t now = nowMs();
    std::vector<std::size_t> touched;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::size_t index = indices[i];
        // A drawing sent back to the queue was not run: it takes no share of the time.
        if (entries[i].state != supervise::State::Pending && m_sessionOf.contains(index))
            ++m_timedDrawings;
        if (entries[i].state == supervise::State::Pending)
            m_settledHere.erase(index); // back in the queue
        else
            m_settledHere.insert(index);
        m_content.drawings[index] = std::move(entries[i]);
        const auto found = m_sessionOf.find(index);
        if (found == m_sessionOf.end())
            continue;
        Session& session = m_sessions[found->second - 1];
        std::erase(session.batch, index);
        if (session.current == index) {
            session.current.reset();
            session.sinceMs = now;
        }
        if (std::find(touched.begin(), touched.end(), found->second) == touched.end())
            touched.push_back(found->second);
        m_sessionOf.erase(found);
    }
    // The time each session spent since it last settled anything goes to what it settled now.
    for (const std::size_t number : touched) {
        Session& session = m_sessions[number - 1];
        m_busyMs += std::max<std::int64_t>(now - session.countedMs, 0);
        session.countedMs = now;
    }
    emit settled(indices);
}

void SupervisedRun::takeBegun(std::size_t number, std::size_t index)
{
    Session* session = this->session(number);
    if (!session || !m_sessionOf.contains(index))
        return;
    session->current = index;
    session->sinceMs = nowMs();
    emit sessionsChanged();
}

void SupervisedRun::takeSessionEnd(std::size_t number)
{
    Session* session = this->session(number);
    if (!session)
        return;
    for (const std::size_t index : session->batch)
        m_sessionOf.erase(index);
    session->batch.clear();
    session->current.reset();
    emit sessionsChanged();
}

void SupervisedRun::takeEnd(supervise::RunOutcome outcome, Result<std::string> report)
{
    if (m_thread.joinable())
        m_thread.join();
    m_outcome = std::move(outcome);
    m_reportPath = report ? *report : std::string();
    m_reportError = report ? std::string() : report.error();
    m_running = false;
    emit finished();
}
