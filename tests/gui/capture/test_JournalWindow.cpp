// The capture journal in the window, over the demo site served by the fake engine: the
// grid of one window comes back in the next, Empty Grid starts afresh, Resume Capture
// finishes a run the window's closing cut short, and a journal that cannot be read or
// written never stops the program.
#include "app/uTrawlMain.h"
#include "capture/CaptureController.h"
#include "tests/support/WindowElements.h"

#include "capture/GridModel.h"
#include "journal/Journal.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "tests/support/FakeBrowserEngine.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = platform::RecordingDialogs::Kind;
constexpr int kDemoListings = 112;
constexpr int kJournalPanel = 4;

// Everything a restore must bring back of a grid.
struct GridSnapshot {
    QStringList rows; // fields, source and capture time, in grid order
    QStringList captions;
    QList<int> widths;
    int sortColumn = 0;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    bool operator==(const GridSnapshot&) const = default;
};

GridSnapshot snapshot(const capture::TGridModel& m) {
    GridSnapshot s;
    for (int r = 0; r < m.rows(); ++r)
        s.rows.append(m.rowFields(r).join(u'|') + u'|' + m.rowSource(r) + u'|' +
                      m.rowCaptured(r).toString(Qt::ISODateWithMs));
    for (int c = 0; c < m.columns(); ++c) {
        s.captions.append(m.column(c).caption);
        s.widths.append(m.column(c).width);
    }
    s.sortColumn = m.sortColumn();
    s.sortOrder = m.sortOrder();
    return s;
}

