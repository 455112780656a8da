#include "report/times.h"

#include <algorithm>
#include <charconv>

namespace report {

namespace {

void appendNumber(std::string& text, long long value, int width)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(static_cast<std::size_t>(std::max<long long>(width - (end - digits), 0)), '0');
    text.append(digits, end);
}

void appendClock(std::string& text, const script::LocalDateTime& local)
{
    appendNumber(text, local.hour, 2);
    text.push_back(':');
    appendNumber(text, local.minute, 2);
    text.push_back(':');
    appendNumber(text, local.second, 2);
}

} // namespace

std::string dateTimeText(std::int64_t ms)
{
    const script::LocalDateTime local = localTime(ms);
    std::string text;
    appendNumber(text, local.year, 4);
    text.push_back('-');
    appendNumber(text, local.month, 2);
    text.push_back('-');
    appendNumber(text, local.day, 2);
    text.push_back(' ');
    appendClock(text, local);
    return text;
}

std::string clockText(std::int64_t ms)
{
    std::string text;
    appendClock(text, localTime(ms));
    return text;
}

std::string durationText(std::int64_t ms)
{
    const long long seconds = std::max<std::int64_t>(ms, 0) / 1000;
    std::string text;
    if (seconds >= 3600) {
        appendNumber(text, seconds / 3600, 1);
        text.push_back(':');
        appendNumber(text, seconds / 60 % 60, 2);
    } else {
        appendNumber(text, seconds / 60, 1);
    }
    text.push_back(':');
    appendNumber(text, seconds % 60, 2);
    return text;
}

std::string secondsText(std::int64_t ms)
{
    std::string text = ms < 0 ? "-" : "";
    const long long magnitude = ms < 0 ? -static_cast<long long>(ms) : ms;
    appendNumber(text, magnitude / 1000, 1);
    text.push_back(',');
    appendNumber(text, magnitude % 1000, 3);
    return text;
}

} // namespace report
