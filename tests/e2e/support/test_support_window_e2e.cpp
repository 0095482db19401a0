#include "app/uTrawlMain.h"
#include "browser/OrvoBrowser.h"
#include "platform/Ticks.h"
#include "plugins/HomePage.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowElements.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

using Kind = platform::RecordingDialogs::Kind;

namespace {

// The whole window on the real engine, its "index.ini" pointing at a loopback server.
class SupportWindowE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        ASSERT_TRUE(server.listen());
        writeIni(server.base());
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::setTickSource({});
        platform::resetShutdownForTests();
    }
    void writeIni(const QString& updateServer) {
        folder.write(QStringLiteral("index.ini"),
                     "[Application]\nUpdateServer=" + updateServer.toUtf8() +
                         "\nWebSite=http://site.test/\n");
    }
    TfrmTrawl& open() {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        // The service browser's blank page first, as before any check the user can start.
        EXPECT_TRUE(waitUntil(
            [&] { return ui(*window).wb2()->ReadyState() == platform::READYSTATE_COMPLETE; }));
        dialogs.clear();
        return *window;
    }
    QString install(const char* fixture, const QString& as) {
        const QString target = folder.file(as);
        EXPECT_TRUE(QFile::copy(
            QStringLiteral(PLUGINS_FIXTURES_DIR "/") + QString::fromUtf8(fixture), target));
        QFile f(target);
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        EXPECT_TRUE(f.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(12, 0)),
                                  QFileDevice::FileModificationTime));
        return target;
    }
    static LoopbackServer::Response text(const QByteArray& body) {
        LoopbackServer::Response a;
        a.contentType = "text/plain; charset=utf-8";
        a.noStore = true;
        a.body = body;
        return a;
    }
    QStringList messages() const { return dialogs.texts(Kind::Message); }
    static QString programStamp() { return FileDateStamp(QCoreApplication::applicationFilePath()); }

    LoopbackServer server;
    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(SupportWindowE2E, ANewerBuildIsReportedWithTheAnswerAsReceived) {
    server.route("/progdate.php?prog=self", text(" \n 20991231 \n\n"));
    TfrmTrawl& w = open();
    ui(w).btnUpgrade()->click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].startsWith(QStringLiteral("\nUPGRADE WARNING\n")));
    EXPECT_TRUE(messages()[0].endsWith(programStamp() + QStringLiteral(" f-w  \n 20991231 \n\n")))
        << messages()[0].toStdString();
    EXPECT_TRUE(ui(w).btnupdateprog()->isVisible());
    EXPECT_EQ(server.targets(), QList<QByteArray>{"/progdate.php?prog=self"});
}

TEST_F(SupportWindowE2E, NoNewerBuildWhateverTheServerDoes) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"equal", [&] { server.route("/progdate.php?prog=self", text(programStamp().toUtf8())); }},
        {"letters", [&] { server.route("/progdate.php?prog=self", text("abc")); }},
        {"error page",
         [&] {
             LoopbackServer::Response page = text("<html><body><h1>Not Found</h1></body></html>");
             page.status = 404;
             page.contentType = "text/html";
             server.route("/progdate.php?prog=self", page);
         }},
        {"no server", [&] { writeIni(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())); }},
    };
    TfrmTrawl& w = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        dialogs.clear();
        ui(w).btnUpgrade()->click();
        EXPECT_EQ(messages(), QStringList{QStringLiteral("Your software is up to date!")});
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex -  - No online upgrades detected..."));
        EXPECT_FALSE(ui(w).btnupdateprog()->isVisible());
    }
}

TEST_F(SupportWindowE2E, ALateServerDoesNotHoldTheCheckBeyondTheLimit) {
    TfrmTrawl& w = open();
    // Twenty ticks per millisecond, starting just before the counter wraps.
    QElapsedTimer real;
    real.start();
    const std::uint32_t start = 0xFFFFFFFFu - 1000;
    platform::setTickSource(
        [real, start] { return start + static_cast<std::uint32_t>(real.elapsed() * 20); });
    LoopbackServer::Response late = text("20991231");
    late.delayMs = 8000;
    server.route("/progdate.php?prog=self", late);
    ui(w).btnUpgrade()->click();
    EXPECT_GE(static_cast<std::uint32_t>(platform::GetTickCount() - start), 5000u);
    EXPECT_EQ(server.answered, 0);
    EXPECT_EQ(messages(), QStringList{QStringLiteral("Your software is up to date!")});
}

