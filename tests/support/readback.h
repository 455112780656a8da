#pragma once

#include "os/result.h"
#include "supervise/journal.h"

#include <string>
#include <utility>

// The journal at path read into content, or why it could not be read: the shape the tests assert on.
inline Result<void> readBack(const std::string& path, supervise::JournalContent& content)
{
    auto read = supervise::readJournal(path);
    if (!read)
        return Result<void>::failure(read.error());
    content = std::move(*read);
    return {};
}
