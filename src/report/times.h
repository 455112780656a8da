#pragma once

#include "script/expandtemplate.h"

#include <cstdint>
#include <string>

// Times of the report as a Swedish reader writes them, in the computer's local time.
namespace report {

// The local date and time of a wall clock in milliseconds since the epoch (localtime_posix.cpp / _win.cpp).
script::LocalDateTime localTime(std::int64_t ms);

std::string dateTimeText(std::int64_t ms); // "2026-12-08 02:14:05"
std::string clockText(std::int64_t ms);    // "02:14:05"
// A span of time: "0:42", "12:05", "1:02:09".
std::string durationText(std::int64_t ms);
// Seconds with three decimals after a decimal comma ("15,204"), as a Swedish spreadsheet reads a number.
std::string secondsText(std::int64_t ms);

} // namespace report
