#include "app/uSystools.h"

#include <QFile>
#include <QTemporaryDir>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(StripExtension, DropsOnlyTheLastExtensionOfTheLastName) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case c :
         {Case{"au_shops.orp", "au_shops"}, Case{"/opt/a.b/c.orp.bak", "/opt/a.b/c.orp"},
          Case{"/opt/a.b/noext", "/opt/a.b/noext"}, Case{"C:\\x.y\\file", "C:\\x.y\\file"},
          Case{"C:file.txt", "C:file"}, Case{"d:.", "d:"}, Case{".orp", ""}, Case{"", ""},
          Case{"name.", "name"}}) {
        EXPECT_EQ(systools::StripExtension(QString::fromLatin1(c.in)), QString::fromLatin1(c.out))
            << c.in;
    }
}

TEST(ScrollCaption, EntersFrom22BlanksAndStartsOverWhenUsedUp) {
    const QStringList frames = systools::scrollCaptionFrames(QStringLiteral("Next page"));
    ASSERT_EQ(frames.size(), 50);
    EXPECT_EQ(frames[0], QString(22, u' ') + QStringLiteral("Next page"));
    EXPECT_EQ(frames[22], QStringLiteral("Next page"));
    EXPECT_EQ(frames[30], QStringLiteral("e"));
    EXPECT_EQ(frames[31], QString()); // the last character gone: an empty caption
    EXPECT_EQ(frames[32], QString(22, u' ') + QStringLiteral("Next page")); // from t again

    const QStringList blank = systools::scrollCaptionFrames(QString());
    EXPECT_EQ(blank[0], QString(22, u' '));
    for (const QString& f : blank)
        EXPECT_TRUE(f.trimmed().isEmpty());

    // Longer than 27 characters: never starts over within the 50 steps.
    const QString longText(40, u'x');
    const QStringList longFrames = systools::scrollCaptionFrames(longText);
    for (int i = 1; i < 50; ++i)
        EXPECT_EQ(longFrames[i].size(), longFrames[i - 1].size() - 1);
}

TEST(Configuration, IndexIniKeysWithDefaults) {
    QTemporaryDir dir;
    const QString prog = dir.path() + u'/';
    EXPECT_EQ(systools::ReadAppName(prog), QStringLiteral("Trawlex - "));
    EXPECT_EQ(systools::ReadDistrib(prog), QString());
    EXPECT_EQ(systools::ReadLingo(prog), QStringLiteral("INTL"));
    QFile f(prog + QStringLiteral("index.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[application]\nappname=\"My Tool: \"\nDISTRIB=sub\\\nLingo=  FR  \n");
    f.close();
    EXPECT_EQ(systools::ReadAppName(prog), QStringLiteral("My Tool: "));
    EXPECT_EQ(systools::ReadDistrib(prog), QStringLiteral("sub\\"));
    EXPECT_EQ(systools::ReadLingo(prog), QStringLiteral("FR"));
}

TEST(LineCount, NoSingularForm) {
    EXPECT_EQ(systools::lineCountText(0, QStringLiteral("lines in grid")),
              QStringLiteral("0 lines in grid"));
    EXPECT_EQ(systools::lineCountText(1, QStringLiteral("lines in grid")),
              QStringLiteral("1 lines in grid"));
}

} // namespace
