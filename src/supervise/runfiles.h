#pragma once

#include "os/result.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The few file and clock services a supervised run needs, one implementation per platform
// (runfiles_posix.cpp, runfiles_win.cpp). Paths are bytes as the file system takes them.
namespace supervise {

// A journal file held by one writer: the lock lasts as long as the object, and no program the run starts
// inherits it.
class JournalFile final
{
public:
    // Why a journal file could not be made or opened.
    struct Problem
    {
        enum class Kind
        {
            Busy,   // another process holds it
            Exists, // create: something is already there
            Failed,
        } kind;
        std::string message; // what the system said
    };
    using Opening = Result<std::unique_ptr<JournalFile>, Problem>;

    // Creates a new file holding bytes, on the disk when this returns; never replaces one. Where the system
    // allows, the file appears at path only once it is whole, so no reader ever sees it half written.
    static Opening create(const std::string& path, std::string_view bytes);
    // Opens an existing file for appending.
    static Opening open(const std::string& path);
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    Result<std::string> readAll();
    // Cuts the file to size bytes (a record torn by a crash) and goes on writing at its end.
    Result<void> truncate(std::uint64_t size);
    // Appends bytes at the end; with sync they are on the disk when this returns. When they cannot all be
    // written (a full disk) or synced, the file is cut back to where it ended before, so it still ends in the
    // last whole record and nothing written later is glued to a piece of these. Should even the cut fail, the
    // next append tries it again before it writes anything.
    Result<void> append(std::string_view bytes, bool sync);

private:
    friend Result<std::string> readWholeFile(const std::string& path);
    explicit JournalFile(std::intptr_t handle) : m_handle(handle) {}
    Result<void> cutBack();
    std::intptr_t m_handle;
    std::int64_t m_cutTo = -1; // where a failed append must still be cut back to, or -1
};

// The whole file, without taking any lock; why not when it cannot be read or is no plain file (a pipe or a
// device is refused before anything waits on it).
Result<std::string> readWholeFile(const std::string& path);

// What names one file on its volume, whatever name it goes by (device and inode; volume and file index).
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Makes an empty file at path that this user alone may write, in place of whatever is there (a link is
// replaced, never followed), and gives what names it.
Result<FileIdentity> makeOwnFile(const std::string& path);

// Why a file that should be this user's own plain file is not taken.
struct FileRefusal
{
    enum class Kind
    {
        Link,       // a symbolic link (or another reparse point)
        NotPlain,   // a pipe, a device, a folder
        NotOwn,     // another user's
        Unreadable, // the system would not open or read it (detail says why)
    } kind;
    std::string detail;
};

// A piece of a file and what the file is at that moment.
struct FilePiece
{
    bool exists = false; // nothing at the path
    FileIdentity identity;
    std::uint64_t size = 0; // of the whole file
    std::string bytes;      // up to the limit asked for, from the offset asked for
};

// Reads up to limit bytes from offset of the file at path, which must be this user's own plain file, not a link.
// Never waits: a pipe or a device is refused before anything is read from it.
Result<FilePiece, FileRefusal> readOwnFile(const std::string& path, std::uint64_t offset, std::size_t limit);

// The folder for the journals (Brannoc/Vendrel/runs in the user's data folder), made when missing.
Result<std::string> runsFolder();
// Makes the folder path (its parent must be there); succeeds when it is there afterwards.
Result<void> makeFolder(const std::string& path);
// The journals in folder (files ending in ".journal"), as paths.
std::vector<std::string> journalsIn(const std::string& folder);

// What a drawing file is at one moment: whether it is there, and when it was last written.
struct FileStamp
{
    bool exists = false;
    std::int64_t modified = 0; // nanoseconds since the epoch
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
FileStamp stampOf(const std::string& path);

// Milliseconds since the epoch, for the journal's times.
std::int64_t wallClockMs();

// The folder of the running program.
std::string ownProgramFolder();

// This machine's name, as the network knows it (the file system's encoding); "?" when the system gives none.
std::string hostName();

} // namespace supervise
