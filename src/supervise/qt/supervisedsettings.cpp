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

Supervisor::Limits limits(const Settings& settings)
{
    Supervisor::Limits limits;
    if (const auto batch = settings.number(settings::SupervisedBatchSize))
        limits.batchSize = static_cast<std::size_t>(std::clamp(std::trunc(*batch), 1.0, 1000.0));
    if (const auto seconds = settings.number(settings::SupervisedTimeout))
        limits.timeout = std::chrono::milliseconds(std::llround(std::clamp(*seconds, 0.1, 86400.0) * 1000));
    if (const auto sessions = settings.number(settings::SupervisedSessions))
        limits.sessions =
            static_cast<std::size_t>(std::clamp(std::trunc(*sessions), 1.0, double(supervise::RunEngine::maxSessions)));
    limits.form = parseForm(settings.read(settings::SupervisedForm));
    return limits;
}

void edit(QWidget* parent, Settings& settings, std::vector<supervise::ProbeRequest> programs)
{
    const Supervisor::Limits now = limits(settings);
    SupervisedSettingsDialog dialog(
        {static_cast<int>(now.batchSize), now.timeout, static_cast<int>(now.sessions), now.form}, std::move(programs),
        parent);
    if (dialog.exec() == QDialog::Accepted)
        apply(settings, dialog);
}

void apply(Settings& settings, const SupervisedSettingsDialog& dialog)
{
    const SupervisedSettingsDialog::Values values = dialog.values();
    settings.setNumber(settings::SupervisedBatchSize, values.batchSize);
    // Seconds to the tenth, rounded here on whole milliseconds rather than on a binary fraction.
    const auto tenths = (values.timeout.count() + 50) / 100;
    settings.setNumber(settings::SupervisedTimeout, double(tenths) / 10);
    settings.setNumber(settings::SupervisedSessions, values.sessions);
    settings.write(settings::SupervisedForm, formWord(values.form));
    for (const auto& [program, marks] : dialog.marksChoices()) {
        if (supervise::storedMarks(program) != marks)
            (void)supervise::storeMarks(program, marks);
    }
}

} // namespace supervisedsettings
