// The start page and the demo template on the real engine: a click on a start-page link
// loads the template, and the demo template reads its site through the program's
// document snapshots and its service browser.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/HtmlDocument.h"
#include "browser/OrvoBrowser.h"
#include "orvo/PluginBase.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QFile>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

bool waitFor(const std::function<bool()>& predicate, int ms = 20000) {
    return QTest::qWaitFor(predicate, ms);
}

class StartPageE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    TfrmTrawl& open() {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        EXPECT_TRUE(waitFor([&] { return startPageShown(); }));
        return *window;
    }
    bool startPageShown() {
        return ui(*window).WB()->ReadyState() == platform::READYSTATE_COMPLETE &&
               ui(*window).WB()->LocationURL() ==
                   QUrl::fromLocalFile(window->homePageFile()).toString();
    }
    // Clicks the start page's link whose text contains label, as the user would.
    void clickLink(const QString& label) {
        auto* view = ui(*window).WB()->findChild<QWebEngineView*>();
        ASSERT_NE(view, nullptr);
        view->page()->runJavaScript(
            QStringLiteral("for (const a of document.querySelectorAll('li.lien a'))"
                           "  if (a.textContent.includes(%1)) { a.click(); break; }")
                .arg(QStringLiteral("'") + label + QStringLiteral("'")));
    }
    QString demoHome() {
        return QUrl::fromLocalFile(folder.file(QStringLiteral("demo/index.html"))).toString();
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

const QString kDemoTitle =
    QStringLiteral("Trawlex -  Template: US-DEMO created by Trawlex demo [1.0]");

TEST_F(StartPageE2E, ClickingTheDemoTemplateOpensTheDemoSite) {
    TfrmTrawl& w = open();
    const auto page = ui(w).WB()->Document();
    ASSERT_TRUE(page && page->bodyInnerText);
    EXPECT_TRUE(page->bodyInnerText->contains(QStringLiteral("US = USA")));
    // The compiled demo template and its declarative twin.
    EXPECT_TRUE(page->bodyInnerText->contains(QStringLiteral("2 templates found")));

    clickLink(QStringLiteral("demo"));
    ASSERT_TRUE(waitFor([&] { return w.windowTitle() == kDemoTitle; }))
        << w.windowTitle().toStdString();
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL() == demoHome() &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));
    const auto home = ui(w).WB()->Document();
    ASSERT_TRUE(home);
    EXPECT_TRUE(home->html.contains(QStringLiteral("Lantern Bay Business Directory")));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(StartPageE2E, ATemplateWithoutHomePageLeavesTheStartPageOnShow) {
    QFile::copy(QStringLiteral(PLUGINS_FIXTURES_DIR "/no_home_page.orp"),
                folder.file(QStringLiteral("us_no_home_page.orp")));
    TfrmTrawl& w = open();
    clickLink(QStringLiteral("home"));
    ASSERT_TRUE(waitFor([&] { return w.hasTemplate(); }));
    EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("Template: FIXTURE")));
    QTest::qWait(300);
    EXPECT_TRUE(startPageShown());
}

