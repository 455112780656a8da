#include "supervise/qt/supervisedsettings.h"

#include "settings/settings.h"
#include "supervise/qt/settingsdialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace supervisedsettings {

bool enabled(const Settings& settings)
{
    return settings.read(settings::SupervisedRun) == "1";
}

void toggle(Settings& settings)
{
    settings.write(settings::SupervisedRun, enabled(settings) ? "0" : "1");
}

Supervisor::Limits limits(const Settings& settings)
{
    Supervisor::Limits limits;
    if (const auto batch = settings::parseNumber(settings.read(settings::SupervisedBatchSize)))
        limits.batchSize = static_cast<std::size_t>(std::clamp(std::trunc(*batch), 1.0, 1000.0));
    if (const auto seconds = settings::parseNumber(settings.read(settings::SupervisedTimeout)))
        limits.timeout = std::chrono::milliseconds(std::llround(std::clamp(*seconds, 0.1, 86400.0) * 1000));
    return limits;
}

void edit(QWidget* parent, Settings& settings)
{
    const Supervisor::Limits now = limits(settings);
    SupervisedSettingsDialog dialog(static_cast<int>(now.batchSize), now.timeout, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings.write(settings::SupervisedBatchSize, std::to_string(dialog.batchSize()));
    // Seconds with one decimal, written the same whatever the user's locale.
    const auto tenths = (dialog.timeout().count() + 50) / 100;
    settings.write(settings::SupervisedTimeout,
                   std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : std::string()));
}

} // namespace supervisedsettings
