#include "platform/Ticks.h"
#include "platform/web/WebBrowser.h"
#include "support/DownloadPrompt.h"
#include "support/Snapshot.h"
#include "support/UpdateCheck.h"
#include "support/WebServiceBrowser.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

#include <memory>

using namespace support;

namespace {

// The hidden service browser as start-up leaves it: shown off-screen, on "about:blank".
std::unique_ptr<platform::TEmbeddedWB> serviceBrowser() {
    auto b = std::make_unique<platform::TEmbeddedWB>();
    b->resize(300, 200);
    b->move(-2500, -1500);
    b->show();
    b->Navigate(QStringLiteral("about:blank"));
    waitUntil([&] { return b->ReadyState() == platform::READYSTATE_COMPLETE; });
    return b;
}

class UpdateQueryE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        ASSERT_TRUE(server.listen());
        local = dir.path() + QStringLiteral("/us_demo_directory.orp");
        QFile f(local);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("template");
        f.flush();
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(12, 0)),
                                  QFileDevice::FileModificationTime));
        browser = serviceBrowser();
    }
    void TearDown() override {
        browser.reset();
        platform::setTickSource({});
    }
    LoopbackServer server;
    QTemporaryDir dir;
    QString local;
    std::unique_ptr<platform::TEmbeddedWB> browser;
};

// Each answer as the service browser reads it, and the verdict against a template file
// stamped 20240305.
TEST_F(UpdateQueryE2E, ReadsTheServersAnswer) {
    struct Case {
        const char* name;
        QByteArray body;
        QByteArray contentType;
        int status;
        bool newer;
    };
    const Case cases[] = {
        // Blanks and line breaks around a later date: newer, the answer kept as it came.
        {"later", " \n 20240306 \n\n", "text/plain", 200, true},
        {"equal", "20240305", "text/plain", 200, false},
        {"earlier", "20240304\n", "text/plain", 200, false},
        {"letters", "abc", "text/plain", 200, false},
        {"error page",
         "<html><head><title>500</title></head><body><h1>Internal Server Error</h1>"
         "<p>20240306</p></body></html>",
         "text/html", 500, false},
    };
    WebServiceBrowser sb(browser.get());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray target = "/filedate.php?plugin=" + QByteArray(c.name).replace(' ', '_');
        LoopbackServer::Response a;
        a.noStore = true;
        a.body = c.body;
        a.contentType = c.contentType;
        a.status = c.status;
        server.route(target, a);
        const StampCheck check =
            CheckStamp(sb, server.base() + QString::fromLatin1(target.mid(1)), local);
        EXPECT_EQ(check.localStamp, QStringLiteral("20240305"));
        EXPECT_EQ(check.newer, c.newer) << check.answer.toStdString();
        if (c.contentType == "text/plain") {
            EXPECT_EQ(check.answer, QString::fromLatin1(c.body));
        }
    }
}

TEST_F(UpdateQueryE2E, AnUnknownAddressAnswersAnErrorPage) {
    WebServiceBrowser sb(browser.get());
    const StampCheck check = CheckStamp(sb, TemplateQueryUrl(server.base(), local), local);
    EXPECT_EQ(server.targets().value(0), QByteArray("/filedate.php?plugin=us_demo_directory.orp"));
    EXPECT_TRUE(check.answer.contains(QStringLiteral("Not Found")));
    EXPECT_FALSE(check.newer);
}

TEST_F(UpdateQueryE2E, NoServerReadsAsNotNewer) {
    WebServiceBrowser sb(browser.get());
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());
    const StampCheck check = CheckStamp(sb, ProgramQueryUrl(base, {}), local);
    EXPECT_FALSE(check.newer) << check.answer.toStdString();
}

