#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Characters a file name can never hold on this platform: a pattern holding one can match no file.
#ifdef _WIN32
inline constexpr std::string_view charactersNotInFileNames{"<>:\"/\\|", 7};
#else
inline constexpr std::string_view charactersNotInFileNames{"/\0", 2};
#endif

struct ListedFile
{
    std::string name;       // the bytes the file system gave
    std::int64_t size = 0;  // bytes
    std::int64_t mtime = 0; // last write, seconds since 1970-01-01 UTC
};

// One reading of a folder: the names of the files lying directly in it and what has been read about them so
// far, so that another filter over the same names needs no second reading of the folder. Left out: folders,
// hidden files (a name beginning with "." and, on Windows, the hidden and system attributes), anything that
// is not a regular file (a link counts as what it points to) and a file that vanishes before its size and
// time are read. A drive such as "c:" means its root folder.
class FolderListing
{
public:
    // Nothing when the folder cannot be opened.
    static std::optional<FolderListing> read(const std::string& folder);

    const std::string& folder() const { return m_folder; }
    // The folder is still the one read (not replaced by another of its name) and its own last-change time is
    // the one it had when read: no entry was added, removed or renamed since. A file written to in place
    // leaves the folder's time alone, so this says nothing about the sizes and times of the files.
    // A change within the same tick of the file system's clock as the last one before the reading leaves that
    // time as it was: so a folder whose time is not older than the reading by more than the coarsest tick
    // (FAT's two seconds) never counts as unchanged.
    bool folderUnchanged() const;
    static constexpr std::int64_t coarsestClockTickSeconds = 2;

    std::size_t size() const { return m_entries.size(); }
    std::string_view name(std::size_t index) const;
    // Puts the names in another order: the name at order[i] goes to place i. order is a permutation of
    // 0 .. size() - 1.
    void reorder(const std::vector<std::size_t>& order);

    // The files whose names accept accepts, in the listing's order, with their sizes and last-write times.
    // The filter sees each name once, before anything is read about the file; what was read for an earlier
    // filter is not read again. Nothing when the folder can no longer be opened. (Windows gives the sizes and
    // times with the names: there the reading has read everything, and needs the folder no more.)
    std::optional<std::vector<ListedFile>> files(const std::function<bool(std::string_view)>& accept);

    // What tells one state of a folder from another.
    struct Stamp
    {
        std::uint64_t volume = 0;
        std::uint64_t fileId = 0;
        std::int64_t changed = 0; // nanoseconds (POSIX) or 100 ns ticks (Windows)
        bool operator==(const Stamp&) const = default;
    };

private:
    enum class State : unsigned char
    {
        Unread, // not yet looked at beyond its name
        File,
        NotFile, // gone, a folder behind a link, a device...
    };
    // Names lie in one block of bytes: a folder of a hundred thousand costs no allocation per name.
    struct Entry
    {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        State state = State::Unread;
        std::int64_t size = 0;
        std::int64_t mtime = 0;
    };

    std::string m_folder;
    Stamp m_stamp;
    std::int64_t m_readAt = 0; // when the stamp was taken, in the stamp's clock and units
    std::string m_names;
    std::vector<Entry> m_entries;
};

// The files lying directly in a folder whose names the filter accepts, with their sizes and last-write times,
// in the file system's order; what FolderListing leaves out is left out. Nothing when the folder cannot be
// opened.
std::optional<std::vector<ListedFile>> listFolderFiles(const std::string& folder,
                                                       const std::function<bool(std::string_view)>& accept);
