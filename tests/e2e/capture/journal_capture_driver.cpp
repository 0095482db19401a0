// A program without a window that captures the demo site through the capture controller
// and its journal on the real engine, for the journal's kill tests: they start it, kill
// it with SIGKILL at random moments, and read what the next start restores.
//
//   journal_capture_driver PROGRAM_FOLDER run     capture the whole site from page 1
//   journal_capture_driver PROGRAM_FOLDER resume  restore, load the template, Resume Capture
//   journal_capture_driver PROGRAM_FOLDER dump    restore only, no browsers
//
// The journal is the one of $XDG_DATA_HOME/trawlex. Everything goes to standard output,
// one line each, flushed at once so that a kill loses none of it:
//   OPEN <ok|failed: why>   MOVED <where a damaged journal went>   RESTORED <rows>
//   RESUME <page>   RUNNING (the run starts)   COUNT <rows> (the count on screen changed)
//   ELAPSED <ms the run took>   ROW <fields and source, separated by U+001F>   DONE <rows>
#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "capture/WebCapturePages.h"
#include "journal/Journal.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"

#include <orvo/PluginBase.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

void say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printRows(const capture::TGridModel& grid) {
    for (int r = 0; r < grid.rows(); ++r)
        say(QStringLiteral("ROW ") + grid.rowFields(r).join(QChar(0x1F)) + QChar(0x1F) +
            grid.rowSource(r));
}

bool ready(const platform::TWebBrowser& b) {
    return b.ReadyState() == platform::READYSTATE_COMPLETE;
}

bool waitUntil(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        platform::tickwait(10);
    }
    return true;
}

int fail(const QString& why) {
    say(QStringLiteral("FAILED ") + why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: PROGRAM_FOLDER run|resume|dump"));
    const QString folder = args[1] + u'/';
    const QString mode = args[2];

    capture::WebCapturePages pages;
    std::shared_ptr<TPlugin> demo;
    capture::CaptureController controller(pages, [&] { return demo; });
    QObject::connect(&controller, &capture::CaptureController::countChanged,
                     [](int rows) { say(QStringLiteral("COUNT %1").arg(rows)); });

    const journal::OpenReport report = controller.openJournal(journal::Journal::defaultFolder());
    say(QStringLiteral("OPEN ") + (report.status.ok()
                                       ? QStringLiteral("ok")
                                       : QStringLiteral("failed: ") + report.status.message));
    if (!report.movedAsideTo.isEmpty())
        say(QStringLiteral("MOVED ") + report.movedAsideTo);
    say(QStringLiteral("RESTORED %1").arg(controller.restoredRows()));
    say(QStringLiteral("RESUME ") + controller.resumePage());
    if (mode == u"dump") {
        printRows(controller.grid());
        say(QStringLiteral("DONE %1").arg(controller.rowCount()));
        return 0;
    }

    // Shown (off-screen): a hidden page's timers are throttled.
    TOrvoBrowser main;
    platform::TEmbeddedWB service;
    TOrvoBrowser assist;
    for (platform::TWebBrowser* b :
         {static_cast<platform::TWebBrowser*>(&main), static_cast<platform::TWebBrowser*>(&service),
          static_cast<platform::TWebBrowser*>(&assist)}) {
        b->resize(1024, 780);
        b->show();
    }
    service.Navigate(QStringLiteral("about:blank"));
    assist.Navigate(QStringLiteral("about:blank"));
    pages.setBrowser(capture::Browser::WB, &main);
    pages.setBrowser(capture::Browser::wb2, &service);
    pages.setBrowser(capture::Browser::WBassist, &assist);

    PluginLoad load = TPlugin::Create(folder + QStringLiteral("us_demo_directory.orp"), folder);
    if (!load)
        return fail(load.error.message);
    demo = std::move(load.plugin);
    const auto handed = orvo::Ref<IWebBrowser2>::adopt(browser::WebBrowser2Of(&service));
    demo->Instance()->SetServiceBrowser(handed.get());
    // As a template load does: the columns relabelled, then their widths.
    controller.writeColumnHeaders();
    if (!controller.readColumnWidths())
        return fail(QStringLiteral("column widths"));
    controller.setPauseSeconds(0);

    if (mode == u"run") {
        main.Navigate(
            QUrl::fromLocalFile(folder + QStringLiteral("demo/results-1.html")).toString());
        if (!waitUntil([&] { return ready(main) && ready(service) && ready(assist); }))
            return fail(QStringLiteral("first page"));
        say(QStringLiteral("RUNNING"));
        QElapsedTimer run;
        run.start();
        controller.capture();
        say(QStringLiteral("ELAPSED %1").arg(run.elapsed()));
    } else if (mode == u"resume") {
        main.Navigate(QStringLiteral("about:blank"));
        if (!waitUntil([&] { return ready(main) && ready(service) && ready(assist); }))
            return fail(QStringLiteral("blank pages"));
        if (!controller.canResume())
            return fail(QStringLiteral("nothing to resume"));
        say(QStringLiteral("RUNNING"));
        controller.resume();
        if (controller.canResume())
            return fail(QStringLiteral("still resumable after the run"));
    } else {
        return fail(QStringLiteral("unknown mode ") + mode);
    }
    printRows(controller.grid());
    say(QStringLiteral("DONE %1").arg(controller.rowCount()));
    controller.closeJournal();
    return 0;
}
