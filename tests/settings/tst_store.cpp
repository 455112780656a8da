// The settings store: the registry-shaped file, the settings on top of it, window placement and the
// import of registry scripts on a first start.
#include "app/placement.h"
#include "os/registry.h"
#include "settings/initreg.h"
#include "settings/regfile.h"
#include "settings/settings.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const std::string key = "Software\\Brannoc\\Vendrel";
const std::string mainKey = key + "\\Main";

class Store : public ::testing::Test
{
protected:
    std::string path() const { return dir.filePath(QStringLiteral("Brannoc/Vendrel.conf")).toStdString(); }
    std::string fileText() const
    {
        std::ifstream in(path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeFile(const std::string& name, std::string_view bytes)
    {
        std::ofstream(dir.filePath(QString::fromStdString(name)).toStdString(), std::ios::binary) << bytes;
    }

    QTemporaryDir dir;
};

// What only the file store does: on Windows the store is the registry (a test's key of its own there).
#ifdef _WIN32
#define skipWhereTheStoreIsTheRegistry() GTEST_SKIP() << "the store is the registry here, not a file"
#else
#define skipWhereTheStoreIsTheRegistry() static_cast<void>(0)
#endif

TEST_F(Store, TextsRoundTripAndEmptyOrMissingReadsAsDefault)
{
    Registry registry(path());
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "LastPattern", "*.dwg"), "*.dwg");
    registry.writeString(Hive::CurrentUser, key, "LastPattern", "*.dxf;*.dwg");
    registry.writeString(Hive::CurrentUser, mainKey, "LastPath", "/home/ritare/Jobb 12/åäö");
    registry.writeString(Hive::CurrentUser, key, "LastTemplate", "");
    registry.writeString(Hive::CurrentUser, key, "Files", "500,2000,2000,1200,700,960");

    Registry again(path()); // nothing is cached: a second store sees it all
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "LastPattern", "*.dwg"), "*.dxf;*.dwg");
    EXPECT_EQ(again.readString(Hive::CurrentUser, mainKey, "LastPath", ""), "/home/ritare/Jobb 12/åäö");
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "LastTemplate", "x.scr"), "x.scr");
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "Files", ""), "500,2000,2000,1200,700,960");
    // Key and value names compare without regard to case, as in the registry.
    EXPECT_EQ(again.readString(Hive::CurrentUser, "SOFTWARE\\brannoc\\VENDREL\\main", "lastpath", ""),
              "/home/ritare/Jobb 12/åäö");
}

TEST_F(Store, BytesThatAreNotUtf8AndTextsThatLookLikeTypesSurvive)
{
    Registry registry(path());
    const std::string latin1Path = "/srv/ritningar/Ritning\xe5r";
    const std::string tricky[] = {latin1Path, "dword:0000000a", "hex:01,02", "sz:x", "a\nb", "\"quoted\" ; ="};
    for (size_t i = 0; i < std::size(tricky); ++i)
        registry.writeString(Hive::CurrentUser, key, "V" + std::to_string(i), tricky[i]);
    Registry again(path());
    for (size_t i = 0; i < std::size(tricky); ++i)
        EXPECT_EQ(again.readString(Hive::CurrentUser, key, "V" + std::to_string(i), "-"), tricky[i]) << i;
    EXPECT_EQ(again.readDword(Hive::CurrentUser, key, "V1"), 0) << "a text is never a number value";
}

TEST_F(Store, NumberValuesAreToldApartFromTexts)
{
    Registry registry(path());
    EXPECT_EQ(registry.readDword(Hive::CurrentUser, key + "\\Layout-Summary", "Bars"), 0);
    registry.writeString(Hive::CurrentUser, key + "\\Layout-Summary", "Bars", "5");
    EXPECT_EQ(registry.readDword(Hive::CurrentUser, key + "\\Layout-Summary", "Bars"), 0);
    registry.writeDword(Hive::CurrentUser, key + "\\Layout-Summary", "Bars", 5);
    EXPECT_EQ(registry.readDword(Hive::CurrentUser, key + "\\Layout-Summary", "Bars"), 5);
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key + "\\Layout-Summary", "Bars", "def"), "def");
    registry.writeDword(Hive::CurrentUser, key, "Negative", 0xFFFFFFC4u);
    EXPECT_EQ(registry.readDword(Hive::CurrentUser, key, "Negative"), -60);
    registry.writeBinary(Hive::CurrentUser, key + "\\Layout", "State", std::string("\0\x01\xff", 3));
    EXPECT_EQ(registry.readBinary(Hive::CurrentUser, key + "\\Layout", "State"), std::string("\0\x01\xff", 3));
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key + "\\Layout", "State", "def"), "def");
}

