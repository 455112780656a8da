#include "supervise/qt/supervisedsettings.h"

#include "settings/settings.h"
#include "supervise/qt/settingsdialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace supervisedsettings {

namespace {

using supervise::CommandForm;

// The words the settings keep for the command forms.
constexpr std::pair<std::string_view, CommandForm> formWords[] = {{"standard", CommandForm::Standard},
                                                                  {"konsol", CommandForm::Console}};

std::optional<CommandForm> parseForm(std::string_view text)
{
    for (const auto& [word, form] : formWords) {
        if (text == word)
            return form;
    }
    return std::nullopt;
}

std::string_view formWord(std::optional<CommandForm> form)
{
    for (const auto& [word, known] : formWords) {
        if (form == known)
            return word;
    }
    return {};
}

} // namespace

bool enabled(const Settings& settings)
{
    return settings.flag(settings::SupervisedRun);
}

void toggle(Settings& settings)
{
    settings.setFlag(settings::SupervisedRun, !enabled(settings));
}

supervise::RunPolicy policy(const Settings& settings)
{
    supervise::RunPolicy policy;
    if (const auto batch = settings.number(settings::SupervisedBatchSize, double(policy.batchSize)))
        policy.batchSize = static_cast<std::size_t>(std::clamp(std::trunc(*batch), 1.0, 1e9));
    const double defaultSeconds = double(policy.timeout.count()) / 1000;
    if (const auto seconds = settings.number(settings::SupervisedTimeout, defaultSeconds))
        policy.timeout = std::chrono::milliseconds(std::llround(std::clamp(*seconds, 0.0, 1e9) * 1000));
    if (const auto sessions = settings.number(settings::SupervisedSessions, double(policy.sessions)))
        policy.sessions = static_cast<std::size_t>(std::clamp(std::trunc(*sessions), 1.0, 1e9));
    policy.form = parseForm(settings.read(settings::SupervisedForm));
    // A path with a line break is no path anyone chose: the run goes without that script rather than break on it.
    const auto script = [&settings](const settings::TextSetting& setting) {
        auto path = supervise::parseSessionScript(settings.read(setting));
        return path ? *path : std::string();
    };
    policy.sessionStart = script(settings::SupervisedSessionStart);
    policy.sessionEnd = script(settings::SupervisedSessionEnd);
    return supervise::bounded(policy);
}

void setPolicy(Settings& settings, const supervise::RunPolicy& policy)
{
    settings.setNumber(settings::SupervisedBatchSize, double(policy.batchSize));
    // Seconds to the tenth, rounded here on whole milliseconds rather than on a binary fraction.
    const auto tenths = (policy.timeout.count() + 50) / 100;
    settings.setNumber(settings::SupervisedTimeout, double(tenths) / 10);
    settings.setNumber(settings::SupervisedSessions, double(policy.sessions));
    settings.write(settings::SupervisedForm, formWord(policy.form));
    settings.write(settings::SupervisedSessionStart, policy.sessionStart);
    settings.write(settings::SupervisedSessionEnd, policy.sessionEnd);
}

void edit(QWidget* parent, Settings& settings, std::vector<script::CadProgram> programs)
{
    SupervisedSettingsDialog dialog(policy(settings), std::move(programs), parent);
    if (dialog.exec() == QDialog::Accepted)
        apply(settings, dialog);
}

void apply(Settings& settings, const SupervisedSettingsDialog& dialog)
{
    setPolicy(settings, dialog.policy());
    for (const auto& [program, marks] : dialog.marksChoices()) {
        if (supervise::storedMarks(program) != marks)
            (void)supervise::storeMarks(program, marks);
    }
}

} // namespace supervisedsettings
