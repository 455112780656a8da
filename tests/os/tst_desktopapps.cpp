// The desktop's default applications, read from real mimeapps.list and .desktop files.
#include "os/desktopapps.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

class DesktopApps : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        m_folders.configHome = m_dir / "config";
        m_folders.configDirs = {m_dir / "etc"};
        m_folders.dataHome = m_dir / "data";
        m_folders.dataDirs = {m_dir / "usr/local", m_dir / "usr"};
    }
    void entry(const std::string& file, const std::string& exec, const std::string& more = {})
    {
        writeFile(file, "[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + exec + "\n" + more);
    }
    std::string defaultFile(std::string_view mimeType) const
    {
        const auto found = desktopapps::defaultApplication(mimeType, m_folders);
        return found ? found->file : std::string("<none>");
    }

    TempFolder m_dir;
    desktopapps::XdgFolders m_folders;
};

TEST_F(DesktopApps, TheMostImportantListWithAnInstalledEntryWins)
{
    entry(m_dir / "usr/applications/editor.desktop", "editor %f");
    entry(m_dir / "usr/applications/other.desktop", "other %U");
    entry(m_dir / "data/applications/gone.desktop", "gone", "Hidden=true\n");
    entry(m_dir / "data/applications/kde-writer.desktop", "nothing", "TryExec=vendrel-no-such-program\n");
    entry(m_dir / "usr/local/applications/vendor/cad.desktop", "cad");

    writeFile(m_dir / "usr/applications/mimeapps.list", "[Default Applications]\ntext/plain=other.desktop\n");
    // Hidden, not installed and uninstallable entries are passed over in favour of the next one listed.
    writeFile(m_dir / "config/mimeapps.list",
              "# user choices\n[Default Applications]\ntext/plain = gone.desktop;missing.desktop;kde-writer.desktop;"
              "editor.desktop;\nimage/vnd.dwg=vendor-cad.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/editor.desktop");
    EXPECT_EQ(defaultFile("image/vnd.dwg"), m_dir / "usr/local/applications/vendor/cad.desktop");

    // A desktop's own list comes before the general one in the same folder.
    m_folders.desktops = {"gnome"};
    writeFile(m_dir / "etc/gnome-mimeapps.list", "[Default Applications]\ntext/plain=nothing.desktop\n");
    writeFile(m_dir / "config/gnome-mimeapps.list", "[Default Applications]\ntext/plain=other.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/other.desktop");
    EXPECT_EQ(defaultFile("text/html"), "<none>");
}

TEST_F(DesktopApps, WithoutADefaultTheDeclaredApplicationsCount)
{
    entry(m_dir / "usr/applications/first.desktop", "first");
    entry(m_dir / "usr/applications/second.desktop", "second");
    writeFile(m_dir / "usr/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=first.desktop;second.desktop;\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/first.desktop");
    writeFile(m_dir / "config/mimeapps.list", "[Removed Associations]\ntext/plain=first.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/second.desktop");
    writeFile(m_dir / "etc/mimeapps.list", "[Added Associations]\ntext/plain=first.desktop;second.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/second.desktop");
}

TEST_F(DesktopApps, ExecLinesBecomeArgumentsForOneFile)
{
    const std::string file = "/tmp/mallar/Ny mall.scr";
    const struct
    {
        const char* exec;
        Words arguments;
    } cases[] = {
        {"gedit %U", {"gedit", file}},
        {"kate -b %f", {"kate", "-b", file}},
        {"mousepad", {"mousepad", file}},
        {R"("/opt/my editor/bin/ed" --file=%f %i %c %k %d 100%%)",
         {"/opt/my editor/bin/ed", "--file=" + file, "--icon", "ed-icon", "Stand-in", "/x.desktop", "100%"}},
        {R"(sh -c "exec ed \"\$1\"" x %F)", {"sh", "-c", R"(exec ed "$1")", "x", file}},
        {R"("ed\sit" %f)", {"ed it", file}},
    };
    for (const auto& c : cases) {
        const desktopapps::DesktopEntry entry{"/x.desktop", "Stand-in", "ed-icon", c.exec};
        const auto arguments = desktopapps::openFileArguments(entry, file);
        ASSERT_TRUE(arguments) << c.exec;
        EXPECT_EQ(*arguments, c.arguments) << c.exec;
    }
    EXPECT_FALSE(desktopapps::openFileArguments({"/x.desktop", "", "", R"(ed "%f)"}, file));
    EXPECT_FALSE(desktopapps::openFileArguments({"/x.desktop", "", "", "%d %n"}, file));
}

TEST_F(DesktopApps, TheExecutableOfTheDefaultIsFoundOnPath)
{
    writeFile(m_dir / "bin/dwgviewer", "#!/bin/sh\n", true);
    entry(m_dir / "data/applications/viewer.desktop", "dwgviewer --open %f");
    entry(m_dir / "data/applications/absolute.desktop", "\"" + m_dir.path() + "/bin/dwg viewer\" %f");
    writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\nimage/vnd.dwg=viewer.desktop\n");

    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (m_dir.path() + "/bin").c_str(), 1);
    EXPECT_EQ(desktopapps::defaultApplicationExecutable("image/vnd.dwg", m_folders), m_dir / "bin/dwgviewer");
    setenv("PATH", "/nowhere", 1);
    EXPECT_EQ(desktopapps::defaultApplicationExecutable("image/vnd.dwg", m_folders), "");
    setenv("PATH", oldPath.c_str(), 1);

    writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\nimage/vnd.dwg=absolute.desktop\n");
    EXPECT_EQ(desktopapps::defaultApplicationExecutable("image/vnd.dwg", m_folders), m_dir / "bin/dwg viewer");
}

TEST(XdgFolders, EnvironmentAndDefaults)
{
    setenv("HOME", "/home/u", 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CONFIG_DIRS");
    setenv("XDG_DATA_HOME", "/d", 1);
    setenv("XDG_DATA_DIRS", "/a::/b", 1);
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    const auto folders = desktopapps::xdgFoldersFromEnvironment();
    EXPECT_EQ(folders.configHome, "/home/u/.config");
    EXPECT_EQ(folders.configDirs, Words{"/etc/xdg"});
    EXPECT_EQ(folders.dataHome, "/d");
    EXPECT_EQ(folders.dataDirs, (Words{"/a", "/b"}));
    EXPECT_EQ(desktopapps::mimeappsLists(folders),
              (Words{"/home/u/.config/ubuntu-mimeapps.list", "/home/u/.config/gnome-mimeapps.list",
                     "/home/u/.config/mimeapps.list", "/etc/xdg/ubuntu-mimeapps.list",
                     "/etc/xdg/gnome-mimeapps.list", "/etc/xdg/mimeapps.list",
                     "/d/applications/ubuntu-mimeapps.list", "/d/applications/gnome-mimeapps.list",
                     "/d/applications/mimeapps.list", "/a/applications/ubuntu-mimeapps.list",
                     "/a/applications/gnome-mimeapps.list", "/a/applications/mimeapps.list",
                     "/b/applications/ubuntu-mimeapps.list", "/b/applications/gnome-mimeapps.list",
                     "/b/applications/mimeapps.list"}));
}

} // namespace
