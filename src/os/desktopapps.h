#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The desktop's default applications, as the freedesktop.org MIME application lists (mimeapps.list) and
// desktop entries (*.desktop) register them. Plain file reading: no desktop service needs to run.
namespace desktopapps {

// The folders the look-up reads, from XDG_CONFIG_HOME, XDG_CONFIG_DIRS, XDG_DATA_HOME, XDG_DATA_DIRS and
// XDG_CURRENT_DESKTOP with their documented defaults.
struct XdgFolders
{
    std::string configHome;
    std::vector<std::string> configDirs;
    std::string dataHome;
    std::vector<std::string> dataDirs;
    std::vector<std::string> desktops; // lower case, most specific first
};

XdgFolders xdgFoldersFromEnvironment();

// The mimeapps.list files to consult, the most important first (desktop-specific lists before the
// general one in each folder); missing files included.
std::vector<std::string> mimeappsLists(const XdgFolders& folders);

struct DesktopEntry
{
    std::string file; // the .desktop file
    std::string name;
    std::string icon;
    std::string exec;
};

// The [Desktop Entry] group of a desktop file; nothing when the file cannot be read, has no Exec, is Hidden,
// or names a TryExec program that is not there.
std::optional<DesktopEntry> readDesktopEntry(const std::string& file);

// The application registered for mimeType: the first installed entry of a [Default Applications] list,
// else of the [Added Associations] lists and the mimeinfo.cache files, leaving out [Removed Associations].
std::optional<DesktopEntry> defaultApplication(std::string_view mimeType, const XdgFolders& folders);

// The words of an Exec value after the desktop entry format's escapes and quotes are undone (field codes
// left in place). Nothing when a quote is left open.
std::optional<std::vector<std::string>> execWords(std::string_view exec);

// The arguments that open file with the entry: %f, %F, %u and %U stand for the file as one argument (the
// file is appended when the Exec line has none of them), %i, %c and %k for the icon, name and entry file,
// %% for a percent sign; the deprecated codes are dropped.
std::optional<std::vector<std::string>> openFileArguments(const DesktopEntry& entry, const std::string& file);

// The executable of the default application for mimeType: the first word of its Exec line, looked up on
// PATH when it holds no '/'. Empty when there is none.
std::string defaultApplicationExecutable(std::string_view mimeType, const XdgFolders& folders);

} // namespace desktopapps
