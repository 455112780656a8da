#pragma once

#include "os/result.h"
#include "script/expandtemplate.h"

#include <cstdint>
#include <string>
#include <string_view>

// The few file-system calls the script engine needs, one implementation per platform
// (scriptfs_posix.cpp, scriptfs_win.cpp). Paths are bytes as the file system takes them.

namespace script {

// path names an existing plain file (a link to one counts) that is not hidden.
bool isVisibleFile(const std::string& path);

// Success, or why the file could not be written.
using WriteResult = Result<void>;

// A file written beside path that takes path's place on commit: whatever stood at path (a link included) is
// replaced, never written through, and a reader that holds the old file open keeps it whole. Until the
// commit path is left as it was; dropped without a commit, the file removes itself. The file beside path is
// only made by the first write.
class ReplacingFile final : public ScriptOutput
{
public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool write(std::string_view bytes) override;
    // Puts what was written in place of path. After a failed write the commit fails with that write's error.
    WriteResult commit();

private:
    bool open();
    void discard();

    std::string m_path;
    std::string m_temporary;
    std::intptr_t m_handle = -1;
    std::string m_error;
};

// Replaces the file at path with exactly bytes, as ReplacingFile does.
WriteResult replaceFile(const std::string& path, std::string_view bytes);

// Standard input and output carry bytes unchanged (no CR LF translation).
void setBinaryStdio();

} // namespace script
