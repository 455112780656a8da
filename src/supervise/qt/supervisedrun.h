#pragma once

#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/runstart.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace process {
class Interrupt;
}

// One supervised run in the window: the engine works on a thread of its own, so the window stays live; what
// it does arrives as signals on the window's thread, where content() and the sessions follow it.
class SupervisedRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SupervisedRun)

public:
    // What one CAD session is doing, as the window last heard it. Times are the wall clock in milliseconds.
    struct Session
    {
        std::vector<std::size_t> batch;     // its drawings not yet settled, in script order
        std::optional<std::size_t> current; // the drawing its marks say is in progress
        std::int64_t sinceMs = 0;           // when that drawing (or else the batch) began
        std::int64_t countedMs = 0;         // its time up to here is in the average
    };

    // The run goes by the policy its journal keeps (resolved for its program when the run was made).
    SupervisedRun(supervise::OpenedRun run, script::DateTimeFormat format, QObject* parent = nullptr);
    // Stops the run (the CAD sessions are killed) and waits for its thread.
    ~SupervisedRun() override;

    void start();
    // "Avbryt": the CAD sessions are killed, their drawings are interrupted and the rest not-run.
    void stop();
    bool running() const { return m_running; }

    const supervise::JournalContent& content() const { return m_content; }
    const std::vector<std::size_t>& indices() const { return m_indices; }
    const std::string& journalPath() const { return m_journalPath; }
    const supervise::RunOutcome& outcome() const { return m_outcome; }
    // The run's report once it has ended: the page written beside the journal, or why it could not be.
    const std::string& reportPath() const { return m_reportPath; }
    const std::string& reportError() const { return m_reportError; }
    // Whether its scripts carry drawing marks, and how its sessions are started.
    bool marks() const { return m_content.policy.marks == supervise::MarksChoice::On; }
    supervise::CommandForm form() const;
    // The drawings of one CAD session at most (one in the console form).
    std::size_t batchSize() const;
    // The sessions the engine runs at once: no more than there are batches.
    const std::vector<Session>& sessions() const { return m_sessions; }
    // Whether the drawing is in a session's batch now.
    bool inProgress(std::size_t index) const { return m_sessionOf.contains(index); }
    // Whether the drawing has its outcome from this run: until then its state is what an earlier run left.
    bool settledHere(std::size_t index) const { return m_settledHere.contains(index); }
    // The sessions' time per settled drawing so far (startup and idle time included); nothing before the first.
    std::optional<double> msPerDrawing() const;

signals:
    void settled(const std::vector<std::size_t>& indices);
    // A session took a batch, reached another drawing or ended.
    void sessionsChanged();
    // The journal is closed when this arrives: the run may be taken up again at once.
    void finished();

private:
    class Relay;

    void takeBatch(std::size_t session, std::vector<std::size_t> indices);
    void takeSettled(std::vector<std::size_t> indices, std::vector<supervise::DrawingEntry> entries);
    void takeBegun(std::size_t session, std::size_t index);
    void takeSessionEnd(std::size_t session);
    void takeEnd(supervise::RunOutcome outcome, Result<std::string> report);
    Session* session(std::size_t number);

    std::unique_ptr<supervise::JournalWriter> m_journal;
    supervise::JournalContent m_content;       // the window's copy
    supervise::JournalContent m_engineContent; // the engine's, on its thread
    script::DateTimeFormat m_format;
    std::vector<std::size_t> m_indices;
    std::string m_journalPath;
    std::vector<Session> m_sessions;
    std::unordered_map<std::size_t, std::size_t> m_sessionOf; // drawing in progress -> its session
    std::unordered_set<std::size_t> m_settledHere;
    std::int64_t m_busyMs = 0;
    std::size_t m_timedDrawings = 0;
    std::unique_ptr<process::Interrupt> m_interrupt;
    std::unique_ptr<Relay> m_relay;
    std::thread m_thread;
    supervise::RunOutcome m_outcome;
    std::string m_reportPath;
    std::string m_reportError;
    bool m_running = false;
    // Vendrel goes away in the middle of the run: it stays unfinished, to be offered at the next start.
    std::atomic<bool> m_closing = false;
};
