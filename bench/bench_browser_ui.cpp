// Records of a 1,000-listing page through a declarative template on the real engine,
// timed from "page loaded" to "record text ready": the document snapshot read from the
// engine, then the template's GetData over it, as a capture does. The Playwright peer of
// bench/compare_records.sh times the same span for the same page and fields.
#include "bench/ListingPage.h"
#include "browser/OrvoBrowser.h"
#include "plugins/DeclarativeTemplate.h"
#include "plugins/IPlugins.h"

#include <orvo/PluginBase.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

bool waitUntilComplete(const platform::TWebBrowser& b) {
    QDeadlineTimer deadline(20'000);
    while (b.ReadyState() != platform::READYSTATE_COMPLETE) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// One browser, page and template for all repetitions: each repetition times one fresh load.
struct Fixture {
    QTemporaryDir dir;
    QString url;
    orvo::Ref<IPlugin> plugin;
    TOrvoBrowser browser;
    QString error;

    explicit Fixture(int n) {
        QFile page(dir.filePath(QStringLiteral("listings.html")));
        if (!dir.isValid() || !page.open(QIODevice::WriteOnly) ||
            page.write(bench::listingPage(n).toUtf8()) < 0 || !page.flush()) {
            error = QStringLiteral("cannot write the page");
            return;
        }
        url = QUrl::fromLocalFile(page.fileName()).toString();
        declarative::ParseResult parsed =
            declarative::ParseTemplate(QByteArray(bench::kFiveColumns));
        if (!parsed.description) {
            error = QStringLiteral("the template does not parse");
            return;
        }
        plugin = orvo::Ref<IPlugin>::adopt(
            new declarative::DeclarativeTemplate(std::move(*parsed.description), QString()));
        browser.resize(1024, 780);
        browser.show();
    }
};

// Made by the first repetition, let go by main before the application object: the engine's
// page must not outlive it.
std::unique_ptr<Fixture> gFixture;

void BM_DeclarativeRecordsInEngine(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    if (!gFixture)
        gFixture = std::make_unique<Fixture>(n);
    Fixture& f = *gFixture;
    if (!f.error.isEmpty()) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        // Each round on a fresh load, as each page of a capture is.
        state.PauseTiming();
        f.browser.Navigate(f.url);
        const bool loaded = waitUntilComplete(f.browser);
        state.ResumeTiming();
        if (!loaded) {
            state.SkipWithError("the page did not load");
            break;
        }
        const auto doc = orvo::Ref<IHTMLDocument2>::adopt(browser::DocumentOf(&f.browser));
        const QString text = FromTemplateText(f.plugin->GetData(doc.get()));
        if (text.count(QStringLiteral("\r\n")) != n - 1) {
            state.SkipWithError("wrong number of records");
            break;
        }
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
// One load per repetition, so that the median and the fastest load can be given beside the
// mean, as the Playwright half gives them.
BENCHMARK(BM_DeclarativeRecordsInEngine)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) {
                            return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
                        })
    ->UseRealTime();

} // namespace

// The engine needs one application object for the whole run, made before any browser.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    gFixture.reset();
    benchmark::Shutdown();
    return 0;
}
