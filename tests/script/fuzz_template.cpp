// Feeds arbitrary bytes to the template reader and the expander and checks what must hold for any input.

#include "script/expandtemplate.h"
#include "script/scripttemplate.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkTemplate(std::string_view templateBytes, script::LineEnds lineEnds, const std::string& folder,
                   const std::string& project, const std::vector<std::string>& names)
{
    const auto read = script::readScriptTemplate(templateBytes, lineEnds);
    if (!read)
        return;
    check(read->bodyLines.size() <= script::maxBodyLines);
    for (const auto& line : read->bodyLines) {
        check(line.find('\r') == std::string::npos);
        check(lineEnds == script::LineEnds::CrLfOrCr || line.find('\n') == std::string::npos);
        check(line.empty() || line.back() != ' ');
    }
    if (read->needsProjectDatabase)
        check(templateBytes.find("\"%m\"") != std::string_view::npos);
    check(read->utf8 == templateBytes.starts_with("\xEF\xBB\xBF"));
    check(read->lines.size() == read->bodyLines.size());
    for (std::size_t i = 1; i < read->lines.size(); ++i)
        check(read->lines[i].number > read->lines[i - 1].number);

    const script::Clock clock = [] { return script::LocalDateTime{2026, 12, 6, 14, 5, 9}; };
    const script::DateTimeFormat format{[](const script::LocalDateTime&) { return std::string("%date"); },
                                        [](const script::LocalDateTime&) { return std::string("%time"); }};
    for (const char separator : {'\\', '/'}) {
        const auto expansion = script::expandTemplate(*read, folder, names, project, clock, format, separator);
        if (expansion.lineBreak) {
            check(expansion.script.bytes().empty());
            continue;
        }
        const auto lines = expansion.script.lines();
        check(lines.size() == read->bodyLines.size() * names.size() + 1);
        check(lines.back() == ".EXIT");
        for (const auto line : lines)
            check(line.find('\r') == std::string_view::npos);
    }
}

} // namespace

// Input: template bytes, a NUL, then the folder, the project name and the drawing names, each ended by a NUL.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto cut = input.find('\0');
    const std::string_view templateBytes = input.substr(0, cut);
    std::vector<std::string> fields;
    if (cut != std::string_view::npos) {
        std::string_view rest = input.substr(cut + 1);
        while (!rest.empty() && fields.size() < 64) {
            const auto end = rest.find('\0');
            fields.emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    const std::string folder = fields.size() > 0 ? fields[0] : "C:\\A";
    const std::string project = fields.size() > 1 ? fields[1] : "";
    const std::vector<std::string> names(fields.size() > 2 ? fields.begin() + 2 : fields.end(), fields.end());

    for (const auto lineEnds : {script::LineEnds::CrLfOrCr, script::LineEnds::CrLfCrOrLf})
        checkTemplate(templateBytes, lineEnds, folder, project, names);
    return 0;
}
