// A watched process tree with real programs: how the head ends, and that nothing of the tree outlives a kill.
#include "os/processtree.h"
#include "support/tempfolder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono;
using process::ProcessTree;

// Whether a process is gone (a zombie that nobody has reaped yet counts as gone).
bool gone(const std::string& pid)
{
    const std::string stat = readFile("/proc/" + pid + "/stat");
    const auto close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z');
}

bool goneSoon(const std::string& pid)
{
    for (int i = 0; i < 200 && !gone(pid); ++i)
        std::this_thread::sleep_for(milliseconds(5));
    return gone(pid);
}

class Tree : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.valid()); }
    std::unique_ptr<ProcessTree> start(const std::string& body)
    {
        const std::string program = m_dir / "cad stand-in";
        writeFile(program, "#!/bin/sh\n" + body, true);
        auto tree = ProcessTree::start("\"" + program + "\" x", process::Show::Minimized);
        EXPECT_TRUE(tree) << tree.error();
        return tree ? std::move(*tree) : nullptr;
    }
    // A child of the head that would run on, its pid written to a file once it runs.
    std::string leaveChild() const
    {
        return "sleep 60 & echo $! > '" + m_dir / "child.part" + "'; mv '" + m_dir / "child.part" + "' '" +
               m_dir / "child" + "'\n";
    }
    std::string childPid()
    {
        EXPECT_TRUE(waitForFile(m_dir / "child"));
        std::string pid = readFile(m_dir / "child");
        while (!pid.empty() && pid.back() == '\n')
            pid.pop_back();
        return pid;
    }
    TempFolder m_dir;
};

TEST_F(Tree, TheHeadsEndIsToldApart)
{
    const auto later = steady_clock::now() + seconds(20);
    for (const auto& [body, exited, code] : {std::tuple{"exit 0\n", true, 0}, std::tuple{"exit 3\n", true, 3},
                                             std::tuple{"kill -SEGV $$\n", false, SIGSEGV}}) {
        auto tree = start(body);
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->wait(later, nullptr), ProcessTree::Wait::Ended) << body;
        EXPECT_EQ(tree->ending().exited, exited) << body;
        EXPECT_EQ(tree->ending().code, code) << body;
    }
}

TEST_F(Tree, AKillTakesTheWholeTreeAndAnEndedHeadLeavesNothingBehind)
{
    // Hangs: the deadline passes, the kill takes the head and its child.
    auto hanging = start(leaveChild() + "sleep 60\n");
    ASSERT_TRUE(hanging);
    const std::string hangingChild = childPid();
    const auto before = steady_clock::now();
    EXPECT_EQ(hanging->wait(before + milliseconds(200), nullptr), ProcessTree::Wait::TimedOut);
    EXPECT_GE(steady_clock::now() - before, milliseconds(200));
    hanging->kill();
    EXPECT_FALSE(hanging->ending().exited);
    EXPECT_TRUE(goneSoon(std::to_string(hanging->id())));
    EXPECT_TRUE(goneSoon(hangingChild));

    // Ends by itself and leaves a child running: the child does not outlive the session.
    std::filesystem::remove(m_dir / "child");
    auto leaving = start(leaveChild() + "exit 0\n");
    ASSERT_TRUE(leaving);
    const std::string leftChild = childPid();
    EXPECT_EQ(leaving->wait(steady_clock::now() + seconds(20), nullptr), ProcessTree::Wait::Ended);
    EXPECT_TRUE(leaving->ending().success());
    EXPECT_TRUE(goneSoon(leftChild));
}

TEST_F(Tree, NothingCarryingTheSessionsMarkOutlivesAKeeperKilledFromOutside)
{
    // The head leaves a child in a session of its own; then its keeper is killed, which ends nothing itself.
    const std::string program = m_dir / "cad stand-in";
    writeFile(program, "#!/bin/sh\nsetsid " + leaveChild() + "sleep 60\n", true);
    auto started = ProcessTree::start(process::Command{{program}}, process::Show::Minimized, process::newSessionMark());
    ASSERT_TRUE(started) << started.error();
    auto& tree = *started;
    const std::string child = childPid();
    const std::string stat = readFile("/proc/" + std::to_string(tree->id()) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    char state = 0;
    pid_t keeper = 0;
    fields >> state >> keeper;
    ASSERT_GT(keeper, 1) << stat;
    ASSERT_EQ(::kill(keeper, SIGKILL), 0);
    EXPECT_EQ(tree->wait(steady_clock::now() + seconds(20), nullptr), ProcessTree::Wait::Ended);
    EXPECT_TRUE(goneSoon(child));
}

TEST_F(Tree, AnInterruptWakesTheWaitAtOnce)
{
    auto tree = start("sleep 60\n");
    ASSERT_TRUE(tree);
    process::Interrupt interrupt;
    std::thread raiser([&] {
        std::this_thread::sleep_for(milliseconds(50));
        interrupt.raise();
    });
    const auto before = steady_clock::now();
    EXPECT_EQ(tree->wait(before + seconds(30), &interrupt), ProcessTree::Wait::Interrupted);
    EXPECT_LT(steady_clock::now() - before, seconds(5));
    raiser.join();
    EXPECT_TRUE(interrupt.raised());
    // Dropped without a kill: the tree is killed all the same.
    const std::string pid = std::to_string(tree->id());
    tree.reset();
    EXPECT_TRUE(goneSoon(pid));
}

TEST_F(Tree, WhatCannotStartIsReported)
{
    const auto missing = ProcessTree::start("\"" + m_dir / "missing" + "\"", process::Show::Normal);
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().empty());
    writeFile(m_dir / "plain", "#!/bin/sh\n");
    EXPECT_FALSE(ProcessTree::start("\"" + m_dir / "plain" + "\"", process::Show::Normal));
    EXPECT_FALSE(ProcessTree::start("\"open quote", process::Show::Normal));
}

} // namespace
