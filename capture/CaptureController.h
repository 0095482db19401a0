// The capture subsystem as one object: the grid and its columns, the capture run with
// automatic page turn, duplicate detection and the grid commands. Its interface has no
// widget and no window: a window shows what it reports through a CaptureDisplay, and a
// program without a window drives it over browsers of its own.
//
// With a journal open, every change of the grid is written to it before the count on
// screen changes (a captured page's rows in one transaction, Delete, Delete Duplicates,
// Empty Grid, a sort, the columns a template gives), so a killed program loses at most
// the page being captured; opening the journal puts the last grid back.
#pragma once

#include "capture/CaptureRun.h"
#include "capture/GridModel.h"
#include "journal/Journal.h"

#include <orvo/IHTMLDocument2.h>

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TPlugin;

namespace capture {

// The browsers a run reads and turns, by their role.
class CapturePages {
public:
    virtual ~CapturePages() = default;
    // Done loading; a browser that is gone counts as done, so no wait hangs on it.
    virtual bool isReady(Browser browser) = 0;
    virtual void navigate(Browser browser, const QString& url) = 0;
    // The main browser's document as templates get it: a new reference, or null.
    virtual IHTMLDocument2* document() = 0;
    // The address of the page on show in the main browser: where captured rows come from.
    virtual QString address() { return {}; }
    // Runs script in the main browser's live page, apart from the page's own scripts: its
    // answer, or nothing when the page gives none in time (or there is no page).
    virtual std::optional<QVariant> evaluate(const QString& script) {
        (void)script;
        return std::nullopt;
    }
};

// What a run shows while it goes. Every member has the behaviour of a program without a
// window: nothing is shown, the indicator text is only kept (in capitals, as the window's
// indicator shows it) so that the run can read it back.
class CaptureDisplay {
public:
    virtual ~CaptureDisplay() = default;
    virtual QString indicatorText() { return m_indicator; }
    virtual void setIndicatorText(const QString& text) { m_indicator = text.toUpper(); }
    virtual void setRunningShown(bool) {}
    virtual void setWaitAnimation(bool) {}
    virtual void setAddressText(const QString&) {}
    virtual void setTitleStatus(const QString&) {}
    virtual void scrollCaption(const QString&) {}
    virtual void showSlowProcess() {}
    virtual void showCount(int) {}
    // The run's end: the displays go back to idle (the running mark is already off).
    virtual void resetDisplays() {}
    virtual void setExtraNavCount(int) {}
    virtual void playSound() {}
    virtual void showNotAccessible() {}
    virtual void pageSnapshot(const QString&) {}
    // The template threw while reading a page or its next page; the run handles the
    // failure as before, this only tells what it was.
    virtual void templateFailed(const QString&) {}
    // True once the program's closing has begun: the run then ends at once.
    virtual bool closing() { return false; }

private:
    QString m_indicator;
};

class CaptureController : public QObject {
    Q_OBJECT
public:
    // The template current at the moment of the call; null when none is loaded. Each call
    // into the template holds what this answers for the length of the call.
    using TemplateSource = std::function<std::shared_ptr<TPlugin>()>;

    CaptureController(CapturePages& pages, TemplateSource currentTemplate,
                      QObject* parent = nullptr);
    ~CaptureController() override;

    // Null restores the display of a program without a window. Not owned.
    void setDisplay(CaptureDisplay* display);

    TGridModel& grid() { return *m_grid; }
    const TGridModel& grid() const { return *m_grid; }
    int rowCount() const { return m_grid->rows(); }

    // Automatic Page Turn and the pause on each page, in seconds.
    bool autoTurn() const { return m_autoTurn; }
    void setAutoTurn(bool on) { m_autoTurn = on; }
    int pauseSeconds() const { return m_pauseSeconds; }
    void setPauseSeconds(int seconds) { m_pauseSeconds = seconds; }

    // A run is active (the window's "Click to stop!" mark).
    bool isRunning() const { return m_running; }
    void setRunning(bool running);
    // The page the active run is on, counted from 1.
    int pageCounter() const { return m_pageCounter; }

    // Capture: starts a run, which returns when it has ended, or stops the active one.
    void capture();
    // The extras switch after a click left it `pressed`.
    void setWantsEmail(bool pressed, ExtrasSwitch& button);
    void deleteRows(const std::vector<int>& rows);
    void clear();
    void deleteDuplicates();
    // Column shaping when a template has been loaded; false when its widths failed.
    void writeColumnHeaders();
    bool readColumnWidths();
    // A run's end and the idle state: not running, the template told to go on, page 1.
    void resetbuttons();
    // "No template currently selected!" unless one is loaded.
    bool templateLoaded();

    // The journal. openJournal is called once, on the grid as the controller made it:
    // when the journal holds a grid (rows, or a run that never completed), the grid comes
    // back with its rows, order, columns and widths. The report says what happened: no
    // journal, a second process's fresh one, a damaged one moved aside.
    journal::OpenReport openJournal(const QString& folder, const journal::Options& options = {});
    void closeJournal();
    const journal::Journal& journal() const { return m_journal; }
    // Rows are being kept: a journal is open and holds what the grid holds.
    bool journalKept() const { return m_journal.inStep(); }
    // What openJournal brought back: the rows, the template the grid came from (its file
    // name) and the page of a run that ended without its completion step.
    int restoredRows() const { return m_restoredRows; }
    QString restoredTemplate() const { return m_restoredTemplate; }
    QString resumePage() const { return m_resumePage; }
    // Resume Capture can go: a restored run never completed, no run is active, and the
    // template loaded now has the file name of the one the grid came from.
    bool canResume() const;
    // Resume Capture: goes to the interrupted run's page and runs Capture from there;
    // returns when the run has ended. Rows already in the grid are not added again.
    void resume();

signals:
    void runningChanged(bool running);
    void countChanged(int rows);
    // A journal write failed: rows are no longer being kept (emitted once per failure
    // that puts the journal out of step).
    void journalFailed(const QString& message);
    // canResume() may have changed.
    void resumeChanged();

private:
    class Host;
    void updatecount();
    QString templateFileName() const;
    void restoreGrid(const journal::State& state);
    void noteJournal(const journal::Status& status);
    void journalRowsAdded(std::span<const TGridModel::RowId> rows);
    void journalRemovedRows(const std::vector<TGridModel::RowId>& ids);
    void journalColumns();
    void journalOrder();
    journal::RowKey& keyOf(TGridModel::RowId id);
    void forgetResume();

    CapturePages& m_pages;
    TemplateSource m_template;
    CaptureDisplay m_headless;
    CaptureDisplay* m_display = &m_headless;
    TGridModel* m_grid = nullptr;
    bool m_autoTurn = true;
    int m_pauseSeconds = 3;
    bool m_running = false;
    int m_pageCounter = 1;

    journal::Journal m_journal;
    // The journal's key of each grid row, by row id; 0 for rows it does not hold.
    std::vector<journal::RowKey> m_keys;
    int m_restoredRows = 0;
    QString m_restoredTemplate;
    QString m_resumePage;
};

} // namespace capture
