// The start page is a local file, yet a distributor's start page shows web images, runs
// web scripts and links to web sites. The hidden browsers keep the engine's stricter rule.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "platform/Ticks.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

class StartPageWebE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        ASSERT_TRUE(server.listen());
        LoopbackServer::Response png;
        png.contentType = "image/png";
        png.body = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJ"
            "RU5ErkJggg==");
        server.route("/banner.png", png);
        LoopbackServer::Response js;
        js.contentType = "text/javascript";
        js.body = "document.title = 'news loaded';";
        server.route("/news.js", js);
        server.routeHtml("/site.html", "<html><body><h1>Distributor site</h1></body></html>");
        server.routeHtml("/scripted.html", "<html><body>scripted</body></html>");
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    // A start-page template with a web banner, a web script and a link to a web site.
    TfrmTrawl& openWithWebStartPage() {
        const QByteArray base = server.url(QString()).toString().toUtf8();
        folder.write(QStringLiteral("index.tpl.html"),
                     "<html><head><title>Start</title></head><body>"
                     "<img id='banner' src='" +
                         base +
                         "/banner.png'>"
                         "<script src='" +
                         base +
                         "/news.js'></script>"
                         "<a id='visit' href='" +
                         base +
                         "/site.html'>Visit our web site</a>"
                         "</body></html>");
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        EXPECT_TRUE(waitUntil([&] {
            return ui(*window).WB()->ReadyState() == platform::READYSTATE_COMPLETE &&
                   ui(*window).WB()->LocationURL() ==
                       QUrl::fromLocalFile(window->homePageFile()).toString();
        }));
        return *window;
    }
    void runInPage(const QString& script) {
        auto* view = ui(*window).WB()->findChild<QWebEngineView*>();
        ASSERT_NE(view, nullptr);
        view->page()->runJavaScript(script);
    }

    LoopbackServer server;
    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(StartPageWebE2E, TheStartPageLoadsWebImagesAndScripts) {
    openWithWebStartPage();
    EXPECT_TRUE(waitUntil([&] { return server.count("/banner.png") == 1; }));
    EXPECT_TRUE(waitUntil([&] { return server.count("/news.js") == 1; }));
    EXPECT_TRUE(waitUntil([&] {
        const auto page = ui(*window).WB()->Document();
        return page && page->html.contains(QStringLiteral("news loaded"));
    }));
}

TEST_F(StartPageWebE2E, ALinkOnTheStartPageLeadsToTheWebSite) {
    struct Case {
        const char* name;
        QString script;
        QByteArray path;
    };
    const Case cases[] = {
        {"clicked link", QStringLiteral("document.getElementById('visit').click()"), "/site.html"},
        {"address set by a script",
         QStringLiteral("location.href = '%1'")
             .arg(server.url(QStringLiteral("/scripted.html")).toString()),
         "/scripted.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWithWebStartPage();
        runInPage(c.script);
        EXPECT_TRUE(waitUntil([&] { return server.count(c.path) == 1; }));
        EXPECT_TRUE(waitUntil([&] {
            return ui(*window).WB()->LocationURL() ==
                       server.url(QString::fromUtf8(c.path)).toString() &&
                   ui(*window).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
        })) << ui(*window).WB()->LocationURL().toStdString();
        window.reset();
    }
}

TEST_F(StartPageWebE2E, HiddenBrowsersKeepLocalPagesOffTheWeb) {
    TfrmTrawl& w = openWithWebStartPage();
    ASSERT_TRUE(waitUntil([&] { return server.count("/banner.png") == 1; }));
    // The same local page in the service browser fetches nothing from the web.
    ui(w).wb2()->Navigate(w.homePageFile());
    ASSERT_TRUE(waitUntil([&] {
        return ui(w).wb2()->ReadyState() == platform::READYSTATE_COMPLETE &&
               ui(w).wb2()->LocationURL() == QUrl::fromLocalFile(w.homePageFile()).toString();
    }));
    pump(500);
    EXPECT_EQ(server.count("/banner.png"), 1);
    EXPECT_EQ(server.count("/news.js"), 1);
}

} // namespace
