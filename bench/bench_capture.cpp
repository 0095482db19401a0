// The grid under load: a captured page into a large grid, Delete Duplicates, and the
// memory a row costs. Beside each indexed figure (ours_ms, wall time) the plain scans'
// time on the same data is reported (plain_ms) with the ratio (speedup). The plain scans
// take minutes on these grids, so each is timed on a sample and scaled: its cost per
// line or row does not depend on which one it is.
#include "capture/Dupes.h"
#include "capture/GridModel.h"
#include "capture/PlainScan.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

using namespace capture;

namespace {

const QChar S = QChar(kFieldSeparator);

// Twelve characters: a letter and eleven digits of a scrambled number.
QString field12(char16_t letter, std::uint64_t n) {
    n = (n * 0x9E3779B97F4A7C15ull) >> 20;
    QString s(12, QChar(letter));
    for (int i = 11; i >= 1; --i) {
        s[i] = QChar(u'0' + char16_t(n % 10));
        n /= 10;
    }
    return s;
}

QString recordLine(std::uint64_t n) {
    return QStringList{field12(u'N', n), field12(u'S', n), field12(u'C', n), field12(u'P', n),
                       field12(u'E', n)}
        .join(S);
}

void fill(TGridModel& grid, std::uint64_t first, int rows) {
    for (int i = 0; i < rows; ++i)
        grid.addRecordLine(recordLine(first + std::uint64_t(i)), 5);
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

constexpr int kGridRows = 100'000;
constexpr int kPageLines = 1'000;

// One captured page: the whole-row test for each line, then the row put in its place
// in caption order with the model's insertion announced to a listener. The grid is
// brought back to its size between iterations, outside the timing.
void BM_AppendPage(benchmark::State& state) {
    TGridModel grid;
    grid.appendColumns(4);
    fill(grid, 0, kGridRows);
    std::int64_t announced = 0;
    QObject::connect(
        &grid, &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { announced += last - first + 1; });

    std::vector<QString> page;
    for (int i = 0; i < kPageLines; ++i) // one line in ten is already in the grid
        page.push_back(
            recordLine(i % 10 == 0 ? std::uint64_t(i) * 97 : 1'000'000 + std::uint64_t(i)));

    std::vector<TGridModel::RowId> added;
    double oursMs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        added.clear();
        for (const QString& line : page)
            if (!FlatLineIsAlreadyInGrid(grid, line))
                added.push_back(grid.rowIdAt(grid.addRecordLine(line, 5)));
        oursMs += msSince(t0);
        state.PauseTiming();
        const std::vector<int> pos = grid.positionsById();
        std::vector<int> gone;
        for (auto id : added)
            gone.push_back(pos[id]);
        grid.removeRowPositions(gone);
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(announced);

    // The plain whole-row test rebuilds every row's joined text for every line; its
    // cost does not depend on the line, so a sample of the page's lines is timed.
    constexpr int kSample = 20;
    const auto t0 = std::chrono::steady_clock::now();
    int found = 0;
    for (int i = 0; i < kSample; ++i)
        found += plain::FlatLineIsAlreadyInGrid(grid, page[std::size_t(i * 50 + 1)]);
    benchmark::DoNotOptimize(found);
    const double plainPage = msSince(t0) * kPageLines / kSample;
    oursMs /= double(state.iterations());
    state.counters["ours_ms"] = oursMs;
    state.counters["plain_ms"] = plainPage;
    state.counters["speedup"] = plainPage / oursMs;
}
BENCHMARK(BM_AppendPage)->Unit(benchmark::kMillisecond);

// 100,000 rows, one in ten repeating an earlier row's caption and key field (field 3).
void fillWithRepeats(TGridModel& grid) {
    std::mt19937_64 rng(5);
    const int unique = kGridRows * 9 / 10;
    for (int i = 0; i < kGridRows; ++i) {
        if (i < unique) {
            grid.addRecordLine(recordLine(std::uint64_t(i)), 5);
            continue;
        }
        const std::uint64_t src = rng() % std::uint64_t(unique);
        grid.addRow({field12(u'N', src), field12(u'S', rng()), field12(u'C', src),
                     field12(u'P', rng()), field12(u'E', rng())});
    }
}

void BM_DeleteDuplicates(benchmark::State& state) {
    TGridModel grid;
    grid.appendColumns(4);
    TDupeArray flags(5);
    flags.setValue(2, 1);
    std::size_t removed = 0;
    double findMs = 0, removeMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        grid.clearRows();
        fillWithRepeats(grid);
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        const std::vector<int> rows = DuplicateRows(grid, flags);
        const auto t1 = std::chrono::steady_clock::now();
        grid.removeRowPositions(rows);
        findMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        removeMs += msSince(t1);
        removed = rows.size();
    }
    state.counters["removed"] = double(removed);
    state.counters["ours_ms"] = (findMs + removeMs) / double(state.iterations());

    // The plain walk scans the grid from the top for every row; the cost of a row does
    // not depend on its place, so every 50th row is timed and the figure scaled.
    grid.clearRows();
    fillWithRepeats(grid);
    constexpr int kEvery = 50;
    const auto t0 = std::chrono::steady_clock::now();
    int matched = 0;
    for (int row = grid.rows() - 1; row >= 0; row -= kEvery) {
        int idx = -1;
        matched += plain::IsAlreadyIn(grid, row, flags, idx) && idx != row;
    }
    benchmark::DoNotOptimize(matched);
    const double plainAll = msSince(t0) * kEvery;
    state.counters["plain_ms"] = plainAll;
    state.counters["speedup"] = plainAll / ((findMs + removeMs) / double(state.iterations()));
}
BENCHMARK(BM_DeleteDuplicates)->Unit(benchmark::kMillisecond)->Iterations(5);

// What a million rows of five 12-character fields cost, indexes and order included.
void BM_MemoryPerRow(benchmark::State& state) {
    constexpr int kRows = 1'000'000;
    for (auto _ : state) {
        malloc_trim(0);
        const std::size_t before = mallinfo2().uordblks;
        auto* grid = new TGridModel;
        grid->appendColumns(4);
        fill(*grid, 0, kRows);
        const std::size_t after = mallinfo2().uordblks;
        state.counters["bytes_per_row"] = double(after - before) / kRows;
        state.PauseTiming();
        delete grid;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MemoryPerRow)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
