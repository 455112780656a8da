// The run start: a request whose drawings name one file twice is refused, by name, before anything is written;
// a run taken up goes on with the policy it began with unless told otherwise.
#include "supervise/runstart.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

// A request over a template and a program file in dir (the program is never started here).
script::RunRequest requestIn(const TempFolder& dir)
{
    writeFile(dir / "rita.scr", "_.OPEN \"%f\"\r\n");
    writeFile(dir / "acad", "#!/bin/sh\n", true);
    script::RunRequest request;
    request.templatePath = dir / "rita.scr";
    request.cad.path = dir / "acad";
    request.listingFolder = dir / "ritningar";
    request.separator = '/';
    return request;
}

TEST(CreateRun, RefusesADrawingNamedTwice)
{
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    script::RunRequest request = requestIn(dir);
    for (const auto& [drawings, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"K1.dwg", "./K2.dwg", "K2.dwg"}, "ritningarna ./K2.dwg och K2.dwg är samma fil"},
             {{"K1.dwg", "K1.dwg"}, "ritningen K1.dwg står två gånger bland ritningarna"}}) {
        request.drawings = drawings;
        const auto started = supervise::createRun(request, {}, dir / "run.journal");
        ASSERT_FALSE(started);
        EXPECT_EQ(started.error().cause, supervise::StartProblem::Cause::SameDrawing);
        EXPECT_EQ(supervise::problemText(started.error()), text + "; varje ritning kan bara köras en gång");
        EXPECT_FALSE(std::filesystem::exists(dir / "run.journal"));
    }
    request.drawings = {"K1.dwg", "K2.dwg"};
    EXPECT_TRUE(supervise::createRun(request, {}, dir / "run.journal"));
}

// Every way of taking a run up (resume, retry, the window's offer) goes through takeUp: the policy kept in the
// journal comes back whole, a change is kept for the runs after it, and none is written when nothing changed.
TEST(OpenRun, GoesOnWithThePolicyItBeganWith)
{
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    script::RunRequest request = requestIn(dir);
    request.drawings = {"K1.dwg", "K2.dwg"};
    supervise::RunPolicy began;
    began.batchSize = 7;
    began.timeout = std::chrono::milliseconds(2500);
    began.sessions = 3;
    began.marks = supervise::MarksChoice::On;
    began.form = supervise::CommandForm::Console;
    const std::string journal = dir / "run.journal";
    ASSERT_TRUE(supervise::createRun(request, began, journal));

    for (const auto how : {supervise::TakeUp::Resume, supervise::TakeUp::Retry}) {
        const auto taken = supervise::openRun(journal, how);
        ASSERT_TRUE(taken) << supervise::problemText(taken.error());
        EXPECT_TRUE(taken->content.policy == began);
    }
    const auto before = readFile(journal);
    ASSERT_TRUE(supervise::openRun(journal, supervise::TakeUp::Resume,
                                   [](const supervise::RunPolicy& kept, const std::string&) { return kept; }));
    EXPECT_EQ(readFile(journal), before) << "nothing changed, nothing written";

    const auto fewer = [](const supervise::RunPolicy& kept, const std::string&) {
        supervise::RunPolicy policy = kept;
        policy.sessions = 1;
        return policy;
    };
    ASSERT_TRUE(supervise::openRun(journal, supervise::TakeUp::Retry, fewer));
    const auto later = supervise::openRun(journal, supervise::TakeUp::Resume);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->content.policy.sessions, 1u);
    EXPECT_EQ(later->content.policy.form, supervise::CommandForm::Console);
    EXPECT_EQ(later->content.policy.batchSize, 7u);
}

} // namespace

// A session script that is gone stops a run before anything is written, new or taken up; one that is there is
// read into the request, as it is now when a run is taken up.
TEST(RunStart, ReadsTheSessionScriptsAndRefusesOneThatIsGone)
{
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    script::RunRequest request = requestIn(dir);
    request.drawings = {"K1.dwg"};
    supervise::RunPolicy policy;
    policy.sessionStart = dir / "start.scr";
    const std::string journal = dir / "run.journal";
    auto refused = supervise::createRun(request, policy, journal);
    ASSERT_FALSE(refused);
    EXPECT_EQ(supervise::problemText(refused.error()), "Sessionsscriptet " + policy.sessionStart + " finns inte.");
    EXPECT_FALSE(std::filesystem::exists(journal));

    writeFile(policy.sessionStart, "FILEDIA 0\r\n");
    auto started = supervise::createRun(request, policy, journal);
    ASSERT_TRUE(started) << supervise::problemText(started.error());
    EXPECT_EQ(started->content.request.sessionScripts.start.lines, std::vector<std::string>{"FILEDIA 0"});
    started = supervise::StartResult::failure({});

    writeFile(policy.sessionStart, "FILEDIA 1\r\n");
    {
        const auto taken = supervise::openRun(journal, supervise::TakeUp::Resume);
        ASSERT_TRUE(taken);
        EXPECT_EQ(taken->content.request.sessionScripts.start.lines, std::vector<std::string>{"FILEDIA 1"});
    }

    const auto before = readFile(journal);
    const auto withEnd = [&](const supervise::RunPolicy& kept, const std::string&) {
        supervise::RunPolicy changed = kept;
        changed.sessionEnd = dir / "slut.scr";
        return changed;
    };
    const auto gone = supervise::openRun(journal, supervise::TakeUp::Resume, withEnd);
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().cause, supervise::StartProblem::Cause::Request);
    EXPECT_EQ(readFile(journal), before) << "a refused change is not kept";
}