TEST_F(Store, ATextIsCutAtItsFirstNul)
{
    Registry registry(path());
    registry.writeString(Hive::CurrentUser, key, "RdsDir", std::string("/mallar\0skräp", 14));
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "RdsDir", "def"), "/mallar");
    registry.writeString(Hive::CurrentUser, key, "RdsDir", std::string("\0skräp", 7));
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "RdsDir", "def"), "def");
}

TEST_F(Store, OnlyTheProductKeyIsKept)
{
    skipWhereTheStoreIsTheRegistry();
    Registry registry(path());
    registry.writeString(Hive::CurrentUser, "Software\\Brannoc\\VendrelX", "A", "1");
    registry.writeString(Hive::CurrentUser, "Software\\Other", "A", "1");
    registry.writeString(Hive::ClassesRoot, "AutoCAD.Drawing\\CurVer", "", "x");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, "Software\\Brannoc\\VendrelX", "A", "-"), "-");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, "Software\\Other", "A", "-"), "-");
    EXPECT_EQ(registry.readString(Hive::ClassesRoot, "AutoCAD.Drawing\\CurVer", "", "-"), "-");
}

TEST_F(Store, HandEditedAndGarbageFilesReadAsDefaultsWithoutLosingTheRest)
{
    skipWhereTheStoreIsTheRegistry();
    QDir().mkpath(dir.filePath(QStringLiteral("Brannoc")));
    std::string garbage = "[General]\nLastPattern=*.dxf\nFiles=500,2000,2000\nTheme=\x01\x02\xff\xfe\n"
                          "[Main]\nTreeWidth=-5\nWinState=7\n";
    garbage += "Huge=" + std::string(10 * 1024 * 1024, 'x') + "\n";
    garbage += std::string("\0\0\xff\n=\n[[[\n", 10);
    {
        std::ofstream(path(), std::ios::binary) << garbage;
    }
    Registry registry(path());
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "LastPattern", ""), "*.dxf");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "Files", ""), "500,2000,2000");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, mainKey, "TreeWidth", ""), "-5");
    registry.writeString(Hive::CurrentUser, key, "LastTemplate", "a.scr");
    Registry again(path());
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "LastPattern", ""), "*.dxf");
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "LastTemplate", ""), "a.scr");
}

TEST_F(Store, AnUnwritableFolderLosesWritesQuietly)
{
    skipWhereTheStoreIsTheRegistry();
    const std::string blocked = dir.filePath(QStringLiteral("file")).toStdString();
    std::ofstream(blocked) << "a file where a folder should be";
    Registry registry(blocked + "/Brannoc/Vendrel.conf");
    registry.writeString(Hive::CurrentUser, key, "Theme", "3");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, key, "Theme", "2"), "3") << "kept for this session";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(blocked + "/Brannoc/Vendrel.conf")));
}

TEST_F(Store, TwoCopiesWritingInTurnKeepEachOthersValues)
{
    Registry first(path());
    Registry second(path());
    first.writeString(Hive::CurrentUser, key, "ProgramAcad", "/opt/cad/acad");
    second.writeString(Hive::CurrentUser, key, "ProgramIcad", "/opt/cad/icad");
    first.writeString(Hive::CurrentUser, mainKey, "TreeWidth", "3000");
    Registry reader(path());
    EXPECT_EQ(reader.readString(Hive::CurrentUser, key, "ProgramAcad", ""), "/opt/cad/acad");
    EXPECT_EQ(reader.readString(Hive::CurrentUser, key, "ProgramIcad", ""), "/opt/cad/icad");
    EXPECT_EQ(reader.readString(Hive::CurrentUser, mainKey, "TreeWidth", ""), "3000");
    EXPECT_EQ(fileText().find("Vendrel.conf"), std::string::npos);
}

