#include "os/desktopapps.h"

#include "os/process.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace desktopapps {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::vector<std::string> splitList(std::string_view text, char separator)
{
    std::vector<std::string> items;
    while (!text.empty()) {
        const auto at = text.find(separator);
        const std::string_view item = text.substr(0, at);
        if (!item.empty())
            items.emplace_back(item);
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at + 1);
    }
    return items;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// group -> key -> value, for the groups asked for; keys with a locale suffix are kept under their full name.
using KeyFile = std::map<std::string, std::map<std::string, std::string>, std::less<>>;

std::optional<KeyFile> readKeyFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    KeyFile groups;
    std::string group;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#')
            continue;
        if (text.front() == '[') {
            const auto close = text.find(']');
            group = std::string(text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1));
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || group.empty())
            continue;
        // The first occurrence of a key counts.
        groups[group].emplace(std::string(trimmed(text.substr(0, equals))), std::string(trimmed(text.substr(equals + 1))));
    }
    return groups;
}

std::vector<std::string> applicationFolders(const XdgFolders& folders)
{
    std::vector<std::string> result;
    if (!folders.dataHome.empty())
        result.push_back(folders.dataHome + "/applications");
    for (const std::string& dir : folders.dataDirs)
        result.push_back(dir + "/applications");
    return result;
}

// A desktop file id names applications/<id>, where a '-' in the id may also stand for a subfolder.
std::optional<DesktopEntry> findDesktopEntry(const std::string& id, const XdgFolders& folders)
{
    if (id.empty() || id.find('/') != std::string::npos)
        return std::nullopt;
    for (const std::string& folder : applicationFolders(folders)) {
        if (auto entry = readDesktopEntry(folder + '/' + id))
            return entry;
        std::string nested = id;
        for (std::size_t dash = nested.find('-'); dash != std::string::npos; dash = nested.find('-', dash + 1)) {
            nested[dash] = '/';
            if (auto entry = readDesktopEntry(folder + '/' + nested))
                return entry;
        }
    }
    return std::nullopt;
}

std::vector<std::string> listedIds(const KeyFile& file, std::string_view group, std::string_view mimeType)
{
    const auto g = file.find(group);
    if (g == file.end())
        return {};
    const auto value = g->second.find(std::string(mimeType));
    if (value == g->second.end())
        return {};
    std::vector<std::string> ids;
    for (const std::string& id : splitList(value->second, ';')) {
        const std::string_view clean = trimmed(id);
        if (!clean.empty())
            ids.emplace_back(clean);
    }
    return ids;
}

} // namespace

