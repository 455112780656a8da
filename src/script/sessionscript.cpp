#include "script/sessionscript.h"

#include "script/scriptfs.h"
#include "script/scripttemplate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace script {

namespace {

constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

bool sameWordNoCase(std::string_view word, std::string_view upper)
{
    if (word.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

} // namespace

void nameSessionScripts(SessionScripts& scripts, const std::string& start, const std::string& end)
{
    for (auto [script, path] : {std::pair{&scripts.start, &start}, std::pair{&scripts.end, &end}}) {
        if (script->path != *path || !script->read) {
            *script = SessionScript();
            script->path = *path;
        }
    }
}

void takeSessionScriptBytes(SessionScript& script, std::string_view bytes)
{
    script.lines.clear();
    script.unencodable.clear();
    const bool utf8 = bytes.starts_with(utf8Mark);
    if (utf8)
        bytes.remove_prefix(utf8Mark.size());
    while (!bytes.empty()) {
        const auto end = bytes.find_first_of("\r\n");
        std::string_view line = bytes.substr(0, end);
        if (utf8) {
            ScriptText text = scriptTextFromUtf8(line);
            if (!text.complete)
                script.unencodable.push_back(static_cast<std::uint32_t>(script.lines.size() + 1));
            script.lines.push_back(std::move(text.bytes));
        } else {
            script.lines.emplace_back(line);
        }
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(bytes.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1);
    }
    script.read = true;
}

Result<void, SessionScriptProblem> readSessionScript(SessionScript& script)
{
    using Read = Result<void, SessionScriptProblem>;
    using Kind = SessionScriptProblem::Kind;
    if (!isVisibleFile(script.path))
        return Read::failure({Kind::Missing, {}});
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(script.path.c_str(), "rb"), &std::fclose);
    if (!file)
        return Read::failure({Kind::Unreadable, std::strerror(errno)});
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, count);
        if (bytes.size() > maxSessionScriptBytes)
            return Read::failure({Kind::TooLarge, {}});
        if (count < sizeof buffer) {
            if (std::ferror(file.get()))
                return Read::failure({Kind::Unreadable, std::strerror(errno)});
            break;
        }
    }
    takeSessionScriptBytes(script, bytes);
    return {};
}

bool endsSession(std::string_view line)
{
    // A blank is an Enter: every word of the line may begin a command. The first word is one whatever its
    // form; a later one only with the prefixes that mark a command name, since a plain word there is most
    // likely the answer to a question (a layer called EXIT).
    bool first = true;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos)
            end = line.size();
        std::string_view word = line.substr(start, end - start);
        const auto name = word.find_first_not_of("._");
        const bool prefixed = name != 0 && name != std::string_view::npos;
        if (name != std::string_view::npos && (first || prefixed)) {
            word.remove_prefix(name);
            if (sameWordNoCase(word, "EXIT") || sameWordNoCase(word, "QUIT"))
                return true;
        }
        if (!word.empty())
            first = false;
        start = end + 1;
    }
    return false;
}

} // namespace script
