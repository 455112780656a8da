#include "supervise/session.h"

#include "supervise/runfiles.h"

namespace supervise {

namespace {

class ProcessSession final : public Session
{
public:
    explicit ProcessSession(std::unique_ptr<process::ProcessTree> tree) : m_tree(std::move(tree)) {}
    process::ProcessTree::Wait wait(std::chrono::steady_clock::time_point deadline,
                                    const process::Interrupt* interrupt) override
    {
        return m_tree->wait(deadline, interrupt);
    }
    void kill() override { m_tree->kill(); }
    const process::Ending& ending() const override { return m_tree->ending(); }

private:
    std::unique_ptr<process::ProcessTree> m_tree;
};

} // namespace

Result<std::unique_ptr<Session>> startProcessTree(const SessionStart& start)
{
    auto tree =
        process::ProcessTree::start(start.command, process::Show::Minimized, start.processMark, start.outputPath);
    if (!tree)
        return Result<std::unique_ptr<Session>>::failure(tree.error());
    return std::unique_ptr<Session>(std::make_unique<ProcessSession>(std::move(*tree)));
}

RunClock systemClock()
{
    return {[] { return std::chrono::steady_clock::now(); }, wallClockMs};
}

} // namespace supervise