TEST_F(UpdateQueryE2E, ATemplateNameWithBlanksReachesTheServerAsItIs) {
    const QString spaced = dir.path() + QStringLiteral("/au yellow pages.orp");
    QFile f(spaced);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(12, 0)),
                              QFileDevice::FileModificationTime));
    f.close();
    LoopbackServer::Response a;
    a.contentType = "text/plain; charset=utf-8";
    a.noStore = true;
    a.body = "20240306";
    // The engine sends the blanks percent-encoded, as any browser does; nothing else is.
    server.route("/filedate.php?plugin=au%20yellow%20pages.orp", a);
    WebServiceBrowser sb(browser.get());
    const StampCheck check = CheckStamp(sb, TemplateQueryUrl(server.base(), spaced), spaced);
    EXPECT_EQ(server.targets().value(0),
              QByteArray("/filedate.php?plugin=au%20yellow%20pages.orp"));
    EXPECT_TRUE(check.newer);
}

TEST_F(UpdateQueryE2E, ALateServerIsGivenUpAtTheLimit) {
    // The tick counter runs twenty times faster than real time and wraps during the
    // wait, so five thousand ticks pass in a quarter of a second.
    QElapsedTimer real;
    real.start();
    const std::uint32_t start = 0xFFFFFFFFu - 2000;
    platform::setTickSource(
        [real, start] { return start + static_cast<std::uint32_t>(real.elapsed() * 20); });
    LoopbackServer::Response a;
    a.contentType = "text/plain; charset=utf-8";
    a.noStore = true;
    a.body = "20991231";
    a.delayMs = 8000;
    server.route("/progdate.php?prog=self", a);
    WebServiceBrowser sb(browser.get());
    const StampCheck check = CheckStamp(sb, ProgramQueryUrl(server.base(), {}), local);
    const std::uint32_t ticks = platform::GetTickCount() - start;
    EXPECT_GE(ticks, kServiceQueryLimitMs);
    EXPECT_EQ(server.answered, 0);
    EXPECT_EQ(server.targets().value(0), QByteArray("/progdate.php?prog=self"));
    // What the browser still held: the blank page.
    EXPECT_EQ(check.answer.trimmed(), QString());
    EXPECT_FALSE(check.newer);
}

class DownloadE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        platform::setDialogs(&dialogs);
        LoopbackServer::Response file;
        file.noStore = true;
        file.contentType = "application/octet-stream";
        file.body = QByteArray("\x7f"
                               "ELF template bytes\0\1\2",
                               24);
        file.headers = {{"Content-Disposition", "attachment; filename=\"au_yp.orp\""}};
        server.route("/templates/au_yp.orp", file);
        main = std::make_unique<platform::TEmbeddedWB>();
        main->resize(400, 300);
        main->show();
        prompt.attach(main.get());
        QObject::connect(&prompt, &DownloadPrompt::downloadEnded,
                         [this](const QString& path, bool finished) {
                             endedPath = path;
                             endedFinished = finished;
                             ++ended;
                         });
        QObject::connect(QWebEngineProfile::defaultProfile(), &QWebEngineProfile::downloadRequested,
                         [this](QWebEngineDownloadRequest*) { ++requested; });
    }
    void TearDown() override {
        main.reset();
        platform::setDialogs(nullptr);
    }
    QList<platform::RecordingDialogs::Entry> saveDialogs() const {
        QList<platform::RecordingDialogs::Entry> out;
        for (const auto& e : dialogs.entries)
            if (e.kind == platform::RecordingDialogs::Kind::SaveFile)
                out << e;
        return out;
    }

    LoopbackServer server;
    platform::RecordingDialogs dialogs;
    DownloadPrompt prompt;
    std::unique_ptr<platform::TEmbeddedWB> main;
    QTemporaryDir dir;
    QString endedPath;
    bool endedFinished = false;
    int ended = 0;
    int requested = 0;
};

