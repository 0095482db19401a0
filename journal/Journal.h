// The capture journal: every change of the grid written to an SQLite file (WAL mode) in
// one transaction each, so that a closed window, a crash, a killed process or a power cut
// loses at most the page being captured. At the next start the grid comes back from it:
// the rows in their order, the columns, the template's name, and the page of a run that
// never completed.
//
// The journal works over plain data: a row is its field texts (field 0 the caption) plus
// the address of the page it was captured from and the capture time. Rows are named by
// keys the journal hands out; a key stays with its row and is not handed out again while
// the journal is open, so the window keeps a key beside each grid row (restored rows bring
// theirs).
//
// The capture controller calls it once per grid change, before the screen changes:
//
//   restore:        report = journal.open(Journal::defaultFolder());  fill the grid from
//                   report.restored, keeping rows.keyAt(i) beside each grid row
//   captured page:  appended = journal.appendPage(url, now, newRows);  keys from firstKey
//   Delete, Delete Duplicates:  journal.removeRows(keysOfRemovedRows)
//   Empty Grid:     journal.clearRows()
//   template load:  journal.setColumns(columns, templateName)
//   header sort:    journal.setOrder(keysInNewOrder, column, order)
//   run:            journal.runAt(url) on each page, journal.runCompleted() at its end
//   any failure:    show the warning; journal.rewrite(wholeGrid) when there may be room
//
// Failures are values, never exceptions: a write that fails (disk full, read-only folder,
// I/O error) leaves the caller's rows untouched and puts the journal out of step; every
// later change then fails at once without touching the file, until rewrite() replaces the
// whole content from the grid and the journal is in step again.
#pragma once

#include "journal/RowCodec.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace journal {

enum class ErrorCode {
    None,
    NotOpen,    // no journal could be opened or created: nothing is being kept
    Unwritable, // this write failed (disk full, read-only folder, I/O error)
    OutOfStep,  // an earlier write failed: the file no longer matches the grid
    Unreadable, // read(): the file's content is damaged
};

struct Status {
    ErrorCode code = ErrorCode::None;
    QString message; // English, for logs; the window picks its text by code
    bool ok() const { return code == ErrorCode::None; }
};

struct Column {
    QString caption;
    int width = 0;
    friend bool operator==(const Column&, const Column&) = default;
};

// A whole grid as the journal holds it.
struct State {
    // The grid's order as of its last sort, then the rows added since, in arrival order.
    // Fed one by one into a grid that already holds the sort below, each added at its
    // sorted place after its equals, they rebuild the grid's order exactly.
    RowList rows;                // their keys are ignored by rewrite(), which hands out new ones
    std::vector<Column> columns; // empty: the journal never saw the columns
    QString templateName;
    int sortColumn = 0;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    // The page a run was capturing when it ended without its completion step; empty when
    // the last run completed or there was none.
    QString interruptedPage;
};

struct OpenReport {
    Status status; // not ok: no journal is open and nothing is being kept
    QString path;  // the journal file in use
    // Another process holds the main journal: this one got a fresh journal of its own and
    // restored nothing.
    bool secondProcess = false;
    // A journal that could not be read (corrupt, not a journal, from a newer version) was
    // moved to this path, never deleted; empty otherwise.
    QString movedAsideTo;
    QString movedAsideReason;
    State restored; // empty unless the main journal was read
};

struct Appended {
    Status status;
    RowKey firstKey = 0; // the rows' keys are firstKey, firstKey + 1, ... in order
};

struct Options {
    // Largest size the journal file may grow to, 0 for no limit. A journal that reaches it
    // fails its writes as on a full disk.
    std::int64_t maxBytes = 0;
};

class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // The main journal of a folder ($XDG_DATA_HOME/trawlex/ for the program) is
    // journal.sqlite, guarded by an advisory lock (flock) on journal.lock for as long as
    // it is open. Two processes never share a journal: when another process holds the
    // lock, this one gets a fresh journal of its own (journal-<date>-<pid>.sqlite) and
    // restores nothing, so the second window starts empty and its rows are kept apart
    // from the first one's; the first window's rows come back at the next start of a
    // single window. A second window refusing to start would cost the user the window
    // they asked for.
    OpenReport open(const QString& folder, const Options& options = {});
    // Ends the journal cleanly and releases the lock. A second process's journal holding
    // no rows is removed; one with rows is kept where OpenReport::path said.
    void close();

    bool isOpen() const { return m_db != nullptr; }
    bool inStep() const { return m_db != nullptr && m_inStep; }
    QString path() const { return m_path; }
    // The status of the most recent change (ok after a successful one).
    const Status& lastStatus() const { return m_last; }
    static QString mainFileName() { return QStringLiteral("journal.sqlite"); }
    // The program's folder: $XDG_DATA_HOME/trawlex, by default ~/.local/share/trawlex.
    static QString defaultFolder();

    // The rows a captured page adds, committed before this returns. No rows: nothing is
    // written.
    Appended appendPage(const QString& pageUrl, const QDateTime& capturedAt,
                        std::span<const QStringList> rows);
    // Delete and Delete Duplicates. Keys the journal does not hold are passed over.
    Status removeRows(std::span<const RowKey> keys);
    // Empty Grid: the rows never come back, nor the interrupted run they came from.
    Status clearRows();
    // The grid's columns and the template they came from.
    Status setColumns(std::span<const Column> columns, const QString& templateName);
    // The grid was sorted: the rows' new order and the sort the grid keeps for rows added
    // later. Keys the journal does not hold are passed over; rows left out come back
    // before the listed ones.
    Status setOrder(std::span<const RowKey> keysInOrder, int sortColumn, Qt::SortOrder order);
    // A run is capturing this page / ended with its completion step.
    Status runAt(const QString& pageUrl);
    Status runCompleted();
    // Replaces the whole content with this state in one transaction (the rows' keys are
    // ignored: new ones are handed out in order) and puts the journal back in step.
    Appended rewrite(const State& state);

    // Reads the state back, as a restart would (for checks; the window restores from
    // OpenReport).
    struct ReadResult {
        Status status;
        State state;
    };
    ReadResult read() const;

private:
    Status writeFailed(const QString& what);
    Status beginChange();
    Status commitChange();
    Status setMeta(const char* key, const QString& value);
    Status insertPage(std::int64_t id, const QString& pageUrl, const QDateTime& capturedAt);
    Status insertRow(RowKey key, std::int64_t order, std::int64_t page, const char* data,
                     std::size_t size);
    sqlite3_stmt* prepared(int index, const char* sql);
    void finalizeAll();
    void closeDb();

    sqlite3* m_db = nullptr;
    int m_lockFd = -1;
    QString m_path;
    bool m_secondProcess = false;
    bool m_inStep = false;
    Status m_last;
    RowKey m_nextKey = 1;
    std::int64_t m_nextOrder = 0;
    std::int64_t m_nextPage = 1;
    std::vector<sqlite3_stmt*> m_statements;
};

} // namespace journal
