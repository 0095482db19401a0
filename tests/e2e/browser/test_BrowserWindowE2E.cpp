#include "app/uTrawlMain.h"
#include "browser/BrowserEvents.h"
#include "browser/OrvoBrowser.h"
#include "platform/Ticks.h"
#include "platform/Widgets.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowElements.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

class BrowserWindowE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
    }
    TfrmTrawl& open() {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        // The start page, not only the blank page before it: its completion must not be
        // taken for the completion of a test's own load.
        const QString start = QUrl::fromLocalFile(window->homePageFile()).toString();
        EXPECT_TRUE(waitUntil([&] {
            return ui(*window).WB()->LocationURL() == start &&
                   ui(*window).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
        }));
        return *window;
    }
    void load(platform::TWebBrowser* b, const QString& url) {
        // Only this page's completion counts: the start page may still finish after the
        // test's navigation began, and the favourite would then be taken from it.
        bool done = false;
        auto c = QObject::connect(
            b, &platform::TWebBrowser::OnDocumentComplete,
            [&](platform::TWebBrowser*, const QString& at) { done = done || at == url; });
        b->Navigate(url);
        EXPECT_TRUE(waitUntil([&] { return done; })) << url.toStdString();
        QObject::disconnect(c);
        pump(20);
    }

    LoopbackServer server;
    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(BrowserWindowE2E, TheFavouritePageSurvivesARestart) {
    server.routeHtml("/shop", "<html><head><title>Corner Shop</title></head><body>s</body></html>");
    const QString url = server.url(q("/shop")).toString();
    auto& w = open();
    load(ui(w).WB(), url);
    QTest::mouseClick(ui(w).btnFavorite(), Qt::LeftButton);
    EXPECT_EQ(ui(w).mnPopFavoritePage()->text(), q("Corner Shop"));
    EXPECT_EQ(dialogs.texts(platform::RecordingDialogs::Kind::Message),
              QStringList{q("OrvoBookMark Saved\nCorner Shop\n") + url});

    window.reset();
    auto& again = open();
    EXPECT_EQ(ui(again).mnPopFavoritePage()->text(), q("Corner Shop"));
    const int before = server.count("/shop");
    ui(again).mnPopFavoritePage()->trigger();
    EXPECT_TRUE(waitUntil([&] { return ui(again).WB()->LocationURL() == url; }));
    EXPECT_EQ(server.count("/shop"), before + 1);
}

TEST_F(BrowserWindowE2E, TheAssistantsSliceComesFromTheEnginesText) {
    QByteArray body;
    for (int i = 0; body.size() < 8000; ++i)
        body += "<div>line " + QByteArray::number(i) + "</div>";
    server.routeHtml("/long", "<html><body>" + body + "</body></html>");
    auto& w = open();
    load(ui(w).WBassist(), server.url(q("/long")).toString());
    const auto snapshot = ui(w).WBassist()->Document();
    ASSERT_TRUE(snapshot && snapshot->bodyInnerText);
    const QString expected = browser::AssistTextSlice(*snapshot->bodyInnerText);
    EXPECT_EQ(expected.size(), 1024);
    EXPECT_EQ(ui(w).mmControl()->toPlainText(), expected);
    EXPECT_EQ(ui(w).mmIndic()->text(),
              (q("Done collecting data from: ") + server.url(q("/long")).toString()).toUpper());
    // The assistant's own profile: no scripts, no pictures, silent.
    EXPECT_EQ(ui(w).WBassist()->DownloadControl(), 0x40004780);
}

} // namespace