class JournalWindow : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        platform::FakeWeb::instance().clear();
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    // A new window over the journal folder (the window before it closed first).
    TfrmTrawl& open(std::int64_t maxBytes = 0) {
        window.reset();
        platform::resetShutdownForTests();
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        o.journalFolder = journalFolder();
        o.journalMaxBytes = maxBytes;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        waitReady(*window);
        return *window;
    }
    QString journalFolder() const { return data.path() + QStringLiteral("/trawlex"); }
    void loadTemplate(TfrmTrawl& w) {
        w.loadtemplate(folder.file(QStringLiteral("us_demo_directory.orp")));
        ASSERT_TRUE(w.hasTemplate());
        waitReady(w);
    }
    void goToResults(TfrmTrawl& w) {
        ui(w).WB()->Navigate(folder.file(QStringLiteral("demo/results-1.html")));
        waitReady(w);
        ui(w).spSpeed()->setValue(0);
    }
    static void waitReady(TfrmTrawl& w) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }, 10000));
    }
    static capture::TGridModel& grid(TfrmTrawl& w) { return w.captureController().grid(); }
    static QString journalText(TfrmTrawl& w) { return ui(w).osb()->text(kJournalPanel); }
    static bool resumeEnabled(TfrmTrawl& w) {
        const bool action = ui(w).acResumeCapture()->isEnabled();
        EXPECT_EQ(ui(w).itiResume()->isEnabled(), action);
        EXPECT_EQ(ui(w).tbbResume()->isEnabled(), action);
        return action;
    }

    ProgramFolder folder;
    QTemporaryDir data;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(JournalWindow, TheGridComesBackInTheNextWindowUntilEmptyGrid) {
    TfrmTrawl& first = open();
    EXPECT_TRUE(journalText(first).isEmpty()) << "nothing restored in a first start";
    EXPECT_TRUE(QFile::exists(journalFolder() + QStringLiteral("/journal.sqlite")));
    loadTemplate(first);
    goToResults(first);
    ui(first).acCapture()->trigger();
    ASSERT_EQ(grid(first).rows(), kDemoListings);
    // Every kind of change after the run: a delete, a header sort, another width.
    first.captureController().deleteRows({3, 50});
    grid(first).sort(2, Qt::DescendingOrder); // as a header click does
    ASSERT_EQ(grid(first).sortColumn(), 2);
    const GridSnapshot before = snapshot(grid(first));
    ASSERT_EQ(before.rows.size(), kDemoListings - 2);
    EXPECT_TRUE(journalText(first).isEmpty()) << journalText(first).toStdString();

    TfrmTrawl& second = open();
    EXPECT_EQ(snapshot(grid(second)), before);
    EXPECT_EQ(journalText(second), QStringLiteral("Restored 110 lines from the last session"));
    EXPECT_EQ(ui(second).osb()->text(1), QStringLiteral("us_demo_directory.orp"));
    EXPECT_EQ(ui(second).indicGrid()->caption(), QStringLiteral("110"));
    EXPECT_FALSE(resumeEnabled(second)) << "the run completed";
    // A run over the restored grid adds only the two deleted rows, and they are kept.
    loadTemplate(second);
    goToResults(second);
    ui(second).acCapture()->trigger();
    ASSERT_EQ(grid(second).rows(), kDemoListings);
    const GridSnapshot again = snapshot(grid(second));
    TfrmTrawl& reopened = open();
    EXPECT_EQ(snapshot(grid(reopened)), again);

    ui(reopened).acClearGrid()->trigger();
    TfrmTrawl& third = open();
    EXPECT_EQ(grid(third).rows(), 0);
    EXPECT_TRUE(journalText(third).isEmpty());
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(JournalWindow, TheRestoreMessageIsTranslatedAndEmptyGridClearsIt) {
    folder.write(QStringLiteral("INTL/trawlex.ini"),
                 "[inStrings]\nsRestoredLines=%1 Zeilen aus der letzten Sitzung\n");
    {
        // A session that never ran a capture through a window: a grid of 1,234 rows.
        journal::Journal j;
        ASSERT_TRUE(j.open(journalFolder()).status.ok());
        const std::vector<journal::Column> columns = {{QStringLiteral("Name"), 140},
                                                      {QStringLiteral("Town"), 90}};
        ASSERT_TRUE(j.setColumns(columns, QStringLiteral("<b>other</b>.orp")).ok());
        std::vector<QStringList> rows;
        for (int i = 0; i < 1234; ++i)
            rows.push_back({QStringLiteral("n%1").arg(i), QStringLiteral("t%1").arg(i % 7)});
        ASSERT_TRUE(j.appendPage(QStringLiteral("http://127.0.0.1:9/p"),
                                 QDateTime::currentDateTimeUtc(), rows)
                        .status.ok());
    }
    TfrmTrawl& w = open();
    EXPECT_EQ(journalText(w), QStringLiteral("1,234 Zeilen aus der letzten Sitzung"));
    EXPECT_EQ(grid(w).rows(), 1234);
    ASSERT_EQ(grid(w).columns(), 2);
    EXPECT_EQ(grid(w).column(1).caption, QStringLiteral("Town"));
    EXPECT_EQ(grid(w).column(0).width, 140);
    // The name from the file is text, never the status bar's markup beyond bold.
    EXPECT_EQ(platform::statusMarkupToPlain(ui(w).osb()->text(1)), QStringLiteral("other.orp"));
    EXPECT_FALSE(resumeEnabled(w)) << "no run was cut short";
    ui(w).acClearGrid()->trigger();
    EXPECT_EQ(grid(w).rows(), 0);
    EXPECT_TRUE(journalText(w).isEmpty()) << "nothing restored any more";
    TfrmTrawl& next = open();
    EXPECT_EQ(grid(next).rows(), 0);
    EXPECT_TRUE(journalText(next).isEmpty());
}

TEST_F(JournalWindow, ASecondWindowKeepsItsRowsApartAndRestoresNothing) {
    {
        journal::Journal j;
        ASSERT_TRUE(j.open(journalFolder()).status.ok());
        const std::vector<QStringList> rows = {{QStringLiteral("kept")}};
        ASSERT_TRUE(j.appendPage(QStringLiteral("http://127.0.0.1:9/p"),
                                 QDateTime::currentDateTimeUtc(), rows)
                        .status.ok());
    }
    TfrmTrawl& first = open();
    ASSERT_EQ(grid(first).rows(), 1);
    TfrmTrawl::Options o;
    o.progDir = folder.path();
    o.exitProcess = false;
    o.journalFolder = journalFolder();
    auto second = std::make_unique<TfrmTrawl>(o);
    second->show();
    waitReady(*second);
    EXPECT_EQ(grid(*second).rows(), 0);
    EXPECT_EQ(journalText(*second),
              QStringLiteral("Another Trawlex window keeps the last session. This one keeps its "
                             "rows apart"));
    EXPECT_TRUE(second->captureController().journalKept());
    EXPECT_NE(second->captureController().journal().path(),
              first.captureController().journal().path());
    // The second window's Empty Grid leaves the first one's rows alone.
    ui(*second).acClearGrid()->trigger();
    second.reset();
    TfrmTrawl& again = open();
    EXPECT_EQ(grid(again).rows(), 1);
    EXPECT_EQ(journalText(again), QStringLiteral("Restored 1 lines from the last session"));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(JournalWindow, ResumeCaptureFinishesARunTheClosingCutShort) {
    TfrmTrawl& first = open();
    EXPECT_EQ(ui(first).acResumeCapture()->text(), QStringLiteral("Resume Capture"));
    EXPECT_EQ(ui(first).itiResume()->accessibleName(), QStringLiteral("Resume Capture"));
    EXPECT_EQ(ui(first).tbbResume()->accessibleName(), QStringLiteral("Resume Capture"));
    EXPECT_FALSE(resumeEnabled(first));
    loadTemplate(first);
    goToResults(first);
    ui(first).spSpeed()->setValue(60);
    QTimer::singleShot(300, &first, [&] { first.close(); }); // during the first page's pause
    ui(first).acCapture()->trigger();
    ASSERT_EQ(grid(first).rows(), 20);
    const GridSnapshot cut = snapshot(grid(first));

    TfrmTrawl& second = open();
    EXPECT_EQ(snapshot(grid(second)), cut);
    EXPECT_TRUE(second.captureController().resumePage().endsWith(QStringLiteral("results-1.html")))
        << second.captureController().resumePage().toStdString();
    EXPECT_FALSE(resumeEnabled(second)) << "its template is not loaded yet";
    loadTemplate(second);
    EXPECT_TRUE(resumeEnabled(second));
    ui(second).spSpeed()->setValue(0);
    ui(second).acResumeCapture()->trigger(); // returns when the run has ended
    EXPECT_EQ(grid(second).rows(), kDemoListings);
    EXPECT_EQ(second.windowTitle(),
              QStringLiteral("Trawlex -  Your extraction has been completed."));
    EXPECT_FALSE(resumeEnabled(second));
    const GridSnapshot resumed = snapshot(grid(second));

    // The same rows as a run that was never interrupted.
    ui(second).acClearGrid()->trigger();
    goToResults(second);
    ui(second).acCapture()->trigger();
    GridSnapshot whole = snapshot(grid(second));
    ASSERT_EQ(whole.rows.size(), resumed.rows.size());
    const auto fieldsOnly = [](QStringList rows) {
        for (QString& r : rows)
            r = r.section(u'|', 0, 4);
        return rows;
    };
    EXPECT_EQ(fieldsOnly(resumed.rows), fieldsOnly(whole.rows));
    TfrmTrawl& third = open();
    EXPECT_FALSE(resumeEnabled(third)) << "the resumed run completed";
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(JournalWindow, AJournalThatFillsUpWarnsAndCaptureGoesOn) {
    // Room for an empty journal and two pages of the database more: the run fills it.
    qint64 emptySize = 0;
    {
        QTemporaryDir scratch;
        journal::Journal j;
        ASSERT_TRUE(j.open(scratch.path()).status.ok());
        j.close();
        emptySize = QFileInfo(scratch.filePath(journal::Journal::mainFileName())).size();
        ASSERT_GT(emptySize, 0);
    }
    TfrmTrawl& w = open(emptySize + 2 * 4096);
    EXPECT_TRUE(journalText(w).isEmpty());
    loadTemplate(w);
    goToResults(w);
    ui(w).acCapture()->trigger();
    EXPECT_EQ(grid(w).rows(), kDemoListings) << "capture goes on";
    EXPECT_EQ(platform::statusMarkupToPlain(journalText(w)),
              QStringLiteral("Warning: rows are not being kept (the journal cannot be written)"));
    EXPECT_FALSE(w.captureController().journalKept());
    EXPECT_TRUE(dialogs.entries.isEmpty());
    // What the journal kept before it filled up comes back, in whole pages.
    TfrmTrawl& next = open();
    const QList<int> pageEnds{0, 20, 39, 58, 76, 95};
    EXPECT_TRUE(pageEnds.contains(grid(next).rows())) << grid(next).rows();
}

TEST_F(JournalWindow, EmptyGridBringsAFullJournalBackInStep) {
    TfrmTrawl& w = open(0);
    loadTemplate(w);
    goToResults(w);
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    ASSERT_EQ(grid(w).rows(), 20);
    ASSERT_TRUE(journalText(w).isEmpty());
    // The next window's journal fails as a full disk does: from its first page on it is out
    // of step. Its size is read once the closing has written everything into it.
    window.reset();
    const qint64 size = QFileInfo(journalFolder() + u'/' + journal::Journal::mainFileName()).size();
    ASSERT_GT(size, 0);
    TfrmTrawl& full = open(size + 4096);
    ASSERT_EQ(grid(full).rows(), 20);
    loadTemplate(full);
    goToResults(full);
    ui(full).acCapture()->trigger();
    ASSERT_EQ(grid(full).rows(), kDemoListings);
    ASSERT_FALSE(full.captureController().journalKept());
    ASSERT_FALSE(journalText(full).isEmpty());
    // An empty grid fits again: the warning goes and rows are kept once more.
    ui(full).acClearGrid()->trigger();
    EXPECT_TRUE(full.captureController().journalKept());
    EXPECT_TRUE(journalText(full).isEmpty()) << journalText(full).toStdString();
    goToResults(full);
    ui(full).cbAutoTurn()->setChecked(false);
    ui(full).acCapture()->trigger();
    ASSERT_EQ(grid(full).rows(), 20);
    EXPECT_TRUE(full.captureController().journalKept());
    TfrmTrawl& next = open();
    EXPECT_EQ(grid(next).rows(), 20);
}

TEST_F(JournalWindow, AJournalThatCannotBeOpenedWarnsAtStartUp) {
    // The journal's folder is a file: nothing can be created there.
    QFile blocker(journalFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TfrmTrawl& w = open();
    EXPECT_EQ(platform::statusMarkupToPlain(journalText(w)),
              QStringLiteral("Warning: rows are not being kept (the journal cannot be written)"));
    loadTemplate(w);
    goToResults(w);
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    EXPECT_EQ(grid(w).rows(), 20);
}

TEST_F(JournalWindow, AnUnreadableJournalIsKeptAsideWithOneMessage) {
    ASSERT_TRUE(QDir().mkpath(journalFolder()));
    QFile damaged(journalFolder() + QStringLiteral("/journal.sqlite"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();

    TfrmTrawl& w = open();
    EXPECT_EQ(grid(w).rows(), 0);
    const QStringList messages = dialogs.texts(Kind::Message);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(
        QStringLiteral("The last session's journal could not be read. It was kept as ")))
        << messages[0].toStdString();
    const QString kept = messages[0]
                             .section(QStringLiteral(" It was kept as "), 1)
                             .section(QStringLiteral(" and the grid starts empty."), 0, 0);
    QFile moved(kept);
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly)) << kept.toStdString();
    EXPECT_EQ(moved.readAll(), QByteArray(8192, 'x')) << "kept, never deleted";
    // The program goes on with a fresh journal that keeps rows.
    loadTemplate(w);
    goToResults(w);
    ui(w).cbAutoTurn()->setChecked(false);
    ui(w).acCapture()->trigger();
    ASSERT_EQ(grid(w).rows(), 20);
    EXPECT_TRUE(w.captureController().journalKept());
    TfrmTrawl& next = open();
    EXPECT_EQ(grid(next).rows(), 20);
}

} // namespace
