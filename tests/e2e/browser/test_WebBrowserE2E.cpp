#include "browser/BrowserEvents.h"
#include "browser/HtmlDocument.h"
#include "platform/web/QtBrowserEngine.h"
#include "platform/web/WebBrowser.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>

#include <gtest/gtest.h>

using namespace platform;

namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

// Records a browser's events in order; progress reports collapse to one entry.
struct EventLog {
    explicit EventLog(TWebBrowser& b) {
        QObject::connect(&b, &TWebBrowser::OnBeforeNavigate2,
                         [this, &b](TWebBrowser*, const QString& url, bool* cancel) {
                             add(q("before ") + url);
                             states.append(b.ReadyState());
                             if (cancelIf && cancelIf(url))
                                 *cancel = true;
                         });
        QObject::connect(&b, &TWebBrowser::OnProgressChange, [this](TWebBrowser*, int, int max) {
            if (entries.isEmpty() || entries.last() != q("progress"))
                add(q("progress"));
            maxima.append(max);
        });
        QObject::connect(&b, &TWebBrowser::OnDownloadComplete, [this, &b](TWebBrowser*) {
            add(q("download"));
            states.append(b.ReadyState());
        });
        QObject::connect(&b, &TWebBrowser::OnDocumentComplete,
                         [this, &b](TWebBrowser*, const QString& url) {
                             add(q("document ") + url);
                             states.append(b.ReadyState());
                             ++documents;
                         });
    }
    void add(const QString& e) { entries.append(e); }
    QStringList entries;
    QList<int> states;
    QList<int> maxima;
    int documents = 0;
    std::function<bool(const QString&)> cancelIf;
};

class WebBrowserE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        browser = std::make_unique<TEmbeddedWB>();
        browser->resize(800, 600);
        // Shown, as the program's browsers are (off-screen ones included): a hidden page's
        // timers are throttled.
        browser->show();
        browser->setDocumentTimeout(5000);
        log = std::make_unique<EventLog>(*browser);
    }
    void TearDown() override {
        log.reset();
        browser.reset();
    }
    // Navigates and waits for the page's completion.
    bool open(const QString& path) {
        const int before = log->documents;
        browser->Navigate(server.url(path).toString());
        return waitUntil([&] { return log->documents > before; });
    }
    std::optional<PageSnapshot> document() { return browser->Document(); }
    // Runs a script in the page as its own scripts run.
    void runScript(const QString& js) {
        auto* engine = dynamic_cast<QtBrowserEngine*>(browser->engine());
        ASSERT_NE(engine, nullptr);
        engine->page()->runJavaScript(js, QWebEngineScript::ApplicationWorld);
    }

    LoopbackServer server;
    RecordingDialogs dialogs;
    ScopedDialogs scopedDialogs{&dialogs};
    std::unique_ptr<TEmbeddedWB> browser;
    std::unique_ptr<EventLog> log;
};

TEST_F(WebBrowserE2E, EventOrderOfANavigation) {
    server.routeHtml("/first", "<html><head><title>First</title></head><body>one</body></html>");
    EXPECT_EQ(browser->ReadyState(), READYSTATE_UNINITIALIZED);
    const QString url = server.url(q("/first")).toString();
    browser->Navigate(url);
    EXPECT_LT(browser->ReadyState(), READYSTATE_COMPLETE);
    ASSERT_TRUE(waitUntil([&] { return log->documents == 1; }));
    pump(200);
    EXPECT_EQ(log->entries, (QStringList{q("before ") + url, q("progress"), q("download"),
                                         q("document ") + url}));
    EXPECT_EQ(log->states.first(), READYSTATE_UNINITIALIZED);
    EXPECT_EQ(log->states.last(), READYSTATE_COMPLETE);
    EXPECT_EQ(browser->ReadyState(), READYSTATE_COMPLETE);
    for (int m : log->maxima)
        EXPECT_EQ(m, 100);
    EXPECT_EQ(browser->LocationURL(), url);
}

