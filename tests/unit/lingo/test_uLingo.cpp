#include "lingo/uLingo.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Records what ApplyLingo writes, in order.
struct RecordingTarget : lingo::Target {
    QMap<QString, QString> hints, captions;
    QStringList order;
    lingo::Rgb caption, fill;
    QString speedLabel, indicator;
    void setHint(const char* e, const QString& t) override {
        hints[QString::fromLatin1(e)] = t;
        order << QString::fromLatin1(e);
    }
    void setHeaderColors(const lingo::Rgb& c, const lingo::Rgb& f) override {
        caption = c;
        fill = f;
        order << QStringLiteral("colors");
    }
    void setCaption(const char* e, const QString& t) override {
        captions[QString::fromLatin1(e)] = t;
        order << QString::fromLatin1(e);
    }
    void setSpeedLabel(const QString& t) override {
        speedLabel = t;
        order << QStringLiteral("spSpeed");
    }
    void setIndicatorText(const QString& t) override {
        indicator = t;
        order << QStringLiteral("mmIndic");
    }
};

class ApplyLingo : public testing::Test {
protected:
    void SetUp() override { lingo::clearMessages(); }
    QString write(const QByteArray& content) {
        const QString p = dir.filePath(QStringLiteral("trawlex.ini"));
        QFile f(p);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        return p;
    }
    QTemporaryDir dir;
    RecordingTarget t;
};

TEST_F(ApplyLingo, WithoutAFileEveryKeyGetsItsDefault) {
    lingo::ApplyLingo(dir.filePath(QStringLiteral("none.ini")), t);
    EXPECT_EQ(t.hints.value(QStringLiteral("tbbBack")), QStringLiteral("Go Back"));
    EXPECT_EQ(t.hints.value(QStringLiteral("mnBtnHome")), QStringLiteral("Go to Start Page"));
    EXPECT_EQ(t.hints.value(QStringLiteral("tbbcsv")), QStringLiteral("Save as CSV text file"));
    EXPECT_EQ(t.captions.value(QStringLiteral("hiFeedback")), QStringLiteral("Feedback"));
    EXPECT_EQ(t.indicator, QStringLiteral("Progress Indicator"));
    EXPECT_EQ(t.speedLabel, QString(36, u' ') + QStringLiteral("Speed (seconds)"));
    EXPECT_EQ(t.fill, (lingo::Rgb{0, 0, 0}));
    EXPECT_EQ(t.caption, (lingo::Rgb{255, 255, 255}));
    EXPECT_EQ(lingo::sLinesInGrid, QStringLiteral("lines in grid"));
    EXPECT_EQ(lingo::sNoValidTemplate, QStringLiteral("Not a valid ORPG file!"));
    EXPECT_EQ(lingo::sNosaveExcel2, QStringLiteral("Saved to CSV instead..."));
}

TEST_F(ApplyLingo, AppliesInTableOrder) {
    lingo::ApplyLingo(write(""), t);
    ASSERT_EQ(t.order.size(), 14 + 1 + 10);
    EXPECT_EQ(t.order.first(), QStringLiteral("tbbBack"));
    EXPECT_EQ(t.order.at(13), QStringLiteral("tbbNoImg"));
    EXPECT_EQ(t.order.at(14), QStringLiteral("colors"));
    EXPECT_EQ(t.order.at(15), QStringLiteral("itiCapture"));
    EXPECT_EQ(t.order.last(), QStringLiteral("mmIndic"));
}

TEST_F(ApplyLingo, FileValuesReplaceDefaultsKeyByKey) {
    lingo::ApplyLingo(write("[INSTRINGS]\nSLINESINGRID=rows\n"
                            "[leftbar]\nopWeb.Caption=\nspSpeed.Caption=Speed\n"
                            "hiBrowse.headercolor=$0000FF\nitiClose.Caption=\"  Quit  \"\n"
                            "[Buttons]\ntbbStop.hint = Halt \n"),
                      t);
    EXPECT_EQ(lingo::sLinesInGrid, QStringLiteral("rows"));
    EXPECT_EQ(lingo::sBrowserReady, QStringLiteral("Browser ready"));
    EXPECT_TRUE(t.captions.contains(QStringLiteral("opWeb")));
    EXPECT_EQ(t.captions.value(QStringLiteral("opWeb")), QString());
    EXPECT_EQ(t.speedLabel, QString(18, u' ') + QStringLiteral("Speed"));
    EXPECT_EQ(t.fill, (lingo::Rgb{255, 0, 0}));
    EXPECT_EQ(t.captions.value(QStringLiteral("itiClose")), QStringLiteral("  Quit  "));
    EXPECT_EQ(t.hints.value(QStringLiteral("tbbStop")), QStringLiteral("Halt"));
    EXPECT_EQ(t.hints.value(QStringLiteral("tbbBack")), QStringLiteral("Go Back"));
}

