// The journal under load: a captured page into a large grid with its commit on the disk,
// the journal's part reported beside the grid's own (journal_ms, grid_ms, total_ms, and
// journal_cpu_ms: its processor time, without the wait for the disk);
// restoring a million rows at start-up (BM_Restore opens and reads them, with
// bytes_per_row the file's size per row; BM_RestoreIntoGrid puts them into a grid); and
// the rewrite of the order after a header sort. cpu_ms is processor time, which the other
// builds sharing the machine do not inflate. Rows are five
// 12-character fields, as in bench_capture. Journals live in the system's temporary
// folder, on the disk, so every commit waits for its fsync.
#include "capture/Dupes.h"
#include "capture/GridModel.h"
#include "journal/Journal.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

using namespace capture;
using namespace journal;

namespace {

const QChar S = QChar(kFieldSeparator);

QString field12(char16_t letter, std::uint64_t n) {
    n = (n * 0x9E3779B97F4A7C15ull) >> 20;
    QString s(12, QChar(letter));
    for (int i = 11; i >= 1; --i) {
        s[i] = QChar(u'0' + char16_t(n % 10));
        n /= 10;
    }
    return s;
}

QStringList recordFields(std::uint64_t n) {
    return {field12(u'N', n), field12(u'S', n), field12(u'C', n), field12(u'P', n),
            field12(u'E', n)};
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time, which the other builds sharing the machine do not inflate.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

constexpr int kGridRows = 100'000;
constexpr int kPageLines = 1'000;
constexpr int kMillion = 1'000'000;

std::vector<QStringList> pageOf(std::uint64_t first) {
    std::vector<QStringList> rows;
    rows.reserve(kPageLines);
    for (int i = 0; i < kPageLines; ++i)
        rows.push_back(recordFields(first + std::uint64_t(i)));
    return rows;
}

// Pages of 1,000 rows until the journal holds `rows`.
void fillJournal(Journal& j, int rows) {
    const QDateTime at = QDateTime::currentDateTimeUtc();
    for (int first = 0; first < rows; first += kPageLines)
        if (!j.appendPage(QStringLiteral("http://127.0.0.1:9/list?page=%1").arg(first / kPageLines),
                          at, pageOf(std::uint64_t(first)))
                 .status.ok())
            return;
}

std::int64_t bytesOnDisk(const QString& path) {
    std::int64_t total = 0;
    for (const char* suffix : {"", "-wal"})
        total += QFileInfo(path + QLatin1String(suffix)).size();
    return total;
}

// One captured page: the grid's whole-row test and insertion for each line, then the
// page's rows committed to the journal. Both are brought back to their size between
// iterations, outside the timing.
void BM_AppendPage(benchmark::State& state) {
    QTemporaryDir dir;
    Journal j;
    if (!j.open(dir.path()).status.ok()) {
        state.SkipWithError("cannot open a journal");
        return;
    }
    fillJournal(j, kGridRows);
    TGridModel grid;
    grid.appendColumns(4);
    for (int i = 0; i < kGridRows; ++i)
        grid.addRow(recordFields(std::uint64_t(i)));

    std::vector<QStringList> page;
    std::vector<QString> lines;
    for (int i = 0; i < kPageLines; ++i) { // one line in ten is already in the grid
        page.push_back(
            recordFields(i % 10 == 0 ? std::uint64_t(i) * 97 : 1'000'000 + std::uint64_t(i)));
        lines.push_back(page.back().join(S));
    }
    const QDateTime at = QDateTime::currentDateTimeUtc();
    double gridMs = 0, journalMs = 0, journalCpu = 0;
    std::vector<TGridModel::RowId> added;
    std::vector<QStringList> newRows;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        added.clear();
        newRows.clear();
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!FlatLineIsAlreadyInGrid(grid, lines[i])) {
                added.push_back(grid.rowIdAt(grid.addRecordLine(lines[i], 5)));
                newRows.push_back(page[i]);
            }
        const auto t1 = std::chrono::steady_clock::now();
        const double c1 = cpuMs();
        const Appended a =
            j.appendPage(QStringLiteral("http://127.0.0.1:9/list?page=x"), at, newRows);
        journalCpu += cpuMs() - c1;
        journalMs += msSince(t1);
        gridMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        if (!a.status.ok()) {
            state.SkipWithError("append failed");
            return;
        }
        state.PauseTiming();
        const std::vector<int> pos = grid.positionsById();
        std::vector<int> gone;
        for (auto id : added)
            gone.push_back(pos[id]);
        grid.removeRowPositions(gone);
        std::vector<RowKey> keys;
        for (std::size_t i = 0; i < newRows.size(); ++i)
            keys.push_back(a.firstKey + RowKey(i));
        j.removeRows(keys);
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["grid_ms"] = gridMs / n;
    state.counters["journal_ms"] = journalMs / n;
    state.counters["journal_cpu_ms"] = journalCpu / n;
    state.counters["total_ms"] = (gridMs + journalMs) / n;
}
BENCHMARK(BM_AppendPage)->Unit(benchmark::kMillisecond)->Iterations(40);

// A journal of a million rows, made once for the restore benchmarks.
const QString& millionRowFolder() {
    static QTemporaryDir dir;
    static const bool filled = [] {
        Journal j;
        if (!j.open(dir.path()).status.ok())
            return false;
        fillJournal(j, kMillion);
        return true;
    }();
    static const QString path = filled ? dir.path() : QString();
    return path;
}

// Start-up with a million rows: the journal opened and every row read, in order.
void BM_Restore(benchmark::State& state) {
    const QString& folder = millionRowFolder();
    if (folder.isEmpty()) {
        state.SkipWithError("cannot make the journal");
        return;
    }
    const double bytesPerRow =
        double(bytesOnDisk(folder + u'/' + Journal::mainFileName())) / kMillion;
    double cpu = 0;
    std::size_t restored = 0;
    for (auto _ : state) {
        const double c0 = cpuMs();
        Journal j;
        OpenReport r = j.open(folder);
        cpu += cpuMs() - c0;
        restored = r.restored.rows.size();
        state.PauseTiming();
        r = {};
        state.ResumeTiming();
    }
    state.counters["rows"] = double(restored);
    state.counters["cpu_ms"] = cpu / double(state.iterations());
    state.counters["bytes_per_row"] = bytesPerRow;
}
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(3);

// The restored rows put into a grid one by one, each at its sorted place: the grid's part
// of start-up, beside the journal's above.
void BM_RestoreIntoGrid(benchmark::State& state) {
    const QString& folder = millionRowFolder();
    Journal j;
    OpenReport r = j.open(folder);
    if (r.restored.rows.size() != std::size_t(kMillion)) {
        state.SkipWithError("cannot read the journal");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double c0 = cpuMs();
        TGridModel grid;
        grid.appendColumns(4);
        grid.sort(r.restored.sortColumn, r.restored.sortOrder);
        for (std::size_t i = 0; i < r.restored.rows.size(); ++i)
            grid.addRow(r.restored.rows.fieldsAt(i));
        cpu += cpuMs() - c0;
        benchmark::DoNotOptimize(grid.rows());
    }
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(BM_RestoreIntoGrid)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same rows through the grid's bulk load, with their origins, as start-up does it.
void BM_RestoreIntoGridBulk(benchmark::State& state) {
    const QString& folder = millionRowFolder();
    Journal j;
    OpenReport r = j.open(folder);
    const RowList& rows = r.restored.rows;
    if (rows.size() != std::size_t(kMillion)) {
        state.SkipWithError("cannot read the journal");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double c0 = cpuMs();
        TGridModel grid;
        grid.appendColumns(4);
        TGridModel::OriginId origin = TGridModel::kNoOrigin;
        grid.loadRows(rows.size(), r.restored.sortColumn, r.restored.sortOrder,
                      [&](std::size_t i, QStringList& fields, TGridModel::OriginId& o) {
                          fields = rows.fieldsAt(i);
                          if (i == 0 || !rows.samePage(i, i - 1))
                              origin = grid.addOrigin(rows.pageUrlAt(i), rows.capturedAtAt(i));
                          o = origin;
                      });
        cpu += cpuMs() - c0;
        benchmark::DoNotOptimize(grid.rows());
    }
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(BM_RestoreIntoGridBulk)->Unit(benchmark::kMillisecond)->Iterations(3);

// A header sort of a 100,000-row grid: every row's new place in one transaction.
void BM_SetOrder(benchmark::State& state) {
    QTemporaryDir dir;
    Journal j;
    if (!j.open(dir.path()).status.ok()) {
        state.SkipWithError("cannot open a journal");
        return;
    }
    fillJournal(j, kGridRows);
    std::vector<RowKey> keys;
    const RowList rows = j.read().state.rows;
    for (std::size_t i = 0; i < rows.size(); ++i)
        keys.push_back(rows.keyAt(i));
    for (auto _ : state) {
        std::reverse(keys.begin(), keys.end());
        if (!j.setOrder(keys, 1, Qt::DescendingOrder).ok()) {
            state.SkipWithError("setOrder failed");
            return;
        }
    }
}
BENCHMARK(BM_SetOrder)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
