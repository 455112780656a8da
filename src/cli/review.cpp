#include "cli/review.h"

#include "os/console.h"
#include "os/pathtext.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"

#include <string>
#include <vector>

namespace cli {

int printFindings(const script::RunRequest& input, bool marked)
{
    const std::vector<script::Finding> findings = script::checkScript(input, marked);
    // The texts show names, folder and project as text, whatever the file system's bytes.
    script::RunRequest shown = input;
    for (std::string& name : shown.drawings)
        name = pathText(name);
    shown.listingFolder = pathText(input.listingFolder);
    shown.projectName = pathText(input.projectName);
    for (script::SessionScript* session : {&shown.sessionScripts.start, &shown.sessionScripts.end})
        session->path = pathText(session->path);
    bool error = false;
    std::string text;
    for (const script::Finding& finding : findings) {
        const script::CheckLevel level = script::levelOf(finding.code);
        error = error || level == script::CheckLevel::Error;
        text.append(script::levelName(level)).append(":").append(std::to_string(finding.line)).append(":");
        text.append(script::codeName(finding.code)).append(":").append(script::findingDrawing(finding, shown));
        text.append(": ").append(script::findingText(finding, shown)).append("\n");
        if (text.size() >= 64 * 1024) {
            if (!console::write(console::Stream::Output, text))
                return reviewErrors;
            text.clear();
        }
    }
    if (!console::write(console::Stream::Output, text))
        return reviewErrors;
    return error ? reviewErrors : findings.empty() ? reviewClean : reviewWarnings;
}

} // namespace cli
