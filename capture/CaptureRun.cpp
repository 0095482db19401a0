#include "capture/CaptureRun.h"

#include "capture/Dupes.h"
#include "capture/RecordText.h"

#include <vector>

namespace capture {

using namespace runtext;

namespace {

enum class PageEnd {
    Turned,        // the next page is loaded and is to be captured
    Stopped,       // the reset step is done
    NotAccessible, // the page brought the text of the page before
    Completed,     // the completion step is done
    Failed,        // a failure outside the guarded template calls
    Abandoned,     // the program is shutting down: nothing more is touched
};

void completion(ICaptureHost& host) {
    host.runCompleted();
    host.resetbuttons();
    host.playSound();
    host.setTitleStatus(kCompleted);
}

void notAccessible(ICaptureHost& host) {
    host.setTitleStatus(kNotAccessible);
    host.resetbuttons();
    host.playSound();
    host.showAlertServer();
    host.setIndicatorText(kSmiles);
}

void appendRows(ICaptureHost& host, const QString& recordText) {
    const QList<QStringView> lines = SplitRecordLines(recordText);
    if (lines.isEmpty())
        return;
    TGridModel& grid = host.grid();
    const int columns = grid.columns();
    // Every row of the page shares one origin: the page's address and this moment.
    const TGridModel::OriginId origin =
        grid.addOrigin(host.pageAddress(), QDateTime::currentDateTimeUtc());
    std::vector<TGridModel::RowId> added;
    try {
        for (QStringView line : lines)
            if (!FlatLineIsAlreadyInGrid(grid, line))
                added.push_back(grid.rowIdAt(grid.addRecordLine(line, columns, origin)));
    } catch (...) {
        // The rows the grid really has are kept and shown.
        host.rowsCaptured(added);
        host.updatecount();
        throw;
    }
    host.rowsCaptured(added);
    host.updatecount();
}

// Turns to the next page; anything but Turned means this page's run is over.
PageEnd turnPage(ICaptureHost& host) {
    try {
        QString url;
        if (!host.GetNextPage(url) || !host.autoTurn())
            return PageEnd::Completed;
        host.processMessages();
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
        if (!host.captureBadgeShown()) {
            host.resetbuttons();
            return PageEnd::Stopped;
        }
        QString address;
        if (!url.isEmpty()) {
            address = kNavigating + url;
            host.setEdURL(address);
            host.navigate(Browser::WB, url);
        } else {
            // Nowhere to go: WB stays on its page, which the same-page test then ends.
            address = kTrying;
            host.setEdURL(address);
        }
        host.spinwait();
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
        host.scrollcaption(address);
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
        host.setExtraNavCount(-1);
        host.waitUntilReady(Browser::WB);
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
        host.WebBrowserScreenShot(QString::number(host.pageCounter()));
        return PageEnd::Turned;
    } catch (...) {
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
    }
    return PageEnd::Completed;
}

// The template's page record text, or empty when it fails (nothing stale becomes rows).
QString pageRecords(ICaptureHost& host) {
    try {
        return host.GetData();
    } catch (...) {
        host.navigate(Browser::wb2, kBlank);
    }
    return {};
}

// Stopped or Abandoned when the run is to end for the user or the program, else nothing.
std::optional<PageEnd> interrupted(ICaptureHost& host) {
    if (host.isShuttingDown())
        return PageEnd::Abandoned;
    if (!host.captureBadgeShown() || !host.PluginIsOK()) {
        host.resetbuttons();
        return PageEnd::Stopped;
    }
    return std::nullopt;
}

// The rounds of an in-page turn on the page just captured. Every ending but the user's
// stop and shutdown is the run's normal completion.
PageEnd turnInPage(ICaptureHost& host, const InPageTurn& turn) {
    for (int round = 0; round < turn.max; ++round) {
        host.processMessages();
        if (const auto end = interrupted(host))
            return *end;
        const std::optional<int> before = host.liveRecordCount();
        if (!before || !host.actInPage())
            return PageEnd::Completed; // the page gives no answer, or the button is gone
        const std::int64_t deadline = host.nowMs() + kInPageWaitMs;
        std::optional<int> now;
        bool reloaded = false;
        for (;;) {
            host.pause(kInPagePollMs);
            if (const auto end = interrupted(host))
                return *end;
            if (host.pageLoading()) {
                reloaded = true;
                break;
            }
            now = host.liveRecordCount();
            if (now && *now > *before)
                break;
            if (host.nowMs() >= deadline)
                return PageEnd::Completed; // nothing new in time
        }
        // A batch may come in parts: the page is read once its count holds for a poll,
        // lest the last part of the last batch come in after the run has ended.
        while (!reloaded && host.nowMs() < deadline) {
            host.pause(kInPagePollMs);
            if (const auto end = interrupted(host))
                return *end;
            if (host.pageLoading()) {
                reloaded = true;
                break;
            }
            const std::optional<int> settled = host.liveRecordCount();
            if (!settled || *settled <= *now)
                break;
            now = settled;
        }
        if (reloaded) {
            // The action loaded another document: its records are taken (those already
            // in the grid are not added again) and the run ends there, so a button that
            // reloads the page cannot turn it for ever.
            host.waitUntilReady(Browser::WB);
            if (const auto end = interrupted(host))
                return *end;
            appendRows(host, pageRecords(host));
            return PageEnd::Completed;
        }
        host.setPageCounter(host.pageCounter() + 1);
        host.setTitleStatus(kExtracting);
        const QString recordText = pageRecords(host);
        if (host.isShuttingDown())
            return PageEnd::Abandoned;
        // The whole page again: the new records need not come after the old ones (a feed
        // may put them first), and the grid's duplicate check keeps the old ones out.
        host.setIndicatorText(IndicatorTextOf(recordText));
        appendRows(host, recordText);
        host.navigate(Browser::wb2, kBlank);
        host.TrimWorkingSet();
    }
    return PageEnd::Completed; // `max` actions done
}

PageEnd capturePage(ICaptureHost& host) {
    host.waitUntilReady(Browser::WB);
    if (host.isShuttingDown())
        return PageEnd::Abandoned;
    if (!host.PluginIsOK() || !host.captureBadgeShown()) {
        host.resetbuttons();
        return PageEnd::Stopped;
    }
    host.setPageCounter(host.pageCounter() + 1);
    host.runAt(host.pageAddress());
    host.setTitleStatus(kExtracting);

    QString recordText;
    try {
        recordText = host.GetData();
    } catch (...) {
        // Nothing stale may become rows: neither the page before's lines nor whatever
        // else the buffer held.
        recordText.clear();
        host.navigate(Browser::wb2, kBlank);
    }
    if (host.isShuttingDown())
        return PageEnd::Abandoned;

    // Same-page test: the indicator holds capitals, so letter case does not count.
    const QString before = host.indicatorText();
    host.setIndicatorText(IndicatorTextOf(recordText));
    host.navigate(Browser::wb2, kBlank);
    if (host.indicatorText() == before) {
        notAccessible(host);
        return PageEnd::NotAccessible;
    }

    appendRows(host, recordText);
    recordText = QString(); // a page of megabytes is not kept through the turn's waits

    host.navigate(Browser::wb2, kBlank);
    host.TrimWorkingSet();
    if (host.isShuttingDown())
        return PageEnd::Abandoned;

    InPageTurn inPage;
    try {
        inPage = host.inPageTurn();
    } catch (...) {
        // A template that cannot say turns its pages the ordinary way, if at all.
        inPage = {};
    }
    const PageEnd turn = inPage.kind != InPageTurn::Kind::None && host.autoTurn()
                             ? turnInPage(host, inPage)
                             : turnPage(host);
    if (turn == PageEnd::Completed)
        completion(host);
    return turn;
}

} // namespace

void WriteDataInColumns(ICaptureHost& host) {
    // Whether earlier pages of this run wait for their completion step. They all set
    // the same state, so one completion step stands for all of them.
    bool earlierPages = false;
    for (;;) {
        PageEnd end;
        try {
            end = capturePage(host);
        } catch (...) {
            if (!earlierPages)
                throw;
            end = PageEnd::Failed;
        }
        switch (end) {
        case PageEnd::Turned:
            earlierPages = true;
            continue;
        case PageEnd::Abandoned:
        case PageEnd::Completed:
            return;
        case PageEnd::NotAccessible:
            // The run ends here as on its last page, completion step or not.
            if (!earlierPages)
                host.runCompleted();
            [[fallthrough]];
        case PageEnd::Stopped:
        case PageEnd::Failed:
            if (earlierPages && !host.isShuttingDown())
                completion(host);
            return;
        }
    }
}

void CaptureCommand(ICaptureHost& host) {
    host.setExtraNavCount(0);
    bool loaded = true;
    try {
        loaded = host.PluginIsOK();
    } catch (...) {
        // A failing check does not keep the command from going on.
    }
    if (!loaded)
        return;
    host.setIndicatorText(kGreeting);
    host.setWaitAnimation(true);
    host.setCaptureBadgeShown(!host.captureBadgeShown());
    if (!host.captureBadgeShown()) {
        try {
            host.SetStop(true);
        } catch (...) {
        }
        host.setWaitAnimation(false);
        return;
    }
    host.waitUntilReady(Browser::wb2);
    if (host.isShuttingDown())
        return;
    host.waitUntilReady(Browser::WBassist);
    if (host.isShuttingDown())
        return;
    try {
        host.SetStop(false);
        if (host.GetIsSlow())
            host.showSlowProcess();
    } catch (...) {
        // A template failing here fails again, guarded, when asked for the page.
    }
    try {
        WriteDataInColumns(host);
    } catch (...) {
        host.showMessage(kApplicationProblem);
    }
}

void SetWantsEmailCommand(ITemplateAccess& plugin, ExtrasSwitch& button, bool pressed) {
    if (!plugin.PluginIsOK()) {
        button.setPressed(!pressed);
        return;
    }
    try {
        button.setImageIndex(pressed ? kExtrasOnImage : kExtrasOffImage);
        plugin.SetWantsEmail(pressed);
    } catch (...) {
    }
}

} // namespace capture
