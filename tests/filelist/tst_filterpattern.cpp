// The filter box's pattern language against file names as bytes.
#include "filelist/filterpattern.h"

#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace {

bool matches(const char16_t* pattern, std::string_view name)
{
    return FilterPattern(QStringView(pattern)).matches(name);
}

} // namespace

TEST(FilterPattern, StarAndQuestionMarkWithoutRegardToCase)
{
    EXPECT_TRUE(matches(u"*.dwg", "PLAN.DWG"));
    EXPECT_TRUE(matches(u"*.DWG", "plan.dwg"));
    EXPECT_TRUE(matches(u"*.dwg", ".dwg"));
    EXPECT_FALSE(matches(u"*.dwg", "plan.dwgx"));
    EXPECT_FALSE(matches(u"*.dwg", "plan.dxf"));
    // The filter box's hint: 1, any one character, 100, anything or nothing, .dwg.
    EXPECT_TRUE(matches(u"1?100*.dwg", "1a100.dwg"));
    EXPECT_TRUE(matches(u"1?100*.dwg", "1B100-rev 3.DWG"));
    EXPECT_FALSE(matches(u"1?100*.dwg", "1100.dwg"));
    EXPECT_FALSE(matches(u"1?100*.dwg", "1ab100.dwg"));
    EXPECT_TRUE(matches(u"*", "anything at all"));
    EXPECT_TRUE(matches(u"a*b*c", "abc"));
    EXPECT_TRUE(matches(u"a*b*c", "axxbyyc"));
    EXPECT_FALSE(matches(u"a*b*c", "axxbyy"));
    EXPECT_TRUE(matches(u"*ab", "aab")); // the star must give back what it took
}

TEST(FilterPattern, SeveralPatternsAnyOfThem)
{
    const FilterPattern pattern(u"*.dwg;*.dxf");
    EXPECT_TRUE(pattern.matches("a.dwg"));
    EXPECT_TRUE(pattern.matches("b.DXF"));
    EXPECT_FALSE(pattern.matches("c.pdf"));
    // Blanks typed after the separator and empty parts do no harm.
    const FilterPattern spaced(u" *.dwg ;; *.dxf;");
    EXPECT_TRUE(spaced.matches("a.dwg"));
    EXPECT_TRUE(spaced.matches("b.dxf"));
    EXPECT_FALSE(spaced.matches("c.pdf"));
}

TEST(FilterPattern, NonAsciiNamesAndBytesThatAreNoText)
{
    EXPECT_TRUE(matches(u"ö*.dwg", "\xc3\x96versikt.dwg"));       // Ö folds to ö
    EXPECT_TRUE(matches(u"?versikt.dwg", "\xc3\x96versikt.dwg")); // one character, two bytes
    EXPECT_FALSE(matches(u"??versikt.dwg", "\xc3\x96versikt.dwg"));
    EXPECT_TRUE(matches(u"*.dwg", "\xff\xfe.dwg"));
    EXPECT_TRUE(matches(u"??.dwg", "\xff\xfe.dwg"));
    EXPECT_TRUE(matches(u"*.dwg", "line\nbreak.dwg"));
}

TEST(FilterPattern, ADotStarEndingAlsoTakesNamesWithoutADot)
{
    EXPECT_TRUE(matches(u"*.*", "README"));
    EXPECT_TRUE(matches(u"*.*", "a.b.c"));
    EXPECT_TRUE(matches(u"plan.*", "plan"));
    EXPECT_TRUE(matches(u"plan.*", "plan.dwg"));
    EXPECT_FALSE(matches(u"plan.*", "planx"));
    EXPECT_FALSE(matches(u"plan.*", "other.plan"));
}

TEST(FilterPattern, UnusablePatternsListNothing)
{
    EXPECT_TRUE(FilterPattern(u"").isEmpty());
    EXPECT_TRUE(FilterPattern(u" ; ").isEmpty());
    EXPECT_FALSE(matches(u"", "a.dwg"));
    EXPECT_FALSE(matches(u"sub/*.dwg", "sub"));
    // An unusable part does not spoil the others.
    EXPECT_TRUE(matches(u"sub/*.dwg;*.dxf", "a.dxf"));
    EXPECT_FALSE(matches(u"*.dwg", ""));
}

// Patterns made to provoke backtracking: each has to finish at once, whatever its length.
TEST(FilterPattern, LongAndStarHeavyPatternsStayCheap)
{
    const std::string name = std::string(200, 'a') + "b.dwg";
    const QString stars(10000, u'*');
    EXPECT_TRUE(FilterPattern(stars).matches(name));
    EXPECT_TRUE(FilterPattern(QString(stars + u"a")).matches("plana"));
    EXPECT_FALSE(FilterPattern(QString(stars + u"c")).matches(name));

    QString alternating;
    for (int i = 0; i < 5000; ++i)
        alternating += u"*a";
    EXPECT_FALSE(FilterPattern(alternating).matches(name)); // needs 5000 a's
    EXPECT_TRUE(FilterPattern(QString(alternating.left(200) + u"*b.dwg")).matches(name));

    QString manyShort;
    for (int i = 0; i < 60; ++i)
        manyShort += u"a*";
    manyShort += u"c"; // fails only at the very end, after every star has had its chance
    for (int i = 0; i < 1000; ++i)
        ASSERT_FALSE(FilterPattern(manyShort).matches(name));

    const QString longLiteral = QString(10000, u'x') + QStringLiteral(".dwg");
    EXPECT_FALSE(FilterPattern(longLiteral).matches(name));
    EXPECT_TRUE(FilterPattern(longLiteral).matches(longLiteral.toStdString()));
}
