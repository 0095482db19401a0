#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "platform/Ticks.h"
#include "platform/UrlOpener.h"
#include "plugins/HomePage.h"
#include "tests/support/FakeBrowserEngine.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

using platform::FakeWeb;
using Kind = platform::RecordingDialogs::Kind;

namespace {

QUrl url(const QString& text) {
    return platform::navigationUrl(text);
}

class SupportWindow : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        platform::setUrlOpener([this](const QUrl& u) {
            opened << u;
            return true;
        });
        FakeWeb::instance().clear();
        writeIni({});
    }
    void TearDown() override {
        window.reset();
        platform::setUrlOpener({});
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    void writeIni(const QByteArray& extra) {
        folder.write(QStringLiteral("index.ini"),
                     "[Application]\nUpdateServer=http://upd.test/\nWebSite=http://site.test/\n" +
                         extra);
    }
    TfrmTrawl& open(QStringList arguments = {}) {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.arguments = std::move(arguments);
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        // A command-line template loads in the first turn of the event loop.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->commandLineTemplatePending(); }));
        dialogs.clear();
        return *window;
    }
    // A fixture template in the program folder, stamped 5 March 2024.
    QString install(const char* fixture, const QString& as = {}) {
        const QString target = folder.file(as.isEmpty() ? QString::fromUtf8(fixture) : as);
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(
            QStringLiteral(PLUGINS_FIXTURES_DIR "/") + QString::fromUtf8(fixture), target));
        QFile f(target);
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        EXPECT_TRUE(f.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(12, 0)),
                                  QFileDevice::FileModificationTime));
        return target;
    }
    static void answer(const QString& address, const QString& text) {
        FakeWeb::instance().addPage(url(address), text, QStringLiteral("text/plain"));
    }
    QStringList messages() const { return dialogs.texts(Kind::Message); }
    static QString programStamp() { return FileDateStamp(QCoreApplication::applicationFilePath()); }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    QList<QUrl> opened;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(SupportWindow, ProgramCheckFindingANewerBuildShowsTheUpgradeButton) {
    writeIni("Distrib=pro\\\n");
    TfrmTrawl& w = open();
    // The prefix keeps its backslash in the query, not in the download address.
    answer(QStringLiteral("http://upd.test/pro\\progdate.php?prog=self"),
           QStringLiteral("  20991231 \n"));
    ui(w).btnUpgrade()->click();
    ASSERT_EQ(messages().size(), 1);
    const QString text = messages()[0];
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("\nUPGRADE WARNING\nThis software has been updated.\n")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("\nconvenience from: http://site.test/...\n\nOr click")));
    EXPECT_TRUE(text.endsWith(programStamp() + QStringLiteral(" f-w   20991231 \n")));
    EXPECT_TRUE(ui(w).btnupdateprog()->isVisible());
    EXPECT_EQ(ui(w).btnupdateprog()->toolTip(),
              QStringLiteral("http://site.test/pro/trxsetup.exe"));

    // A later check that finds nothing leaves the button where it is.
    FakeWeb::instance().clear();
    dialogs.clear();
    ui(w).btnUpgrade()->click();
    EXPECT_EQ(messages(), QStringList{QStringLiteral("Your software is up to date!")});
    EXPECT_TRUE(ui(w).btnupdateprog()->isVisible());
}

TEST_F(SupportWindow, ProgramCheckWithoutANewerBuildSaysSo) {
    struct Case {
        const char* name;
        std::function<void()> serve;
    };
    const QString query = QStringLiteral("http://upd.test/progdate.php?prog=self");
    const Case cases[] = {
        {"equal", [&] { answer(query, programStamp()); }},
        {"letters", [&] { answer(query, QStringLiteral("abc")); }},
        {"error page",
         [&] {
             FakeWeb::instance().addPage(url(query),
                                         QStringLiteral("<html><body><h1>404 Not Found</h1>"
                                                        "</body></html>"));
         }},
        {"unreachable", [] {}},
    };
    TfrmTrawl& w = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWeb::instance().clear();
        c.serve();
        dialogs.clear();
        w.setWindowTitle(QStringLiteral("before"));
        ui(w).btnUpgrade()->click();
        EXPECT_EQ(messages(), QStringList{QStringLiteral("Your software is up to date!")});
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex -  - No online upgrades detected..."));
        EXPECT_FALSE(ui(w).btnupdateprog()->isVisible());
    }
}

