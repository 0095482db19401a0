// The capture controller over its journal, without a window or a template: a journal
// written earlier comes back as the same grid, and each grid command reaches the journal,
// so that what a restart reads is always what the grid held.
#include "capture/CaptureController.h"
#include "capture/Columns.h"
#include "journal/Journal.h"

#include "tests/support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace capture;
using namespace Qt::StringLiterals;

namespace {

class NoPages final : public CapturePages {
public:
    bool isReady(Browser) override { return true; }
    void navigate(Browser, const QString& url) override { navigated.append(url); }
    IHTMLDocument2* document() override { return nullptr; }
    QStringList navigated;
};

QStringList rowsOf(const TGridModel& m) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.rowFields(r).join(u'|') + u'@' + m.rowSource(r));
    return out;
}

QStringList rowsOf(const journal::State& s) {
    QStringList out;
    for (std::size_t i = 0; i < s.rows.size(); ++i)
        out.append(s.rows.fieldsAt(i).join(u'|') + u'@' + s.rows.pageUrlAt(i));
    return out;
}

class ControllerJournal : public testing::Test {
protected:
    // Two pages of rows, five columns, a sort on the second one, a run cut short on page 2.
    void writeEarlierSession() {
        journal::Journal j;
        ASSERT_TRUE(j.open(dir.path()).status.ok());
        const std::vector<journal::Column> columns = {{u"Name"_s, 230},
                                                      {u"Street"_s, 190},
                                                      {u"Town"_s, 150},
                                                      {u"Tel"_s, 130},
                                                      {u"Mail"_s, 260}};
        ASSERT_TRUE(j.setColumns(columns, u"demo.orp"_s).ok());
        const QDateTime t1 = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
        const std::vector<QStringList> page1 = {{u"Cole"_s, u"b"_s, u"x"_s, u"1"_s, u""_s},
                                                {u"adams"_s, u"c"_s, u"x"_s, u"2"_s, u""_s},
                                                {u"Brown"_s, u"a"_s, u"y"_s, u"3"_s, u""_s}};
        ASSERT_TRUE(j.runAt(u"https://s.test/1"_s).ok());
        const journal::Appended a1 = j.appendPage(u"https://s.test/1"_s, t1, page1);
        ASSERT_TRUE(a1.status.ok());
        // Sorted by street, descending: adams (c), Cole (b), Brown (a).
        const std::vector<journal::RowKey> order = {a1.firstKey + 1, a1.firstKey, a1.firstKey + 2};
        ASSERT_TRUE(j.setOrder(order, 1, Qt::DescendingOrder).ok());
        ASSERT_TRUE(j.runAt(u"https://s.test/2"_s).ok());
        const std::vector<QStringList> page2 = {{u"Dunn"_s, u"b"_s, u"z"_s, u"4"_s, u""_s}};
        ASSERT_TRUE(j.appendPage(u"https://s.test/2"_s, t1.addSecs(5), page2).status.ok());
    }
    journal::State readBack() {
        journal::Journal j;
        journal::OpenReport r = j.open(dir.path());
        EXPECT_TRUE(r.status.ok());
        EXPECT_FALSE(r.secondProcess);
        return std::move(r.restored);
    }

    QTemporaryDir dir;
    NoPages pages;
};

TEST_F(ControllerJournal, AnEarlierSessionComesBackAsTheSameGrid) {
    writeEarlierSession();
    CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
    QList<int> counts;
    QObject::connect(&c, &CaptureController::countChanged, [&](int n) { counts.append(n); });
    const journal::OpenReport report = c.openJournal(dir.path());
    ASSERT_TRUE(report.status.ok());
    EXPECT_TRUE(c.journalKept());
    EXPECT_EQ(c.restoredRows(), 4);
    EXPECT_EQ(counts, QList<int>{4});
    // The sort on the street column, descending, with Dunn after its equal Cole.
    EXPECT_EQ(rowsOf(c.grid()),
              (QStringList{u"adams|c|x|2|@https://s.test/1"_s, u"Cole|b|x|1|@https://s.test/1"_s,
                           u"Dunn|b|z|4|@https://s.test/2"_s, u"Brown|a|y|3|@https://s.test/1"_s}));
    EXPECT_EQ(c.grid().rowCaptured(2), QDateTime::fromMSecsSinceEpoch(1'700'000'005'000, Qt::UTC));
    EXPECT_EQ(c.grid().sortColumn(), 1);
    EXPECT_EQ(c.grid().sortOrder(), Qt::DescendingOrder);
    ASSERT_EQ(c.grid().columns(), 5);
    EXPECT_EQ(c.grid().column(3).caption, u"Tel"_s);
    EXPECT_EQ(c.grid().column(4).width, 260);
    EXPECT_EQ(c.restoredTemplate(), u"demo.orp"_s);
    EXPECT_EQ(c.resumePage(), u"https://s.test/2"_s);
    // Without the template loaded there is nothing to resume, and trying does nothing.
    EXPECT_FALSE(c.canResume());
    c.resume();
    EXPECT_TRUE(pages.navigated.isEmpty());
}

