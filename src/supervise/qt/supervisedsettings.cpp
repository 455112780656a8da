#include "supervise/qt/supervisedsettings.h"

#include "settings/settings.h"
#include "supervise/qt/settingsdialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace supervisedsettings {

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
    return limits;
}

void edit(QWidget* parent, Settings& settings)
{
    const Supervisor::Limits now = limits(settings);
    SupervisedSettingsDialog dialog(static_cast<int>(now.batchSize), now.timeout, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings.setNumber(settings::SupervisedBatchSize, dialog.batchSize());
    // Seconds to the tenth, rounded here on whole milliseconds rather than on a binary fraction.
    const auto tenths = (dialog.timeout().count() + 50) / 100;
    settings.setNumber(settings::SupervisedTimeout, double(tenths) / 10);
}

} // namespace supervisedsettings