TEST(Numbers, OnlyPlainDecimalTextIsANumber)
{
    EXPECT_EQ(settings::parseNumber("2350"), 2350);
    EXPECT_EQ(settings::parseNumber("-60"), -60);
    EXPECT_EQ(settings::parseNumber(" 12.5 "), 12.5);
    for (const char* bad : {"", "abc", "12abc", "0x10", "inf", "nan", "1e3", "9999999999", "--1", "1,5"})
        EXPECT_FALSE(settings::parseNumber(bad)) << bad;
    EXPECT_EQ(settings::numberText(2349.6), "2350");
    EXPECT_EQ(settings::numberText(-60), "-60");
    EXPECT_EQ(settings::numberText(12.5, 1), "12.5");
    EXPECT_EQ(settings::numberText(12.04, 1), "12");
    EXPECT_EQ(settings::numberText(-0.5, 1), "-0.5");
    EXPECT_EQ(settings::numberText(-0.04, 1), "0");
    EXPECT_EQ(settings::numberText(0.05, 2), "0.05");
}

// Each kind of value is written as the text the store has always held, and read back from any text.
TEST_F(Store, TypedValuesKeepTheirStoredText)
{
    Registry registry(path());
    Settings store(registry, "/prog");
    EXPECT_FALSE(store.flag(settings::ReviewBeforeRun));
    store.setFlag(settings::ReviewBeforeRun, true);
    EXPECT_EQ(store.readSetting("ReviewBeforeRun", "", "Review"), "1");
    store.setFlag(settings::ReviewBeforeRun, false);
    EXPECT_EQ(store.readSetting("ReviewBeforeRun", "", "Review"), "0");
    for (const char* notOn : {"2", "yes", " 1"}) {
        store.writeSetting("ReviewBeforeRun", notOn, "Review");
        EXPECT_FALSE(store.flag(settings::ReviewBeforeRun)) << notOn;
    }

    EXPECT_EQ(store.number(settings::SupervisedTimeout), std::nullopt) << "the run policy has the default";
    store.setNumber(settings::SupervisedTimeout, 12.5);
    EXPECT_EQ(store.readSetting("SupervisedTimeout", "", "Main"), "12.5");
    store.setNumber(settings::TreeWidth, 2349.6);
    EXPECT_EQ(store.readSetting("TreeWidth", "", "Main"), "2350");
    EXPECT_EQ(store.number(settings::Height), std::nullopt) << "no default of its own";
    EXPECT_EQ(store.number(settings::Height, 9000), 9000);
    store.writeSetting("Height", "abc", "Main");
    EXPECT_EQ(store.number(settings::Height, 9000), std::nullopt) << "a stored text that is no number";

    EXPECT_FALSE(store.isStored(settings::Files));
    EXPECT_EQ(store.numbers(settings::Files), (std::vector<std::optional<double>>{500, 2000, 2000, 1200, 700}));
    store.writeSetting("Files", "500,x,,-7");
    EXPECT_EQ(store.numbers(settings::Files), (std::vector<std::optional<double>>{500, {}, {}, -7}));
    store.setNumbers(settings::Files, {500, 1500.4});
    EXPECT_EQ(store.readSetting("Files", ""), "500,1500");
    EXPECT_TRUE(store.isStored(settings::Files));
}

TEST_F(Store, PlacementIsAppliedUntilTheFirstUnusableValue)
{
    Registry registry(path());
    Settings store(registry, "/prog");
    QWidget window;
    window.setGeometry(10, 20, 300, 200);
    store.writeSetting("Top", "-60", "Main");
    store.writeSetting("Left", "150", "Main");
    store.writeSetting("Height", "abc", "Main");
    store.writeSetting("Width", "1500", "Main");
    restoreWindowPlacement(store, &window, settings::mainPlacement, 9000, 12000);
    EXPECT_EQ(window.pos(), QPoint(10, -4)); // 150 twips = 10 px, -60 twips = -4 px at 96 DPI
    EXPECT_EQ(window.size(), QSize(300, 200)) << "the height was not a number: the restore ends there";

    store.writeSetting("Height", "", "Main");
    restoreWindowPlacement(store, &window, settings::mainPlacement, 4000, 7000);
    EXPECT_EQ(window.size(), QSize(100, 267)); // 1500 x 4000 twips

    window.resize(450, 300);
    window.move(30, 45);
    saveWindowPlacement(store, &window, settings::mainPlacement);
    EXPECT_EQ(store.readSetting("Top", "", "Main"), "675");
    EXPECT_EQ(store.readSetting("Left", "", "Main"), "450");
    EXPECT_EQ(store.readSetting("Height", "", "Main"), "4500");
    EXPECT_EQ(store.readSetting("Width", "", "Main"), "6750");
}