TEST_F(SupportWindowE2E, ATemplateUpdateIsFoundAndDownloadedWhereTheUserSaysSo) {
    const QString path = install("basic.orp", QStringLiteral("au yellow pages.orp"));
    server.route("/filedate.php?plugin=au%20yellow%20pages.orp", text("20240306\n"));
    LoopbackServer::Response file;
    file.noStore = true;
    file.contentType = "application/octet-stream";
    file.body = "new template bytes";
    server.route("/templates/au%20yellow%20pages.orp", file);
    TfrmTrawl& w = open();

    w.loadtemplate(path);
    ASSERT_TRUE(w.hasTemplate());
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(
        messages()[0],
        QStringLiteral("There is an update for this plugin:\n") + server.base() +
            QStringLiteral("templates/au yellow pages.orp\nDatestamps: 20240305 f-w 20240306\n"));
    EXPECT_TRUE(ui(w).btnUpdateplugin()->isVisible());

    QTemporaryDir saveTo;
    const QString target = saveTo.path() + QStringLiteral("/au yellow pages.orp");
    dialogs.setNextFileName(target);
    ui(w).btnUpdateplugin()->click();
    ASSERT_TRUE(waitUntil([&] {
        QFile f(target);
        return f.open(QIODevice::ReadOnly) && f.readAll() == "new template bytes";
    }));
    const auto saves = dialogs.texts(Kind::SaveFile);
    EXPECT_EQ(saves.size(), 1);
}

// Started with a template on the command line, the check runs while the service browser's
// blank start-up page is still on its way: the answer read must be the server's, every time.
TEST_F(SupportWindowE2E, ATemplateGivenAtStartUpIsCheckedEveryTime) {
    const QString path = install("basic.orp", QStringLiteral("au_startup.orp"));
    server.route("/filedate.php?plugin=au_startup.orp", text("  20991231 "));
    constexpr int kStarts = 30;
    int found = 0;
    for (int i = 0; i < kStarts; ++i) {
        dialogs.clear();
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.arguments = QStringList{path};
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        waitUntil([&] { return !messages().isEmpty(); }, 10000);
        const QStringList seen = messages();
        if (seen.size() == 1 &&
            seen[0].startsWith(QStringLiteral("There is an update for this plugin:\n")) &&
            seen[0].contains(QStringLiteral(" f-w   20991231")))
            ++found;
        else
            ADD_FAILURE() << "start " << i << ": " << seen.join(u'|').toStdString();
        window.reset();
    }
    EXPECT_EQ(found, kStarts);
}

TEST_F(SupportWindowE2E, SnapshotOfTheMainBrowser) {
    TfrmTrawl& w = open();
    ui(w).WB()->Navigate(
        QStringLiteral(TRAWLEX_FIXTURES_DIR "/support/snapshot_block_top_left_page.html"));
    ASSERT_TRUE(waitUntil([&] {
        return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE &&
               ui(w).WB()->grab().toImage().pixelColor(10, 10) == QColor(0, 0, 255);
    }));
    w.WebBrowserScreenShot(ui(w).WB(), QStringLiteral("2"));
    const QImage shot = ui(w).ImgLogo()->pixmap().toImage();
    ASSERT_EQ(shot.size(), QSize(130, 130));
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_GT(shot.pixelColor(5, 5).blue(), 200);
    EXPECT_LT(shot.pixelColor(5, 5).red(), 60);
    EXPECT_GT(shot.pixelColor(110, 110).lightness(), 240);
    EXPECT_EQ(shot.pixelColor(60, 60), QColor(Qt::red));
}

} // namespace
