// Capture in the window, over the demo site served by the fake engine: a whole run with
// automatic page turn, stopping it, closing during it, and the grid's commands and view.
#include "app/uTrawlMain.h"
#include "capture/CaptureController.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "capture/Dupes.h"
#include "capture/GridModel.h"
#include "capture/PlainScan.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "platform/UrlOpener.h"
#include "platform/Widgets.h"
#include "tests/support/FakeBrowserEngine.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QHeaderView>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = platform::RecordingDialogs::Kind;

const QString kCompleted = QStringLiteral("Trawlex -  Your extraction has been completed.");
constexpr int kDemoListings = 112; // 120 entries over 6 pages, 8 of them repeated

class CaptureWindow : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        platform::setUrlOpener([this](const QUrl& u) {
            opened.append(u);
            return true;
        });
        platform::FakeWeb::instance().clear();
    }
    void TearDown() override {
        window.reset();
        platform::setUrlOpener({});
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    TfrmTrawl& open() {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        return *window;
    }
    // The demo template loaded and WB on the first results page.
    TfrmTrawl& openOnResults() {
        TfrmTrawl& w = open();
        waitReady(w);
        w.loadtemplate(folder.file(QStringLiteral("us_demo_directory.orp")));
        EXPECT_TRUE(w.hasTemplate());
        waitReady(w);
        ui(w).WB()->Navigate(folder.file(QStringLiteral("demo/results-1.html")));
        waitReady(w);
        ui(w).spSpeed()->setValue(0);
        return w;
    }
    static void waitReady(TfrmTrawl& w) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }, 10000));
    }
    static QImage image(const QIcon& icon) { return icon.pixmap(16, 16).toImage(); }
    static QIcon extrasOnIcon(TfrmTrawl& w) {
        return w.style()->standardIcon(QStyle::SP_DialogYesButton);
    }
    static capture::TGridModel& grid(TfrmTrawl& w) {
        return *qobject_cast<capture::TGridModel*>(ui(w).lv()->model());
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    QList<QUrl> opened;
    std::unique_ptr<TfrmTrawl> window;
};

} // namespace

TEST_F(CaptureWindow, TemplateShapesTheColumns) {
    TfrmTrawl& w = openOnResults();
    const capture::TGridModel& m = grid(w);
    ASSERT_EQ(m.columns(), 5);
    const QStringList captions{u"Name"_qs, u"Street"_qs, u"Town"_qs, u"Telephone"_qs, u"E-mail"_qs};
    const int widths[] = {230, 190, 150, 130, 260};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m.headerData(i, Qt::Horizontal).toString(), captions[i]);
        EXPECT_EQ(ui(w).lv()->header()->sectionSize(i), widths[i]);
    }
}

