// The start page for a large template folder: listing the folder and building the list
// text, done on every Home command. The records of a large results page through a
// declarative template.
#include "DeclarativeTemplate.h"
#include "HomePage.h"
#include "IPlugins.h"

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

// A results page of n listings, as a directory site writes them.
QString listingPage(int n) {
    QString html = QStringLiteral("<html><body><h1>Results</h1><ol class=results>");
    for (int i = 0; i < n; ++i)
        html += QStringLiteral(
                    "<li class=\"listing\" id=\"l%1\"><h3 class=\"name\"><a href=\"/firm/%1\">"
                    "Firm number %1 &amp; Sons</a></h3><p class=\"street\">%1 Harbour "
                    "Road</p><p class=\"town\">Lantern Bay</p><p class=\"phone\">Tel. "
                    "(319) 555-%2</p><span class=\"kind\">Open daily</span></li>")
                    .arg(i)
                    .arg(1000 + i % 9000);
    html += QStringLiteral("</ol><a rel=next href=\"?page=2\">Next</a></body></html>");
    return html;
}

constexpr char kFiveColumns[] = R"json({"trawlex": 1, "name": "BENCH", "records": "li.listing",
  "columns": [{"name": "Name", "select": ".name"}, {"name": "Street", "select": ".street"},
              {"name": "Town", "select": ".town"},
              {"name": "Phone", "select": ".phone", "pattern": "\\((\\d{3})\\)"},
              {"name": "Link", "select": ".name a", "attribute": "href"}]})json";

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
