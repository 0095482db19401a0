// Delete and Clear: which rows go, which stay, and that the count is always refreshed.
#include "capture/GridEditing.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace capture;
using namespace Qt::StringLiterals;

namespace {

TGridModel* fiveRows(TGridModel& grid) {
    grid.appendColumns(1);
    for (const char16_t* c : {u"a", u"b", u"c", u"d", u"e"})
        grid.addRow({QString::fromUtf16(c), u"x"_s});
    return &grid;
}

QStringList captions(const TGridModel& m) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.caption(r).toString());
    return out;
}

} // namespace

struct DeleteCase {
    const char* name;
    std::vector<int> selected;
    QStringList remaining;
};

class DeleteTest : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteTest, RemovesTheSelectedRowsOnly) {
    TGridModel grid;
    fiveRows(grid);
    grid.addRecordLine(u"z\u00A4y"_s, 2);
    grid.removeRowAt(5);
    int counts = 0;
    DeleteSelectedRows(grid, GetParam().selected, [&] { ++counts; });
    EXPECT_EQ(captions(grid), GetParam().remaining);
    EXPECT_EQ(counts, 1);
    EXPECT_EQ(grid.columns(), 2);
    // A deleted row is gone from the whole-row test too, so capture adds it again.
    EXPECT_EQ(grid.containsJoinedText(u"a\u00A4x"_s), GetParam().remaining.contains(u"a"_s));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTest,
    ::testing::Values(DeleteCase{"None", {}, {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}},
                      DeleteCase{"FirstThirdLast", {0, 2, 4}, {u"b"_s, u"d"_s}},
                      DeleteCase{"All", {4, 3, 2, 1, 0}, {}},
                      DeleteCase{
                          "OutOfRangeIgnored", {7, -1, 1}, {u"a"_s, u"c"_s, u"d"_s, u"e"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridEditing, ClearKeepsTheColumnsAndRefreshesTheCount) {
    TGridModel grid;
    grid.appendColumns(2);
    grid.setColumnCaption(1, u"Street"_s);
    for (int i = 0; i < 100; ++i)
        grid.addRow({QString::number(i), u"s"_s, u"p"_s});
    int counts = 0;
    ClearGrid(grid, [&] { ++counts; });
    ClearGrid(grid, [&] { ++counts; }); // on an empty grid: only the count
    EXPECT_EQ(grid.rows(), 0);
    EXPECT_EQ(grid.columns(), 3);
    EXPECT_EQ(grid.column(1).caption, u"Street"_s);
    EXPECT_EQ(counts, 2);
    EXPECT_FALSE(grid.containsJoinedText(u"1\u00A4s\u00A4p"_s));
    EXPECT_EQ(grid.firstWithCaption(u"1"), TGridModel::kNoRow);
}