TEST_F(CaptureWindow, OnePressCapturesTheWholeSiteAndTheCountGrowsPageByPage) {
    TfrmTrawl& w = openOnResults();
    QStringList countsAtPageStart;
    QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& t) {
        if (t.endsWith(QStringLiteral("Extraction process started... Please wait! ")))
            countsAtPageStart.append(ui(w).indicGrid()->caption());
    });
    ui(w).acCapture()->trigger(); // returns when the run has ended
    EXPECT_EQ(grid(w).rows(), kDemoListings);
    EXPECT_EQ(ui(w).indicGrid()->caption(), QString::number(kDemoListings));
    EXPECT_EQ(ui(w).osb()->text(2),
              QString::number(kDemoListings) + QStringLiteral(" lines in grid"));
    EXPECT_EQ(w.windowTitle(), kCompleted);
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_FALSE(ui(w).ImgWait2()->isRunning());
    EXPECT_EQ(w.captureController().pageCounter(), 1); // back to the first page
    EXPECT_EQ(ui(w).edURL()->text(), QStringLiteral("No next page accessible..."));
    EXPECT_TRUE(ui(w).WB()->LocationURL().endsWith(QStringLiteral("results-6.html")));
    ASSERT_EQ(countsAtPageStart.size(), 6);
    EXPECT_EQ(countsAtPageStart.first(), u"0"_qs);
    for (qsizetype i = 1; i < countsAtPageStart.size(); ++i)
        EXPECT_GT(countsAtPageStart[i].toInt(), countsAtPageStart[i - 1].toInt());
    EXPECT_TRUE(dialogs.entries.isEmpty());

    // Every row is a listing of five fields, the e-mail without a value (extras off).
    for (int r = 0; r < grid(w).rows(); ++r) {
        ASSERT_EQ(grid(w).fieldCount(r), 5);
        EXPECT_EQ(grid(w).field(r, 4), QStringView(u"\u00A0"));
    }

    // The same listing under the same name and telephone never occurs twice, so Delete
    // Duplicates removes nothing here; what it would remove is the plain scan's answer.
    ui(w).adDeduplicate()->trigger();
    EXPECT_EQ(grid(w).rows(), kDemoListings);
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(CaptureWindow, DeleteDuplicatesRemovesWhatThePlainScanWould) {
    TfrmTrawl& w = openOnResults();
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    ASSERT_EQ(grid(w).rows(), 20);
    // Same names and telephones under other streets: key matches, not whole-row ones.
    QList<QStringList> copies;
    for (int r = 0; r < 20; r += 4) {
        QStringList f = grid(w).rowFields(r);
        f[1] = QStringLiteral("Elsewhere ") + QString::number(r);
        copies.append(f);
    }
    for (const QStringList& f : copies)
        grid(w).addRow(f);
    ASSERT_EQ(grid(w).rows(), 25);
    capture::TDupeArray flags(5);
    flags.setValue(3, 1);
    flags.setValue(4, 1);
    const std::vector<int> expected = capture::plain::DuplicateRows(grid(w), flags);
    EXPECT_EQ(expected.size(), 5u);
    ui(w).adDeduplicate()->trigger();
    EXPECT_EQ(grid(w).rows(), 20);
    EXPECT_EQ(ui(w).indicGrid()->caption(), u"20"_qs);
    for (int r = 0; r < grid(w).rows(); ++r)
        EXPECT_FALSE(grid(w).field(r, 1).startsWith(u"Elsewhere"));
}

TEST_F(CaptureWindow, SecondPressStopsTheRunAtItsNextCheck) {
    TfrmTrawl& w = openOnResults();
    ui(w).spSpeed()->setValue(1);
    // Pressed during the first page's pause.
    QTimer::singleShot(300, &w, [&] { ui(w).acCapture()->trigger(); });
    ui(w).acCapture()->trigger();
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_FALSE(ui(w).ImgWait2()->isRunning());
    EXPECT_EQ(grid(w).rows(), 20); // the turned page was not captured
    EXPECT_EQ(w.windowTitle(), kCompleted);
    EXPECT_TRUE(ui(w).WB()->LocationURL().endsWith(QStringLiteral("results-2.html")));
}