TEST_F(WebBrowserE2E, ALinkAsksFirstAndACancelledOneLeavesThePageOnShow) {
    server.routeHtml("/start", "<html><body><a id=go href='/next'>next</a>"
                               "<a id=no href='/refused'>no</a></body></html>");
    server.routeHtml("/next", "<html><body>next page</body></html>");
    ASSERT_TRUE(open(q("/start")));
    log->cancelIf = [](const QString& url) { return url.endsWith(u"/refused"); };
    log->entries.clear();

    runScript(q("document.getElementById('no').click()"));
    ASSERT_TRUE(waitUntil([&] { return !log->entries.isEmpty(); }));
    pump(500);
    EXPECT_EQ(log->entries.first(), q("before ") + server.url(q("/refused")).toString());
    EXPECT_EQ(server.count("/refused"), 0);
    EXPECT_EQ(browser->ReadyState(), READYSTATE_COMPLETE);
    EXPECT_EQ(browser->LocationURL(), server.url(q("/start")).toString());
    EXPECT_EQ(log->documents, 1);

    runScript(q("document.getElementById('go').click()"));
    ASSERT_TRUE(waitUntil([&] { return log->documents == 2; }));
    EXPECT_EQ(browser->LocationURL(), server.url(q("/next")).toString());
    EXPECT_EQ(server.count("/next"), 1);
}

