// The script check's Windows side: a drawing another program holds open without sharing it for writing, the
// read-only attribute, and names that the ANSI code page cannot hold.
#include "script/runrequest.h"
#include "script/scriptcheck.h"
#include "script/scripttemplate.h"
#include "winsupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> check(const std::string& folder, const std::vector<std::string>& names)
{
    const script::ScriptTemplate scriptTemplate{{"_.OPEN \"%f\""}, false};
    script::RunRequest input;
    input.scriptTemplate = scriptTemplate;
    input.listingFolder = folder;
    input.drawings = names;
    input.clockReading = script::ClockReading{"2026-12-07", "14:05:09"};
    input.separator = '\\';
    std::vector<std::string> result;
    for (const auto& finding : script::checkScript(input))
        result.push_back(std::string(script::codeName(finding.code)) + ":" + std::to_string(finding.line) + ":" +
                         std::string(script::findingDrawing(finding, input)) + ":" +
                         script::findingText(finding, input));
    return result;
}

void createWide(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

// The names of the folder as the drawing list has them: through the narrow listing calls.
std::vector<std::string> narrowNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "\\*.dwg").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

} // namespace

TEST(ScriptCheckWindows, ADrawingHeldOpenWithoutWriteSharingIsLockedAndTheAttributeMakesReadOnly)
{
    wintest::TemporaryFolder folder;
    wintest::writeFile(folder.file("A.dwg"), "");
    wintest::writeFile(folder.file("B.dwg"), "");
    ASSERT_TRUE(SetFileAttributesA(folder.file("B.dwg").c_str(), FILE_ATTRIBUTE_READONLY));
    // As a CAD program holds an open drawing: others may read it, not write it.
    const HANDLE held = CreateFileA(folder.file("A.dwg").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(check(folder.path(), {"A.dwg", "B.dwg"}),
              (std::vector<std::string>{
                  "locked:1:A.dwg:Ritningen A.dwg är öppen i ett annat program och kan inte sparas.",
                  "read-only:2:B.dwg:Ritningen B.dwg är skrivskyddad: CAD-programmet kan inte spara den."}));
    CloseHandle(held);
    // Reading it alongside, as a viewer would, leaves it free; the check itself writes nothing.
    const HANDLE viewer = CreateFileA(folder.file("A.dwg").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(check(folder.path(), {"A.dwg"}), std::vector<std::string>{});
    CloseHandle(viewer);
    EXPECT_EQ(wintest::readFile(folder.file("A.dwg")), "");
    SetFileAttributesA(folder.file("B.dwg").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ScriptCheckWindows, NamesOutsideTheAnsiCodePageAreUnencodable)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the test's names are chosen for code page 1252, this system uses " << GetACP();
    wintest::TemporaryFolder folder;
    const std::wstring wideFolder(folder.path().begin(), folder.path().end());
    createWide(wideFolder + L"\\\x00c5sa.dwg");            // Åsa: in the code page
    createWide(wideFolder + L"\\Ritning \x56f3.dwg");      // a CJK character: written as '?'
    createWide(wideFolder + L"\\\x0141\x00f3d\x017a.dwg"); // Polish letters, some only as look-alikes
    const std::vector<std::string> names = narrowNames(folder.path());
    ASSERT_EQ(names.size(), 3u);

    // Each drawing on a line of its own: the finding's line tells which.
    std::vector<std::string> unencodable, expected;
    for (const std::string& finding : check(folder.path(), names)) {
        if (finding.starts_with("unencodable:"))
            unencodable.push_back(finding.substr(0, finding.find(':', finding.find(':') + 1)));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != "\xc5sa.dwg")
            expected.push_back("unencodable:" + std::to_string(i + 1));
    }
    EXPECT_EQ(expected.size(), 2u) << "the code page holds \u00c5: " << names[0] << ", " << names[1];
    EXPECT_EQ(unencodable, expected) << names[0] << ", " << names[1] << ", " << names[2];

    // A folder whose name lost a character.
    const auto inFolder = check(folder.path() + "\\Mapp ?", {"x.dwg"});
    ASSERT_FALSE(inFolder.empty());
    EXPECT_EQ(inFolder.front().substr(0, 15), "unencodable:1::");
}

// A session script in UTF-8 with its mark goes into the script in the ANSI code page, as a template does: a
// letter the page lacks becomes '?' and its line is a finding.
TEST(ScriptCheckWindows, ASessionScriptLineOutsideTheAnsiCodePageIsUnencodable)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the test's text is chosen for code page 1252, this system uses " << GetACP();
    script::RunRequest request;
    request.scriptTemplate = script::ScriptTemplate({"_.QSAVE"});
    script::SessionScript& start = request.sessionScripts.start;
    start.path = "C:\\s.scr";
    script::takeSessionScriptBytes(start, "\xEF\xBB\xBF"
                                          "(princ \"\xC3\x85sa\")\r\n(princ \"\xE5\x9B\xB3\")\r\n");
    EXPECT_EQ(start.lines, (std::vector<std::string>{"(princ \"\xC5sa\")", "(princ \"?\")"}));
    EXPECT_EQ(start.unencodable, std::vector<std::uint32_t>{2});
    const std::vector<script::Finding> findings = script::checkScript(request);
    ASSERT_FALSE(findings.empty());
    const script::Finding& last = findings.back();
    EXPECT_EQ(last.code, script::CheckCode::Unencodable);
    EXPECT_EQ(last.line, 2u);
    EXPECT_EQ(script::findingText(last, request).substr(0, 34), "Rad 2 i startscriptet C:\\s.scr inn");
}
