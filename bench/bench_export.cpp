// Writing 1,000,000 cells as CSV, JSON Lines, .xls and .xlsx: throughput of the bytes
// produced, and the writers' peak heap use over the grid's own size. The CSV grid is
// 200,000 rows of five fields; a worksheet holds 65,536 rows, so the .xls workbook gets
// the same fields in 62,500 rows of sixteen. Each figure also gives the rate of cell text
// (its UTF-8 bytes) taken from the grid: text_per_second.

#include "export/CsvWriter.h"
#include "export/JsonLinesWriter.h"
#include "export/XlsWriter.h"
#include "export/XlsxWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <atomic>
#include <cstddef>
#include <malloc.h>
#include <string>
#include <vector>

// Heap accounting: the program's malloc family forwards to glibc's and keeps a running
// total of live bytes and its peak, for Qt's allocations as much as for ours.
// Sanitizers bring their own allocator, so the figures are left out there.
#if !defined(__SANITIZE_ADDRESS__)
#define EXPORT_BENCH_COUNTS_HEAP 1
extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_realloc(void*, size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

void track(long long delta) {
    const long long now = g_live.fetch_add(delta, std::memory_order_relaxed) + delta;
    long long peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}
void* counted(void* p) {
    if (p)
        track((long long)malloc_usable_size(p));
    return p;
}
} // namespace

extern "C" {
void* malloc(size_t n) {
    return counted(__libc_malloc(n));
}
void* calloc(size_t n, size_t size) {
    return counted(__libc_calloc(n, size));
}
void* memalign(size_t alignment, size_t n) {
    return counted(__libc_memalign(alignment, n));
}
void* aligned_alloc(size_t alignment, size_t n) {
    return memalign(alignment, n);
}
void* valloc(size_t n) {
    return memalign(4096, n);
}
void* pvalloc(size_t n) {
    return memalign(4096, (n + 4095) & ~size_t(4095));
}
int posix_memalign(void** result, size_t alignment, size_t n) {
    void* p = memalign(alignment, n);
    if (!p)
        return 12; // ENOMEM
    *result = p;
    return 0;
}
void free(void* p) {
    if (p)
        track(-(long long)malloc_usable_size(p));
    __libc_free(p);
}
void* realloc(void* p, size_t n) {
    const long long before = p ? (long long)malloc_usable_size(p) : 0;
    void* q = __libc_realloc(p, n);
    if (q)
        track((long long)malloc_usable_size(q) - before);
    else if (p && n == 0)
        track(-before);
    return q;
}
}
#endif

namespace {

long long liveBytes() {
#ifdef EXPORT_BENCH_COUNTS_HEAP
    return g_live.load();
#else
    return 0;
#endif
}
void resetPeak() {
#ifdef EXPORT_BENCH_COUNTS_HEAP
    g_peak.store(g_live.load());
#endif
}
long long peakBytes() {
#ifdef EXPORT_BENCH_COUNTS_HEAP
    return g_peak.load();
#else
    return 0;
#endif
}

// Counts what it is given and keeps nothing, so only the writer's own work is timed.
class NullDevice : public QIODevice {
public:
    NullDevice() { open(QIODevice::WriteOnly); }
    qint64 count = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override {
        count += size;
        return size;
    }
};

struct Grid {
    exporter::GridData data;
    long long bytes = 0; // heap held by the grid
};

// Listing-like data: distinct names, streets, phones and mail addresses, towns from a
// short list, some text outside Latin-1; the five kinds of field repeat across a row.
Grid makeGrid(int rows, int fields) {
    Grid result;
    const long long before = liveBytes();
    const QString captions[] = {QStringLiteral("Name"), QStringLiteral("Street"),
                                QStringLiteral("Town"), QStringLiteral("Phone"),
                                QStringLiteral("E-mail")};
    for (int k = 0; k < fields; ++k)
        result.data.captions.append(captions[k % 5]);
    result.data.rows.reserve(size_t(rows));
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        for (int k = 0; k < fields; ++k) {
            const int id = r * (fields + 4) / 5 + k / 5;
            switch (k % 5) {
            case 0:
                row << QStringLiteral("Firma Müller & Söhne %1").arg(id);
                break;
            case 1:
                row << QStringLiteral("%1 Hauptstraße").arg(id % 997 + 1);
                break;
            case 2:
                row << (id % 10 ? QStringLiteral("Town %1").arg(id % 500)
                                : QStringLiteral("Zürich"));
                break;
            case 3:
                row << QStringLiteral("+41 44 %1").arg(1000000 + id);
                break;
            default:
                row << QStringLiteral("info%1@example.com").arg(id);
            }
        }
        result.data.rows.push_back(row);
    }
    result.bytes = liveBytes() - before;
    return result;
}

const Grid& csvGrid() {
    static const Grid g = makeGrid(200000, 5);
    return g;
}

const Grid& xlsGrid() {
    static const Grid g = makeGrid(62500, 16);
    return g;
}

