#include "supervise/qt/supervisedrun.h"

#include "os/processtree.h"
#include "supervise/runstart.h"

#include <QMetaObject>
#include <QPointer>

// Carries the engine's news from its thread to the window's, as copies.
class SupervisedRun::Relay final : public supervise::RunObserver
{
public:
    explicit Relay(SupervisedRun* run) : m_run(run) {}
    void batchStarted(std::size_t, std::span<const std::size_t> indices) override
    {
        std::vector<std::size_t> copy(indices.begin(), indices.end());
        QMetaObject::invokeMethod(
            m_run, [run = m_run, copy = std::move(copy)]() mutable { run->takeBatch(copy); }, Qt::QueuedConnection);
    }
    void settled(std::span<const std::size_t> indices, std::span<const supervise::DrawingEntry> entries) override
    {
        std::vector<std::size_t> copy(indices.begin(), indices.end());
        std::vector<supervise::DrawingEntry> states(entries.begin(), entries.end());
        QMetaObject::invokeMethod(
            m_run,
            [run = m_run, copy = std::move(copy), states = std::move(states)]() mutable {
                run->takeSettled(std::move(copy), std::move(states));
            },
            Qt::QueuedConnection);
    }

private:
    SupervisedRun* m_run;
};

SupervisedRun::SupervisedRun(supervise::OpenedRun run, script::DateTimeFormat format, QObject* parent)
    : QObject(parent), m_journal(std::move(run.journal)), m_content(run.content),
      m_engineContent(std::move(run.content)), m_format(std::move(format)), m_indices(std::move(run.indices)),
      m_journalPath(m_journal->path()), m_interrupt(std::make_unique<process::Interrupt>()),
      m_relay(std::make_unique<Relay>(this))
{
}

SupervisedRun::~SupervisedRun()
{
    if (m_thread.joinable()) {
        m_closing = true;
        m_interrupt->raise();
        m_thread.join();
    }
}

void SupervisedRun::start()
{
    if (m_running || m_thread.joinable())
        return;
    m_running = true;
    m_thread = std::thread([this] {
        supervise::RunEngine engine(*m_journal, m_engineContent,
                                    supervise::engineSetup(m_journalPath, m_format, m_interrupt.get(), m_relay.get()));
        supervise::RunOutcome outcome = engine.run(m_indices);
        if (!m_closing)
            engine.recordEnd(outcome);
        // The lock goes before the window hears of the end, so "Kör om misslyckade" can take the journal.
        m_journal.reset();
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)]() mutable { takeEnd(std::move(outcome)); },
            Qt::QueuedConnection);
    });
}

void SupervisedRun::stop()
{
    m_interrupt->raise();
}

void SupervisedRun::takeBatch(std::vector<std::size_t> indices)
{
    for (const std::size_t index : indices)
        m_content.drawings[index].state = supervise::State::Interrupted;
    emit batchStarted(indices);
}

void SupervisedRun::takeSettled(std::vector<std::size_t> indices, std::vector<supervise::DrawingEntry> entries)
{
    for (std::size_t i = 0; i < indices.size(); ++i)
        m_content.drawings[indices[i]] = std::move(entries[i]);
    emit settled(indices);
}

void SupervisedRun::takeEnd(supervise::RunOutcome outcome)
{
    if (m_thread.joinable())
        m_thread.join();
    m_outcome = std::move(outcome);
    m_running = false;
    emit finished();
}
