// The grid model: row order, sorting, the fields capture makes of a line, the whole-row
// index and the chunked order under it.
#include "capture/GridModel.h"
#include "capture/PlainScan.h"
#include "capture/RecordText.h"
#include "capture/RowOrder.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

using namespace capture;
using namespace Qt::StringLiterals;

namespace {

const QChar S = QChar(kFieldSeparator);

QString line(std::initializer_list<QString> fields) {
    return QStringList(fields).join(S);
}

QStringList captions(const TGridModel& m) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.caption(r).toString());
    return out;
}

QStringList column(const TGridModel& m, int c) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.field(r, c).toString());
    return out;
}

} // namespace

TEST(GridModel, StartsWithOneReadyColumnAndNoRows) {
    TGridModel m;
    EXPECT_EQ(m.columns(), 1);
    EXPECT_EQ(m.column(0).caption, u"Ready to Start"_s);
    EXPECT_EQ(m.column(0).width, 100);
    EXPECT_EQ(m.rows(), 0);
}

TEST(GridModel, PassesTheModelTesterThroughEveryChange) {
    TGridModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    m.appendColumns(2);
    m.setColumnCaption(1, u"Street"_s);
    m.setColumnAlignment(2, ColumnAlignment::Centre);
    for (int i = 0; i < 40; ++i)
        m.addRecordLine(line({QString::number(i % 7), u"s"_s + QString::number(i), u"x"_s}), 3);
    m.addRow({u"only caption"_s});
    m.sort(1, Qt::DescendingOrder);
    m.removeRowPositions({0, 1, 2, 10, 11, 30, 40});
    m.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(m.rows(), 34);
    m.clearRows();
    m.addRecordLine(u"again"_s, 3);
    EXPECT_EQ(m.rows(), 1);
}

struct OrderCase {
    const char* name;
    std::vector<QStringList> added;
    int sortColumn; // -1: as the grid starts, by caption
    Qt::SortOrder order;
    QStringList expectedSecondField;
};

class RowOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(RowOrderTest, KeepsRowsInTheCurrentSortOrderAsTheyAreAdded) {
    const OrderCase& c = GetParam();
    TGridModel m;
    m.appendColumns(2);
    if (c.sortColumn >= 0)
        m.sort(c.sortColumn, c.order);
    for (const QStringList& r : c.added)
        m.addRow(r);
    EXPECT_EQ(column(m, 1), c.expectedSecondField);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowOrderTest,
    ::testing::Values(
        OrderCase{"ByCaptionIgnoringCase",
                  {{u"Smith"_s, u"1"_s}, {u"adams"_s, u"2"_s}, {u"Brown"_s, u"3"_s}},
                  -1,
                  Qt::AscendingOrder,
                  {u"2"_s, u"3"_s, u"1"_s}},
        OrderCase{"EqualCaptionsInArrivalOrder",
                  {{u"X"_s, u"1"_s}, {u"A"_s, u"2"_s}, {u"X"_s, u"3"_s}, {u"x"_s, u"4"_s}},
                  -1,
                  Qt::AscendingOrder,
                  {u"2"_s, u"1"_s, u"3"_s, u"4"_s}},
        OrderCase{"AfterAHeaderSortByItsColumnDescending",
                  {{u"A"_s, u"b"_s}, {u"B"_s, u"c"_s}, {u"C"_s, u"a"_s}, {u"D"_s, u"b"_s}},
                  1,
                  Qt::DescendingOrder,
                  {u"c"_s, u"b"_s, u"b"_s, u"a"_s}},
        OrderCase{"MissingCellSortsAsEmpty",
                  {{u"A"_s, u"m"_s}, {u"B"_s}, {u"C"_s, u"a"_s}},
                  1,
                  Qt::AscendingOrder,
                  {u""_s, u"a"_s, u"m"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridModel, SortIsStableReversibleAndKeepsPersistentIndexes) {
    TGridModel m;
    m.appendColumns(1);
    m.addRow({u"a"_s, u"2"_s});
    m.addRow({u"b"_s, u"1"_s});
    m.addRow({u"c"_s, u"2"_s});
    m.addRow({u"d"_s, u"1"_s});
    QPersistentModelIndex c = m.index(2, 0);
    ASSERT_EQ(c.data().toString(), u"c"_s);

    m.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(captions(m), (QStringList{u"b"_s, u"d"_s, u"a"_s, u"c"_s}));
    EXPECT_EQ(c.data().toString(), u"c"_s);
    EXPECT_EQ(c.row(), 3);

    m.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(captions(m), (QStringList{u"a"_s, u"c"_s, u"b"_s, u"d"_s}));
    EXPECT_EQ(c.row(), 1);
    EXPECT_EQ(m.sortColumn(), 1);
    EXPECT_EQ(m.sortOrder(), Qt::DescendingOrder);

    m.sort(7, Qt::AscendingOrder); // no such column: nothing moves
    EXPECT_EQ(captions(m), (QStringList{u"a"_s, u"c"_s, u"b"_s, u"d"_s}));
}

struct FieldsCase {
    const char* name;
    QString line;
    int columns;
    QStringList fields;
};

class RecordFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(RecordFieldsTest, RowHoldsEveryColumnAndLosesNoText) {
    const FieldsCase& c = GetParam();
    TGridModel m;
    m.appendColumns(c.columns - 1);
    const int pos = m.addRecordLine(c.line, c.columns);
    EXPECT_EQ(m.rowFields(pos), c.fields);
    EXPECT_EQ(m.fieldCount(pos), c.columns);

    QStringList split;
    for (QStringView f : SplitRecordFields(c.line, c.columns))
        split.append(f.toString());
    EXPECT_EQ(split, c.fields);

    // The whole-row text is the fields joined, so a line with as many fields as the
    // grid has columns (or more) finds its own row, and a shorter one does not.
    EXPECT_EQ(m.joinedText(pos).toString(), c.fields.join(S));
    EXPECT_EQ(m.containsJoinedText(c.line), c.line.count(S) + 1 >= c.columns);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordFieldsTest,
    ::testing::Values(
        FieldsCase{"ThreeOfFive",
                   line({u"a"_s, u"b"_s, u"c"_s}),
                   5,
                   {u"a"_s, u"b"_s, u"c"_s, u""_s, u""_s}},
        FieldsCase{"Exact", line({u"a"_s, u"b"_s, u"c"_s}), 3, {u"a"_s, u"b"_s, u"c"_s}},
        FieldsCase{"SurplusJoinedIntoLast",
                   line({u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}),
                   3,
                   {u"a"_s, u"b"_s, line({u"c"_s, u"d"_s, u"e"_s})}},
        FieldsCase{"EmptyLine", u""_s, 3, {u""_s, u""_s, u""_s}},
        FieldsCase{"OnlySeparators", line({u""_s, u""_s, u""_s}), 3, {u""_s, u""_s, u""_s}},
        FieldsCase{"OneColumnKeepsSeparators", line({u"a"_s, u"b"_s}), 1, {line({u"a"_s, u"b"_s})}},
        FieldsCase{"BlanksKept", line({u" a "_s, u"\t"_s}), 2, {u" a "_s, u"\t"_s}},
        FieldsCase{"NulAndLoneSurrogates",
                   line({u"a\0b"_s, QString(QChar(0xD800)) + u"x"_s}) + S + QString(QChar(0xDC00)),
                   3,
                   {u"a\0b"_s, QString(QChar(0xD800)) + u"x"_s, QString(QChar(0xDC00))}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridModel, LineOfFiveHundredFieldsKeepsThemAllInTheLastColumn) {
    QStringList pieces;
    for (int i = 0; i < 500; ++i)
        pieces.append(QString::number(i));
    const QString text = pieces.join(S);
    TGridModel m;
    m.appendColumns(4);
    const int pos = m.addRecordLine(text, 5);
    EXPECT_EQ(m.field(pos, 4).toString(), pieces.mid(4).join(S));
    EXPECT_TRUE(m.containsJoinedText(text));
}

struct LinesCase {
    const char* name;
    QString text;
    QStringList lines;
};

class RecordLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(RecordLinesTest, SplitsAtCrLfOnly) {
    QStringList got;
    for (QStringView l : SplitRecordLines(GetParam().text))
        got.append(l.toString());
    EXPECT_EQ(got, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordLinesTest,
    ::testing::Values(LinesCase{"Empty", u""_s, {}}, LinesCase{"OneLine", u"a"_s, {u"a"_s}},
                      LinesCase{"ClosingBreakAddsNoLine", u"a\r\nb\r\n"_s, {u"a"_s, u"b"_s}},
                      LinesCase{"EmptyLineInTheMiddle", u"a\r\n\r\nb"_s, {u"a"_s, u""_s, u"b"_s}},
                      LinesCase{"TwoClosingBreaks", u"a\r\n\r\n"_s, {u"a"_s, u""_s}},
                      LinesCase{"OnlyABreak", u"\r\n"_s, {u""_s}},
                      LinesCase{"LoneCrAndLfStay", u"a\nb\rc"_s, {u"a\nb\rc"_s}},
                      LinesCase{"CrBeforeCrLf", u"a\r\r\nb"_s, {u"a\r"_s, u"b"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WholeRowCase {
    const char* name;
    QString probe;
    bool present;
};

class WholeRowTest : public ::testing::TestWithParam<WholeRowCase> {};

TEST_P(WholeRowTest, ComparesEveryCharacter) {
    TGridModel m;
    m.appendColumns(2);
    m.addRow({u"Smith"_s, u"12 High St"_s, u"555-1234"_s});
    m.addRow({u"Jones"_s, u""_s, u""_s});
    EXPECT_EQ(m.containsJoinedText(GetParam().probe), GetParam().present);
    EXPECT_EQ(plain::FlatLineIsAlreadyInGrid(m, GetParam().probe), GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WholeRowTest,
    ::testing::Values(
        WholeRowCase{"Same", line({u"Smith"_s, u"12 High St"_s, u"555-1234"_s}), true},
        WholeRowCase{"LowerCase", line({u"smith"_s, u"12 High St"_s, u"555-1234"_s}), false},
        WholeRowCase{"TrailingSpace", line({u"Smith"_s, u"12 High St"_s, u"555-1234 "_s}), false},
        WholeRowCase{"FewerFields", line({u"Smith"_s, u"12 High St"_s}), false},
        WholeRowCase{"EmptyFields", line({u"Jones"_s, u""_s, u""_s}), true},
        WholeRowCase{"CaptionAlone", u"Jones"_s, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridModel, OneColumnGridMatchesALineEqualToTheCaption) {
    TGridModel m;
    m.addRecordLine(u"Smith"_s, 1);
    EXPECT_TRUE(m.containsJoinedText(u"Smith"_s));
    EXPECT_FALSE(m.containsJoinedText(u"Smith "_s));
}

// Random additions, removals, clears and sorts: the indexes must answer as a scan of
// the rows does, whatever ids were reused or rows share a caption.
TEST(GridModel, IndexesStayInStepWithTheRows) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto randomLine = [&] {
        QStringList f;
        const int n = 1 + pick(4);
        for (int i = 0; i < n; ++i)
            f.append(QString(QChar(u'a' + pick(3))));
        return f.join(S);
    };
    TGridModel m;
    m.appendColumns(2);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int step = 0; step < 3000; ++step) {
        const int op = pick(100);
        if (op < 60) {
            const QString l = randomLine();
            if (!m.containsJoinedText(l))
                m.addRecordLine(l, m.columns());
        } else if (op < 90 && m.rows() > 0) {
            std::vector<int> gone;
            for (int i = pick(4); i >= 0; --i)
                gone.push_back(pick(m.rows()));
            m.removeRowPositions(gone);
        } else if (op < 97) {
            m.sort(pick(3), pick(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
        } else {
            m.clearRows();
        }
        for (int probe = 0; probe < 5; ++probe) {
            const QString l = randomLine();
            ASSERT_EQ(m.containsJoinedText(l), plain::FlatLineIsAlreadyInGrid(m, l)) << step;
        }
        const QString cap(QChar(u'a' + pick(3)));
        int viaIndex = 0;
        for (auto id = m.firstWithCaption(cap); id != TGridModel::kNoRow;
             id = m.nextWithCaption(id))
            ++viaIndex;
        ASSERT_EQ(viaIndex, captions(m).count(cap)) << step;
    }
}

TEST(GridModel, ThousandsOfRowsWithOneCaption) {
    TGridModel m;
    m.appendColumns(1);
    for (int i = 0; i < 20000; ++i)
        m.addRecordLine(line({u"Same"_s, QString::number(i)}), 2);
    std::vector<int> evens;
    for (int r = 0; r < m.rows(); r += 2)
        evens.push_back(r);
    m.removeRowPositions(evens);
    EXPECT_EQ(m.rows(), 10000);
    EXPECT_EQ(column(m, 1).first(), u"1"_s);
    EXPECT_FALSE(m.containsJoinedText(line({u"Same"_s, u"0"_s})));
    EXPECT_TRUE(m.containsJoinedText(line({u"Same"_s, u"19999"_s})));
    int members = 0;
    for (auto id = m.firstWithCaption(u"Same"); id != TGridModel::kNoRow;
         id = m.nextWithCaption(id))
        ++members;
    EXPECT_EQ(members, 10000);
}

TEST(GridModel, RemovingScatteredRowsAnnouncesEachRunOnce) {
    TGridModel m;
    for (int i = 0; i < 10; ++i)
        m.addRow({QString(QChar(u'a' + i))});
    QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
    m.removeRowPositions({9, 1, 2, 3, 7, 2, -1, 40});
    EXPECT_EQ(captions(m), (QStringList{u"a"_s, u"e"_s, u"f"_s, u"g"_s, u"i"_s}));
    ASSERT_EQ(removed.count(), 3);
    EXPECT_EQ(removed[0][1].toInt(), 9); // from the last run up
    EXPECT_EQ(removed[2][1].toInt(), 1);
    EXPECT_EQ(removed[2][2].toInt(), 3);
}

struct LinkCase {
    QString text;
    bool link;
};

TEST(GridModel, CellsWithAnAddressAreLinks) {
    const LinkCase cases[] = {{u"http://x.example"_s, true},   {u"see ftp://x"_s, true},
                              {u"mailto:a@b.example"_s, true}, {u"www.x.example"_s, false},
                              {u"a@b.example"_s, false},       {u""_s, false}};
    TGridModel m;
    for (const LinkCase& c : cases) {
        m.clearRows();
        m.addRow({c.text});
        EXPECT_EQ(m.data(m.index(0, 0), TGridModel::LinkRole).toBool(), c.link)
            << c.text.toStdString();
    }
}

TEST(GridModel, ColumnAlignmentReachesCellsAndHeader) {
    TGridModel m;
    m.appendColumns(1);
    m.addRow({u"a"_s, u"b"_s});
    m.setColumnAlignment(1, ColumnAlignment::Centre);
    const auto align = [](const QVariant& v) {
        return Qt::Alignment(v.toInt()) & Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(align(m.data(m.index(0, 0), Qt::TextAlignmentRole)), Qt::AlignLeft);
    EXPECT_EQ(align(m.data(m.index(0, 1), Qt::TextAlignmentRole)), Qt::AlignHCenter);
    EXPECT_EQ(align(m.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole)), Qt::AlignHCenter);
}

// The chunked order against a plain vector, across chunk splits and emptied chunks.
TEST(RowOrder, MatchesAVectorThroughInsertsAndErases) {
    std::mt19937 rng(11);
    TRowOrder order;
    std::vector<TRowOrder::Id> ref;
    for (int step = 0; step < 20000; ++step) {
        const unsigned op = rng() % 10;
        if (op < 7 || ref.empty()) {
            const int pos = int(rng() % (ref.size() + 1));
            order.insert(pos, TRowOrder::Id(step));
            ref.insert(ref.begin() + pos, TRowOrder::Id(step));
        } else if (op < 9) {
            const int pos = int(rng() % ref.size());
            order.erase(pos);
            ref.erase(ref.begin() + pos);
        } else {
            const int first = int(rng() % ref.size());
            const int last =
                first + int(rng() % std::min<std::size_t>(3000, ref.size() - first + 1));
            order.eraseRange(first, last);
            ref.erase(ref.begin() + first, ref.begin() + last);
        }
        ASSERT_EQ(order.size(), int(ref.size()));
        if (!ref.empty()) {
            const int probe = int(rng() % ref.size());
            ASSERT_EQ(order.at(probe), ref[std::size_t(probe)]) << step;
        }
    }
    EXPECT_EQ(order.toVector(), ref);
    order.assign(ref);
    EXPECT_EQ(order.toVector(), ref);
}

// Where rows came from: each row keeps its page address and capture time whatever
// happens to the rows around it.
namespace {

QDateTime utc(int minute) {
    return QDateTime(QDate(2026, 3, 1), QTime(9, minute, 5, 250), Qt::UTC);
}

QStringList sources(const TGridModel& m) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.rowSource(r));
    return out;
}

} // namespace

TEST(GridModelOrigin, SamePairSameIdAndTimesKeptToTheMillisecondInUtc) {
    TGridModel m;
    const auto a = m.addOrigin(u"https://a.example/1"_s, utc(0));
    EXPECT_NE(a, TGridModel::kNoOrigin);
    EXPECT_EQ(m.addOrigin(u"https://a.example/1"_s, utc(0)), a);
    // The same instant given with another offset is the same origin.
    EXPECT_EQ(m.addOrigin(u"https://a.example/1"_s, utc(0).toOffsetFromUtc(3600)), a);
    const auto b = m.addOrigin(u"https://a.example/1"_s, utc(1));
    const auto c = m.addOrigin(u"https://a.example/2"_s, utc(0));
    EXPECT_NE(b, a);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_EQ(m.addOrigin(QString(), QDateTime()), TGridModel::kNoOrigin);

    m.addRow({u"x"_s}, c);
    EXPECT_EQ(m.rowSource(0), u"https://a.example/2"_s);
    EXPECT_EQ(m.rowCaptured(0), utc(0));
    EXPECT_EQ(m.rowCaptured(0).timeSpec(), Qt::UTC);
    EXPECT_EQ(m.rowCaptured(0).time().msec(), 250);
}

TEST(GridModelOrigin, PartlyKnownAndUnknownOrigins) {
    TGridModel m;
    m.addRow({u"none"_s});
    m.addRow({u"page only"_s}, m.addOrigin(u"p"_s, QDateTime()));
    m.addRow({u"time only"_s}, m.addOrigin(QString(), utc(2)));
    EXPECT_EQ(sources(m), (QStringList{u""_s, u"p"_s, u""_s}));
    EXPECT_FALSE(m.rowCaptured(0).isValid());
    EXPECT_FALSE(m.rowCaptured(1).isValid());
    EXPECT_EQ(m.rowCaptured(2), utc(2));
}

TEST(GridModelOrigin, FollowsItsRowThroughSortRemovalAndReusedIds) {
    TGridModel m;
    m.appendColumns(1);
    const auto p1 = m.addOrigin(u"p1"_s, utc(1));
    const auto p2 = m.addOrigin(u"p2"_s, utc(2));
    m.addRecordLine(line({u"c"_s, u"1"_s}), 2, p1);
    m.addRecordLine(line({u"a"_s, u"2"_s}), 2, p2);
    m.addRow({u"b"_s, u"3"_s}, p1);
    m.addRow({u"d"_s, u"0"_s}, p2);
    // Rows go to their place in caption order as they come.
    EXPECT_EQ(captions(m), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    EXPECT_EQ(sources(m), (QStringList{u"p2"_s, u"p1"_s, u"p1"_s, u"p2"_s}));

    m.sort(1);
    EXPECT_EQ(captions(m), (QStringList{u"d"_s, u"c"_s, u"a"_s, u"b"_s}));
    EXPECT_EQ(sources(m), (QStringList{u"p2"_s, u"p1"_s, u"p2"_s, u"p1"_s}));
    m.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(captions(m), (QStringList{u"b"_s, u"a"_s, u"c"_s, u"d"_s}));
    EXPECT_EQ(sources(m), (QStringList{u"p1"_s, u"p2"_s, u"p1"_s, u"p2"_s}));

    m.removeRowPositions({1, 2});
    EXPECT_EQ(captions(m), (QStringList{u"b"_s, u"d"_s}));
    EXPECT_EQ(sources(m), (QStringList{u"p1"_s, u"p2"_s}));
    EXPECT_EQ(m.rowCaptured(1), utc(2));

    // A new row takes a freed id but not the origin of the row that had it.
    m.addRow({u"e"_s, u"9"_s});
    m.addRow({u"f"_s, u"8"_s});
    EXPECT_EQ(captions(m), (QStringList{u"e"_s, u"f"_s, u"b"_s, u"d"_s}));
    EXPECT_EQ(sources(m), (QStringList{u""_s, u""_s, u"p1"_s, u"p2"_s}));
}

TEST(GridModelOrigin, UnknownIdIsRefusedAndClearForgetsOrigins) {
    TGridModel m;
    const auto p = m.addOrigin(u"p"_s, utc(3));
    EXPECT_THROW(m.addRow({u"x"_s}, p + 1), std::out_of_range);
    EXPECT_THROW(m.addRecordLine(u"x"_s, 1, p + 7), std::out_of_range);
    EXPECT_EQ(m.rows(), 0);
    EXPECT_FALSE(m.containsJoinedText(u"x"_s));

    m.addRow({u"x"_s}, p);
    m.clearRows();
    EXPECT_THROW(m.addRow({u"y"_s}, p), std::out_of_range);
    const auto q = m.addOrigin(u"q"_s, utc(4));
    m.addRow({u"y"_s}, q);
    EXPECT_EQ(m.rowSource(0), u"q"_s);
    EXPECT_EQ(m.rowCaptured(0), utc(4));
}

// Bulk load: the grid must come out exactly as adding the same rows one by one would make
// it, whatever the sort, with working indexes and origins.
struct BulkCase {
    const char* name;
    int sortColumn;
    Qt::SortOrder order;
};

class BulkLoadTest : public testing::TestWithParam<BulkCase> {};

TEST_P(BulkLoadTest, GivesTheGridThatAddingOneByOneGives) {
    const BulkCase& c = GetParam();
    // Equal keys in different letter case, empty fields, rows shorter than the grid and a
    // repeated row: the cases where a sort that is not stable, or not after equals, shows.
    // Then keys that decide in their first eight characters or only after them, one a
    // prefix of another, a NUL, punctuation between the capitals and the small letters,
    // and characters beyond ASCII: the cases where a shortcut on the key's start shows.
    const QStringList keys = {u"b"_s,
                              u"B"_s,
                              u"a"_s,
                              QString(),
                              u"c"_s,
                              u"Abcdefgh-x"_s,
                              u"abcdefgh-Y"_s,
                              u"ABCDEFGH"_s,
                              u"abcdefg"_s,
                              u"abcdefgh"_s,
                              u"abc"_s,
                              QStringLiteral("ab\u0000c"),
                              u"ab"_s,
                              u"_under"_s,
                              u"Zed"_s,
                              u"[x"_s,
                              u"@at"_s,
                              u"\u007f"_s,
                              u"\u00e9t\u00e9"_s,
                              u"\u00c9T\u00c9"_s,
                              u"abcdefg\u00e9"_s,
                              u"abcdefgZ"_s,
                              u"ab\u00df"_s,
                              u"\U0001F600 smile"_s,
                              u"\u0130stanbul"_s};
    std::mt19937 random(7);
    std::vector<QStringList> rows;
    for (int i = 0; i < 500; ++i) {
        const QString key = keys[random() % keys.size()];
        QStringList fields{key, QString::number(random() % 4), u"n"_s + QString::number(i)};
        if (i % 9 == 0)
            fields.removeLast();
        rows.push_back(fields);
    }
    rows.push_back(rows[3]);

    TGridModel oneByOne;
    oneByOne.appendColumns(2);
    oneByOne.sort(c.sortColumn, c.order);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto o =
            oneByOne.addOrigin(u"https://x.test/p"_s + QString::number(i / 50),
                               QDateTime::fromMSecsSinceEpoch(qint64(i / 50) * 1000, Qt::UTC));
        oneByOne.addRow(rows[i], o);
    }

    TGridModel bulk;
    QAbstractItemModelTester tester(&bulk, QAbstractItemModelTester::FailureReportingMode::Fatal);
    bulk.appendColumns(2);
    QSignalSpy resets(&bulk, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&bulk, &QAbstractItemModel::rowsInserted);
    bulk.loadRows(rows.size(), c.sortColumn, c.order,
                  [&](std::size_t i, QStringList& fields, TGridModel::OriginId& origin) {
                      fields = rows[i];
                      origin = bulk.addOrigin(
                          u"https://x.test/p"_s + QString::number(i / 50),
                          QDateTime::fromMSecsSinceEpoch(qint64(i / 50) * 1000, Qt::UTC));
                  });
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(inserts.size(), 0);
    EXPECT_EQ(bulk.sortColumn(), c.sortColumn);
    EXPECT_EQ(bulk.sortOrder(), c.order);
    ASSERT_EQ(bulk.rows(), oneByOne.rows());
    for (int r = 0; r < bulk.rows(); ++r) {
        ASSERT_EQ(bulk.rowFields(r), oneByOne.rowFields(r)) << "row " << r;
        ASSERT_EQ(bulk.rowSource(r), oneByOne.rowSource(r));
        ASSERT_EQ(bulk.rowCaptured(r), oneByOne.rowCaptured(r));
    }
    // The indexes answer for loaded rows, and a row added later goes to its sorted place.
    EXPECT_TRUE(bulk.containsJoinedText(bulk.joinedText(17)));
    EXPECT_NE(bulk.firstWithCaption(u"B"), TGridModel::kNoRow);
    const QStringList later{u"b"_s, u"2"_s, u"later"_s};
    EXPECT_EQ(bulk.addRow(later), oneByOne.addRow(later));
}

INSTANTIATE_TEST_SUITE_P(GridModel, BulkLoadTest,
                         testing::Values(BulkCase{"CaptionAscending", 0, Qt::AscendingOrder},
                                         BulkCase{"CaptionDescending", 0, Qt::DescendingOrder},
                                         BulkCase{"SecondColumnAscending", 1, Qt::AscendingOrder},
                                         BulkCase{"ThirdColumnDescending", 2, Qt::DescendingOrder}),
                         [](const testing::TestParamInfo<BulkCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(GridModel, BulkLoadRefusesAFilledGridAndLeavesAnEmptyOneOnFailure) {
    TGridModel m;
    m.addRow({u"kept"_s});
    EXPECT_THROW(m.loadRows(1, 0, Qt::AscendingOrder,
                            [](std::size_t, QStringList& f, TGridModel::OriginId&) {
                                f = QStringList{u"x"_s};
                            }),
                 std::logic_error);
    EXPECT_EQ(m.rows(), 1);

    // Ids left free by removals are not reused as holes.
    m.addRow({u"second"_s});
    m.removeRowAt(0);
    m.removeRowAt(0);
    EXPECT_THROW(m.loadRows(10, 0, Qt::AscendingOrder,
                            [](std::size_t i, QStringList& f, TGridModel::OriginId&) {
                                if (i == 6)
                                    throw std::runtime_error("source failed");
                                f = QStringList{QString::number(i)};
                            }),
                 std::runtime_error);
    EXPECT_EQ(m.rows(), 0);
    EXPECT_FALSE(m.containsJoinedText(u"0"));
    EXPECT_THROW(m.loadRows(2, 0, Qt::AscendingOrder,
                            [](std::size_t, QStringList& f, TGridModel::OriginId& o) {
                                f = QStringList{u"x"_s};
                                o = 99; // never handed out by addOrigin
                            }),
                 std::out_of_range);
    EXPECT_EQ(m.rows(), 0);
    m.loadRows(3, 0, Qt::AscendingOrder, [](std::size_t i, QStringList& f, TGridModel::OriginId&) {
        f = QStringList{QString::number(2 - i)};
    });
    EXPECT_EQ(captions(m), (QStringList{u"0"_s, u"1"_s, u"2"_s}));
    EXPECT_EQ(m.rowIdsInOrder(), (std::vector<TGridModel::RowId>{2, 1, 0}));
}
