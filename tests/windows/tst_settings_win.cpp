// The settings in the registry itself: value types and lengths as other tools see them, the defaults for
// what cannot be read, and the first-start import through the registry editor.
#include "os/registry.h"
#include "settings/initreg.h"
#include "settings/settings.h"
#include "winsupport.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

using namespace std::string_literals;

namespace {

const std::string productKey = "Software\\Brannoc\\Vendrel";
const std::string mainKey = productKey + "\\Main";
const std::string summaryKey = productKey + "\\Layout-Summary";

std::string dword(std::uint32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class RegistrySettings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!wintest::mayWriteRegistry())
            GTEST_SKIP() << "would overwrite this user's settings; set VENDREL_TESTS_OWN_REGISTRY=1 on a test machine";
        wintest::deleteTree(HKEY_CURRENT_USER, productKey);
    }
    void TearDown() override
    {
        if (wintest::mayWriteRegistry())
            wintest::deleteTree(HKEY_CURRENT_USER, productKey);
    }

    Registry registry{std::string()};
    Settings settings{registry, wintest::ownFolder()};
};

// Every REG_SZ carries its terminating NUL in its length: a registry export would otherwise cut the last character.
TEST_F(RegistrySettings, TextsAreStoredAsStringValuesWithTheirTerminator)
{
    settings.writeSetting("LastPattern", "*.dxf");
    settings.writeSetting("TreeWidth", "2350", "Main");

    const wintest::RawValue pattern = wintest::readRaw(HKEY_CURRENT_USER, productKey, "LastPattern");
    EXPECT_EQ(pattern.type, DWORD(REG_SZ));
    EXPECT_EQ(pattern.data, "*.dxf\0"s);
    const wintest::RawValue width = wintest::readRaw(HKEY_CURRENT_USER, mainKey, "TreeWidth");
    EXPECT_EQ(width.type, DWORD(REG_SZ));
    EXPECT_EQ(width.data, "2350\0"s);

    EXPECT_EQ(settings.read(settings::LastPattern), "*.dxf");
    EXPECT_EQ(settings.text(settings::TreeWidth), "2350");
    // Start-up spells the key in capitals; the registry does not care.
    EXPECT_EQ(registry.readString(Hive::CurrentUser, "SOFTWARE\\BRANNOC\\VENDREL\\main", "treewidth", "x"), "2350");
}

TEST_F(RegistrySettings, LongAndNonAsciiTextsComeBackUnchanged)
{
    // A folder name in the system's single-byte code page, whichever it is.
    char local[64] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, L"C:\\Ritningar \u00e5\u00e4\u00f6", -1, local, sizeof local,
                                           nullptr, nullptr);
    ASSERT_GT(length, 1);
    const std::string folder(local, std::size_t(length - 1));
    const std::string longText = "C:\\" + std::string(5000, 'x') + "\\end";

    settings.writeSetting("LastPath", folder, "Main");
    settings.writeSetting("StartDir", longText);

    EXPECT_EQ(settings.read(settings::LastPath), folder);
    EXPECT_EQ(settings.read(settings::StartDir), longText);
}

TEST_F(RegistrySettings, WhatCannotBeReadAsTextGivesTheDefault)
{
    // No product key at all.
    EXPECT_EQ(settings.read(settings::LastPattern), "*.dwg");
    EXPECT_EQ(settings.text(settings::Files), "500,2000,2000,1200,700");
    EXPECT_EQ(settings.text(settings::Height, "9000"), "9000");
    EXPECT_EQ(settings.read(settings::RdsDir), wintest::ownFolder());

    // An empty text cannot be stored: it reads as the default.
    settings.writeSetting("LastPattern", "");
    EXPECT_TRUE(wintest::readRaw(HKEY_CURRENT_USER, productKey, "LastPattern").exists);
    EXPECT_EQ(settings.read(settings::LastPattern), "*.dwg");

    // Values of other types where a text is expected, as other programs or a hand edit may leave them.
    const struct
    {
        DWORD type;
        std::string data;
    } planted[] = {
        {REG_DWORD, dword(7)},
        {REG_BINARY, "*.dxf"},
        {REG_EXPAND_SZ, "*.dxf\0"s},
        {REG_MULTI_SZ, "*.dxf\0\0"s},
        {REG_SZ, ""},
    };
    for (const auto& value : planted) {
        wintest::writeRaw(HKEY_CURRENT_USER, productKey, "LastPattern", value.type, value.data);
        EXPECT_EQ(settings.read(settings::LastPattern), "*.dwg") << "type " << value.type;
    }
}

TEST_F(RegistrySettings, TextIsCutAtTheFirstNul)
{
    const struct
    {
        std::string stored;
        std::string read;
    } cases[] = {
        {"C:\\CAD\0"s, "C:\\CAD"},     // written with its terminator, as the registry editor does
        {"C:\\CAD"s, "C:\\CAD"},       // without one, as earlier versions wrote it
        {"ab\0cd"s, "ab"},             // a NUL inside
        {"\0*.dxf"s, "*.dwg"},         // nothing before the NUL: the default
    };
    for (const auto& c : cases) {
        wintest::writeRaw(HKEY_CURRENT_USER, productKey, "LastPattern", REG_SZ, c.stored);
        EXPECT_EQ(settings.read(settings::LastPattern), c.read);
    }
}