TEST_F(Store, TableDefaults)
{
    Registry registry(path());
    Settings store(registry, "/opt/vendrel");
    EXPECT_EQ(store.text(settings::Theme), "2");
    EXPECT_EQ(store.text(settings::Files), "500,2000,2000,1200,700");
    EXPECT_EQ(store.read(settings::LastPattern), "*.dwg");
    EXPECT_EQ(store.read(settings::RdsDir), "/opt/vendrel");
    EXPECT_EQ(store.read(settings::LastPath), QDir::toNativeSeparators(QDir::currentPath()).toStdString());
    EXPECT_EQ(store.text(settings::Height, "9000"), "9000");
    store.writeSetting("LastPattern", "");
    EXPECT_EQ(store.read(settings::LastPattern), "*.dwg") << "an empty text cannot be stored";
}

// --- registry scripts

TEST(RegFile, Regedit4WithEverythingAWindowsExportHolds)
{
    const std::string text = "REGEDIT4\r\n\r\n"
                             "; delivered with the program\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n"
                             "\"RdsDir\"=\"C:\\\\Jobb\\\\Mallar \\\"nya\\\"\"\r\n"
                             "\"Theme\"=\"4\"\r\n"
                             "\"Count\"=dword:0000001f\r\n"
                             "\"Blob\"=hex:01,02,\\\r\n"
                             "  03,ff\r\n"
                             "\"Gone\"=-\r\n"
                             "this line is nonsense\r\n"
                             "\"Pattern\"=\"*.dwg\" trailing junk\r\n"
                             "@=\"default value\"\r\n"
                             "\"Mall\xe5r\"=\"\xe5\xe4\xf6\"\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Layout]\r\n"
                             "\"Orphan\"=\"no key is open\"\r\n";
    const RegFile file = parseRegFile(text);
    ASSERT_TRUE(file.valid);
    EXPECT_EQ(file.skippedLines, 3);
    ASSERT_EQ(file.changes.size(), 8u);
    EXPECT_EQ(file.changes[0].name, "RdsDir");
    EXPECT_EQ(file.changes[0].data, "C:\\Jobb\\Mallar \"nya\"");
    EXPECT_EQ(file.changes[2].type, 4u);
    EXPECT_EQ(file.changes[3].data, std::string("\x01\x02\x03\xff", 4));
    EXPECT_EQ(file.changes[4].kind, RegFileChange::Kind::DeleteValue);
    EXPECT_EQ(file.changes[5].name, "");
    EXPECT_EQ(file.changes[6].name, "Mallår") << "single-byte code page becomes UTF-8";
    EXPECT_EQ(file.changes[6].data, "åäö");
    EXPECT_EQ(file.changes[7].kind, RegFileChange::Kind::DeleteKey);
}

TEST(RegFile, Version5InUtf16WithAndWithoutBom)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Main]\r\n"
                                u"\"LastPath\"=\"D:\\\\Ritningar\\\\Kvarter Ö\"\r\n"
                                u"\"Name\"=hex(1):41,00,e5,00,00,00\r\n";
    std::string bytes;
    for (char16_t c : text) {
        bytes += char(c & 0xff);
        bytes += char(c >> 8);
    }
    for (const std::string& input : {"\xff\xfe" + bytes, bytes}) {
        const RegFile file = parseRegFile(input);
        ASSERT_TRUE(file.valid);
        ASSERT_EQ(file.changes.size(), 2u);
        EXPECT_EQ(file.changes[0].key, "HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Main");
        EXPECT_EQ(file.changes[0].data, "D:\\Ritningar\\Kvarter Ö");
        EXPECT_EQ(file.changes[1].type, 1u);
        EXPECT_EQ(file.changes[1].data, "Aå");
    }
}