TEST_F(SupportWindow, TemplateLoadFindingAnUpdateShowsTheBlinkingButton) {
    TfrmTrawl& w = open();
    w.TimerTimer(); // the first tick after start-up only arms the blinking
    EXPECT_FALSE(ui(w).Timer()->isActive());

    const QString path = install("basic.orp");
    answer(QStringLiteral("http://upd.test/filedate.php?plugin=basic.orp"),
           QStringLiteral("20240306\n"));
    w.loadtemplate(path);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0], QStringLiteral("There is an update for this plugin:\n"
                                            "http://upd.test/templates/basic.orp\n"
                                            "Datestamps: 20240305 f-w 20240306\n"));
    EXPECT_TRUE(w.hasTemplate());
    EXPECT_TRUE(ui(w).btnUpdateplugin()->isVisible());
    EXPECT_EQ(ui(w).btnUpdateplugin()->toolTip(),
              QStringLiteral("http://upd.test/templates/basic.orp"));
    EXPECT_TRUE(ui(w).Timer()->isActive());

    w.TimerTimer();
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("basic..."));
    w.TimerTimer();
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("Update this plugin?"));

    // The next load hides the button and, finding nothing, leaves the timer running.
    dialogs.clear();
    w.loadtemplate(install("no_browser.orp"));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_FALSE(ui(w).btnUpdateplugin()->isVisible());
    EXPECT_TRUE(ui(w).Timer()->isActive());
}

TEST_F(SupportWindow, AnUpdateFoundDuringStartUpStaysWithoutBlinking) {
    const QString path = install("basic.orp");
    answer(QStringLiteral("http://upd.test/filedate.php?plugin=basic.orp"),
           QStringLiteral("20240306"));
    TfrmTrawl& w = open({path});
    EXPECT_TRUE(ui(w).btnUpdateplugin()->isVisible());
    ASSERT_TRUE(ui(w).Timer()->isActive());
    w.TimerTimer();
    EXPECT_FALSE(ui(w).Timer()->isActive());
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("Update this plugin?"));
    EXPECT_TRUE(ui(w).btnUpdateplugin()->isVisible());
}

TEST_F(SupportWindow, TemplateCheckAsksForTheFileNameAsItIs) {
    TfrmTrawl& w = open();
    w.TimerTimer();
    // Blanks unchanged; a file whose date cannot be read is older than any answer; a name
    // without "." blinks with all of its last part.
    answer(QStringLiteral("http://upd.test/filedate.php?plugin=au yellow pages"),
           QStringLiteral("20000101"));
    w.CheckTemplateUpdate(folder.file(QStringLiteral("au yellow pages")));
    EXPECT_TRUE(FakeWeb::instance().requests.contains(
        url(QStringLiteral("http://upd.test/filedate.php?plugin=au yellow pages"))));
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].endsWith(QStringLiteral("Datestamps: 18991230 f-w 20000101")));
    w.TimerTimer();
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("au yellow pages..."));

    // A long name keeps its first 18 characters; an ampersand shows as itself.
    w.CheckTemplateUpdate(QStringLiteral("/nowhere/smith&sons_directory_north.orp"));
    ui(w).btnUpdateplugin()->setText(QStringLiteral("Update this plugin?"));
    w.TimerTimer();
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("smith&&sons_directo..."));
    w.TimerTimer();
    EXPECT_EQ(ui(w).btnUpdateplugin()->text(), QStringLiteral("Update this plugin?"));
}

TEST_F(SupportWindow, DownloadsSendTheMainBrowserToTheFile) {
    TfrmTrawl& w = open();
    w.TimerTimer();
    answer(QStringLiteral("http://upd.test/filedate.php?plugin=basic.orp"),
           QStringLiteral("20240306"));
    w.CheckTemplateUpdate(install("basic.orp"));
    dialogs.clear();
    ui(w).btnUpdateplugin()->click();
    EXPECT_FALSE(ui(w).btnUpdateplugin()->isVisible());
    EXPECT_FALSE(ui(w).Timer()->isActive());
    EXPECT_EQ(messages(), QStringList{QStringLiteral(
                              "Attempting to download plugin: \nhttp://upd.test/templates/"
                              "basic.orp\nPlease save this file to the Trawlex folder,\nor to a "
                              "folder where you may easily find it again...")});
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return FakeWeb::instance().requests.contains(
            url(QStringLiteral("http://upd.test/templates/basic.orp")));
    }));

    answer(QStringLiteral("http://upd.test/progdate.php?prog=self"), QStringLiteral("20991231"));
    ui(w).btnUpgrade()->click();
    dialogs.clear();
    ui(w).btnupdateprog()->click();
    EXPECT_FALSE(ui(w).btnupdateprog()->isVisible());
    EXPECT_EQ(messages(),
              QStringList{QStringLiteral("Attempting to download your update: \nhttp://site.test/"
                                         "trxsetup.exe\nPlease save the file to a temporary "
                                         "folder...")});
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return FakeWeb::instance().requests.contains(
            url(QStringLiteral("http://site.test/trxsetup.exe")));
    }));
}

