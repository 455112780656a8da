#include "script/scripttemplate.h"

#include "script/paths.h"
#include "script/scriptfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace script {

namespace {

bool startsWithNoCase(std::string_view line, std::string_view upperPrefix)
{
    if (line.size() < upperPrefix.size())
        return false;
    for (std::size_t i = 0; i < upperPrefix.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upperPrefix[i])
            return false;
    }
    return true;
}

constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

std::string_view trimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

void TemplateReader::takeLine(std::string_view line)
{
    ++m_lineNumber;
    if (line.find("\"%m\"") != std::string_view::npos)
        m_template.needsProjectDatabase = true;
    if (startsWithNoCase(line, "%C"))
        return;
    if (startsWithNoCase(line, "%END")) {
        m_stopped = true;
        return;
    }
    TemplateLine source{m_lineNumber, {}, 0, false};
    std::string_view cut;
    if (const auto semicolon = line.rfind(';'); semicolon != std::string_view::npos) {
        cut = line.substr(semicolon);
        line = line.substr(0, semicolon);
    }
    const auto last = line.find_last_not_of(' ');
    const std::size_t kept = last == std::string_view::npos ? 0 : last + 1;
    // Blanks before a comment set it apart; only those that end the line as written can be meant as Enters.
    if (cut.empty())
        source.blanksRemoved = static_cast<std::uint32_t>(line.size() - kept);
    line = line.substr(0, kept);
    if (m_template.bodyLines.size() == maxBodyLines) {
        m_tooLong = true;
        m_stopped = true;
        return;
    }
    if (m_template.utf8) {
        ScriptText text = scriptTextFromUtf8(line);
        source.unencodable = !text.complete;
        source.cut = cut;
        m_template.bodyLines.push_back(std::move(text.bytes));
    } else {
        source.cut = cut.empty() ? std::string() : utf8FromTemplateText(cut);
        m_template.bodyLines.emplace_back(line);
    }
    m_template.lines.push_back(std::move(source));
}

bool TemplateReader::feed(std::string_view bytes)
{
    if (m_stopped)
        return false;
    if (m_headPending) {
        // The mark may come in pieces; bytes that cannot begin it are lines like any others.
        const std::size_t taken = std::min(bytes.size(), utf8Mark.size() - m_head.size());
        m_head.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if (m_head.size() < utf8Mark.size() && utf8Mark.starts_with(m_head))
            return true;
        m_headPending = false;
        if (m_head == utf8Mark)
            m_template.utf8 = true;
        else if (!feedLines(m_head))
            return false;
        m_head.clear();
    }
    return feedLines(bytes);
}

bool TemplateReader::feedLines(std::string_view bytes)
{
    // The CR of a CR LF pair may close one chunk and its LF open the next.
    if (m_crPending && !bytes.empty()) {
        m_crPending = false;
        if (bytes.front() == '\n')
            bytes.remove_prefix(1);
    }
    const std::string_view endBytes = m_lineEnds == LineEnds::CrLfCrOrLf ? "\r\n" : "\r";
    while (!m_stopped) {
        const auto end = bytes.find_first_of(endBytes);
        if (end == std::string_view::npos) {
            m_partial.append(bytes);
            break;
        }
        if (m_partial.empty()) {
            takeLine(bytes.substr(0, end));
        } else {
            m_partial.append(bytes.substr(0, end));
            takeLine(m_partial);
            m_partial.clear();
        }
        if (bytes[end] == '\n') {
            bytes.remove_prefix(end + 1);
        } else if (end + 1 == bytes.size()) {
            m_crPending = true;
            bytes = {};
        } else {
            bytes.remove_prefix(bytes[end + 1] == '\n' ? end + 2 : end + 1);
        }
    }
    return !m_stopped;
}

std::optional<ScriptTemplate> TemplateReader::finish()
{
    if (m_headPending) {
        m_headPending = false;
        feedLines(m_head); // a file shorter than the mark, or cut inside it: no mark
    }
    if (!m_stopped && !m_partial.empty())
        takeLine(m_partial);
    m_partial.clear();
    m_stopped = true;
    if (m_tooLong)
        return std::nullopt;
    return std::move(m_template);
}

std::optional<ScriptTemplate> readScriptTemplate(std::string_view bytes, LineEnds lineEnds)
{
    TemplateReader reader(lineEnds);
    reader.feed(bytes);
    return reader.finish();
}

void TemplateHash::feed(std::string_view bytes)
{
    // FNV-1a, 64 bits: it tells an edited template from the one a run began with.
    for (const char b : bytes) {
        m_hash ^= static_cast<unsigned char>(b);
        m_hash *= 0x100000001b3ull;
    }
}

std::string TemplateHash::text() const
{
    constexpr char hexDigits[] = "0123456789abcdef";
    std::string text = "fnv1a64:";
    for (int shift = 60; shift >= 0; shift -= 4)
        text.push_back(hexDigits[(m_hash >> shift) & 0xF]);
    return text;
}

std::string templateHash(std::string_view bytes)
{
    TemplateHash hash;
    hash.feed(bytes);
    return hash.text();
}

Result<LoadedTemplate, TemplateProblem> loadScriptTemplate(const std::string& path)
{
    using Loaded = Result<LoadedTemplate, TemplateProblem>;
    using Kind = TemplateProblem::Kind;
    if (!isVisibleFile(path))
        return Loaded::failure({Kind::Missing, {}});
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return Loaded::failure({Kind::Unreadable, std::strerror(errno)});
    TemplateReader reader;
    TemplateHash hash;
    bool reading = true;
    char buffer[64 * 1024];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        const std::string_view bytes(buffer, count);
        // The rest of a file after its end line is not read as lines, but it is part of what the hash covers.
        hash.feed(bytes);
        if (reading && count > 0)
            reading = reader.feed(bytes);
        if (count < sizeof buffer) {
            if (std::ferror(file.get()))
                return Loaded::failure({Kind::Unreadable, std::strerror(errno)});
            break;
        }
    }
    auto scriptTemplate = reader.finish();
    if (!scriptTemplate)
        return Loaded::failure({Kind::TooLong, {}});
    return LoadedTemplate{std::move(*scriptTemplate), hash.text()};
}

std::string scriptTemplatePath(std::string_view templateFolder, std::string_view name, char separator)
{
    return joinPath(templateFolder, trimSpaces(name), separator);
}

std::string scriptTemplatePath(std::string_view templateFolder, std::string_view name)
{
    return scriptTemplatePath(templateFolder, name, nativeSeparator());
}

} // namespace script