TEST_F(CaptureWindow, ClosingDuringAWaitEndsTheRunCleanly) {
    TfrmTrawl& w = openOnResults();
    ui(w).spSpeed()->setValue(60);
    QTimer::singleShot(300, &w, [&] { w.close(); });
    QElapsedTimer t;
    t.start();
    ui(w).acCapture()->trigger();
    EXPECT_LT(t.elapsed(), 30000); // the minute's pause ended at the close
    EXPECT_TRUE(platform::isShuttingDown());
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_EQ(grid(w).rows(), 20);
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(CaptureWindow, CaptureWithoutTemplateOnlyShowsTheMessage) {
    TfrmTrawl& w = open();
    waitReady(w);
    const QString title = w.windowTitle();
    ui(w).acCapture()->trigger();
    EXPECT_EQ(dialogs.texts(Kind::Message), QStringList{u"No template currently selected!"_qs});
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_EQ(w.windowTitle(), title);

    dialogs.clear();
    ui(w).tbbArobase()->click(); // the extras switch springs back
    EXPECT_EQ(dialogs.texts(Kind::Message), QStringList{u"No template currently selected!"_qs});
    EXPECT_FALSE(ui(w).acSetWantsEmail()->isChecked());
    EXPECT_NE(image(ui(w).acSetWantsEmail()->icon()), image(extrasOnIcon(w)));
}

TEST_F(CaptureWindow, TheExtrasSwitchShowsItsStateInItsPicture) {
    TfrmTrawl& w = openOnResults();
    ui(w).tbbArobase()->click();
    EXPECT_TRUE(ui(w).acSetWantsEmail()->isChecked());
    EXPECT_EQ(image(ui(w).acSetWantsEmail()->icon()), image(extrasOnIcon(w)));
    ui(w).tbbArobase()->click();
    EXPECT_FALSE(ui(w).acSetWantsEmail()->isChecked());
    EXPECT_EQ(image(ui(w).acSetWantsEmail()->icon()),
              image(w.style()->standardIcon(QStyle::SP_MessageBoxInformation)));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(CaptureWindow, DeleteClearAndMyGrid) {
    TfrmTrawl& w = openOnResults();
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    ASSERT_EQ(grid(w).rows(), 20);
    QStringList expected;
    for (int r = 0; r < 20; ++r)
        if (r != 0 && r != 2 && r != 19)
            expected.append(grid(w).joinedText(r).toString());
    auto* sel = ui(w).lv()->selectionModel();
    for (int r : {0, 2, 19})
        sel->select(grid(w).index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ui(w).acDelete()->trigger();
    QStringList remaining;
    for (int r = 0; r < grid(w).rows(); ++r)
        remaining.append(grid(w).joinedText(r).toString());
    EXPECT_EQ(remaining, expected);
    EXPECT_EQ(ui(w).indicGrid()->caption(), u"17"_qs);

    ui(w).pg()->setCurrentIndex(0);
    ui(w).itiSaveGrid()->click();
    EXPECT_EQ(ui(w).pg()->currentIndex(), 1);

    ui(w).acClearGrid()->trigger();
    EXPECT_EQ(grid(w).rows(), 0);
    EXPECT_EQ(grid(w).columns(), 5);
    EXPECT_EQ(grid(w).headerData(0, Qt::Horizontal).toString(), u"Name"_qs);
    EXPECT_EQ(ui(w).indicGrid()->caption(), u"0"_qs);
}

TEST_F(CaptureWindow, HeaderClickSortsAndASecondClickReverses) {
    TfrmTrawl& w = openOnResults();
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    ASSERT_EQ(grid(w).rows(), 20);
    ui(w).pg()->setCurrentIndex(1);
    QHeaderView* h = ui(w).lv()->header();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(QTest::qWaitFor([&] { return h->isVisible() && h->height() > 0; }));
    const auto clickHeader = [&](int section) {
        const QPoint at(h->sectionViewportPosition(section) + 5, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    };
    const auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < grid(w).rows(); ++r)
            out.append(grid(w).field(r, c).toString());
        return out;
    };
    clickHeader(2);
    EXPECT_EQ(h->sortIndicatorSection(), 2);
    const Qt::SortOrder firstOrder = h->sortIndicatorOrder();
    QStringList towns = column(2);
    QStringList sorted = towns;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    if (firstOrder == Qt::DescendingOrder)
        std::reverse(sorted.begin(), sorted.end());
    EXPECT_EQ(towns.first(), sorted.first());
    EXPECT_EQ(towns.last(), sorted.last());

    clickHeader(2);
    EXPECT_NE(h->sortIndicatorOrder(), firstOrder);
    EXPECT_EQ(column(2).first(), towns.last());
    EXPECT_TRUE(h->isSortIndicatorShown());
}

TEST_F(CaptureWindow, LinkCellsOpenWebAndMailAddressesOnly) {
    TfrmTrawl& w = open();
    waitReady(w);
    capture::TGridModel& m = grid(w);
    m.addRow({u"a mailto:info@lantern.example"_qs});
    m.addRow({u"b https://lantern.example/x y"_qs});
    m.addRow({u"c file:///etc/passwd"_qs});
    m.addRow({u"d plain text"_qs});
    ui(w).pg()->setCurrentIndex(1);
    for (int r = 0; r < 4; ++r) {
        const QRect cell = ui(w).lv()->visualRect(m.index(r, 0));
        QTest::mouseClick(ui(w).lv()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(u"mailto:info@lantern.example"_qs),
                                   QUrl(u"https://lantern.example/x"_qs)}));
}