TEST_F(SupportWindow, ADownloadWithoutAnAddressFails) {
    TfrmTrawl& w = open();
    w.btnupdateprogClick();
    EXPECT_EQ(messages(), (QStringList{QStringLiteral("Attempting to download your update: \n\n"
                                                      "Please save the file to a temporary "
                                                      "folder..."),
                                       QStringLiteral("Can't download! Please do it manually\n"
                                                      "from our web site, file:")}));
    dialogs.clear();
    w.btnUpdatepluginClick();
    ASSERT_EQ(messages().size(), 2);
    EXPECT_EQ(messages()[1], QStringLiteral("Can't download this plugin!"));
}

TEST_F(SupportWindow, SnapshotReplacesTheLogoUntilTheReset) {
    TfrmTrawl& w = open();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }));
    const QImage logo = ui(w).ImgLogo()->pixmap().toImage();

    // A browser that holds no document leaves the logo as it is.
    TOrvoBrowser blank(ui(w).opWeb());
    w.WebBrowserScreenShot(&blank, QStringLiteral("2"));
    EXPECT_EQ(ui(w).ImgLogo()->pixmap().toImage(), logo);

    w.WebBrowserScreenShot(ui(w).WB(), QStringLiteral("2"));
    const QImage shot = ui(w).ImgLogo()->pixmap().toImage();
    ASSERT_EQ(shot.size(), QSize(130, 130));
    EXPECT_NE(shot, logo);
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(129, 129), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(60, 60), QColor(Qt::red));

    w.resetbuttons();
    EXPECT_EQ(ui(w).ImgLogo()->pixmap().toImage(), logo);
}

TEST_F(SupportWindow, ProblemReportNeedsATemplate) {
    TfrmTrawl& w = open();
    ui(w).AdvGlowButton1()->click();
    EXPECT_EQ(messages(), QStringList{QStringLiteral("No plug-in has been loaded.")});
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(SupportWindow, ProblemReportOpensAMailDraft) {
    struct Case {
        const char* ini;
        QString prefix;
        QString mail;
    };
    const Case cases[] = {
        {"", QStringLiteral("Trawlex - "), QStringLiteral("support@trawlex.example")},
        {"AppName=\"Smith & Sons #1 Trawl \"\nSupportMail=help@site.test\n",
         QStringLiteral("Smith & Sons #1 Trawl "), QStringLiteral("help@site.test")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        writeIni(c.ini);
        TfrmTrawl& w = open();
        w.loadtemplate(install("au_yp.orp"));
        ASSERT_TRUE(w.hasTemplate());
        opened.clear();
        dialogs.clear();
        ui(w).AdvGlowButton1()->click();
        EXPECT_TRUE(messages().isEmpty());
        ASSERT_EQ(opened.size(), 1);
        const QUrl& link = opened[0];
        EXPECT_EQ(link.scheme(), QStringLiteral("mailto"));
        EXPECT_EQ(link.path(), c.mail);
        const QUrlQuery query(link);
        EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                  QStringLiteral("Your TRX PlugIn doesn't work!"));
        const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
        EXPECT_TRUE(body.startsWith(
            QStringLiteral("Extraction with AU-YP doesn't seem to be working. \n\n")))
            << body.toStdString();
        EXPECT_TRUE(body.contains(QStringLiteral("version is ") + c.prefix +
                                  QStringLiteral("1.3.3. Please fix it!")))
            << body.toStdString();
        EXPECT_TRUE(body.endsWith(QStringLiteral("Don't forget to leave your full name...")));
        window.reset();
    }
}

} // namespace