TEST_F(DownloadE2E, SavesTheFileWhereTheUserChooses) {
    const QString target = dir.path() + QStringLiteral("/chosen/au_yp (new).orp");
    QDir().mkpath(dir.path() + QStringLiteral("/chosen"));
    dialogs.setNextFileName(target);
    main->Navigate(server.base() + QStringLiteral("templates/au_yp.orp"));
    ASSERT_TRUE(waitUntil([&] { return ended > 0; }));
    const auto asked = saveDialogs();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].request.fileName, QStringLiteral("au_yp.orp"));
    EXPECT_TRUE(asked[0].request.confirmOverwrite);
    EXPECT_TRUE(endedFinished);
    EXPECT_EQ(endedPath, target);
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("\x7f"
                                          "ELF template bytes\0\1\2",
                                          24));
}

TEST_F(DownloadE2E, CancellingTheDialogSavesNothing) {
    dialogs.setNextCancel();
    main->Navigate(server.base() + QStringLiteral("templates/au_yp.orp"));
    ASSERT_TRUE(waitUntil([&] { return !saveDialogs().isEmpty(); }));
    // Nothing is written to the engine's own download folder either.
    const QString folder = QWebEngineProfile::defaultProfile()->downloadPath();
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath(QStringLiteral("au_yp.orp"))));
    EXPECT_EQ(ended, 0);
}

TEST_F(DownloadE2E, AHiddenBrowserNeverAsks) {
    platform::TEmbeddedWB hidden;
    hidden.resize(300, 200);
    hidden.move(-2500, -1500);
    hidden.show();
    hidden.Navigate(server.base() + QStringLiteral("templates/au_yp.orp"));
    ASSERT_TRUE(waitUntil([&] { return requested > 0; }));
    EXPECT_TRUE(saveDialogs().isEmpty());
    EXPECT_EQ(ended, 0);
}

TEST(SnapshotE2E, ShowsTheViewSqueezedIntoTheLogoBox) {
    platform::TEmbeddedWB browser;
    browser.resize(1000, 700);
    browser.show();
    browser.Navigate(
        QStringLiteral(TRAWLEX_FIXTURES_DIR "/support/snapshot_block_top_left_page.html"));
    ASSERT_TRUE(waitUntil([&] { return browser.ReadyState() == platform::READYSTATE_COMPLETE; }));
    QWidget* view = browser.engine()->view();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->size(), QSize(1000, 700));
    // Painted once the page's first frame is there.
    ASSERT_TRUE(waitUntil([&] {
        const QImage page = view->grab().toImage();
        return page.pixelColor(10, 10) == QColor(0, 0, 255) &&
               page.pixelColor(900, 600) == QColor(255, 255, 255);
    }));

    const QImage shot = ViewSnapshot(view, QSize(130, 130), QStringLiteral("2"));
    ASSERT_EQ(shot.size(), QSize(130, 130));
    const auto blue = [&](int x, int y) {
        return shot.pixelColor(x, y).blue() > 200 && shot.pixelColor(x, y).red() < 60;
    };
    const auto white = [&](int x, int y) { return shot.pixelColor(x, y).lightness() > 240; };
    // The 400 x 280 block covers two fifths in each direction: 52 pixels across and down,
    // not 52 by 36 as a picture kept in proportion would show it.
    EXPECT_TRUE(blue(5, 5));
    EXPECT_TRUE(blue(48, 48));
    EXPECT_TRUE(blue(20, 45));
    EXPECT_TRUE(white(56, 20));
    EXPECT_TRUE(white(20, 56));
    EXPECT_TRUE(white(110, 110));
    // The frame.
    for (int i = 0; i < 130; ++i) {
        EXPECT_EQ(shot.pixelColor(i, 0), QColor(Qt::black)) << i;
        EXPECT_EQ(shot.pixelColor(i, 129), QColor(Qt::black)) << i;
        EXPECT_EQ(shot.pixelColor(0, i), QColor(Qt::black)) << i;
        EXPECT_EQ(shot.pixelColor(129, i), QColor(Qt::black)) << i;
    }
    // The label's corner.
    EXPECT_EQ(shot.pixelColor(60, 60), QColor(Qt::red));
    EXPECT_TRUE(white(59, 70));
}

} // namespace
