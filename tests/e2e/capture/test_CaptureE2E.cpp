// A whole capture on the real engine: the demo template taken from the start page, every
// page of the demo site captured with automatic page turn, then Delete Duplicates.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "capture/GridModel.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kDemoListings = 112; // 120 entries over 6 pages, 8 of them repeated

bool waitFor(const std::function<bool()>& done, int ms = 30000) {
    return QTest::qWaitFor(done, ms);
}

} // namespace

TEST(CaptureE2E, WholeDemoSiteWithOnePressThenDeleteDuplicates) {
    platform::resetShutdownForTests();
    platform::RecordingDialogs dialogs;
    platform::ScopedDialogs scoped(&dialogs);
    ProgramFolder folder;
    TfrmTrawl::Options o;
    o.progDir = folder.path();
    o.exitProcess = false;
    auto window = std::make_unique<TfrmTrawl>(o);
    TfrmTrawl& w = *window;
    w.show();
    ASSERT_TRUE(waitFor([&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }));

    // The start page's link to the demo template, followed as a click would.
    const QRegularExpression link(QStringLiteral("href=\"([^\"]*us_demo_directory\\.orp)\""));
    const auto m = link.match(ui(w).mmMain()->toPlainText());
    ASSERT_TRUE(m.hasMatch());
    ui(w).WB()->Navigate(m.captured(1));
    ASSERT_TRUE(waitFor([&] { return w.hasTemplate(); }));
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL().endsWith(QStringLiteral("demo/index.html")) &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));
    const auto* grid = qobject_cast<capture::TGridModel*>(ui(w).lv()->model());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->columns(), 5);

    ui(w).WB()->Navigate(
        QUrl::fromLocalFile(folder.file(QStringLiteral("demo/results-1.html"))).toString());
    ASSERT_TRUE(waitFor([&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }));
    ui(w).spSpeed()->setValue(0);

    QStringList countsAtPageStart;
    QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& t) {
        if (t.endsWith(QStringLiteral("Extraction process started... Please wait! ")))
            countsAtPageStart.append(ui(w).indicGrid()->caption());
    });
    ui(w).acCapture()->trigger(); // returns when the run has ended
    EXPECT_EQ(grid->rows(), kDemoListings);
    // Pages 2 to 6 repeat 1, 1, 2, 1 and 3 listings of earlier pages.
    EXPECT_EQ(countsAtPageStart,
              (QStringList{QStringLiteral("0"), QStringLiteral("20"), QStringLiteral("39"),
                           QStringLiteral("58"), QStringLiteral("76"), QStringLiteral("95")}));
    EXPECT_EQ(ui(w).indicGrid()->caption(), QString::number(kDemoListings));
    EXPECT_EQ(ui(w).osb()->text(2),
              QString::number(kDemoListings) + QStringLiteral(" lines in grid"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex -  Your extraction has been completed."));
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_TRUE(ui(w).WB()->LocationURL().endsWith(QStringLiteral("results-6.html")));
    for (int r = 0; r < grid->rows(); ++r)
        ASSERT_FALSE(grid->caption(r).isEmpty()) << r;

    // Name and telephone identify a listing: the repeats were never added, so nothing
    // is left for Delete Duplicates to remove.
    ui(w).adDeduplicate()->trigger();
    EXPECT_EQ(grid->rows(), kDemoListings);
    EXPECT_EQ(ui(w).indicGrid()->caption(), QString::number(kDemoListings));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}
