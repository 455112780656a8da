#include "script/expandtemplate.h"
#include "script/scriptfile.h"
#include "script/scriptfs.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

namespace fs = std::filesystem;

namespace {

script::Script scriptOf(std::initializer_list<std::string_view> lines)
{
    script::Script result;
    for (const auto line : lines)
        result.appendLine(line);
    return result;
}

std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifndef _WIN32
// Sets or clears environment variables for one test and puts them back afterwards.
class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvironmentGuard()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};
#endif

} // namespace

#ifndef _WIN32
TEST(ScriptFilePath, FollowsTempThenTmpdirThenTmp)
{
    EnvironmentGuard guard{"TEMP", "TMPDIR"};
    setenv("TEMP", "/var/cad", 1);
    setenv("TMPDIR", "/var/other", 1);
    EXPECT_EQ(script::scriptFilePath(), "/var/cad/Vendrel.scr");
    setenv("TEMP", "/", 1);
    EXPECT_EQ(script::scriptFilePath(), "/Vendrel.scr");
    setenv("TEMP", "", 1);
    EXPECT_EQ(script::scriptFilePath(), "/var/other/Vendrel.scr");
    unsetenv("TEMP");
    unsetenv("TMPDIR");
    EXPECT_EQ(script::scriptFilePath(), "/tmp/Vendrel.scr");
}
#endif

TEST(WriteScriptFile, ReplacesTheWholeFileWithExactlyTheScript)
{
    TempDir dir;
    const std::string path = dir.file("Vendrel.scr");
    writeBytes(path, std::string(10000, 'x'));
    const auto script = scriptOf({"_.OPEN /d/\xe5.dwg", "", ".EXIT"});
    const auto written = script::writeScriptFile(script, path);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(readBytes(path), "_.OPEN /d/\xe5.dwg\r\n\r\n.EXIT\r\n");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Vendrel.scr"});

    ASSERT_TRUE(script::writeScriptFile(script, path));
    EXPECT_EQ(readBytes(path), script.bytes());
}

TEST(WriteScriptFile, ReplacesALinkPlantedAtItsNameInsteadOfFollowingIt)
{
    TempDir dir;
    const std::string victim = dir.file("settings.ini");
    writeBytes(victim, "keep me");
    const std::string path = dir.file("Vendrel.scr");
    std::error_code error;
    fs::create_symlink(victim, path, error);
    if (error)
        GTEST_SKIP() << "no symbolic links here: " << error.message();

    ASSERT_TRUE(script::writeScriptFile(scriptOf({".EXIT"}), path));
    EXPECT_EQ(readBytes(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(readBytes(path), ".EXIT\r\n");
}

TEST(WriteScriptFile, LeavesAReaderOfTheEarlierScriptItsWholeFile)
{
    TempDir dir;
    const std::string path = dir.file("Vendrel.scr");
    std::string earlier;
    for (int i = 0; i < 2000; ++i)
        earlier += "_.OPEN /d/earlier" + std::to_string(i) + ".dwg\r\n";
    writeBytes(path, earlier);

    std::ifstream reader(path, std::ios::binary);
    char head[100];
    reader.read(head, sizeof head);
    ASSERT_TRUE(reader);

    const auto later = scriptOf({"_.OPEN /d/later.dwg", ".EXIT"});
    const auto written = script::writeScriptFile(later, path);
    const std::string rest((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::string(head, sizeof head) + rest, earlier);
#ifdef _WIN32
    // Windows refuses to replace a file that is open; the run then fails and the earlier script stays.
    if (!written) {
        EXPECT_EQ(readBytes(path), earlier);
        return;
    }
#endif
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(readBytes(path), later.bytes());
}

TEST(WriteScriptFile, FailsWithoutTouchingAnythingWhenItCannotWrite)
{
    TempDir dir;
    const auto script = scriptOf({".EXIT"});

    const auto noFolder = script::writeScriptFile(script, dir.file("missing/Vendrel.scr"));
    EXPECT_FALSE(noFolder);
    EXPECT_FALSE(noFolder.error().empty());

    fs::create_directory(dir.file("Vendrel.scr"));
    writeBytes(dir.file("Vendrel.scr/inside"), "x");
    EXPECT_FALSE(script::writeScriptFile(script, dir.file("Vendrel.scr")));
    EXPECT_EQ(readBytes(dir.file("Vendrel.scr/inside")), "x");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Vendrel.scr"});
}

TEST(ReplacingFile, TouchesNothingUntilItIsWrittenAndCommitted)
{
    TempDir dir;
    const std::string path = dir.file("Vendrel.scr");
    writeBytes(path, "earlier");
    {
        script::ReplacingFile untouched(path);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Vendrel.scr"});
    }
    {
        script::ReplacingFile dropped(path);
        ASSERT_TRUE(dropped.write("half a script\r\n"));
        EXPECT_EQ(entriesOf(dir.path()).size(), 2u);
    }
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Vendrel.scr"});
    EXPECT_EQ(readBytes(path), "earlier");

    script::ReplacingFile pieces(path);
    ASSERT_TRUE(pieces.write("A\r\n"));
    ASSERT_TRUE(pieces.write("B\r\n"));
    EXPECT_EQ(readBytes(path), "earlier");
    ASSERT_TRUE(bool(pieces.commit()));
    EXPECT_EQ(readBytes(path), "A\r\nB\r\n");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Vendrel.scr"});
}

TEST(ProjectNameFromDatabasePath, TakesTheFileNameWithoutExtension)
{
    EXPECT_EQ(script::projectNameFromDatabasePath("D:\\Proj\\Anl 7.pds", '\\'), "Anl 7");
    EXPECT_EQ(script::projectNameFromDatabasePath("D:/Proj/a.b.PDS", '\\'), "a.b");
    EXPECT_EQ(script::projectNameFromDatabasePath("/proj/Anl 7.Pds", '/'), "Anl 7");
    EXPECT_EQ(script::projectNameFromDatabasePath("/proj/a\\b.pds", '/'), "a\\b");
    EXPECT_EQ(script::projectNameFromDatabasePath("/proj/xpds", '/'), "xpds");
    EXPECT_EQ(script::projectNameFromDatabasePath("/proj/Anl 7.dwg", '/'), std::nullopt);
    EXPECT_EQ(script::projectNameFromDatabasePath("/proj/Anl 7.pds.bak", '/'), std::nullopt);
    EXPECT_EQ(script::projectNameFromDatabasePath("", '/'), std::nullopt);
}
