// The filter box's pattern language against file names as bytes, and its folding of case, which must be
// Qt's exactly: the window and the command line match and sort names alike.
#include "os/casefolding.h"
#include "os/filterpattern.h"
#include "os/nativetext.h"

#include <QList>
#include <QString>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

bool matches(const char16_t* pattern, std::string_view name)
{
    return FilterPattern(QString::fromUtf16(pattern).toStdString()).matches(name);
}

FilterPattern pattern(const QString& text)
{
    return FilterPattern(text.toStdString());
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
    const FilterPattern both("*.dwg;*.dxf");
    EXPECT_TRUE(both.matches("a.dwg"));
    EXPECT_TRUE(both.matches("b.DXF"));
    EXPECT_FALSE(both.matches("c.pdf"));
    // Blanks typed after the separator and empty parts do no harm.
    const FilterPattern spaced(" *.dwg ;; *.dxf;");
    EXPECT_TRUE(spaced.matches("a.dwg"));
    EXPECT_TRUE(spaced.matches("b.dxf"));
    EXPECT_FALSE(spaced.matches("c.pdf"));
}

// Names are the file system's bytes: UTF-8, or on Windows the ANSI code page.
TEST(FilterPattern, NonAsciiNamesAndBytesThatAreNoText)
{
    const std::string overview = nativeBytes(QStringLiteral("\u00d6versikt.dwg"));
    EXPECT_TRUE(matches(u"ö*.dwg", overview));       // Ö folds to ö
    EXPECT_TRUE(matches(u"?versikt.dwg", overview)); // one character, whatever its bytes
    EXPECT_FALSE(matches(u"??versikt.dwg", overview));
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
    EXPECT_TRUE(FilterPattern("").isEmpty());
    EXPECT_TRUE(FilterPattern(" ; ").isEmpty());
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
    EXPECT_TRUE(pattern(stars).matches(name));
    EXPECT_TRUE(pattern(QString(stars + u"a")).matches("plana"));
    EXPECT_FALSE(pattern(QString(stars + u"c")).matches(name));

    QString alternating;
    for (int i = 0; i < 5000; ++i)
        alternating += u"*a";
    EXPECT_FALSE(pattern(alternating).matches(name)); // needs 5000 a's
    EXPECT_TRUE(pattern(QString(alternating.left(200) + u"*b.dwg")).matches(name));

    QString manyShort;
    for (int i = 0; i < 60; ++i)
        manyShort += u"a*";
    manyShort += u"c"; // fails only at the very end, after every star has had its chance
    for (int i = 0; i < 1000; ++i)
        ASSERT_FALSE(pattern(manyShort).matches(name));

    const QString longLiteral = QString(10000, u'x') + QStringLiteral(".dwg");
    EXPECT_FALSE(pattern(longLiteral).matches(name));
    EXPECT_TRUE(pattern(longLiteral).matches(longLiteral.toStdString()));
}

// The folding Qt did for the filter box before it needed no Qt: every code point folds as QString folds it,
// every blank QChar knows is dropped around a pattern, and any bytes decode and fold to the same text.
TEST(CaseFolding, AsQtFoldsEveryCharacter)
{
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const char32_t one[] = {c};
        const QList<uint> folded = QString::fromUcs4(one, 1).toCaseFolded().toUcs4();
        if (c == 0xFEFF) // fromUcs4 takes it for a byte-order mark; it has no case
            continue;
        ASSERT_EQ(folded.size(), 1);
        ASSERT_EQ(caseFolded(c), char32_t(folded[0])) << std::hex << unsigned(c);
    }
    for (char16_t c = 1; c < 0xD800; ++c) {
        if (c == u'*' || c == u';')
            continue;
        const QString text = QString(QChar(c)) + u"a";
        ASSERT_EQ(pattern(text).matches("a"), QChar(c).isSpace()) << std::hex << unsigned(c);
    }

    std::mt19937 random(7);
    const std::string pieces[] = {"a",
                                  "Ö",
                                  "ß",
                                  "Σ",
                                  "\xC3",
                                  "\x80",
                                  "\xED\xA0\x80",
                                  "\xF0\x9F\x98",
                                  "\xF4\x90\x80\x80",
                                  "\xC0\xAF",
                                  "\xE2\x82",
                                  "\xEF\xBF\xBE",
                                  "𐐀",
                                  "İ",
                                  "K"};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        for (int n = int(random() % 6); n >= 0; --n)
            bytes += pieces[random() % std::size(pieces)];
        std::u32string folded = utf8Characters(bytes);
        for (char32_t& c : folded)
            c = caseFolded(c);
        const QList<uint> byQt = QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toCaseFolded().toUcs4();
        ASSERT_EQ(folded, std::u32string(byQt.begin(), byQt.end()));
#ifndef _WIN32 // names in UTF-8
        ASSERT_EQ(nameSortKey(bytes),
                  QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toCaseFolded().toStdString());
#endif
    }
    EXPECT_EQ(nameSortKey(nativeBytes(QStringLiteral("\u00d6st K"))), "\xc3\xb6st k");
}
