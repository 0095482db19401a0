// The start page for a large template folder: listing the folder and building the list
// text, done on every Home command. The records of a large results page through a
// declarative template.
#include "DeclarativeTemplate.h"
#include "HomePage.h"
#include "IPlugins.h"

#include "bench/ListingPage.h"
#include "browser/HtmlDocument.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QStringList names(int n) {
    static const char* codes[] = {"au", "AR", "fr", "us", "br", "de", "xx"};
    QStringList files;
    for (int i = 0; i < n; ++i)
        files << QStringLiteral("%1_shop_number_%2.orp")
                     .arg(QString::fromLatin1(codes[i % 7]))
                     .arg(i);
    return files;
}

void BM_BuildTemplateList(benchmark::State& state) {
    const QStringList files = names(static_cast<int>(state.range(0)));
    const auto stamp = [](const QString&) { return QStringLiteral("20240131"); };
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildTemplateList(files, QStringLiteral("/opt/trawlex/"), stamp));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildTemplateList)->Arg(100)->Arg(2000);

void BM_TemplateFileListAndStamps(benchmark::State& state) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    for (const QString& name : names(static_cast<int>(state.range(0)))) {
        QFile f(folder + name);
        f.open(QIODevice::WriteOnly);
    }
    for (int i = 0; i < 200; ++i) {
        QFile f(folder + QStringLiteral("other_%1.txt").arg(i));
        f.open(QIODevice::WriteOnly);
    }
    for (auto _ : state) {
        const QStringList files = TemplateFileList(folder);
        benchmark::DoNotOptimize(BuildTemplateList(
            files, folder, [&](const QString& f) { return FileDateStamp(folder + f); }));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TemplateFileListAndStamps)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

using bench::kFiveColumns;
using bench::listingPage;

// With TRAWLEX_BENCH_PAGE set, the page of the benchmarks below is also written to that
// file, for the Playwright half of bench/compare_records.sh.
[[maybe_unused]] const bool gPageWritten = [] {
    const QString target = qEnvironmentVariable("TRAWLEX_BENCH_PAGE");
    if (target.isEmpty())
        return false;
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(listingPage(1000).toUtf8());
    return f.flush();
}();

IPlugin* fiveColumnTemplate() {
    declarative::ParseResult r = declarative::ParseTemplate(QByteArray(kFiveColumns));
    if (!r.description)
        return nullptr;
    return new declarative::DeclarativeTemplate(std::move(*r.description), QString());
}

// From the page's markup to the record text: the snapshot parsed, then GetData.
void BM_DeclarativeRecordsFromMarkup(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    HtmlSource source;
    source.html = listingPage(n);
    source.url = QStringLiteral("https://dir.example/search?q=x");
    IPlugin* plugin = fiveColumnTemplate();
    for (auto _ : state) {
        browser::OrvoRef<IHTMLDocument2> doc(browser::CreateHtmlDocument(source));
        const QString text = FromTemplateText(plugin->GetData(doc.get()));
        if (text.count(QStringLiteral("\r\n")) != n - 1)
            state.SkipWithError("wrong number of records");
        benchmark::DoNotOptimize(text);
    }
    plugin->Release();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DeclarativeRecordsFromMarkup)->Arg(1000)->Unit(benchmark::kMillisecond);

// GetData alone, over a snapshot already parsed.
void BM_DeclarativeRecordsFromSnapshot(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    HtmlSource source;
    source.html = listingPage(n);
    source.url = QStringLiteral("https://dir.example/search?q=x");
    browser::OrvoRef<IHTMLDocument2> doc(browser::CreateHtmlDocument(source));
    IPlugin* plugin = fiveColumnTemplate();
    for (auto _ : state)
        benchmark::DoNotOptimize(plugin->GetData(doc.get()));
    plugin->Release();
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DeclarativeRecordsFromSnapshot)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
