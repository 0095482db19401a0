// Delete Duplicates by the template's key columns: the key text, the key match, and the
// indexed answers against the plain scan on grids built to provoke every path.
#include "capture/Dupes.h"
#include "capture/GridEditing.h"
#include "capture/PlainScan.h"

#include "FakeTemplate.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

using namespace capture;
using namespace Qt::StringLiterals;

namespace {

const QString NBSP = QString(QChar(kNoValueMarker));

std::vector<QStringList> rowsOf(const TGridModel& m) {
    std::vector<QStringList> out;
    for (int r = 0; r < m.rows(); ++r)
        out.push_back(m.rowFields(r));
    return out;
}

TDupeArray flagsFor(int columns, const QString& keyText) {
    FakeTemplate t;
    t.columnCount = columns;
    t.dupes = keyText;
    return GetDupes(t);
}

} // namespace

struct KeyTextCase {
    const char* name;
    int columns;
    QString text;
    std::vector<int> keys;
};

class KeyTextTest : public ::testing::TestWithParam<KeyTextCase> {};

TEST_P(KeyTextTest, ReadsOneCharacterAtATime) {
    const KeyTextCase& c = GetParam();
    const TDupeArray flags = flagsFor(c.columns, c.text);
    EXPECT_EQ(flags.keys(), c.keys);
    EXPECT_EQ(flags.size(), c.columns > 0 ? c.columns : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyTextTest,
    ::testing::Values(KeyTextCase{"ZeroOne", 3, u"0|1"_s, {2}},
                      KeyTextCase{"OneOne", 3, u"1|1"_s, {1, 2}},
                      KeyTextCase{"WalkStopsAtX", 3, u"1x|1"_s, {1}},
                      KeyTextCase{"LastDigitDecides", 3, u"12"_s, {}},
                      KeyTextCase{"LastDigitOne", 3, u"21|0"_s, {1}},
                      KeyTextCase{"EmptyEntryStaysOff", 4, u"1||1"_s, {1, 3}},
                      KeyTextCase{"EntriesBeyondTheColumnsIgnored", 3, u"0|1|1|1"_s, {2}},
                      KeyTextCase{"Empty", 3, u""_s, {}}, KeyTextCase{"ZeroZero", 3, u"0|0"_s, {}},
                      KeyTextCase{"SignIsNoDigit", 3, u"+1|1"_s, {}},
                      KeyTextCase{"NoColumns", 0, u"1|1"_s, {}},
                      KeyTextCase{"NegativeCount", -4, u"1|1"_s, {}},
                      KeyTextCase{"HugeCountCostsNothing", INT32_MAX, u"0|0|1"_s, {3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeyText, FailingTemplateKeepsWhatWasRead) {
    FakeTemplate t;
    t.dupesThrow = true;
    EXPECT_TRUE(GetDupes(t).keys().empty());
    EXPECT_EQ(GetDupes(t).size(), 3);
    t.loaded = false;
    EXPECT_TRUE(GetDupes(t).empty());
    EXPECT_EQ(t.noTemplateMessages, 1);
}

struct DedupeCase {
    const char* name;
    int columns;
    QString keyText;
    std::vector<QStringList> rows; // added in this order; the grid keeps caption order
    std::vector<QStringList> remaining;
};

class DedupeTest : public ::testing::TestWithParam<DedupeCase> {};

TEST_P(DedupeTest, RemovesRowsAnEarlierRowMatches) {
    const DedupeCase& c = GetParam();
    TGridModel grid;
    grid.appendColumns(c.columns - 1);
    for (const QStringList& r : c.rows)
        grid.addRow(r);
    const TDupeArray flags = flagsFor(c.columns, c.keyText);
    EXPECT_EQ(DuplicateRows(grid, flags), plain::DuplicateRows(grid, flags));

    FakeTemplate t;
    t.columnCount = c.columns;
    t.dupes = c.keyText;
    int counts = 0;
    DeleteDuplicates(grid, t, [&] { ++counts; });
    EXPECT_EQ(rowsOf(grid), c.remaining);
    EXPECT_EQ(counts, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DedupeTest,
    ::testing::Values(
        DedupeCase{"SecondOfEqualKeyDeleted",
                   3,
                   u"0|1"_s,
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smith"_s, u"B"_s, u"555"_s}},
                   {{u"Smith"_s, u"A"_s, u"555"_s}}},
        DedupeCase{"CaptionsDiffer",
                   3,
                   u"0|1"_s,
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smyth"_s, u"A"_s, u"555"_s}},
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smyth"_s, u"A"_s, u"555"_s}}},
        DedupeCase{"CaptionCaseCounts",
                   2,
                   u"1"_s,
                   {{u"Smith"_s, u"A"_s}, {u"smith"_s, u"A"_s}},
                   {{u"Smith"_s, u"A"_s}, {u"smith"_s, u"A"_s}}},
        DedupeCase{"OneKeyIsEnough",
                   3,
                   u"1|1"_s,
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smith"_s, u"A"_s, u"777"_s}},
                   {{u"Smith"_s, u"A"_s, u"555"_s}}},
        DedupeCase{"NoKeysNoDeletion",
                   3,
                   u"0|0"_s,
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smith"_s, u"A"_s, u"555"_s}},
                   {{u"Smith"_s, u"A"_s, u"555"_s}, {u"Smith"_s, u"A"_s, u"555"_s}}},
        DedupeCase{"EmptyKeyText",
                   2,
                   u""_s,
                   {{u"Smith"_s, u"A"_s}, {u"Smith"_s, u"A"_s}},
                   {{u"Smith"_s, u"A"_s}, {u"Smith"_s, u"A"_s}}},
        DedupeCase{"NoValueMarkerNeverMatches",
                   2,
                   u"1"_s,
                   {{u"Smith"_s, NBSP}, {u"Smith"_s, NBSP}},
                   {{u"Smith"_s, NBSP}, {u"Smith"_s, NBSP}}},
        DedupeCase{"EmptyKeysMatch",
                   2,
                   u"1"_s,
                   {{u"Smith"_s, u""_s}, {u"Smith"_s, u""_s}},
                   {{u"Smith"_s, u""_s}}},
        DedupeCase{"ChainQRI",
                   3,
                   u"1|1"_s,
                   {{u"X"_s, u"a"_s, u"b"_s}, {u"X"_s, u"a"_s, u"c"_s}, {u"X"_s, u"d"_s, u"c"_s}},
                   {{u"X"_s, u"a"_s, u"b"_s}}},
        DedupeCase{"StopAtX",
                   3,
                   u"1x|1"_s,
                   {{u"X"_s, u"a"_s, u"b"_s}, {u"X"_s, u"c"_s, u"b"_s}, {u"X"_s, u"a"_s, u"z"_s}},
                   {{u"X"_s, u"a"_s, u"b"_s}, {u"X"_s, u"c"_s, u"b"_s}}},
        DedupeCase{"TwelveIsNoKey",
                   3,
                   u"12"_s,
                   {{u"X"_s, u"a"_s, u"b"_s}, {u"X"_s, u"a"_s, u"b"_s}},
                   {{u"X"_s, u"a"_s, u"b"_s}, {u"X"_s, u"a"_s, u"b"_s}}},
        // A row lacking a key field fails the match for every row after it with its
        // caption, even when a later row would match.
        DedupeCase{"ShortRowEndsTheMatch",
                   3,
                   u"0|1"_s,
                   {{u"X"_s, u"a"_s}, {u"X"_s, u"b"_s, u"1"_s}, {u"X"_s, u"c"_s, u"1"_s}},
                   {{u"X"_s, u"a"_s}, {u"X"_s, u"b"_s, u"1"_s}, {u"X"_s, u"c"_s, u"1"_s}}},
        DedupeCase{"ShortRowMatchingOnAnEarlierKey",
                   3,
                   u"1|1"_s,
                   {{u"X"_s, u"a"_s}, {u"X"_s, u"a"_s, u"1"_s}},
                   {{u"X"_s, u"a"_s}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dedupe, IsAlreadyInGivesTheFirstMatchAndLeavesIdxAloneOtherwise) {
    TGridModel grid;
    grid.appendColumns(2);
    grid.addRow({u"X"_s, u"a"_s, u"b"_s});
    grid.addRow({u"X"_s, u"d"_s, u"c"_s});
    grid.addRow({u"X"_s, u"a"_s, u"c"_s});
    grid.addRow({u"Y"_s, NBSP, NBSP});
    TDupeScan scan(grid, flagsFor(3, u"1|1"_s));
    int idx = -7;
    EXPECT_TRUE(scan.IsAlreadyIn(2, idx));
    EXPECT_EQ(idx, 0);
    EXPECT_TRUE(scan.IsAlreadyIn(1, idx));
    EXPECT_EQ(idx, 1); // itself
    idx = -7;
    EXPECT_FALSE(scan.IsAlreadyIn(3, idx)); // only markers: not even itself
    EXPECT_EQ(idx, -7);
}

TEST(Dedupe, WithoutTemplateShowsTheMessageAndDeletesNothing) {
    TGridModel grid;
    grid.appendColumns(1);
    grid.addRow({u"X"_s, u"a"_s});
    grid.addRow({u"X"_s, u"a"_s});
    FakeTemplate t;
    t.loaded = false;
    int counts = 0;
    DeleteDuplicates(grid, t, [&] { ++counts; });
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(t.noTemplateMessages, 1);
    EXPECT_EQ(counts, 1);
}

TEST(Dedupe, TheRowsThatStayKeepTheirOrigins) {
    TGridModel grid;
    grid.appendColumns(1);
    const auto first = grid.addOrigin(u"https://x.example/1"_s, QDateTime::fromSecsSinceEpoch(10));
    const auto second = grid.addOrigin(u"https://x.example/2"_s, QDateTime::fromSecsSinceEpoch(20));
    grid.addRow({u"X"_s, u"a"_s}, first);
    grid.addRow({u"Y"_s, u"b"_s}, first);
    grid.addRow({u"X"_s, u"a"_s}, second); // the duplicate of the first row
    grid.addRow({u"Z"_s, u"c"_s}, second);
    FakeTemplate t;
    t.dupes = u"1|1"_s;
    DeleteDuplicates(grid, t, [] {});
    ASSERT_EQ(grid.rows(), 3);
    QStringList seen;
    for (int r = 0; r < grid.rows(); ++r)
        seen << grid.caption(r).toString() + u' ' + grid.rowSource(r) + u' ' +
                    QString::number(grid.rowCaptured(r).toSecsSinceEpoch());
    EXPECT_EQ(seen, (QStringList{u"X https://x.example/1 10"_s, u"Y https://x.example/1 10"_s,
                                 u"Z https://x.example/2 20"_s}));
}

// Random grids with few captions (large groups take the value index, small ones the
// member scan), short rows, markers, empty cells and a random order: the indexed
// answers must be the plain scan's, row by row and for the whole command.
TEST(Dedupe, IndexedAnswersEqualThePlainScan) {
    std::mt19937 rng(2024);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const QString values[] = {u"a"_s, u"b"_s, u"c"_s, u""_s, NBSP};
    const QString keyTexts[] = {u"1"_s, u"0|1"_s, u"1|1"_s, u"1|0|1"_s, u"1|1|1|1"_s, u"0|0|0|1"_s};
    for (int round = 0; round < 60; ++round) {
        const int columns = 2 + pick(4);
        TGridModel grid;
        grid.appendColumns(columns - 1);
        const int rows = 20 + pick(400);
        const int captions = 1 + pick(round % 2 ? 3 : 40);
        for (int r = 0; r < rows; ++r) {
            QStringList f{QString::number(pick(captions))};
            const int n = pick(10) == 0 ? pick(columns) : columns - 1;
            for (int i = 0; i < n; ++i)
                f.append(values[pick(5)]);
            grid.addRow(f);
        }
        if (pick(2))
            grid.sort(pick(columns), pick(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
        const TDupeArray flags = flagsFor(columns, keyTexts[pick(6)]);

        TDupeScan scan(grid, flags);
        for (int r = 0; r < grid.rows(); ++r) {
            int a = -1, b = -1;
            const bool fast = scan.IsAlreadyIn(r, a);
            const bool slow = plain::IsAlreadyIn(grid, r, flags, b);
            ASSERT_EQ(fast, slow) << "round " << round << " row " << r;
            ASSERT_EQ(a, b) << "round " << round << " row " << r;
        }
        ASSERT_EQ(DuplicateRows(grid, flags), plain::DuplicateRows(grid, flags)) << round;
    }
}
