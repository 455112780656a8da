// The desktop's default applications through GIO, from real desktop entries and mimeapps.list files in
// temporary XDG folders. GIO reads the XDG variables once and keeps what it has read, so every look-up runs
// in a child process of its own that sees the folders as the test has just left them.
#include "os/desktopapps.h"
#include "support/tempfolder.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class DesktopApps : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        // PATH holds only the test's programs; the recorders need mv.
        std::filesystem::create_directories(m_dir / "bin");
        for (const char* mv : {"/usr/bin/mv", "/bin/mv"}) {
            if (std::filesystem::exists(mv)) {
                std::filesystem::create_symlink(mv, m_dir / "bin/mv");
                break;
            }
        }
    }

    void entry(const std::string& file, const std::string& exec, const std::string& more = {})
    {
        writeFile(file, "[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + exec + "\n" + more);
    }

    // What runs in a fresh process whose XDG folders, desktop and PATH lie in the test's folder.
    std::string inChild(const std::function<std::string()>& what, const std::string& desktop = {})
    {
        int out[2];
        if (pipe(out) != 0)
            return "<no pipe>";
        const pid_t child = fork();
        if (child == 0) {
            close(out[0]);
            setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
            setenv("XDG_CONFIG_DIRS", (m_dir / "etc").c_str(), 1);
            setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
            setenv("XDG_DATA_DIRS", (m_dir / "usr/local:" + m_dir.path() + "/usr").c_str(), 1);
            setenv("XDG_CURRENT_DESKTOP", desktop.c_str(), 1);
            setenv("PATH", (m_dir / "bin").c_str(), 1);
            // No session bus: the start is the plain one on every machine.
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + m_dir.path() + "/no-bus").c_str(), 1);
            const std::string text = what();
            const bool written = write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
            _exit(written ? 0 : 1);
        }
        close(out[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "<child failed>";
    }

    std::string defaultFile(const std::string& mimeType, const std::string& desktop = {})
    {
        return inChild([&] { return desktopapps::defaultApplicationFile(mimeType); }, desktop);
    }

    TempFolder m_dir;
};

TEST_F(DesktopApps, TheMostImportantListWithAnInstalledEntryWins)
{
    writeFile(m_dir / "bin/program", "#!/bin/sh\n", true);
    entry(m_dir / "usr/applications/editor.desktop", "program %f", "MimeType=text/plain;\n");
    writeFile(m_dir / "usr/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=editor.desktop;\n");
    entry(m_dir / "usr/applications/other.desktop", "program %U");
    entry(m_dir / "usr/applications/absent.desktop", "vendrel-no-such-program %f");
    entry(m_dir / "data/applications/gone.desktop", "program", "Hidden=true\n");
    entry(m_dir / "data/applications/kde-writer.desktop", "program", "TryExec=vendrel-no-such-program\n");
    entry(m_dir / "usr/local/applications/vendor/cad.desktop", "program");

    writeFile(m_dir / "usr/applications/mimeapps.list", "[Default Applications]\ntext/plain=other.desktop\n");
    // Missing and uninstalled entries are passed over in favour of the next one listed; a hidden one in favour
    // of the next application registered for the type.
    writeFile(m_dir / "config/mimeapps.list",
              "# user choices\n[Default Applications]\ntext/plain=gone.desktop;missing.desktop;kde-writer.desktop;"
              "absent.desktop;editor.desktop;\nimage/vnd.dwg=vendor-cad.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/editor.desktop");
    EXPECT_EQ(defaultFile("image/vnd.dwg"), m_dir / "usr/local/applications/vendor/cad.desktop");
    EXPECT_EQ(defaultFile("text/html"), "");

    // A desktop's own list comes before the general one in the same folder.
    writeFile(m_dir / "config/gnome-mimeapps.list", "[Default Applications]\ntext/plain=other.desktop\n");
    EXPECT_EQ(defaultFile("text/plain", "ubuntu:GNOME"), m_dir / "usr/applications/other.desktop");
    EXPECT_EQ(defaultFile("text/plain", "KDE"), m_dir / "usr/applications/editor.desktop");

    // Without a default, an application that declares the type counts, unless the user took it away.
    std::filesystem::remove(m_dir / "usr/applications/mimeapps.list");
    std::filesystem::remove(m_dir / "config/gnome-mimeapps.list");
    writeFile(m_dir / "config/mimeapps.list", "[Removed Associations]\ntext/plain=editor.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), "");
    writeFile(m_dir / "config/mimeapps.list", "[Added Associations]\ntext/plain=other.desktop\n");
    EXPECT_EQ(defaultFile("text/plain"), m_dir / "usr/applications/other.desktop");
}

TEST_F(DesktopApps, TheFileReachesTheEditorAsItsEntrySaysWithoutAShell)
{
    // A name a shell would act on: each of its characters must reach the editor as it is.
    const std::string file = m_dir / "mallar/Ny mall; $(touch x) 'it'.scr";
    writeFile(file, "_LINE\n");
    const struct
    {
        const char* exec;
        const char* more;
        std::string arguments;
    } cases[] = {
        {"\"ed it\" --file=%f %c %%", "", "--file=" + file + "\nStand-in\n%\n"},
        {"\"ed it\"", "", file + "\n"},
        {"\"ed it\" %U", "", file + "\n"},
        // The terminal GIO falls back on when the desktop names none.
        {"\"ed it\" %f", "Terminal=true\n", "-e\ned it\n" + file + "\n"},
    };
    for (const auto& c : cases) {
        const std::string record = m_dir / "arguments";
        std::filesystem::remove(record);
        writeRecorder(m_dir / "bin/ed it", record);
        writeRecorder(m_dir / "bin/xterm", record);
        entry(m_dir / "data/applications/ed.desktop", c.exec, c.more);
        writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\ntext/plain=ed.desktop\n");
        EXPECT_EQ(inChild([&] { return desktopapps::openWithDefaultApplication("text/plain", file) ? "1" : "0"; }), "1")
            << c.exec;
        ASSERT_TRUE(waitForFile(record)) << c.exec;
        EXPECT_EQ(readFile(record), c.arguments) << c.exec;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "mallar/x"));
    EXPECT_EQ(inChild([&] { return desktopapps::openWithDefaultApplication("text/html", file) ? "1" : "0"; }), "0");
}

TEST_F(DesktopApps, TheExecutableOfTheDefaultIsFoundOnPath)
{
    writeFile(m_dir / "bin/dwgviewer", "#!/bin/sh\n", true);
    writeFile(m_dir / "opt/dwg viewer", "#!/bin/sh\n", true);
    entry(m_dir / "data/applications/viewer.desktop", "dwgviewer --open %f");
    entry(m_dir / "data/applications/absolute.desktop", "\"" + m_dir.path() + "/opt/dwg viewer\" %f");
    auto executable = [this] {
        return inChild([] { return desktopapps::defaultApplicationExecutable("image/vnd.dwg"); });
    };
    writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\nimage/vnd.dwg=viewer.desktop\n");
    EXPECT_EQ(executable(), m_dir / "bin/dwgviewer");
    writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\nimage/vnd.dwg=absolute.desktop\n");
    EXPECT_EQ(executable(), m_dir / "opt/dwg viewer");
    std::filesystem::remove(m_dir / "bin/dwgviewer");
    writeFile(m_dir / "config/mimeapps.list", "[Default Applications]\nimage/vnd.dwg=viewer.desktop\n");
    EXPECT_EQ(executable(), "");
}

} // namespace
