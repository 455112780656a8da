#include "script/runrequest.h"

#include <charconv>

namespace script {

namespace {

template <typename Number> bool toNumber(const std::string& text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The fields in the order the journal has always kept them.
constexpr std::size_t fieldCount = 10;

} // namespace

std::string_view cadKindName(std::optional<CadKind> kind)
{
    if (!kind)
        return {};
    return *kind == CadKind::Acad ? "Acad" : "Icad";
}

std::optional<CadKind> cadKindFromName(std::string_view name)
{
    if (name == "Acad")
        return CadKind::Acad;
    if (name == "Icad")
        return CadKind::Icad;
    return std::nullopt;
}

std::vector<std::string> requestFields(const RunRequest& request)
{
    return {request.templatePath,
            request.templateHash,
            std::string(cadKindName(request.cadKind)),
            request.program,
            request.parameters,
            request.startDrawing,
            request.listingFolder,
            request.projectName,
            std::to_string(request.batchSize),
            std::to_string(request.timeout.count())};
}

std::optional<RunRequest> requestFromFields(std::span<const std::string> fields)
{
    if (fields.size() != fieldCount)
        return std::nullopt;
    RunRequest request;
    request.templatePath = fields[0];
    request.templateHash = fields[1];
    request.cadKind = cadKindFromName(fields[2]);
    request.program = fields[3];
    request.parameters = fields[4];
    request.startDrawing = fields[5];
    request.listingFolder = fields[6];
    request.projectName = fields[7];
    std::int64_t timeout = 0;
    if (!toNumber(fields[8], request.batchSize) || request.batchSize == 0 || request.batchSize > maxBatchSize ||
        !toNumber(fields[9], timeout) || timeout <= 0 || timeout > maxTimeout.count())
        return std::nullopt;
    request.timeout = std::chrono::milliseconds(timeout);
    return request;
}

LoadedTemplate loadRequestTemplate(RunRequest& request)
{
    LoadedTemplate loaded = loadScriptTemplate(request.templatePath);
    if (loaded.status == TemplateStatus::Ok) {
        request.scriptTemplate = loaded.scriptTemplate;
        request.templateHash = loaded.hash;
    }
    return loaded;
}

} // namespace script
