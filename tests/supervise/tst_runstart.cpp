// The run start: a request whose drawings name one file twice is refused, by name, before anything is written.
#include "supervise/runstart.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

TEST(CreateRun, RefusesADrawingNamedTwice)
{
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    writeFile(dir / "rita.scr", "_.OPEN \"%f\"\r\n");
    writeFile(dir / "acad", "#!/bin/sh\n", true);
    script::RunRequest request;
    request.templatePath = dir / "rita.scr";
    request.cad.path = dir / "acad";
    request.listingFolder = dir / "ritningar";
    request.separator = '/';
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

} // namespace