XdgFolders xdgFoldersFromEnvironment()
{
    XdgFolders folders;
    const std::string home = environment("HOME");
    folders.configHome = environment("XDG_CONFIG_HOME");
    if (folders.configHome.empty() && !home.empty())
        folders.configHome = home + "/.config";
    folders.configDirs = splitList(environment("XDG_CONFIG_DIRS"), ':');
    if (folders.configDirs.empty())
        folders.configDirs = {"/etc/xdg"};
    folders.dataHome = environment("XDG_DATA_HOME");
    if (folders.dataHome.empty() && !home.empty())
        folders.dataHome = home + "/.local/share";
    folders.dataDirs = splitList(environment("XDG_DATA_DIRS"), ':');
    if (folders.dataDirs.empty())
        folders.dataDirs = {"/usr/local/share", "/usr/share"};
    for (std::string desktop : splitList(environment("XDG_CURRENT_DESKTOP"), ':')) {
        std::transform(desktop.begin(), desktop.end(), desktop.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        folders.desktops.push_back(std::move(desktop));
    }
    return folders;
}

std::vector<std::string> mimeappsLists(const XdgFolders& folders)
{
    std::vector<std::string> lists;
    auto addFolder = [&](const std::string& folder) {
        if (folder.empty())
            return;
        for (const std::string& desktop : folders.desktops)
            lists.push_back(folder + '/' + desktop + "-mimeapps.list");
        lists.push_back(folder + "/mimeapps.list");
    };
    addFolder(folders.configHome);
    for (const std::string& dir : folders.configDirs)
        addFolder(dir);
    for (const std::string& dir : applicationFolders(folders))
        addFolder(dir);
    return lists;
}

std::optional<DesktopEntry> readDesktopEntry(const std::string& file)
{
    const auto keyFile = readKeyFile(file);
    if (!keyFile)
        return std::nullopt;
    const auto group = keyFile->find("Desktop Entry");
    if (group == keyFile->end())
        return std::nullopt;
    const auto& keys = group->second;
    auto value = [&keys](const char* key) {
        const auto found = keys.find(key);
        return found == keys.end() ? std::string() : found->second;
    };
    if (value("Hidden") == "true" || value("Exec").empty())
        return std::nullopt;
    if (const std::string tryExec = value("TryExec"); !tryExec.empty() && process::findExecutable(tryExec).empty())
        return std::nullopt;
    return DesktopEntry{file, value("Name"), value("Icon"), value("Exec")};
}

std::optional<DesktopEntry> defaultApplication(std::string_view mimeType, const XdgFolders& folders)
{
    std::vector<KeyFile> lists;
    for (const std::string& path : mimeappsLists(folders)) {
        if (auto list = readKeyFile(path))
            lists.push_back(std::move(*list));
    }
    for (const KeyFile& list : lists) {
        for (const std::string& id : listedIds(list, "Default Applications", mimeType)) {
            if (auto entry = findDesktopEntry(id, folders))
                return entry;
        }
    }
    // No usable default: the applications that declare the type, minus those the user took away.
    std::set<std::string> removed;
    for (const KeyFile& list : lists) {
        for (const std::string& id : listedIds(list, "Removed Associations", mimeType))
            removed.insert(id);
        for (const std::string& id : listedIds(list, "Added Associations", mimeType)) {
            if (removed.count(id) == 0) {
                if (auto entry = findDesktopEntry(id, folders))
                    return entry;
            }
        }
    }
    for (const std::string& folder : applicationFolders(folders)) {
        const auto cache = readKeyFile(folder + "/mimeinfo.cache");
        if (!cache)
            continue;
        for (const std::string& id : listedIds(*cache, "MIME Cache", mimeType)) {
            if (removed.count(id) == 0) {
                if (auto entry = findDesktopEntry(id, folders))
                    return entry;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> execWords(std::string_view exec)
{
    // The value's own escapes come first; the quoting of the Exec key is undone on the result.
    std::string value;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '\\' || i + 1 == exec.size()) {
            value.push_back(exec[i]);
            continue;
        }
        switch (exec[++i]) {
        case 's': value.push_back(' '); break;
        case 'n': value.push_back('\n'); break;
        case 't': value.push_back('\t'); break;
        case 'r': value.push_back('\r'); break;
        case '\\': value.push_back('\\'); break;
        default:
            value.push_back('\\');
            value.push_back(exec[i]);
        }
    }
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= value.size())
                    return std::nullopt;
                if (value[i] == '"')
                    break;
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                word.push_back(value[i]);
            }
        } else {
            inWord = true;
            word.push_back(c);
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<std::string>> openFileArguments(const DesktopEntry& entry, const std::string& file)
{
    const auto words = execWords(entry.exec);
    if (!words || words->empty())
        return std::nullopt;
    std::vector<std::string> arguments;
    bool fileUsed = false;
    for (const std::string& word : *words) {
        if (word == "%i") {
            if (!entry.icon.empty()) {
                arguments.emplace_back("--icon");
                arguments.push_back(entry.icon);
            }
            continue;
        }
        std::string expanded;
        bool onlyCodes = true;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 == word.size()) {
                expanded.push_back(word[i]);
                onlyCodes = false;
                continue;
            }
            switch (word[++i]) {
            case 'f': case 'F': case 'u': case 'U':
                expanded.append(file);
                fileUsed = true;
                onlyCodes = false;
                break;
            case 'c': expanded.append(entry.name); onlyCodes = false; break;
            case 'k': expanded.append(entry.file); onlyCodes = false; break;
            case '%': expanded.push_back('%'); onlyCodes = false; break;
            default: break; // deprecated or unknown: dropped
            }
        }
        // A word that was nothing but dropped codes vanishes rather than becoming an empty argument.
        if (!onlyCodes)
            arguments.push_back(std::move(expanded));
    }
    if (arguments.empty())
        return std::nullopt;
    if (!fileUsed)
        arguments.push_back(file);
    return arguments;
}

std::string defaultApplicationExecutable(std::string_view mimeType, const XdgFolders& folders)
{
    const auto entry = defaultApplication(mimeType, folders);
    if (!entry)
        return {};
    const auto words = execWords(entry->exec);
    if (!words || words->empty())
        return {};
    return process::findExecutable(words->front());
}

} // namespace desktopapps