long long cellCount(const exporter::GridData& g) {
    long long n = 0;
    for (const QStringList& row : g.rows)
        n += row.size();
    return n;
}

long long cellTextBytes(const exporter::GridData& g) {
    long long n = 0;
    for (const QStringList& row : g.rows)
        for (const QString& cell : row)
            n += cell.toUtf8().size();
    return n;
}

template <typename Write> void run(benchmark::State& state, const Grid& g, Write write) {
    long long produced = 0;
    long long extra = 0;
    for (auto _ : state) {
        const long long base = liveBytes();
        resetPeak();
        produced = write(g.data);
        extra = std::max(extra, peakBytes() - base);
        benchmark::DoNotOptimize(produced);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * produced);
    state.counters["cells"] = double(cellCount(g.data));
    // Over the same time as the bytes produced (CPU time), so the two figures compare.
    state.counters["text_per_second"] =
        benchmark::Counter(double(cellTextBytes(g.data)) * double(state.iterations()),
                           benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    state.counters["file_MB"] = double(produced) / 1e6;
#ifdef EXPORT_BENCH_COUNTS_HEAP
    state.counters["grid_MB"] = double(g.bytes) / 1e6;
    state.counters["peak_extra_MB"] = double(extra) / 1e6;
    state.counters["peak_over_grid"] = double(g.bytes + extra) / double(g.bytes);
#endif
}

void BM_CsvToDevice(benchmark::State& state) {
    run(state, csvGrid(), [](const exporter::GridData& g) {
        NullDevice device;
        if (!exporter::MySaveToCSV(g, exporter::CsvSeparator::Comma, &device).ok())
            return -1LL;
        return device.count;
    });
}

void BM_XlsToDevice(benchmark::State& state) {
    run(state, xlsGrid(), [](const exporter::GridData& g) {
        NullDevice device;
        if (!exporter::SaveToXLS(g, &device).ok())
            return -1LL;
        return device.count;
    });
}

// Through the file system (page cache), temporary name and rename included.
void BM_CsvToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    run(state, csvGrid(), [&](const exporter::GridData& g) {
        if (!exporter::MySaveToCSV(g, exporter::CsvSeparator::Comma, path).ok())
            return -1LL;
        return QFileInfo(path).size();
    });
}

void BM_XlsToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xls"));
    run(state, xlsGrid(), [&](const exporter::GridData& g) {
        if (!exporter::SaveToXLS(g, path).ok())
            return -1LL;
        return QFileInfo(path).size();
    });
}

void BM_JsonLinesToDevice(benchmark::State& state) {
    run(state, csvGrid(), [](const exporter::GridData& g) {
        NullDevice device;
        if (!exporter::SaveToJsonLines(g, &device).ok())
            return -1LL;
        return device.count;
    });
}

void BM_JsonLinesToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.jsonl"));
    run(state, csvGrid(), [&](const exporter::GridData& g) {
        if (!exporter::SaveToJsonLines(g, path).ok())
            return -1LL;
        return QFileInfo(path).size();
    });
}

// The worksheet's rows go through the library's temporary file (constant-memory mode),
// then into the zip; the finished file is read back once before the rename.
void BM_XlsxToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    run(state, csvGrid(), [&](const exporter::GridData& g) {
        if (!exporter::SaveToXLSX(g, path).ok())
            return -1LL;
        return QFileInfo(path).size();
    });
}

// The library alone on the same cells, already UTF-8, in the same mode and with nothing
// read back: the part of BM_XlsxToFile that is not ours. Most of it is the deflating of
// the worksheet part at zlib's default level, which the library does not let us change.
void BM_XlsxLibraryOnly(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("lib.xlsx")));
    const exporter::GridData& grid = csvGrid().data;
    std::vector<std::vector<std::string>> cells;
    cells.reserve(grid.rows.size());
    for (const QStringList& row : grid.rows) {
        std::vector<std::string> out;
        for (const QString& cell : row)
            out.push_back(cell.toStdString());
        cells.push_back(std::move(out));
    }
    run(state, csvGrid(), [&](const exporter::GridData&) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        lxw_workbook* book = workbook_new_opt(path.constData(), &options);
        lxw_worksheet* sheet = book ? workbook_add_worksheet(book, nullptr) : nullptr;
        if (!sheet)
            return -1LL;
        for (std::size_t r = 0; r < cells.size(); ++r)
            for (std::size_t c = 0; c < cells[r].size(); ++c)
                worksheet_write_string(sheet, lxw_row_t(r + 1), lxw_col_t(c), cells[r][c].c_str(),
                                       nullptr);
        if (workbook_close(book) != LXW_NO_ERROR)
            return -1LL;
        return QFileInfo(QFile::decodeName(path)).size();
    });
}

} // namespace

BENCHMARK(BM_XlsxLibraryOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonLinesToDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonLinesToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XlsxToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvToDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XlsToDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XlsToFile)->Unit(benchmark::kMillisecond);
