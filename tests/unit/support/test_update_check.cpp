#include "support/UpdateCheck.h"

#include "tests/support/QtPrinters.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace support;

namespace {

// A program folder with the given "index.ini" text (none when ini is null).
class ProgramFolder : public testing::Test {
protected:
    void writeIni(const QByteArray& text) {
        QFile f(dir.path() + QStringLiteral("/index.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString progDir() const { return dir.path() + u'/'; }
    QTemporaryDir dir;
};

TEST_F(ProgramFolder, DefaultsStayUnderTheReservedDomain) {
    for (const QString& base : {ReadUpdateServer(progDir()), ReadWebSite(progDir())}) {
        const QUrl url(base);
        EXPECT_TRUE(url.isValid()) << base.toStdString();
        EXPECT_TRUE(url.host().endsWith(QStringLiteral(".example"))) << base.toStdString();
        EXPECT_TRUE(url.host().contains(QStringLiteral("trawlex"))) << base.toStdString();
        EXPECT_TRUE(base.endsWith(u'/'));
    }
    EXPECT_TRUE(ReadSupportMail(progDir()).endsWith(QStringLiteral("trawlex.example")));
}

TEST_F(ProgramFolder, ConfiguredAddressesAreReadAfreshAndMadeUsable) {
    struct Case {
        const char* ini;
        QString server, site, mail;
    };
    const QString defServer = QString::fromUtf16(kDefaultUpdateServer);
    const QString defSite = QString::fromUtf16(kDefaultWebSite);
    const QString defMail = QString::fromUtf16(kDefaultSupportMail);
    const Case cases[] = {
        {"[application]\nupdateserver = http://127.0.0.1:8080/upd/\nWEBSITE=https://site.test/\n"
         "SupportMail=help@site.test\n",
         QStringLiteral("http://127.0.0.1:8080/upd/"), QStringLiteral("https://site.test/"),
         QStringLiteral("help@site.test")},
        // The file names are appended directly, so a missing "/" would glue them to the host.
        {"[Application]\nUpdateServer=\"http://127.0.0.1:8080\"\nWebSite=http://site.test/a\n",
         QStringLiteral("http://127.0.0.1:8080/"), QStringLiteral("http://site.test/a/"), defMail},
        // Empty, relative, not http, or without a host: the defaults.
        {"[Application]\nUpdateServer=\nWebSite=www.site.test\nSupportMail=\n", defServer, defSite,
         defMail},
        {"[Application]\nUpdateServer=javascript:alert(1)\nWebSite=file:///etc/\n", defServer,
         defSite, defMail},
        {"[Application]\nUpdateServer=http:///nohost/\nWebSite=http://exa mple/\n", defServer,
         defSite, defMail},
        {"[Other]\nUpdateServer=http://127.0.0.1:1/\n", defServer, defSite, defMail},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        SCOPED_TRACE(c.ini);
        EXPECT_EQ(ReadUpdateServer(progDir()), c.server);
        EXPECT_EQ(ReadWebSite(progDir()), c.site);
        EXPECT_EQ(ReadSupportMail(progDir()), c.mail);
    }
}

TEST(UpdateUrls, AreJoinedAsTheServerExpectsThem) {
    const QString server = QStringLiteral("http://127.0.0.1:9000/");
    const QString site = QStringLiteral("http://site.test/");
    struct Case {
        QString built, expected;
    };
    const Case cases[] = {
        {ProgramQueryUrl(server, {}),
         QStringLiteral("http://127.0.0.1:9000/progdate.php?prog=self")},
        // The distribution prefix keeps its backslashes in the query ...
        {ProgramQueryUrl(server, QStringLiteral("pro\\")),
         QStringLiteral("http://127.0.0.1:9000/pro\\progdate.php?prog=self")},
        // ... and loses them, with every other backslash, in the download address.
        {ProgramDownloadUrl(site, QStringLiteral("pro\\")),
         QStringLiteral("http://site.test/pro/trxsetup.exe")},
        {ProgramDownloadUrl(QStringLiteral("http://site.test\\x/"), {}),
         QStringLiteral("http://site.test/x/trxsetup.exe")},
        // A template's folder is dropped, its file name goes in unchanged, blanks included.
        {TemplateQueryUrl(server, QStringLiteral("/opt/trawlex/au yellow pages.orp")),
         QStringLiteral("http://127.0.0.1:9000/filedate.php?plugin=au yellow pages.orp")},
        {TemplateQueryUrl(server, QStringLiteral("C:\\Trawlex\\us&co+1.orp")),
         QStringLiteral("http://127.0.0.1:9000/filedate.php?plugin=us&co+1.orp")},
        {TemplateQueryUrl(server, QStringLiteral("us_demo.orp")),
         QStringLiteral("http://127.0.0.1:9000/filedate.php?plugin=us_demo.orp")},
        {TemplateDownloadUrl(server, QStringLiteral("/opt/trawlex/au yellow pages.orp")),
         QStringLiteral("http://127.0.0.1:9000/templates/au yellow pages.orp")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.built, c.expected);
}

TEST(StampComparison, NewerOnlyWhenTheAnswerIsALargerNumber) {
    struct Case {
        const char* local;
        QString answer;
        bool newer;
    };
    const Case cases[] = {
        {"20240305", QStringLiteral("  20240306 \r\n"), true},
        {"20240305", QStringLiteral("\t\x01 20991231\n\n"), true},
        {"20240305", QStringLiteral("20240305"), false},
        {"20240305", QStringLiteral(" 20240305\r\n"), false},
        {"20240305", QStringLiteral("20240304"), false},
        {"20240305", QStringLiteral("abc"), false},
        {"20240305", QStringLiteral("<html><body><h1>404 Not Found</h1></body></html>"), false},
        {"20240305", QStringLiteral("404 Not Found\nThe requested URL was not found."), false},
        {"20240305", QString(), false},
        {"20240305", QStringLiteral("20240306abc"), false},
        {"20240305", QStringLiteral("2024 0306"), false},
        // Beyond 32 bits: not a number, so not newer.
        {"20240305", QStringLiteral("99999999999"), false},
        {"20240305", QStringLiteral("+20240306"), true},
        {"20240305", QStringLiteral("-20240306"), false},
        // A no-break space is not trimmed.
        {"20240305", QStringLiteral("20240306") + QChar(0x00A0), false},
        // A file whose date cannot be read against any plausible answer.
        {"18991230", QStringLiteral("20000101"), true},
        // A stamp that could not be formatted reads as 0.
        {"", QStringLiteral("19000101"), true},
        {"", QStringLiteral("abc"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNewerStamp(QString::fromLatin1(c.local), c.answer), c.newer)
            << c.local << " vs \"" << c.answer.toStdString() << '"';
}

TEST(StampComparison, ReadsTheFull32BitRange) {
    EXPECT_EQ(StampNumber(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(StampNumber(QStringLiteral("-2147483648")), -2147483647 - 1);
    EXPECT_EQ(StampNumber(QStringLiteral("2147483648")), 0);
    EXPECT_EQ(StampNumber(QStringLiteral("-")), 0);
    EXPECT_EQ(StampNumber(QStringLiteral("007")), 7);
}

TEST(UpdateTexts, AreTheWindowsOwn) {
    struct Case {
        QString built, expected;
    };
    const Case cases[] = {
        {UpgradeMessage(QStringLiteral("http://site.test/"), QStringLiteral("20240305"),
                        QStringLiteral(" 20240306\r\n")),
         QStringLiteral("\nUPGRADE WARNING\nThis software has been updated.\nPlease download the "
                        "newer file at your earliest\nconvenience from: http://site.test/...\n\n"
                        "Or click on the button on my left...\n\n20240305 f-w  20240306\r\n")},
        {TemplateUpdateMessage(QStringLiteral("http://h/templates/au.orp"),
                               QStringLiteral("18991230"), QStringLiteral("20240306 ")),
         QStringLiteral("There is an update for this plugin:\nhttp://h/templates/au.orp\n"
                        "Datestamps: 18991230 f-w 20240306 ")},
        {NoUpgradesCaption(QStringLiteral("Trawlex - ")),
         QStringLiteral("Trawlex -  - No online upgrades detected...")},
        {ProgramDownloadMessage(QStringLiteral("http://s/trxsetup.exe")),
         QStringLiteral("Attempting to download your update: \nhttp://s/trxsetup.exe\n"
                        "Please save the file to a temporary folder...")},
        {ProgramDownloadFailedMessage(QStringLiteral("http://s/trxsetup.exe")),
         QStringLiteral("Can't download! Please do it manually\nfrom our web site, "
                        "file:http://s/trxsetup.exe")},
        {TemplateDownloadMessage(QStringLiteral("http://h/templates/au.orp")),
         QStringLiteral("Attempting to download plugin: \nhttp://h/templates/au.orp\nPlease save "
                        "this file to the Trawlex folder,\nor to a folder where you may easily "
                        "find it again...")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.built, c.expected);
}

TEST(Blinking, AlternatesBetweenTheCaptionAndTheShortName) {
    struct Case {
        QString url, shortName;
    };
    const Case cases[] = {
        {QStringLiteral("http://h/templates/au_yp.orp"), QStringLiteral("au_yp")},
        {QStringLiteral("http://h/templates/au.yp.orp"), QStringLiteral("au")},
        // No "." after the last "/": the whole last part, though the host has dots.
        {QStringLiteral("http://updates.trawlex.example/templates/au_yp"), QStringLiteral("au_yp")},
        {QStringLiteral("au_yp.orp"), QStringLiteral("au_yp")},
        {QStringLiteral("http://h/templates/"), QString()},
        {QStringLiteral("http://h/templates/a_very_long_template_name.orp"),
         QStringLiteral("a_very_long_template_name")},
    };
    const QString own = QString::fromUtf16(kUpdatePluginCaption);
    for (const Case& c : cases) {
        EXPECT_EQ(BlinkShortName(c.url), c.shortName);
        const QString blinked = NextBlinkCaption(own, c.url);
        EXPECT_EQ(blinked, c.shortName.left(18) + QStringLiteral("..."));
        EXPECT_EQ(NextBlinkCaption(blinked, c.url), own);
    }
    EXPECT_EQ(NextBlinkCaption(own, QStringLiteral("http://h/templates/a_very_long_template_name")),
              QStringLiteral("a_very_long_templa..."));
}

TEST(StampOfAFile, IsItsModificationDayOrTheZeroDate) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/au_yp.orp");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(12, 0)),
                              QFileDevice::FileModificationTime));
    f.close();

    // The answer goes through a browser that answers at once.
    struct Instant : ServiceBrowser {
        QString text;
        void navigate(const QString&) override {}
        bool isComplete() const override { return true; }
        QString sourceText(std::uint32_t) override { return text; }
    } browser;
    browser.text = QStringLiteral(" 20240306\n");
    StampCheck check = CheckStamp(browser, QStringLiteral("http://127.0.0.1:1/"), path);
    EXPECT_EQ(check.localStamp, QStringLiteral("20240305"));
    EXPECT_EQ(check.answer, QStringLiteral(" 20240306\n"));
    EXPECT_TRUE(check.newer);

    browser.text = QStringLiteral("20240305");
    EXPECT_FALSE(CheckStamp(browser, QStringLiteral("http://127.0.0.1:1/"), path).newer);

    check = CheckStamp(browser, QStringLiteral("http://127.0.0.1:1/"), path + u'x');
    EXPECT_EQ(check.localStamp, QStringLiteral("18991230"));
    EXPECT_TRUE(check.newer);
}

} // namespace