TEST_F(ApplyLingo, AColourThatIsNoColourKeepsTheDefaultAndTheRestApplies) {
    lingo::ApplyLingo(
        write("[LeftBar]\nhiBrowse.headercolor=reddish\nhiBrowse.CaptionColor=clYellow\n"
              "hiFeedback.Caption=Bye\n[inStrings]\nsNoTemplate=None\n"),
        t);
    EXPECT_EQ(t.fill, (lingo::Rgb{0, 0, 0}));
    EXPECT_EQ(t.caption, (lingo::Rgb{255, 255, 0}));
    EXPECT_EQ(t.captions.value(QStringLiteral("hiFeedback")), QStringLiteral("Bye"));
    EXPECT_EQ(lingo::sNoTemplate, QStringLiteral("None"));
}

TEST_F(ApplyLingo, BinaryOrUtf16FilesDoNotBreakIt) {
    QByteArray utf16("\xFF\xFE", 2);
    const QString text = QStringLiteral("[inStrings]\r\nsLinesInGrid=Zeilen \u00fc\r\n");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    lingo::ApplyLingo(write(utf16), t);
    EXPECT_EQ(lingo::sLinesInGrid, QStringLiteral("Zeilen \u00fc"));

    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 37) & 0xFF);
    lingo::ApplyLingo(write(junk), t);
    EXPECT_EQ(lingo::sLinesInGrid, QStringLiteral("lines in grid"));
}

struct ColorCase {
    const char* text;
    std::optional<lingo::Rgb> expected;
};

class ParseColor : public testing::TestWithParam<ColorCase> {};

TEST_P(ParseColor, NamesAndNumbersAsBlueGreenRed) {
    EXPECT_EQ(lingo::parseColor(QString::fromLatin1(GetParam().text)), GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseColor,
    testing::Values(
        ColorCase{"clBlack", lingo::Rgb{0, 0, 0}}, ColorCase{"clwhite", lingo::Rgb{255, 255, 255}},
        ColorCase{"clRed", lingo::Rgb{255, 0, 0}}, ColorCase{"clNavy", lingo::Rgb{0, 0, 128}},
        ColorCase{"clOlive", lingo::Rgb{128, 128, 0}}, ColorCase{"clTeal", lingo::Rgb{0, 128, 128}},
        ColorCase{"clFuchsia", lingo::Rgb{255, 0, 255}},
        ColorCase{"clAqua", lingo::Rgb{0, 255, 255}}, ColorCase{"$0000FF", lingo::Rgb{255, 0, 0}},
        ColorCase{"$FF0000", lingo::Rgb{0, 0, 255}}, ColorCase{"$00ff00", lingo::Rgb{0, 255, 0}},
        ColorCase{"255", lingo::Rgb{255, 0, 0}}, ColorCase{"16711680", lingo::Rgb{0, 0, 255}},
        ColorCase{"", std::nullopt}, ColorCase{"red", std::nullopt}, ColorCase{"$", std::nullopt},
        ColorCase{"$GG", std::nullopt}, ColorCase{"-1", std::nullopt},
        ColorCase{"$1000000", std::nullopt}));

TEST(LanguageFile, FoundWithoutRegardToLetterCase) {
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("Prog Dir/Intl"));
    QFile f(root.filePath(QStringLiteral("Prog Dir/Intl/TRAWLEX.INI")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString prog = root.filePath(QStringLiteral("Prog Dir")) + u'/';
    EXPECT_EQ(lingo::languageFilePath(prog, QStringLiteral("INTL")),
              prog + QStringLiteral("Intl/TRAWLEX.INI"));
    // Nothing there: the lower-case name below the unchanged program folder.
    EXPECT_EQ(lingo::languageFilePath(prog, QStringLiteral("FR")),
              prog + QStringLiteral("fr/trawlex.ini"));
    EXPECT_EQ(lingo::languageFilePath(prog, QStringLiteral("lang\\FR")),
              prog + QStringLiteral("lang/fr/trawlex.ini"));
}

} // namespace
