// Shaping the columns from a template: captions, alignment, the 254/33 cap and the
// widths, with the failures one of them swallows and the other passes on.
#include "capture/Columns.h"

#include "FakeTemplate.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace capture;
using namespace Qt::StringLiterals;

namespace {

struct Load {
    int count;
    QString names;
    QString widths;
};

struct ColumnsCase {
    const char* name;
    std::vector<Load> loads; // templates loaded one after the other
    QStringList captions;
    std::vector<int> widths;
    std::vector<bool> centred;
    ColWidthsError lastWidthsError;
};

QStringList captionsOf(const TGridModel& m) {
    QStringList out;
    for (int i = 0; i < m.columns(); ++i)
        out.append(m.column(i).caption);
    return out;
}

} // namespace

class ColumnsTest : public ::testing::TestWithParam<ColumnsCase> {};

TEST_P(ColumnsTest, ShapesTheGridAsTemplatesAreLoaded) {
    const ColumnsCase& c = GetParam();
    TGridModel grid;
    grid.addRow({u"kept"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s});
    ColWidthsResult last;
    for (const Load& l : c.loads) {
        FakeTemplate t;
        t.columnCount = l.count;
        t.names = l.names;
        t.widths = l.widths;
        WriteColumnHeaders(grid, t);
        last = GetColWidths(grid, t);
    }
    EXPECT_EQ(captionsOf(grid), c.captions);
    std::vector<int> widths, expectedWidths = c.widths;
    std::vector<bool> centred;
    for (int i = 0; i < grid.columns(); ++i) {
        widths.push_back(grid.column(i).width);
        centred.push_back(grid.column(i).alignment == ColumnAlignment::Centre);
    }
    EXPECT_EQ(widths, expectedWidths);
    EXPECT_EQ(centred, c.centred);
    EXPECT_EQ(last.error, c.lastWidthsError);
    // Rows are never touched by shaping the columns.
    EXPECT_EQ(grid.rowFields(0).join(u','), u"kept,b,c,d,e"_s);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnsTest,
    ::testing::Values(
        ColumnsCase{"ThreeColumns",
                    {{3, u"Name|Street|Phone"_s, u"200|150|90|"_s}},
                    {u"Name"_s, u"Street"_s, u"Phone"_s},
                    {200, 150, 90},
                    {false, false, false},
                    ColWidthsError::None},
        ColumnsCase{"WidthWithoutClosingBarIsNotUsed",
                    {{3, u"Name|Street|Phone"_s, u"200|150|90"_s}},
                    {u"Name"_s, u"Street"_s, u"Phone"_s},
                    {200, 150, 100},
                    {false, false, false},
                    ColWidthsError::None},
        ColumnsCase{"ThreeAfterFiveCentresTheSurplus",
                    {{5, u"A|B|C|D|E"_s, u"1|2|3|4|5|"_s}, {3, u"X|Y|Z"_s, u"7|8|9|"_s}},
                    {u"X"_s, u"Y"_s, u"Z"_s, u"--"_s, u"--"_s},
                    {7, 8, 9, 4, 5},
                    {false, false, false, true, true},
                    ColWidthsError::None},
        ColumnsCase{
            "FiveAgainKeepsTheSurplusCentred",
            {{5, u"A|B|C|D|E"_s, u""_s}, {3, u"X|Y|Z"_s, u""_s}, {5, u"P|Q|R|S|T"_s, u""_s}},
            {u"P"_s, u"Q"_s, u"R"_s, u"S"_s, u"T"_s},
            {100, 100, 100, 100, 100},
            {false, false, false, true, true},
            ColWidthsError::None},
        ColumnsCase{"FewerNamesKeepOldCaptions",
                    {{4, u"a|b|c|d"_s, u""_s}, {4, u"A|B"_s, u""_s}},
                    {u"A"_s, u"B"_s, u"c"_s, u"d"_s},
                    {100, 100, 100, 100},
                    {false, false, false, false},
                    ColWidthsError::None},
        ColumnsCase{"NamesEndingInBarSetAllThenStop",
                    {{3, u"A|B|C|"_s, u""_s}},
                    {u"A"_s, u"B"_s, u"C"_s},
                    {100, 100, 100},
                    {false, false, false},
                    ColWidthsError::None},
        ColumnsCase{"EmptyNamesBlankTheFirstCaption",
                    {{2, u"A|B"_s, u""_s}, {2, u""_s, u""_s}},
                    {u""_s, u"B"_s},
                    {100, 100},
                    {false, false},
                    ColWidthsError::None},
        ColumnsCase{"EmptyWidthPieceAppliesNone",
                    {{3, u"A|B|C"_s, u"120||80|"_s}},
                    {u"A"_s, u"B"_s, u"C"_s},
                    {100, 50, 50}, // the first column is the grid's own, the others new
                    {false, false, false},
                    ColWidthsError::BadWidth},
        ColumnsCase{"SignedAndSurplusWidths",
                    {{2, u"A|B"_s, u"+30|-4|x|"_s}},
                    {u"A"_s, u"B"_s},
                    {30, -4},
                    {false, false},
                    ColWidthsError::None},
        ColumnsCase{"NoColumnsLeavesTheGrid",
                    {{2, u"A|B"_s, u"10|20|"_s}, {0, u"Z"_s, u"1|"_s}, {-3, u"Z"_s, u"1|"_s}},
                    {u"A"_s, u"B"_s},
                    {10, 20},
                    {false, false},
                    ColWidthsError::None}),
    [](const auto& info) { return std::string(info.param.name); });

