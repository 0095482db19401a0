// The start page for a large template folder: listing the folder and building the list
// text, done on every Home command.
#include "HomePage.h"

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

} // namespace
