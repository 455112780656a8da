#include "report/times.h"

#include <ctime>

namespace report {

script::LocalDateTime localTime(std::int64_t ms)
{
    // Floor division: a moment before the epoch still falls in its own second.
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

} // namespace report