TEST_F(ControllerJournal, GridCommandsReachTheJournal) {
    writeEarlierSession();
    {
        CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
        ASSERT_TRUE(c.openJournal(dir.path()).status.ok());
        c.deleteRows({0, 3, 3, 99}); // repeats and a row that is not there are passed over
        EXPECT_EQ(c.rowCount(), 2);
        c.grid().sort(0, Qt::AscendingOrder);
        const QStringList onScreen = rowsOf(c.grid());
        EXPECT_EQ(onScreen, (QStringList{u"Cole|b|x|1|@https://s.test/1"_s,
                                         u"Dunn|b|z|4|@https://s.test/2"_s}));
        c.closeJournal();
        const journal::State s = readBack();
        EXPECT_EQ(rowsOf(s), onScreen);
        EXPECT_EQ(s.sortColumn, 0);
        EXPECT_EQ(s.sortOrder, Qt::AscendingOrder);
    }
    {
        // The next session: Empty Grid, and the rows never come back.
        CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
        ASSERT_TRUE(c.openJournal(dir.path()).status.ok());
        ASSERT_EQ(c.rowCount(), 2);
        c.clear();
        EXPECT_EQ(c.rowCount(), 0);
        EXPECT_TRUE(c.resumePage().isEmpty());
        c.closeJournal();
    }
    EXPECT_TRUE(readBack().rows.empty());
    CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
    ASSERT_TRUE(c.openJournal(dir.path()).status.ok());
    EXPECT_EQ(c.restoredRows(), 0);
    EXPECT_EQ(c.grid().columns(), 1) << "an empty journal leaves the grid as it starts";
}

TEST_F(ControllerJournal, ASecondControllerGetsItsOwnJournalAndRestoresNothing) {
    writeEarlierSession();
    CaptureController first(pages, [] { return std::shared_ptr<TPlugin>(); });
    ASSERT_TRUE(first.openJournal(dir.path()).status.ok());
    CaptureController second(pages, [] { return std::shared_ptr<TPlugin>(); });
    const journal::OpenReport r = second.openJournal(dir.path());
    ASSERT_TRUE(r.status.ok());
    EXPECT_TRUE(r.secondProcess);
    EXPECT_NE(r.path, first.journal().path());
    EXPECT_EQ(second.rowCount(), 0);
    EXPECT_EQ(first.rowCount(), 4);
    // The second one's commands leave the first one's journal alone.
    second.clear();
    first.closeJournal();
    EXPECT_EQ(readBack().rows.size(), 4u);
}

TEST_F(ControllerJournal, AJournalWithMoreColumnsThanATemplateGivesKeepsTheFirstOnes) {
    {
        journal::Journal j;
        ASSERT_TRUE(j.open(dir.path()).status.ok());
        std::vector<journal::Column> columns;
        for (int i = 0; i < 5000; ++i)
            columns.push_back({QString::number(i), 10 + i});
        ASSERT_TRUE(j.setColumns(columns, u"x.orp"_s).ok());
        const std::vector<QStringList> rows = {{u"a"_s, u"b"_s}};
        ASSERT_TRUE(j.appendPage(u"p"_s, {}, rows).status.ok());
    }
    CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
    ASSERT_TRUE(c.openJournal(dir.path()).status.ok());
    EXPECT_EQ(c.grid().columns(), kMaxColumnCount);
    EXPECT_EQ(c.grid().column(kMaxColumnCount - 1).caption, QString::number(kMaxColumnCount - 1));
    EXPECT_EQ(c.rowCount(), 1);
}

TEST_F(ControllerJournal, WithoutAJournalTheGridWorksAsBefore) {
    CaptureController c(pages, [] { return std::shared_ptr<TPlugin>(); });
    QList<QString> failures;
    QObject::connect(&c, &CaptureController::journalFailed,
                     [&](const QString& m) { failures.append(m); });
    c.grid().addRow({u"a"_s});
    c.deleteRows({0});
    c.clear();
    c.grid().sort(0, Qt::DescendingOrder);
    EXPECT_FALSE(c.journalKept());
    EXPECT_TRUE(failures.isEmpty());
}

} // namespace
