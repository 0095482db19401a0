// The capture controller without a window: the demo template and three browsers of the
// test's own, the whole demo site in one run on the real engine. The rows must be the
// ones the window's run gets.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "capture/WebCapturePages.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <orvo/PluginBase.h>

#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int kDemoListings = 112; // 120 entries over 6 pages, 8 of them repeated

// What a run shows, kept instead: the grid's size each time a page's capture starts.
class RecordingDisplay final : public capture::CaptureDisplay {
public:
    explicit RecordingDisplay(const capture::CaptureController& c) : m_c(c) {}
    void setTitleStatus(const QString& text) override {
        titles.append(text);
        if (text.endsWith(QStringLiteral("Extraction process started... Please wait! ")))
            countsAtPageStart.append(m_c.rowCount());
    }
    void showCount(int rows) override { counts.append(rows); }
    QStringList titles;
    QList<int> countsAtPageStart;
    QList<int> counts;

private:
    const capture::CaptureController& m_c;
};

// Every row as one text, sorted: the window's grid is ordered by its view.
QStringList rowsOf(const capture::TGridModel& grid) {
    QStringList rows;
    for (int r = 0; r < grid.rows(); ++r)
        rows.append(grid.rowFields(r).join(u'|'));
    rows.sort();
    return rows;
}

bool ready(const platform::TWebBrowser& b) {
    return b.ReadyState() == platform::READYSTATE_COMPLETE;
}

class CaptureHeadlessE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
    }
    void TearDown() override {
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    QString resultsPage() const {
        return QUrl::fromLocalFile(folder.file(QStringLiteral("demo/results-1.html"))).toString();
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
};

TEST_F(CaptureHeadlessE2E, WholeDemoSiteWithoutAWindowGivesTheWindowsRows) {
    // Browsers of the test's own, as a program without a window would make them; shown
    // (off-screen) because a hidden page's timers are throttled.
    TOrvoBrowser main;
    platform::TEmbeddedWB service;
    TOrvoBrowser assist;
    for (platform::TWebBrowser* b :
         {static_cast<platform::TWebBrowser*>(&main), static_cast<platform::TWebBrowser*>(&service),
          static_cast<platform::TWebBrowser*>(&assist)}) {
        b->resize(1024, 780);
        b->show();
    }
    service.Navigate(QStringLiteral("about:blank"));
    assist.Navigate(QStringLiteral("about:blank"));

    capture::WebCapturePages pages;
    pages.setBrowser(capture::Browser::WB, &main);
    pages.setBrowser(capture::Browser::wb2, &service);
    pages.setBrowser(capture::Browser::WBassist, &assist);

    PluginLoad load =
        TPlugin::Create(folder.file(QStringLiteral("us_demo_directory.orp")), folder.path());
    ASSERT_TRUE(load) << load.error.message.toStdString();
    const std::shared_ptr<TPlugin> demo = std::move(load.plugin);
    const auto handed = orvo::Ref<IWebBrowser2>::adopt(browser::WebBrowser2Of(&service));
    demo->Instance()->SetServiceBrowser(handed.get());

    capture::CaptureController controller(pages, [&] { return demo; });
    RecordingDisplay display(controller);
    controller.setDisplay(&display);
    QList<bool> running;
    QObject::connect(&controller, &capture::CaptureController::runningChanged,
                     [&](bool on) { running.append(on); });
    controller.writeColumnHeaders();
    ASSERT_TRUE(controller.readColumnWidths());
    EXPECT_EQ(controller.grid().columns(), 5);

    main.Navigate(resultsPage());
    ASSERT_TRUE(waitUntil([&] { return ready(main) && ready(service) && ready(assist); }));
    controller.setPauseSeconds(0);
    controller.capture(); // returns when the run has ended

    EXPECT_EQ(controller.rowCount(), kDemoListings);
    // Pages 2 to 6 repeat 1, 1, 2, 1 and 3 listings of earlier pages.
    EXPECT_EQ(display.countsAtPageStart, (QList<int>{0, 20, 39, 58, 76, 95}));
    EXPECT_EQ(display.counts.value(display.counts.size() - 1), kDemoListings);
    EXPECT_EQ(display.titles.value(display.titles.size() - 1),
              QStringLiteral(" Your extraction has been completed."));
    EXPECT_EQ(running, (QList<bool>{true, false}));
    EXPECT_FALSE(controller.isRunning());
    EXPECT_EQ(controller.pageCounter(), 1);
    EXPECT_TRUE(main.LocationURL().endsWith(QStringLiteral("results-6.html")));
    EXPECT_TRUE(dialogs.entries.isEmpty());
    const QStringList headless = rowsOf(controller.grid());

    // The same site through the window.
    TfrmTrawl::Options o;
    o.progDir = folder.path();
    o.exitProcess = false;
    auto window = std::make_unique<TfrmTrawl>(o);
    window->show();
    window->loadtemplate(folder.file(QStringLiteral("us_demo_directory.orp")));
    ASSERT_TRUE(window->hasTemplate());
    ASSERT_TRUE(waitUntil([&] {
        return ui(*window).WB()->LocationURL().endsWith(QStringLiteral("demo/index.html")) &&
               ready(*ui(*window).WB());
    }));
    ui(*window).WB()->Navigate(resultsPage());
    ASSERT_TRUE(waitUntil([&] {
        return ui(*window).WB()->LocationURL().endsWith(QStringLiteral("results-1.html")) &&
               ready(*ui(*window).WB());
    }));
    ui(*window).spSpeed()->setValue(0);
    ui(*window).acCapture()->trigger();
    EXPECT_EQ(rowsOf(window->captureController().grid()), headless);
    window.reset();
}

// A run needs a template: without one only the message shows, the grid and the browsers
// stay as they are.
TEST_F(CaptureHeadlessE2E, WithoutATemplateOnlyTheMessageShows) {
    TOrvoBrowser main;
    capture::WebCapturePages pages;
    pages.setBrowser(capture::Browser::WB, &main);
    capture::CaptureController controller(pages, [] { return std::shared_ptr<TPlugin>(); });
    QList<bool> running;
    QObject::connect(&controller, &capture::CaptureController::runningChanged,
                     [&](bool on) { running.append(on); });
    controller.capture();
    EXPECT_EQ(dialogs.texts(platform::RecordingDialogs::Kind::Message),
              QStringList{QStringLiteral("No template currently selected!")});
    EXPECT_TRUE(running.isEmpty());
    EXPECT_EQ(controller.rowCount(), 0);
}

} // namespace
