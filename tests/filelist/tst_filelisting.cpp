// Listing a folder's files with sizes and times, on real folders.
#include "os/filelisting.h"

#include "support/foldertime.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class Folder
{
public:
    const std::string& path() const { return m_path; }
    // A file of size bytes, last written at mtime (seconds since 1970) unless that is 0. The name is the
    // file system's bytes, as the listing gives them back: on Windows those of the ANSI code page.
    std::string file(const std::string& name, std::int64_t size = 0, std::int64_t mtime = 0) const
    {
        const std::string full = m_path + "/" + name;
#ifdef _WIN32
        HANDLE handle = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << full;
        LARGE_INTEGER end;
        end.QuadPart = size;
        EXPECT_TRUE(SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) << full;
        if (mtime != 0) {
            const std::uint64_t ticks = (static_cast<std::uint64_t>(mtime) + 11644473600u) * 10000000u;
            const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &written)) << full;
        }
        CloseHandle(handle);
#else
        const int fd = open(full.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        EXPECT_GE(fd, 0) << full;
        EXPECT_EQ(ftruncate(fd, size), 0);
        close(fd);
        if (mtime != 0) {
            const timespec times[2] = {{mtime, 0}, {mtime, 0}};
            EXPECT_EQ(utimensat(AT_FDCWD, full.c_str(), times, 0), 0);
        }
#endif
        return full;
    }
    // Makes the folder's own last change long past, as for a folder nobody has touched for a while.
    void age() const { EXPECT_TRUE(foldertime::age(m_path)) << m_path; }

private:
    TempDir m_dir;
    std::string m_path = m_dir.path().string();
};

std::vector<std::string> names(const std::vector<ListedFile>& files)
{
    std::vector<std::string> result;
    for (const ListedFile& f : files)
        result.push_back(f.name);
    std::sort(result.begin(), result.end());
    return result;
}

const auto acceptAll = [](std::string_view) { return true; };

} // namespace

TEST(FileListing, OnlyVisibleFilesOfTheFolderItself)
{
    Folder folder;
    folder.file("a.dwg", 3000, 1084362300);
    folder.file(".hidden.dwg");
    folder.file("\xff\xfe.dwg");
    fs::create_directory(folder.path() + "/sub.dwg");
    folder.file("sub.dwg/inner.dwg");
#ifdef _WIN32
    // Names are the ANSI code page's bytes; links and pipes in a folder are a POSIX matter.
    const std::vector<std::string> expected{"a.dwg", "\xff\xfe.dwg"};
#else
    fs::create_symlink(folder.path() + "/a.dwg", folder.path() + "/link.dwg");
    fs::create_symlink(folder.path() + "/sub.dwg", folder.path() + "/linkedfolder.dwg");
    fs::create_symlink(folder.path() + "/missing", folder.path() + "/dangling.dwg");
    ASSERT_EQ(mkfifo((folder.path() + "/pipe.dwg").c_str(), 0600), 0);
    const std::vector<std::string> expected{"a.dwg", "link.dwg", "\xff\xfe.dwg"};
#endif

    const auto files = listFolderFiles(folder.path(), acceptAll);
    ASSERT_TRUE(files);
    EXPECT_EQ(names(*files), expected);
    for (const ListedFile& f : *files) {
        if (f.name == "a.dwg") {
            EXPECT_EQ(f.size, 3000);
            EXPECT_EQ(f.mtime, 1084362300);
        }
    }
}

TEST(FileListing, TheFilterSeesNamesBeforeAnythingIsRead)
{
    Folder folder;
    folder.file("keep.dwg");
    folder.file("gone.dwg");
    folder.file("other.txt");
    std::vector<std::string> seen;
    // A file deleted between the listing and the reading of its size is left out, quietly.
    const auto files = listFolderFiles(folder.path(), [&](std::string_view name) {
        seen.emplace_back(name);
        if (name == "gone.dwg")
            fs::remove(folder.path() + "/gone.dwg");
        return name.ends_with(".dwg");
    });
    ASSERT_TRUE(files);
#ifdef _WIN32
    // Windows gives the sizes and times with the names: nothing is left to read, nothing to miss.
    EXPECT_EQ(names(*files), (std::vector<std::string>{"gone.dwg", "keep.dwg"}));
#else
    EXPECT_EQ(names(*files), std::vector<std::string>{"keep.dwg"});
#endif
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"gone.dwg", "keep.dwg", "other.txt"}));
}

