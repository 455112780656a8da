#include "script/runrequest.h"

#include "script/scriptfs.h"
#include "script/texts.h"

namespace script {

namespace {

// The fields in the order the journal has always kept them.
constexpr std::size_t fieldCount = 8;

RequestProblem::Cause templateCause(TemplateProblem::Kind kind)
{
    switch (kind) {
    case TemplateProblem::Kind::Missing:
        return RequestProblem::Cause::TemplateMissing;
    case TemplateProblem::Kind::Unreadable:
        break;
    case TemplateProblem::Kind::TooLong:
        return RequestProblem::Cause::TemplateTooLong;
    }
    return RequestProblem::Cause::TemplateUnreadable;
}

RequestProblem::Cause sessionScriptCause(SessionScriptProblem::Kind kind)
{
    switch (kind) {
    case SessionScriptProblem::Kind::Missing:
        return RequestProblem::Cause::SessionScriptMissing;
    case SessionScriptProblem::Kind::Unreadable:
        break;
    case SessionScriptProblem::Kind::TooLarge:
        return RequestProblem::Cause::SessionScriptTooLarge;
    }
    return RequestProblem::Cause::SessionScriptUnreadable;
}

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
    return {request.templatePath,  request.templateHash,   std::string(cadKindName(request.cad.kind)),
            request.cad.path,      request.cad.parameters, request.cad.startDrawing,
            request.listingFolder, request.projectName};
}

std::optional<RunRequest> requestFromFields(std::span<const std::string> fields)
{
    if (fields.size() != fieldCount)
        return std::nullopt;
    RunRequest request;
    request.templatePath = fields[0];
    request.templateHash = fields[1];
    request.cad.kind = cadKindFromName(fields[2]);
    request.cad.path = fields[3];
    request.cad.parameters = fields[4];
    request.cad.startDrawing = fields[5];
    request.listingFolder = fields[6];
    request.projectName = fields[7];
    return request;
}

Result<void, TemplateProblem> loadRequestTemplate(RunRequest& request)
{
    auto loaded = loadScriptTemplate(request.templatePath);
    if (!loaded)
        return Result<void, TemplateProblem>::failure(loaded.error());
    request.scriptTemplate = std::move(loaded->scriptTemplate);
    request.templateHash = std::move(loaded->hash);
    return {};
}

Result<void, RequestProblem> checkRequest(RunRequest& request, bool withProgram)
{
    using Cause = RequestProblem::Cause;
    const auto fail = [](Cause cause, std::string path, std::string detail = {}) {
        return Result<void, RequestProblem>::failure({cause, std::move(path), std::move(detail), std::nullopt});
    };
    if (request.templateHash.empty()) {
        if (const auto loaded = loadRequestTemplate(request); !loaded)
            return fail(templateCause(loaded.error().kind), request.templatePath, loaded.error().message);
    }
    for (SessionScript* session : {&request.sessionScripts.start, &request.sessionScripts.end}) {
        if (!session->named() || session->read)
            continue;
        if (const auto read = readSessionScript(*session); !read)
            return fail(sessionScriptCause(read.error().kind), session->path, read.error().message);
    }
    // A line break would let a name inject commands into the CAD program.
    if (auto fault = findLineBreak(request.listingFolder, request.drawings, request.projectName))
        return Result<void, RequestProblem>::failure({Cause::LineBreak, {}, {}, std::move(fault)});
    if (request.scriptTemplate.needsProjectDatabase && request.projectName.empty())
        return fail(Cause::ProjectNameMissing, request.templatePath);
    if (withProgram && !isVisibleFile(request.cad.path))
        return fail(Cause::ProgramMissing, request.cad.path);
    return {};
}

std::string requestProblemText(const RequestProblem& problem, const std::function<std::string(std::string_view)>& shown)
{
    using Cause = RequestProblem::Cause;
    const std::string path = shown ? shown(problem.path) : problem.path;
    const std::string detail = shown ? shown(problem.detail) : problem.detail;
    switch (problem.cause) {
    case Cause::TemplateMissing:
        return texts::templateNotFound(path);
    case Cause::TemplateUnreadable:
        return texts::templateUnreadable(path, detail);
    case Cause::TemplateTooLong:
        return texts::templateTooLong(path);
    case Cause::ProjectNameMissing:
        return texts::projectNameMissing(path);
    case Cause::ProgramMissing:
        return "Hittar ej programmet " + path + ".";
    case Cause::SessionScriptMissing:
        return texts::sessionScriptNotFound(path);
    case Cause::SessionScriptUnreadable:
        return texts::sessionScriptUnreadable(path, detail);
    case Cause::SessionScriptTooLarge:
        return texts::sessionScriptTooLarge(path);
    case Cause::LineBreak:
        if (problem.lineBreak) {
            LineBreakFault fault = *problem.lineBreak;
            if (shown)
                fault.value = shown(fault.value);
            return texts::lineBreak(fault);
        }
        break;
    }
    return path;
}

} // namespace script