// Expandable texts and multi-strings given as bytes: UTF-16LE in a version 5 file, whatever the file's own
// encoding (an export saved again by an editor), the code page's bytes in a REGEDIT4 file.
TEST_F(Store, TextsGivenAsBytesFollowTheHeaderAndKeepTheirTypesInTheStore)
{
    const std::string key5 = "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n";
    const std::string version5 = "Windows Registry Editor Version 5.00\r\n" + key5 +
                                 "\"Expand\"=hex(2):25,00,50,00,e5,00,25,00,00,00\r\n"
                                 "\"Multi\"=hex(7):41,00,00,00,e5,00,00,00,00,00\r\n";
    const std::string regedit4 =
        "REGEDIT4\r\n" + key5 + "\"Expand\"=hex(2):25,50,e5,25\r\n\"Multi\"=hex(7):41,00,e5,00,00\r\n";
    const std::string multi("A\0\xc3\xa5\0\0", 6);
    for (const std::string& text : {version5, regedit4}) {
        const RegFile file = parseRegFile(text);
        ASSERT_EQ(file.changes.size(), 2u) << text;
        EXPECT_EQ(file.changes[0].type, 2u);
        EXPECT_EQ(file.changes[0].data, "%P\xc3\xa5%") << text;
        EXPECT_EQ(file.changes[1].type, 7u);
        EXPECT_EQ(file.changes[1].data, multi) << text;
    }

    Registry registry(path());
    EXPECT_EQ(applyRegFile(parseRegFile(version5), registry), 2);
    Registry again(path());
    EXPECT_EQ(again.readBinary(Hive::CurrentUser, key, "Expand"), std::string("%P\xc3\xa5%\0", 6));
    EXPECT_EQ(again.readBinary(Hive::CurrentUser, key, "Multi"), multi);
    // The settings are plain texts: neither type reads as one.
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "Expand", "none"), "none");
}

// The mark promises UTF-8: bytes that are not (a stray byte, a cut sequence, an overlong form, a surrogate) come
// out as U+FFFD, never as text that is no UTF-8. Without the mark such a file is read in the single-byte code page.
TEST(RegFile, Utf8WithBomGivesOnlyUtf8)
{
    const std::string body = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\n"
                             "  \"A\"=\"\xc3\xa5\xff|\xc3|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80\"\n"
                             "\"B\"=hex:01,\\\n   02,\\\n\t03\n";
    const std::string r = "\xef\xbf\xbd";
    const RegFile marked = parseRegFile("\xef\xbb\xbf" + body);
    ASSERT_EQ(marked.changes.size(), 2u);
    EXPECT_EQ(marked.changes[0].data, "\xc3\xa5" + r + "|" + r + "|" + r + r + "|" + r + r + r + "|" + r + r + r + r);
    EXPECT_EQ(marked.changes[1].data, "\x01\x02\x03");
    const RegFile unmarked = parseRegFile("REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"A\"=\"\xc0\xaf\"\n");
    ASSERT_EQ(unmarked.changes.size(), 1u);
    EXPECT_EQ(unmarked.changes[0].data, "\xc3\x80\xc2\xaf");
}

TEST(RegFile, FilesWithoutAHeaderApplyNothing)
{
    for (const std::string& bad : {std::string(), std::string("\0\0\0\xff\xfe", 5), std::string("[HKEY_CURRENT_USER]"),
                                   std::string("REGEDIT5\n\"a\"=\"b\""), std::string("\xff\xfe")}) {
        EXPECT_FALSE(parseRegFile(bad).valid);
    }
    const RegFile truncated = parseRegFile("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\n\"A\"=\"unterminated");
    EXPECT_TRUE(truncated.valid);
    EXPECT_TRUE(truncated.changes.empty());
}

// The changes of a REGEDIT4 file with the given lines under the product key, as "name=text" for texts,
// "name=#hex" for other data, "-name" for deletions, joined by '|'.
std::string changesOf(const std::string& lines)
{
    const RegFile file = parseRegFile("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n" + lines);
    std::string out;
    for (const RegFileChange& change : file.changes) {
        out += out.empty() ? "" : "|";
        if (change.kind == RegFileChange::Kind::DeleteValue) {
            out += "-" + change.name;
            continue;
        }
        out += change.name + "=";
        if (change.type == 1 || change.type == 2) {
            out += change.data;
            continue;
        }
        out += "#";
        for (unsigned char c : change.data)
            out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    }
    return out;
}

