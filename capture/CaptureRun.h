// The capture run: the Capture command, which starts a run or stops the active one, and
// the run itself, which captures the page in the main browser and, with Automatic Page
// Turn, each next page the template names, until there is none, the user stops it, a
// page brings the same text as the one before, or a failure ends it.
//
// The run is a loop over pages with constant stack, however many pages it turns. What
// the user sees at its end is what a run of nested page captures shows, with the
// completion steps that such a run repeats once per earlier page (the same state each
// time) done once.
//
// Everything happens on the one thread; the waits process window messages, so any
// command can run inside them, Capture itself included (a new run may start inside a
// wait of a stopped one). After every wait the run looks at the world again: once the
// program is shutting down it ends at once, touching nothing; the template is asked
// for through the host at each call, never kept.
#pragma once

#include "capture/GridModel.h"
#include "capture/TemplateAccess.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace capture {

enum class Browser { WB, wb2, WBassist };

// A page turn done inside the page on show rather than by loading another page: a "load
// more" button clicked, or the page scrolled to its end. Each action is followed by a
// wait for new records; the run ends normally when the button is gone, nothing new comes
// within kInPageWaitMs, the page loads another document, or after `max` actions.
struct InPageTurn {
    enum class Kind { None, Click, Scroll };
    Kind kind = Kind::None;
    int max = 0;
};
inline constexpr int kInPageWaitMs = 10000;
inline constexpr int kInPagePollMs = 100;

// What the run needs of the window; the window implements it, tests fake it.
class ICaptureHost : public ITemplateAccess {
public:
    virtual TGridModel& grid() = 0;

    // Waits, each processing window messages and returning at once during shutdown.
    virtual void waitUntilReady(Browser browser) = 0; // READYSTATE_COMPLETE, no time limit
    virtual void spinwait() = 0;                      // the pause set in spSpeed
    virtual void scrollcaption(const QString& text) = 0;
    virtual void processMessages() = 0;
    virtual bool isShuttingDown() = 0;

    virtual void navigate(Browser browser, const QString& url) = 0;
    // The address of the page WB shows, kept with the rows captured from it; empty when
    // the host cannot tell.
    virtual QString pageAddress() { return {}; }
    virtual void TrimWorkingSet() = 0; // also processes pending messages
    // What the journal keeps of a run: the page it is capturing, the rows a page added
    // (called before the count on screen changes, while they are the grid's newest), and
    // the run's end by its completion step. A host without a journal ignores them.
    virtual void runAt(const QString& pageAddress) { (void)pageAddress; }
    virtual void rowsCaptured(std::span<const TGridModel::RowId> rows) { (void)rows; }
    virtual void runCompleted() {}

    // In-page turns. The current template's, or None (also when it cannot say).
    virtual InPageTurn inPageTurn() { return {}; }
    // The number of records in the page on show, counted in the live page; nothing when
    // the page gives no answer (it is loading, gone, or the count failed).
    virtual std::optional<int> liveRecordCount() { return std::nullopt; }
    // Clicks the template's button, or scrolls to the end of the page; false when the
    // button is not there (or not shown) or the page gives no answer.
    virtual bool actInPage() { return false; }
    // WB has begun loading another document.
    virtual bool pageLoading() { return false; }
    // A monotonic clock, and a pause that processes window messages meanwhile.
    virtual std::int64_t nowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    virtual void pause(int ms) {
        (void)ms;
        processMessages();
    }
    virtual bool autoTurn() = 0; // cbAutoTurn checked

    // Displays.
    virtual bool captureBadgeShown() = 0;
    virtual void setCaptureBadgeShown(bool shown) = 0;
    virtual void setWaitAnimation(bool running) = 0;
    // mmIndic: shows and gives back its text in capitals.
    virtual QString indicatorText() = 0;
    virtual void setIndicatorText(const QString& text) = 0;
    virtual void setEdURL(const QString& text) = 0;
    // The window caption: the title prefix followed by text.
    virtual void setTitleStatus(const QString& text) = 0;
    virtual void showSlowProcess() = 0; // status panel 2: sSlowProcess
    virtual void updatecount() = 0;
    virtual void resetbuttons() = 0; // also sets the page counter back to 1
    virtual int pageCounter() = 0;
    virtual void setPageCounter(int value) = 0;
    virtual void setExtraNavCount(int value) = 0;
    virtual void playSound() = 0; // "SystemQuestion", asynchronous
    virtual void showAlertServer() = 0;
    virtual void WebBrowserScreenShot(const QString& label) = 0;
    virtual void showMessage(const QString& text) = 0; // message box titled "Trawlex"
};

// Texts the run shows.
namespace runtext {
inline const QString kGreeting = QStringLiteral("Orvo Wishes you a great day... B-}");
inline const QString kSmiles = QStringLiteral("Orvo Smiles... B-}");
inline const QString kExtracting = QStringLiteral("Extraction process started... Please wait! ");
inline const QString kCompleted = QStringLiteral(" Your extraction has been completed.");
inline const QString kNotAccessible = QStringLiteral(
    " Next page not accessible. Please check your internet connection and retry later...");
inline const QString kNavigating = QStringLiteral("Navigating to... ");
inline const QString kTrying = QStringLiteral("Trying to reach the Next Page...");
inline const QString kApplicationProblem = QStringLiteral("Application Problem. Exit!");
inline const QString kBlank = QStringLiteral("about:blank");
} // namespace runtext

// itiCaptureItemClick / acCaptureExecute: starts a run, or stops the active one (the
// run sees the stop at its next check).
void CaptureCommand(ICaptureHost& host);

// WriteDataInColumns: captures the page in WB and, with automatic turn, the pages after
// it. A failure outside the guarded template calls on the run's first page passes to
// the caller; on a later page it ends the run with the completion step.
void WriteDataInColumns(ICaptureHost& host);

// The extras button tbbArobase and its action's picture.
struct ExtrasSwitch {
    virtual ~ExtrasSwitch() = default;
    virtual void setPressed(bool pressed) = 0;
    virtual void setImageIndex(int index) = 0;
};
inline constexpr int kExtrasOffImage = 23;
inline constexpr int kExtrasOnImage = 24;

// acSetWantsEmailExecute, after the click has toggled the extras button to `pressed`:
// tells the template, or without one puts the button back as it was.
void SetWantsEmailCommand(ITemplateAccess& plugin, ExtrasSwitch& button, bool pressed);

} // namespace capture
