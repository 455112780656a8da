#pragma once

#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/runstart.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace process {
class Interrupt;
}

// One supervised run in the window: the engine works on a thread of its own, so the window stays live; what
// it does arrives as signals on the window's thread, where content() follows it.
class SupervisedRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SupervisedRun)

public:
    SupervisedRun(supervise::OpenedRun run, script::DateTimeFormat format, QObject* parent = nullptr);
    // Stops the run (the CAD session is killed) and waits for its thread.
    ~SupervisedRun() override;

    void start();
    // "Avbryt": the CAD session is killed, its drawings are interrupted and the rest not-run.
    void stop();
    bool running() const { return m_running; }

    const supervise::JournalContent& content() const { return m_content; }
    const std::vector<std::size_t>& indices() const { return m_indices; }
    const std::string& journalPath() const { return m_journalPath; }
    const supervise::RunOutcome& outcome() const { return m_outcome; }

signals:
    void batchStarted(const std::vector<std::size_t>& indices);
    void settled(const std::vector<std::size_t>& indices);
    // The journal is closed when this arrives: the run may be taken up again at once.
    void finished();

private:
    class Relay;

    void takeBatch(std::vector<std::size_t> indices);
    void takeSettled(std::vector<std::size_t> indices, std::vector<supervise::DrawingEntry> entries);
    void takeEnd(supervise::RunOutcome outcome);

    std::unique_ptr<supervise::JournalWriter> m_journal;
    supervise::JournalContent m_content;       // the window's copy
    supervise::JournalContent m_engineContent; // the engine's, on its thread
    script::DateTimeFormat m_format;
    std::vector<std::size_t> m_indices;
    std::string m_journalPath;
    std::unique_ptr<process::Interrupt> m_interrupt;
    std::unique_ptr<Relay> m_relay;
    std::thread m_thread;
    supervise::RunOutcome m_outcome;
    bool m_running = false;
    // Vendrel goes away in the middle of the run: it stays unfinished, to be offered at the next start.
    std::atomic<bool> m_closing = false;
};