// What Windows' registry editor does with the lines it is given; tst_regfile_wine checks many more against a real
// one where Wine is installed.
TEST(RegFile, ReadsLinesAsTheRegistryEditorDoes)
{
    const struct
    {
        const char* lines;
        const char* changes;
    } cases[] = {
        // A backslash continues hex data only, and only where an item may begin.
        {"; C:\\Ritningar\\\r\n\"A\"=\"1\"\r\n", "A=1"},
        {"\"H\"=hex:01,65,\\\r\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Sub]\r\n\"A\"=\"1\"\r\n", "A=1"},
        {"\"H\"=hex:01,65\\\r\n,66\r\n\"N\\\r\nM\"=\"1\"\r\n\"D\"=dword:0000\\\r\n0001\r\n\\\r\n\"A\"=\"1\"\r\n",
         "A=1"},
        {"\"H\"=hex:01,6\\\r\n5\r\n\"L\"=hex:01,\\\r\n\\\r\n02\r\n\"C\"=hex:\\\r\n01\r\n", "C=#01"},
        // Blank lines and comment lines inside hex data are passed over; so is a comment after the backslash.
        {"\"H\"=hex:01,\\\r\n\r\n  ; note\r\n  02,\\ ; row\r\n  03 ; end\r\n\"A\"=\"1\"\r\n", "H=#010203|A=1"},
        // A comment may follow any value; blanks may follow "dword:".
        {"\"P\"=\"*.dxf\" ;note\r\n\"D\"=dword: 00000001 ;note\r\n\"X\"=- ;note\r\n\"J\"=\"x\" junk\r\n",
         "P=*.dxf|D=#01000000|-X"},
        // Unknown escapes stand for their character; "\0" in a name refuses the line, in a text ends the import.
        {"\"Q\"=\"a\\qb\"\r\n\"N\\0\"=\"1\"\r\n\"Z\"=\"a\\0b\"\r\n\"A\"=\"1\"\r\n", "Q=aqb"},
        // Empty hex items are refused; a trailing comma is not.
        {"\"E\"=hex:01,,02\r\n\"F\"=hex:,01\r\n\"T\"=hex:01,\r\n\"U\"=HEX:01\r\n", "T=#01"},
        // Texts given as bytes in a code-page file are in its code page.
        {"\"X\"=hex(2):41,e5\r\n\"S\"=hex(1):41,e5\r\n", "X=A\xc3\xa5|S=A\xc3\xa5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(changesOf(c.lines), c.changes) << c.lines;

    // A CR alone ends a line too; the header is the first line, blanks before it allowed and nothing after it.
    EXPECT_EQ(parseRegFile("REGEDIT4\r[HKEY_CURRENT_USER\\Software]\r\"A\"=\"1\"\r").changes.size(), 1u);
    EXPECT_TRUE(parseRegFile("  REGEDIT4\n").valid);
    EXPECT_FALSE(parseRegFile("\nREGEDIT4\n").valid);
    EXPECT_FALSE(parseRegFile("REGEDIT4 \n").valid);
}

TEST_F(Store, ApplyingTouchesOnlyTheProductKey)
{
    Registry registry(path());
    registry.writeString(Hive::CurrentUser, key + "\\Layout", "Keep", "no");
    const RegFile file = parseRegFile("REGEDIT4\n"
                                      "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\n\"Theme\"=\"5\"\n"
                                      "[HKEY_CURRENT_USER\\Software\\Brannoc\\VendrelOld]\n\"Theme\"=\"1\"\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Brannoc\\Vendrel]\n\"Theme\"=\"1\"\n"
                                      "[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Main]\n\"WinState\"=\"2\"\n"
                                      "[-HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel\\Layout]\n");
    EXPECT_EQ(applyRegFile(file, registry), 3);
    Registry again(path());
    EXPECT_EQ(again.readString(Hive::CurrentUser, key, "Theme", ""), "5");
    EXPECT_EQ(again.readString(Hive::CurrentUser, mainKey, "WinState", ""), "2");
    EXPECT_EQ(again.readString(Hive::CurrentUser, key + "\\Layout", "Keep", "gone"), "gone");
}

TEST_F(Store, InitRegIsImportedOnlyUntilAnArrangementIsSaved)
{
    writeFile("Init.reg", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel]\r\n\"RdsDir\"=\"/srv/mallar\"\r\n");
    Registry registry(path());
    Settings store(registry, dir.path().toStdString());
    EXPECT_TRUE(importInitReg(store));
    EXPECT_EQ(store.read(settings::RdsDir), "/srv/mallar");

    store.writeSetting("RdsDir", "/home/egen");
    registry.writeDword(Hive::CurrentUser, key + "\\Layout-Summary", "Bars", 5);
    EXPECT_FALSE(importInitReg(store));
    EXPECT_EQ(store.read(settings::RdsDir), "/home/egen");
}

TEST_F(Store, AnInitRegOfGarbageChangesNothing)
{
    std::string junk(200000, '\0');
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    writeFile("Init.reg", junk);
    Registry registry(path());
    Settings store(registry, dir.path().toStdString());
    EXPECT_FALSE(importInitReg(store));
    EXPECT_EQ(store.text(settings::Theme), "2");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