TEST(FileListing, AFolderThatCannotBeOpenedIsNoListing)
{
    Folder folder;
    EXPECT_FALSE(listFolderFiles(folder.path() + "/missing", acceptAll));
    EXPECT_FALSE(listFolderFiles(folder.file("plain.dwg"), acceptAll));
    EXPECT_FALSE(listFolderFiles("", acceptAll));
    const auto empty = listFolderFiles(folder.path() + "/", [](std::string_view) { return false; });
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

// A reading serves later filters: names not looked at before are read then, in the order the listing was
// given; the folder tells when an entry was added or removed, or when it is another folder of the same name.
TEST(FileListing, AReadingServesLaterFiltersAndKnowsWhenItsFolderChanged)
{
    Folder folder;
    folder.file("a.dwg", 2048, 1084362300);
    folder.file("b.dxf", 4096, 1084362400);
    folder.file("c.dwg");
    folder.age();
    std::optional<FolderListing> listing = FolderListing::read(folder.path());
    ASSERT_TRUE(listing);
    ASSERT_EQ(listing->size(), 3u);
    std::vector<std::size_t> order(3);
    for (std::size_t i = 0; i < 3; ++i)
        order[std::size_t(listing->name(i)[0] - 'a')] = i; // a, b, c whatever order the folder gave
    listing->reorder(order);
    EXPECT_EQ(listing->name(0), "a.dwg");
    EXPECT_EQ(listing->name(2), "c.dwg");

    const auto dwg = listing->files([](std::string_view name) { return name.ends_with(".dwg"); });
    ASSERT_TRUE(dwg);
    ASSERT_EQ(dwg->size(), 2u);
    EXPECT_EQ((*dwg)[0].name, "a.dwg");
    EXPECT_EQ((*dwg)[0].size, 2048);
    EXPECT_EQ((*dwg)[1].name, "c.dwg");
    EXPECT_TRUE(listing->folderUnchanged());

    fs::remove(folder.path() + "/c.dwg");
    const auto later = listing->files(acceptAll);
    ASSERT_TRUE(later);
    ASSERT_EQ(later->size(), 3u); // the reading still holds c.dwg: it was read before it went
    EXPECT_EQ((*later)[1].name, "b.dxf");
    EXPECT_EQ((*later)[1].size, 4096);
    EXPECT_EQ((*later)[1].mtime, 1084362400);
    EXPECT_FALSE(listing->folderUnchanged());

    // Changed just before the reading: a change made in the same tick of the file system's clock would leave
    // the folder's time as it is, so that time tells nothing.
    listing = FolderListing::read(folder.path());
    ASSERT_TRUE(listing);
    foldertime::Time changed{};
    ASSERT_TRUE(foldertime::get(folder.path(), changed));
    folder.file("racing.dwg");
    ASSERT_TRUE(foldertime::set(folder.path(), changed));
    EXPECT_FALSE(listing->folderUnchanged());

    folder.age();
    listing = FolderListing::read(folder.path());
    ASSERT_TRUE(listing);
    EXPECT_TRUE(listing->folderUnchanged());
    fs::rename(folder.path(), folder.path() + "-old");
    EXPECT_FALSE(listing->folderUnchanged());
#ifndef _WIN32 // where the sizes and times came with the names, the reading needs the folder no more
    EXPECT_FALSE(listing->files(acceptAll)) << "the folder is gone";
#endif
    fs::create_directory(folder.path());
    EXPECT_FALSE(listing->folderUnchanged()) << "another folder under the same name";
    fs::remove_all(folder.path() + "-old");
}
