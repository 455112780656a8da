// Drawing lists that name one file twice, however the names are spelt.
#include "script/samedrawing.h"

#include <gtest/gtest.h>

namespace {

using script::SameDrawing;

TEST(SameDrawing, IsFoundByTheJoinedNormalisedPath)
{
    struct Case
    {
        std::string folder;
        std::vector<std::string> drawings;
        char separator;
        std::optional<SameDrawing> same;
    };
    const std::vector<Case> cases = {
        {"/p", {"a.dwg", "b.dwg", "c.dwg"}, '/', std::nullopt},
        {"/p", {"a.dwg", "b.dwg", "a.dwg"}, '/', SameDrawing{0, 2}},
        {"/p", {"b.dwg", "a.dwg", "./a.dwg"}, '/', SameDrawing{1, 2}},
        {"/p/", {"sub/../a.dwg", "b.dwg", "a.dwg"}, '/', SameDrawing{0, 2}},
        {"/p", {"sub//x/./a.dwg", "sub/x/a.dwg"}, '/', SameDrawing{0, 1}},
        {"/p/q", {"../q/a.dwg", "a.dwg"}, '/', SameDrawing{0, 1}},
        {"/", {"../a.dwg", "a.dwg"}, '/', SameDrawing{0, 1}},
        // Names are bytes here, and case matters; ".." above a relative start stays.
        {"/p", {"A.dwg", "a.dwg", "a.DWG", "\xC3\xA5.dwg", "a\xCC\x8A.dwg"}, '/', std::nullopt},
        {"p", {"../a.dwg", "a.dwg"}, '/', std::nullopt},
        // Windows: either slash, letters without case, the drive kept.
        {"C:\\P", {"A.DWG", "sub/../a.dwg"}, '\\', SameDrawing{0, 1}},
        {"C:\\", {"a.dwg", "D:\\a.dwg"}, '\\', std::nullopt},
        {"\\\\srv\\share", {"x\\a.dwg", "X/A.dwg"}, '\\', SameDrawing{0, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(script::findSameDrawing(c.folder, c.drawings, c.separator), c.same)
            << c.folder << " " << c.drawings.front() << " " << c.drawings.back();
    }
}

} // namespace
