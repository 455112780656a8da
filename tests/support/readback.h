#pragma once

#include "supervise/journal.h"

#include <string>
#include <utility>

// The journal at path read into content, or false with the reason in error: the shape the tests assert on.
inline bool readBack(const std::string& path, supervise::JournalContent& content, std::string& error)
{
    auto read = supervise::readJournal(path);
    if (!read) {
        error = read.error();
        return false;
    }
    content = std::move(*read);
    return true;
}
