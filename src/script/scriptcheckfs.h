#pragma once

#include "script/expandtemplate.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The file-system questions the script check asks about the drawings of one folder, one implementation per
// platform (scriptcheck_posix.cpp, scriptcheck_win.cpp). Paths and names are bytes as the file system takes
// them.

namespace script {

// What the file system says about one marked drawing at the moment it is asked.
struct DrawingState
{
    enum class Presence
    {
        File,
        Missing,     // no such name (also when it vanished while the folder was being checked)
        NotAFile,    // a folder or a device under that name
        Unreachable, // the folder cannot be searched, or another error: reason says which
    };
    Presence presence = Presence::Missing;
    // Cannot be written: file attribute, permissions, a read-only file system.
    bool readOnly = false;
    // Another program holds it open and denies others the right to write (a Windows share mode).
    bool inUse = false;
    std::string reason;
};

// A lock file of the CAD program beside a drawing: its name, its first bytes and when it was last written.
struct LockFile
{
    std::string name;
    std::string head; // at most lockFileHeadSize bytes; empty when it could not be read
    std::optional<LocalDateTime> written;
};

// Lock files are a few hundred bytes; a larger one is read no further than this.
inline constexpr std::size_t lockFileHeadSize = 4096;

// The drawings of one folder. The folder is listed once, when this is made, however many drawings are asked
// about, so a check of 100 000 drawings costs about one system call per drawing. Once made, it may be asked
// from several threads at once.
class DrawingFolder
{
public:
    explicit DrawingFolder(std::string folder);
    ~DrawingFolder();
    DrawingFolder(const DrawingFolder&) = delete;
    DrawingFolder& operator=(const DrawingFolder&) = delete;

    DrawingState drawing(const std::string& name) const;
    // The lock file stem + ".dwl", else stem + ".dwl2", when one lies in the folder as a plain file.
    std::optional<LockFile> lockFile(std::string_view stem) const;
    // False when the script's encoding cannot hold the name as the file system has it: on Windows a
    // character outside the ANSI code page, which the narrow file calls hand over as '?' or as a look-alike.
    // Always true elsewhere: names are written byte for byte.
    bool nameEncodable(std::string_view name) const;
    bool folderEncodable() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace script