TEST_F(WebBrowserE2E, ALinkFromAFilePageIsReportedAsAFileUrlAndTurnsBackIntoThePath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString templatePath = dir.filePath(q("my templates/us_demo_directory.orp"));
    QDir().mkpath(QFileInfo(templatePath).path());
    QFile page(dir.filePath(q("index.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body><a id=t href=\"" + templatePath.toUtf8() + "\">demo</a></body></html>");
    page.close();

    const int before = log->documents;
    browser->Navigate(page.fileName());
    ASSERT_TRUE(waitUntil([&] { return log->documents > before; }));
    QString reported;
    log->cancelIf = [&](const QString& url) {
        reported = url;
        return browser::IsTemplateLink(url);
    };
    runScript(q("document.getElementById('t').click()"));
    ASSERT_TRUE(waitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_TRUE(reported.startsWith(u"file://")) << reported.toStdString();
    EXPECT_TRUE(browser::IsTemplateLink(reported));
    EXPECT_EQ(browser::TemplateLinkPath(reported), templatePath);
    pump(300);
    EXPECT_TRUE(browser->LocationURL().endsWith(u"index.html"));
    EXPECT_EQ(browser->ReadyState(), READYSTATE_COMPLETE);
}

TEST_F(WebBrowserE2E, ImagesOffStopsImageRequestsFromTheNextLoadOn) {
    server.routeHtml("/pics", "<html><body><img src='/a.png'><img src='/b.png'></body></html>");
    LoopbackServer::Response png;
    png.contentType = "image/png";
    png.body = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8"
                                      "z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
    server.route("/a.png", png);
    server.route("/b.png", png);

    browser->SetDownloadOptions(DLCTL_DLIMAGES | DLCTL_PRAGMA_NO_CACHE);
    ASSERT_TRUE(open(q("/pics")));
    EXPECT_TRUE(
        waitUntil([&] { return server.count("/a.png") == 1 && server.count("/b.png") == 1; }));

    // Changing the options does not reload the page on show.
    browser->SetDownloadOptions(DLCTL_PRAGMA_NO_CACHE);
    pump(300);
    EXPECT_EQ(server.count("/pics"), 1);

    ASSERT_TRUE(open(q("/pics?again")));
    pump(500);
    EXPECT_EQ(server.count("/a.png"), 1);
    EXPECT_EQ(server.count("/b.png"), 1);
}

TEST_F(WebBrowserE2E, ScriptsOffStopsInlineAndExternalScripts) {
    server.routeHtml("/js",
                     "<html><body><div id=out>static</div>"
                     "<script>document.getElementById('out').textContent='inline' + ' ran'</script>"
                     "<script src='/ext.js'></script></body></html>");
    LoopbackServer::Response js;
    js.contentType = "application/javascript";
    js.body = "document.title = 'external ran';";
    server.route("/ext.js", js);

    browser->SetDownloadOptions(DLCTL_NO_SCRIPTS);
    ASSERT_TRUE(open(q("/js")));
    auto off = document();
    ASSERT_TRUE(off);
    EXPECT_TRUE(off->html.contains(u"static"));
    EXPECT_FALSE(off->html.contains(u"inline ran"));
    EXPECT_EQ(server.count("/ext.js"), 0);

    browser->SetDownloadOptions(0);
    ASSERT_TRUE(open(q("/js?on")));
    ASSERT_TRUE(waitUntil([&] { return server.count("/ext.js") == 1; }));
    auto on = document();
    ASSERT_TRUE(on);
    EXPECT_TRUE(on->html.contains(u"inline ran"));
    EXPECT_EQ(on->bodyInnerText.value_or(QString()).trimmed(), q("inline ran"));
}

TEST_F(WebBrowserE2E, NoCacheHeadersArriveWithPageAndPictureRequests) {
    server.routeHtml("/cached", "<html><body><img src='/c.png'></body></html>");
    LoopbackServer::Response png;
    png.contentType = "image/png";
    server.route("/c.png", png);

    browser->SetDownloadOptions(DLCTL_DLIMAGES | DLCTL_PRAGMA_NO_CACHE);
    ASSERT_TRUE(open(q("/cached")));
    ASSERT_TRUE(waitUntil([&] { return server.count("/c.png") == 1; }));
    for (const char* path : {"/cached", "/c.png"}) {
        const auto* r = server.last(path);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->headers.value("pragma"), QByteArray("no-cache")) << path;
        EXPECT_EQ(r->headers.value("cache-control"), QByteArray("no-cache")) << path;
    }

    browser->SetDownloadOptions(DLCTL_DLIMAGES);
    ASSERT_TRUE(open(q("/cached?plain")));
    const auto* plain = server.last("/cached?plain");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->headers.contains("pragma"));
}

TEST_F(WebBrowserE2E, StopEndsAPageThatNeverFinishes) {
    LoopbackServer::Response never;
    never.hang = true;
    server.route("/never", never);
    browser->Navigate(server.url(q("/never")).toString());
    ASSERT_TRUE(waitUntil([&] { return server.count("/never") == 1; }));
    pump(300);
    EXPECT_LT(browser->ReadyState(), READYSTATE_COMPLETE);

    // The window goes on meanwhile.
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    EXPECT_TRUE(waitUntil([&] { return fired; }, 2000));

    browser->Stop();
    EXPECT_TRUE(waitUntil([&] { return browser->ReadyState() == READYSTATE_COMPLETE; }, 5000));
}

TEST_F(WebBrowserE2E, AScriptThatNeverYieldsDoesNotHangTheWindow) {
    server.routeHtml("/loop", "<html><body>x</body></html>");
    ASSERT_TRUE(open(q("/loop")));
    runScript(q("for (;;) {}"));
    pump(300);
    browser->setDocumentTimeout(1500);
    bool ticked = false;
    QTimer::singleShot(100, [&] { ticked = true; });
    QElapsedTimer t;
    t.start();
    const auto doc = browser->Document();
    EXPECT_FALSE(doc);
    EXPECT_LT(t.elapsed(), 4000);
    EXPECT_TRUE(ticked);
    EXPECT_EQ(browser->DocumentSourceText(), QString());
}

TEST_F(WebBrowserE2E, ScriptDialogsFollowSilentMode) {
    server.routeHtml("/talk", "<html><body><script>alert('hello');"
                              "document.title = confirm('sure?') ? 'yes' : 'no';</script>"
                              "</body></html>");
    browser->SetDownloadOptions(DLCTL_SILENT);
    ASSERT_TRUE(open(q("/talk")));
    pump(200);
    EXPECT_TRUE(dialogs.entries.isEmpty());

    browser->SetDownloadOptions(0);
    ASSERT_TRUE(open(q("/talk?loud")));
    ASSERT_TRUE(waitUntil([&] { return dialogs.entries.size() == 2; }));
    EXPECT_EQ(dialogs.texts(RecordingDialogs::Kind::Message), QStringList{q("hello")});
    EXPECT_EQ(dialogs.texts(RecordingDialogs::Kind::Question), QStringList{q("sure?")});
}

TEST_F(WebBrowserE2E, NonHtmlContentIsNoHtmlDocumentAndADownloadEndsTheLoad) {
    LoopbackServer::Response text;
    text.contentType = "text/plain";
    text.body = "just text";
    server.route("/t.txt", text);
    LoopbackServer::Response zip;
    zip.contentType = "application/octet-stream";
    zip.headers.append(
        qMakePair(QByteArray("Content-Disposition"), QByteArray("attachment; filename=x.zip")));
    zip.body = QByteArray(4096, 'z');
    server.route("/x.zip", zip);

    ASSERT_TRUE(open(q("/t.txt")));
    auto doc = document();
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->contentType, q("text/plain"));
    EXPECT_EQ(
        browser::CreateHtmlDocument({doc->html, doc->url, doc->contentType, doc->bodyInnerText}),
        nullptr);
    EXPECT_EQ(browser->DocumentSourceText().trimmed(), q("just text"));

    browser->Navigate(server.url(q("/x.zip")).toString());
    ASSERT_TRUE(waitUntil([&] { return server.count("/x.zip") == 1; }));
    EXPECT_TRUE(waitUntil([&] { return browser->ReadyState() == READYSTATE_COMPLETE; }, 5000));
}

