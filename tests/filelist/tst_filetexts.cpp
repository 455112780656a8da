// The list's date and size texts under several locales, against what the locale itself writes.
#include "filelist/filetexts.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

// The general date-and-time form as the locale writes it, cut as the list cuts it.
QString generalForm(const QLocale& locale, const QDateTime& at)
{
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(u't');
    timeFormat = timeFormat.trimmed();
    if (at.time() == QTime(0, 0))
        return locale.toString(at.date(), QLocale::ShortFormat).left(16);
    const QString general =
        locale.toString(at.date(), QLocale::ShortFormat) + u' ' + locale.toString(at.time(), timeFormat);
    return general.left(16);
}

class LocaleTexts : public testing::TestWithParam<QLocale::Language>
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(GetParam())); }
    void TearDown() override { QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden)); }
};

} // namespace

// Every second of a day, in the morning and the afternoon of 12-hour locales too.
TEST_P(LocaleTexts, DatesMatchTheLocalesOwnGeneralForm)
{
    const QLocale locale;
    FileTexts texts;
    const QDateTime midnight(QDate(2004, 5, 12), QTime(0, 0));
    for (int second = 0; second < 86400; second += 7) {
        const QDateTime at = midnight.addSecs(second);
        ASSERT_EQ(texts.dateText(at.toSecsSinceEpoch()), generalForm(locale, at))
            << qPrintable(locale.name()) << ' ' << second;
    }
    for (const QDateTime& at :
         {midnight, QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)), QDateTime(QDate(2038, 1, 19), QTime(12, 0, 0)),
          QDateTime(QDate(1969, 7, 21), QTime(2, 56, 15))})
        EXPECT_EQ(texts.dateText(at.toSecsSinceEpoch()), generalForm(locale, at)) << qPrintable(locale.name());
}

TEST_P(LocaleTexts, SizesInWholeKilobytesGroupedAsTheLocaleGroups)
{
    const QLocale locale;
    const FileTexts texts;
    EXPECT_EQ(texts.sizeText(0), locale.toString(0) + u" kb");
    EXPECT_EQ(texts.sizeText(1048576), locale.toString(1024) + u" kb");
    EXPECT_EQ(texts.sizeText(1536LL << 20), locale.toString(1572864) + u" kb");
    // Around each place a separator may go, where locales differ in when and how they group.
    for (const std::int64_t kilobytes : {999LL, 1000LL, 9999LL, 10000LL, 123456LL, 1234567LL, 12345678901LL})
        EXPECT_EQ(texts.sizeText(kilobytes * 1024), locale.toString(qlonglong(kilobytes)) + u" kb")
            << qPrintable(locale.name());
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTexts,
                         testing::Values(QLocale::Swedish, QLocale::English, QLocale::German, QLocale::Japanese,
                                         QLocale::Arabic, QLocale::Korean, QLocale::Spanish, QLocale::Hindi,
                                         QLocale::Polish));

TEST(FileTexts, SwedishKilobytesRoundHalfUp)
{
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    const FileTexts texts;
    EXPECT_EQ(texts.sizeText(0), u"0 kb");
    EXPECT_EQ(texts.sizeText(511), u"0 kb");
    EXPECT_EQ(texts.sizeText(512), u"1 kb");
    EXPECT_EQ(texts.sizeText(1535), u"1 kb");
    EXPECT_EQ(texts.sizeText(1536), u"2 kb");
    EXPECT_EQ(texts.sizeText(1048576), u"1\u00a0024 kb"); // Qt's Swedish digit-group separator
    EXPECT_EQ(texts.sizeText(5000LL << 30), u"5\u00a0242\u00a0880\u00a0000 kb");
}

TEST(FileTexts, TypeTextsByTheLastThreeCharacters)
{
    FileTexts texts;
    EXPECT_EQ(lastThree(u"a.ab"), u".ab");
    EXPECT_EQ(lastThree(u"ab"), u"ab");
    EXPECT_EQ(texts.typeText(u".ab"), u".ab");
    EXPECT_EQ(texts.typeText(u"ZQ9"), u"zq9");
    EXPECT_EQ(texts.typeText(u""), u"");
    // Both cases of one extension give one text.
    EXPECT_EQ(texts.typeText(u"DWG"), texts.typeText(u"dwg"));
    EXPECT_EQ(fileIcon(u"PLAN.DWG"), FileIcon::Dwg);
    EXPECT_EQ(fileIcon(u"x.Dxf"), FileIcon::Dxf);
    EXPECT_EQ(fileIcon(u"dwg.pdf"), FileIcon::None);
}