TEST_F(StartPageE2E, AFileNameWithMarkupAndUrlCharactersStillLoads) {
    QFile::copy(folder.file(QStringLiteral("us_demo_directory.orp")),
                folder.file(QStringLiteral("us_a&b <i>\"x\" #1?.orp")));
    TfrmTrawl& w = open();
    const auto page = ui(w).WB()->Document();
    ASSERT_TRUE(page && page->bodyInnerText);
    // Shown as text, not taken as markup.
    EXPECT_TRUE(page->bodyInnerText->contains(QStringLiteral("<i>\"x\" #1?")));
    clickLink(QStringLiteral("#1"));
    EXPECT_TRUE(waitFor([&] { return w.windowTitle() == kDemoTitle; }))
        << w.windowTitle().toStdString();
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(StartPageE2E, TheDemoTemplateCollectsEmailThroughTheServiceBrowser) {
    TfrmTrawl& w = open();
    w.loadtemplate(folder.file(QStringLiteral("us_demo_directory.orp")));
    ASSERT_TRUE(w.hasTemplate());
    const QString results =
        QUrl::fromLocalFile(folder.file(QStringLiteral("demo/results-1.html"))).toString();
    ui(w).WB()->Navigate(results);
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL() == results &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));

    const std::shared_ptr<TPlugin> keep = w.currentTemplate();
    IPlugin* p = keep->Instance();
    p->SetWantsEmail(1);
    p->SetStop(0);
    browser::OrvoRef<IHTMLDocument2> doc(browser::DocumentOf(ui(w).WB()));
    ASSERT_TRUE(doc);
    const QStringList lines = FromTemplateText(p->GetData(doc.get())).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 20);
    int withEmail = 0;
    for (const QString& line : lines)
        withEmail += line.split(u'\u00A4').value(4).contains(u'@') ? 1 : 0;
    EXPECT_GT(withEmail, 10);
    // The service browser went to the detail pages; the main browser stayed.
    EXPECT_TRUE(ui(w).wb2()->LocationURL().contains(QStringLiteral("/demo/listing-")));
    EXPECT_EQ(ui(w).WB()->LocationURL(), results);

    const char16_t* next = nullptr;
    ASSERT_TRUE(p->GetNextPage(doc.get(), &next));
    EXPECT_EQ(FromTemplateText(next),
              QUrl::fromLocalFile(folder.file(QStringLiteral("demo/results-2.html"))).toString());
}

// The declarative demo template, clicked on the start page, reads the live page as the
// compiled one does: the same rows, e-mail included, and the same next page.
TEST_F(StartPageE2E, TheDeclarativeDemoTemplateLoadsFromTheStartPageAndReadsLikeTheCompiledOne) {
    TfrmTrawl& w = open();
    clickLink(QStringLiteral("directory.orp")); // "us_demo_directory.orp.json"
    ASSERT_TRUE(waitFor([&] { return w.hasTemplate() && w.currentTemplate()->Declarative() != nullptr; }));
    EXPECT_TRUE(waitFor([&] { return w.windowTitle() == kDemoTitle; }))
        << w.windowTitle().toStdString();
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL() == demoHome() &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));
    const QString results =
        QUrl::fromLocalFile(folder.file(QStringLiteral("demo/results-1.html"))).toString();
    ui(w).WB()->Navigate(results);
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL() == results &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));
    browser::OrvoRef<IHTMLDocument2> doc(browser::DocumentOf(ui(w).WB()));
    ASSERT_TRUE(doc);

    // Both templates over the same snapshot of the live page, each with the window's
    // service browser.
    PluginLoad compiled = TPlugin::Create(folder.file(QStringLiteral("us_demo_directory.orp")));
    ASSERT_TRUE(compiled);
    const std::shared_ptr<TPlugin> keep = w.currentTemplate();
    QStringList rows[2];
    QString next[2];
    IPlugin* plugins[2] = {compiled.plugin->Instance(), keep->Instance()};
    for (int i = 0; i < 2; ++i) {
        IPlugin* p = plugins[i];
        const auto service = orvo::Ref<IWebBrowser2>::adopt(
            browser::WebBrowser2Of(static_cast<platform::TWebBrowser*>(ui(w).wb2())));
        p->SetServiceBrowser(service.get());
        p->SetWantsEmail(1);
        p->SetStop(0);
        rows[i] = FromTemplateText(p->GetData(doc.get())).split(QStringLiteral("\r\n"));
        const char16_t* url = nullptr;
        EXPECT_TRUE(p->GetNextPage(doc.get(), &url));
        next[i] = FromTemplateText(url);
    }
    ASSERT_EQ(rows[1].size(), 20);
    EXPECT_EQ(rows[1], rows[0]);
    int withEmail = 0;
    for (const QString& line : rows[1])
        withEmail += line.split(u'\u00A4').value(4).contains(u'@') ? 1 : 0;
    EXPECT_GT(withEmail, 10);
    EXPECT_EQ(next[1], next[0]);
    EXPECT_EQ(ui(w).WB()->LocationURL(), results);
}

} // namespace