TEST_F(RegistrySettings, SavedBarCountIsANumberValueOnly)
{
    EXPECT_EQ(settings.savedBarCount(), 0);

    registry.writeDword(Hive::CurrentUser, summaryKey, "Bars", 3);
    const wintest::RawValue bars = wintest::readRaw(HKEY_CURRENT_USER, summaryKey, "Bars");
    EXPECT_EQ(bars.type, DWORD(REG_DWORD));
    EXPECT_EQ(bars.data, dword(3));
    EXPECT_EQ(settings.savedBarCount(), 3);

    // A count stored as a text or as four raw bytes is no count: start-up treats it as a first start.
    wintest::writeRaw(HKEY_CURRENT_USER, summaryKey, "Bars", REG_SZ, "3");
    EXPECT_EQ(settings.savedBarCount(), 0);
    wintest::writeRaw(HKEY_CURRENT_USER, summaryKey, "Bars", REG_BINARY, dword(3));
    EXPECT_EQ(settings.savedBarCount(), 0);
}

TEST_F(RegistrySettings, RawValuesAndDeletion)
{
    registry.writeBinary(Hive::CurrentUser, summaryKey, "Data", "\x01\x00\x02"s);
    EXPECT_EQ(wintest::readRaw(HKEY_CURRENT_USER, summaryKey, "Data").type, DWORD(REG_BINARY));
    EXPECT_EQ(registry.readBinary(Hive::CurrentUser, summaryKey, "Data"), "\x01\x00\x02"s);

    settings.writeSetting("Top", "0", "Main");
    registry.deleteValue(Hive::CurrentUser, mainKey, "Top");
    EXPECT_FALSE(wintest::readRaw(HKEY_CURRENT_USER, mainKey, "Top").exists);

    // The whole product key goes, subkeys and all.
    settings.writeSetting("Top", "0", "Main");
    registry.deleteKey(Hive::CurrentUser, productKey);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, productKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST(MachineRegistry, ValuesAreReadFromTheMachineWideHive)
{
    if (!wintest::mayWriteRegistry())
        GTEST_SKIP() << "would write HKEY_LOCAL_MACHINE; set VENDREL_TESTS_OWN_REGISTRY=1 on a test machine";
    // Where the system-information program is registered, in a key of our own.
    const std::string key = "SOFTWARE\\Brannoc\\VendrelTests\\MSINFO";
    wintest::writeRaw(HKEY_LOCAL_MACHINE, key, "PATH", REG_SZ, "C:\\Program Files\\MSINFO\\MSINFO32.EXE\0"s);
    const Registry registry{std::string()};

    EXPECT_EQ(registry.readString(Hive::LocalMachine, key, "PATH", ""), "C:\\Program Files\\MSINFO\\MSINFO32.EXE");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "PATH", "none"), "none");
    wintest::deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brannoc\\VendrelTests");
}

class InitRegImport : public RegistrySettings
{
protected:
    void SetUp() override
    {
        RegistrySettings::SetUp();
        // Programs usually live under "Program Files": the path has blanks in it.
        programFolder = temporary.path() + "\\Program Files";
        CreateDirectoryA(programFolder.c_str(), nullptr);
        programFolder += "\\Vendrel 1.0";
        CreateDirectoryA(programFolder.c_str(), nullptr);
    }

    wintest::TemporaryFolder temporary;
    std::string programFolder;
};

const char initReg[] = "REGEDIT4\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n"
                       "\"Theme\"=\"4\"\r\n"
                       "\"ProgramAcad\"=\"C:\\\\CAD\\\\acad.exe\"\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Main]\r\n"
                       "\"TreeWidth\"=\"3000\"\r\n";

TEST_F(InitRegImport, TheRegistryEditorAppliesTheFileOnAFirstStart)
{
    wintest::writeFile(programFolder + "\\Init.reg", initReg);
    Settings firstStart(registry, programFolder);

    ASSERT_TRUE(importInitReg(firstStart));
    wintest::waitForChildProcesses();

    EXPECT_EQ(firstStart.text(settings::Theme), "4");
    EXPECT_EQ(firstStart.read(settings::ProgramAcad), "C:\\CAD\\acad.exe");
    EXPECT_EQ(firstStart.text(settings::TreeWidth), "3000");
}

TEST_F(InitRegImport, NothingIsImportedOnLaterStartsOrWithoutAFile)
{
    Settings start(registry, programFolder);
    EXPECT_FALSE(importInitReg(start)); // no Init.reg

    CreateDirectoryA((programFolder + "\\Init.reg").c_str(), nullptr);
    EXPECT_FALSE(importInitReg(start)); // a folder of that name
    RemoveDirectoryA((programFolder + "\\Init.reg").c_str());

    wintest::writeFile(programFolder + "\\Init.reg", initReg);
    registry.writeDword(Hive::CurrentUser, summaryKey, "Bars", 2);
    EXPECT_FALSE(importInitReg(start));
    wintest::waitForChildProcesses();
    EXPECT_EQ(start.text(settings::Theme), "2");
}

} // namespace
