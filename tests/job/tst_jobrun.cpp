// The drawings a job's run takes from its folder: the window's pattern and order, the folders below, and the
// names of the job as they stand.
#include "job/jobrun.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

std::string listed(const std::string& folder, const job::Drawings& drawings)
{
    const auto list = job::listDrawings(folder, drawings);
    if (!list)
        return list.error().message;
    std::string names;
    for (const std::string& name : list->names)
        names += name + "|";
    for (const std::string& name : list->unreadable)
        names += "unreadable " + name + "|";
    return names;
}

TEST(JobDrawings, ThePatternAndOrderOfTheListAndTheFoldersBelow)
{
    TempDir dir;
    const fs::path top = dir.path() / "Ritningar";
    for (const char* name : {"b.dwg", "A.DWG", "a.dwg", "Ö2.dwg", "ö1.dwg", "c.dxf", "notes.txt", ".dold.dwg",
                             "Sub/x.dwg", "Sub/Inre/y.dwg", "annan/z.DWG", ".git/w.dwg"}) {
        fs::create_directories((top / name).parent_path());
        writeBytes((top / name).string(), "dwg");
    }
    const std::string sep(1, fs::path::preferred_separator);
    job::Drawings drawings;
    drawings.pattern = "*.dwg";
    EXPECT_EQ(listed(top.string(), drawings), "A.DWG|a.dwg|b.dwg|ö1.dwg|Ö2.dwg|");
    drawings.pattern = "*.dwg; *.DXF";
    drawings.subfolders = true;
    EXPECT_EQ(listed(top.string(), drawings), "A.DWG|a.dwg|b.dwg|c.dxf|ö1.dwg|Ö2.dwg|annan" + sep + "z.DWG|Sub" + sep +
                                                  "x.dwg|Sub" + sep + "Inre" + sep + "y.dwg|");
#ifndef _WIN32
    // A link back up is not walked twice, however deep.
    fs::create_directory_symlink(top, top / "Sub" / "upp");
    EXPECT_EQ(listed(top.string(), drawings),
              "A.DWG|a.dwg|b.dwg|c.dxf|ö1.dwg|Ö2.dwg|annan/z.DWG|Sub/x.dwg|Sub/Inre/y.dwg|");
#endif

    // The job's names stand as they are, in their order, whatever the pattern; the folder must be there.
    drawings.names = {"b.dwg", "Sub/x.dwg", "saknas.dwg"};
    EXPECT_EQ(listed(top.string(), drawings), "b.dwg|Sub" + sep + "x.dwg|saknas.dwg|");
    EXPECT_EQ(listed((dir.path() / "borta").string(), drawings),
              "mappen " + (dir.path() / "borta").string() + " kan inte nås");
    drawings.names.clear();
    EXPECT_EQ(listed((dir.path() / "borta").string(), drawings),
              "mappen " + (dir.path() / "borta").string() + " kan inte nås");
}

} // namespace