TEST_F(WebBrowserE2E, AnAddressThatCannotBeReachedCompletesWithoutACrash) {
    browser->Navigate(q("http://no-such-host.invalid/page"));
    EXPECT_TRUE(waitUntil([&] { return browser->ReadyState() == READYSTATE_COMPLETE; }));
    EXPECT_GE(log->documents, 1);
}

TEST_F(WebBrowserE2E, NewWindowsStayInTheSameBrowser) {
    server.routeHtml("/opener", "<html><body style='margin:0'><a id=blank target=_blank "
                                "href='/target' style='display:block;width:200px;height:40px'>x</a>"
                                "</body></html>");
    server.routeHtml("/target", "<html><body>target</body></html>");
    ASSERT_TRUE(open(q("/opener")));
    // A pop-up the page opens by itself is refused.
    runScript(q("window.open('/popup')"));
    pump(500);
    EXPECT_EQ(server.count("/popup"), 0);

    // A user's click on a link for a new window goes on in this browser.
    auto* engine = dynamic_cast<QtBrowserEngine*>(browser->engine());
    QWidget* input = engine->view()->focusProxy();
    ASSERT_NE(input, nullptr);
    const int before = log->documents;
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(12, 14));
    ASSERT_TRUE(waitUntil([&] { return log->documents > before; }, 5000));
    EXPECT_EQ(browser->LocationURL(), server.url(q("/target")).toString());
    EXPECT_EQ(server.count("/target"), 1);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), 1);
}

TEST_F(WebBrowserE2E, HistoryCommandsOnAnEmptyHistoryDoNothing) {
    browser->GoBack();
    browser->GoForward();
    browser->Refresh2();
    browser->Stop();
    pump(300);
    EXPECT_TRUE(log->entries.isEmpty());
    EXPECT_EQ(browser->ReadyState(), READYSTATE_UNINITIALIZED);
    EXPECT_FALSE(browser->Document());
}

TEST_F(WebBrowserE2E, BackAndForwardAskBeforeNavigating) {
    server.routeHtml("/one", "<html><body>1</body></html>");
    server.routeHtml("/two", "<html><body>2</body></html>");
    ASSERT_TRUE(open(q("/one")));
    ASSERT_TRUE(open(q("/two")));
    log->entries.clear();
    const int before = log->documents;
    browser->GoBack();
    ASSERT_TRUE(waitUntil([&] { return log->documents > before; }));
    EXPECT_EQ(log->entries.first(), q("before ") + server.url(q("/one")).toString());
    EXPECT_EQ(browser->LocationURL(), server.url(q("/one")).toString());
}

TEST_F(WebBrowserE2E, DestroyingTheBrowserWhileItWaitsForTheDocument) {
    server.routeHtml("/busy", "<html><body>busy</body></html>");
    ASSERT_TRUE(open(q("/busy")));
    runScript(q("for (;;) {}"));
    pump(200);
    browser->setDocumentTimeout(8000);
    QTimer::singleShot(200, [&] {
        log.reset();
        browser.reset();
    });
    QElapsedTimer t;
    t.start();
    TWebBrowser* raw = browser.get();
    EXPECT_FALSE(raw->Document());
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(browser, nullptr);
}
} // namespace
