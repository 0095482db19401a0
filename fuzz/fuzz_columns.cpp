// What a template says about its columns (count, names, widths, duplicate keys) shaping
// the grid, then Delete Duplicates over rows of record text: the indexed duplicate tests
// must give exactly the answers of the plain scan.
#include "FuzzSupport.h"

#include "capture/Columns.h"
#include "capture/Dupes.h"
#include "capture/GridModel.h"
#include "capture/PlainScan.h"
#include "tests/unit/capture/FakeTemplate.h"

#include <charconv>
#include <string>
#include <vector>

namespace {

// The width rule read independently: an optional sign, then decimal digits only, the
// value within 32 bits.
std::optional<std::int32_t> referenceWidth(QStringView piece) {
    std::string s;
    for (const QChar c : piece) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
        s += char(c.unicode());
    }
    if (!s.empty() && s[0] == '+') {
        s.erase(0, 1);
        if (!s.empty() && (s[0] == '-' || s[0] == '+'))
            return std::nullopt;
    }
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.byte();
    FakeTemplate tpl;
    tpl.loaded = !(flags & 1);
    tpl.countThrows = flags & 2;
    tpl.namesThrow = flags & 4;
    tpl.widthsThrow = flags & 8;
    tpl.dupesThrow = flags & 16;
    // Mostly small counts, sometimes any 32-bit value.
    tpl.columnCount = (flags & 32) ? in.int32() : static_cast<std::int8_t>(in.byte());
    const int extraColumns = in.byte() % 40;
    const int sortColumn = in.byte() % 8;
    tpl.names = QString::fromUtf8(in.until('\n'));
    tpl.widths = QString::fromUtf8(in.until('\n'));
    tpl.dupes = QString::fromUtf8(in.until('\n'));
    const QString records = QString::fromUtf8(in.rest());

    const bool answers = tpl.loaded && !tpl.countThrows && tpl.columnCount > 0;
    const int wanted =
        tpl.columnCount > capture::kMaxColumnCount ? capture::kCappedColumnCount : tpl.columnCount;

    capture::TGridModel grid;
    grid.appendColumns(extraColumns);
    const int before = grid.columns();
    capture::WriteColumnHeaders(grid, tpl);
    FUZZ_CHECK(grid.columns() == (answers ? std::max(before, wanted) : before));
    if (answers && !tpl.namesThrow) {
        const QStringList pieces = tpl.names.split(u'|');
        for (int i = 0; i < std::min<int>(int(pieces.size()), grid.columns()); ++i)
            FUZZ_CHECK(grid.column(i).caption == pieces[i]);
    }

    // Widths: every "|"-terminated piece is read the way the reference reads it.
    for (qsizetype start = 0, bar; (bar = tpl.widths.indexOf(u'|', start)) >= 0; start = bar + 1) {
        const QStringView piece = QStringView(tpl.widths).mid(start, bar - start);
        FUZZ_CHECK(capture::ParseWidth(piece) == referenceWidth(piece));
    }
    std::vector<int> widthsBefore;
    for (int i = 0; i < grid.columns(); ++i)
        widthsBefore.push_back(grid.column(i).width);
    const capture::ColWidthsResult widths = capture::GetColWidths(grid, tpl);
    using capture::ColWidthsError;
    switch (widths.error) {
    case ColWidthsError::None:
        FUZZ_CHECK(widths.widths.size() == std::size_t(std::max(0, answers ? tpl.columnCount : 0)));
        for (std::size_t i = 0; i < widths.widths.size(); ++i)
            FUZZ_CHECK(grid.column(int(i)).width == widths.widths[i]);
        break;
    case ColWidthsError::NoTemplate:
        FUZZ_CHECK(!tpl.loaded);
        [[fallthrough]];
    case ColWidthsError::TemplateFailed:
    case ColWidthsError::BadWidth:
        FUZZ_CHECK(widths.widths.empty());
        for (int i = 0; i < grid.columns(); ++i)
            FUZZ_CHECK(grid.column(i).width == widthsBefore[std::size_t(i)]);
        break;
    case ColWidthsError::MissingColumn:
        FUZZ_CHECK(tpl.columnCount > grid.columns());
        break;
    }

    // Duplicate keys.
    const capture::TDupeArray dupes = capture::GetDupes(tpl);
    FUZZ_CHECK(dupes.size() == (answers ? tpl.columnCount : 0));
    for (const int k : dupes.keys())
        FUZZ_CHECK(k >= 1 && k < dupes.size() && dupes.isKey(k));

    const QStringList lines = records.split(u'\n');
    for (const QString& line : lines)
        grid.addRecordLine(line, grid.columns());
    if (sortColumn < grid.columns())
        grid.sort(sortColumn, (flags & 64) ? Qt::DescendingOrder : Qt::AscendingOrder);

    for (const QString& line : lines) {
        FUZZ_CHECK(capture::FlatLineIsAlreadyInGrid(grid, line) ==
                   capture::plain::FlatLineIsAlreadyInGrid(grid, line));
        const QString longer = line + QChar(capture::kFieldSeparator);
        FUZZ_CHECK(capture::FlatLineIsAlreadyInGrid(grid, longer) ==
                   capture::plain::FlatLineIsAlreadyInGrid(grid, longer));
    }
    capture::TDupeScan scan(grid, dupes);
    for (int row = 0; row < grid.rows(); ++row) {
        int fast = -7, plain = -7;
        const bool a = scan.IsAlreadyIn(row, fast);
        const bool b = capture::plain::IsAlreadyIn(grid, row, dupes, plain);
        FUZZ_CHECK(a == b);
        FUZZ_CHECK(fast == plain);
        if (a)
            FUZZ_CHECK(fast <= row);
    }
    const std::vector<int> doomed = capture::DuplicateRows(grid, dupes);
    FUZZ_CHECK(doomed == capture::plain::DuplicateRows(grid, dupes));
    const int rowsBefore = grid.rows();
    grid.removeRowPositions(doomed);
    FUZZ_CHECK(grid.rows() == rowsBefore - int(doomed.size()));
    return 0;
}
