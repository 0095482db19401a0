#include "browser/HtmlDocument.h"

#include <benchmark/benchmark.h>

using namespace browser;

namespace {

QString listingPage(int rows) {
    QString html = QStringLiteral("<html><head><title>Big</title></head><body><table id=t>");
    for (int i = 0; i < rows; ++i)
        html += QStringLiteral("<tr class=\"r entry\" id=r%1><td class=name>Name %1</td>"
                               "<td>Street %1</td><td><a href=\"/firm/%1\">555-%1</a></td></tr>\n")
                    .arg(i);
    return html + QStringLiteral("</table></body></html>");
}

const QString& page() {
    static const QString p = listingPage(200000); // about 20 MB of UTF-8
    return p;
}

OrvoRef<IHTMLDocument2> parsed() {
    return OrvoRef<IHTMLDocument2>(CreateHtmlDocument(
        {page(), QStringLiteral("http://h/"), QStringLiteral("text/html"), QString()}));
}

void BM_Parse20MB(benchmark::State& state) {
    for (auto _ : state) {
        auto doc = parsed();
        benchmark::DoNotOptimize(doc.get());
    }
    state.SetBytesProcessed(state.iterations() * page().toUtf8().size());
}
BENCHMARK(BM_Parse20MB)->Unit(benchmark::kMillisecond);

template <class F> void onDocument(benchmark::State& state, F f) {
    auto doc = parsed();
    for (auto _ : state)
        f(*doc);
}

void BM_ByClassName(benchmark::State& state) {
    onDocument(state, [](IHTMLDocument2& d) {
        OrvoRef<IHTMLElementCollection> c(d.GetElementsByClassName(u"entry"));
        benchmark::DoNotOptimize(c->GetLength());
    });
}
BENCHMARK(BM_ByClassName)->Unit(benchmark::kMillisecond);

void BM_QuerySelectorAll(benchmark::State& state) {
    onDocument(state, [](IHTMLDocument2& d) {
        OrvoRef<IHTMLElementCollection> c(
            d.QuerySelectorAll(u"table > tr.entry td a[href^='/firm']"));
        benchmark::DoNotOptimize(c->GetLength());
    });
}
BENCHMARK(BM_QuerySelectorAll)->Unit(benchmark::kMillisecond);

void BM_XPathCount(benchmark::State& state) {
    onDocument(state, [](IHTMLDocument2& d) {
        benchmark::DoNotOptimize(d.EvaluateXPath(u"count(//td)"));
    });
}
BENCHMARK(BM_XPathCount)->Unit(benchmark::kMillisecond);

void BM_ElementByIdRepeated(benchmark::State& state) {
    onDocument(state, [](IHTMLDocument2& d) {
        OrvoRef<IHTMLElement> e(d.GetElementById(u"r199999"));
        benchmark::DoNotOptimize(e.get());
    });
}
BENCHMARK(BM_ElementByIdRepeated);

void BM_RenderedTextOfTable(benchmark::State& state) {
    onDocument(state, [](IHTMLDocument2& d) {
        OrvoRef<IHTMLElement> t(d.GetElementById(u"t"));
        benchmark::DoNotOptimize(t->GetInnerText());
    });
}
BENCHMARK(BM_RenderedTextOfTable)->Unit(benchmark::kMillisecond);

} // namespace