struct CapCase {
    int count;
    int columns;
    ColWidthsError error;
};

TEST(Columns, CountAbove254Gives33AndTheWidthStepFailsAtTheMissingColumn) {
    const CapCase cases[] = {{254, 254, ColWidthsError::None},
                             {255, 33, ColWidthsError::MissingColumn},
                             {1000, 33, ColWidthsError::MissingColumn},
                             {INT32_MAX, 33, ColWidthsError::MissingColumn}};
    for (const CapCase& c : cases) {
        TGridModel grid;
        FakeTemplate t;
        t.columnCount = c.count;
        t.widths = u"11|12|"_s;
        WriteColumnHeaders(grid, t);
        EXPECT_EQ(grid.columns(), c.columns) << c.count;
        const ColWidthsResult r = GetColWidths(grid, t);
        EXPECT_EQ(r.error, c.error) << c.count;
        EXPECT_EQ(r.failed(), c.error != ColWidthsError::None);
        // Widths before the missing column are applied, the pieces first.
        EXPECT_EQ(grid.column(0).width, 11);
        EXPECT_EQ(grid.column(1).width, 12);
        EXPECT_EQ(grid.column(c.columns - 1).width, 100);
        if (!r.failed()) {
            EXPECT_EQ(r.widths.size(), std::size_t(c.count));
        }
    }
}

TEST(Columns, TemplateFailuresAreSwallowedByHeadersButPassedOnByWidths) {
    TGridModel grid;
    FakeTemplate t;
    t.columnCount = 3;
    t.names = u"A|B|C"_s;
    t.namesThrow = true;
    WriteColumnHeaders(grid, t); // the columns are appended before the names fail
    EXPECT_EQ(grid.columns(), 3);
    EXPECT_EQ(grid.column(0).caption, u"Ready to Start"_s);

    t.widthsThrow = true;
    EXPECT_EQ(GetColWidths(grid, t).error, ColWidthsError::TemplateFailed);
    t.countThrows = true;
    WriteColumnHeaders(grid, t);
    EXPECT_EQ(GetColWidths(grid, t).error, ColWidthsError::TemplateFailed);
    EXPECT_EQ(grid.column(1).width, TGridModel::kDefaultColumnWidth);
}

TEST(Columns, WithoutTemplateOnlyTheMessageIsShown) {
    TGridModel grid;
    FakeTemplate t;
    t.loaded = false;
    WriteColumnHeaders(grid, t);
    const ColWidthsResult r = GetColWidths(grid, t);
    EXPECT_EQ(t.noTemplateMessages, 2);
    EXPECT_EQ(r.error, ColWidthsError::NoTemplate);
    EXPECT_FALSE(r.failed());
    EXPECT_TRUE(r.widths.empty());
    EXPECT_EQ(grid.columns(), 1);
    EXPECT_EQ(grid.column(0).caption, u"Ready to Start"_s);
    EXPECT_EQ(grid.column(0).width, 100);
}

TEST(Columns, ParseWidthAcceptsOnlySignedDecimalsIn32Bits) {
    const std::pair<QString, std::optional<std::int32_t>> cases[] = {
        {u"0"_s, 0},
        {u"-2147483648"_s, INT32_MIN},
        {u"2147483647"_s, INT32_MAX},
        {u"2147483648"_s, std::nullopt},
        {u""_s, std::nullopt},
        {u"-"_s, std::nullopt},
        {u" 5"_s, std::nullopt},
        {u"5px"_s, std::nullopt},
        {u"\u0665"_s, std::nullopt}, // a digit of another script
        {u"99999999999999999999"_s, std::nullopt}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseWidth(text), value) << text.toStdString();
}
