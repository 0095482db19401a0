#include "journal/Journal.h"
#include "journal/RowCodec.h"
#include "platform/Utf16.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTimeZone>
#include <QtEndian>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace journal {

namespace {

// "TrJl" in the file's header: a file without it is no journal of ours.
constexpr int kApplicationId = 0x54724A6C;
constexpr int kSchemaVersion = 1;

const char* const kSchema = R"sql(
CREATE TABLE pages(id INTEGER PRIMARY KEY, url TEXT NOT NULL, captured_ms INTEGER NOT NULL);
CREATE TABLE rows(id INTEGER PRIMARY KEY, ord INTEGER NOT NULL, page INTEGER NOT NULL,
                  fields BLOB NOT NULL);
CREATE TABLE columns(pos INTEGER PRIMARY KEY, caption TEXT NOT NULL, width INTEGER NOT NULL);
CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
PRAGMA application_id = 1416776300;
PRAGMA user_version = 1;
)sql";
static_assert(kApplicationId == 1416776300);

// Cached statements, by index into Journal::m_statements.
enum Stmt { kInsertPage, kInsertRow, kDeleteRow, kSetOrder, kSetMeta, kInsertColumn, kStmtCount };

QString sqliteMessage(sqlite3* db, int rc) {
    const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return QString::fromUtf8(text ? text : "unknown error");
}

// Errors that say the file's content is bad, as opposed to the disk or the folder.
bool isUnreadable(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || primary == SQLITE_FORMAT ||
           primary == SQLITE_ERROR || primary == SQLITE_MISMATCH;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_s, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_s); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    int prepareRc() const { return m_rc; }
    sqlite3_stmt* get() const { return m_s; }

private:
    sqlite3_stmt* m_s = nullptr;
    int m_rc = SQLITE_OK;
};

int execAll(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int bindText(sqlite3_stmt* s, int i, const QString& text) {
    const QByteArray utf8 = platform::PairedSurrogates(text).toUtf8();
    return sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* s, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return platform::Utf8Text(text, sqlite3_column_bytes(s, i));
}

// Runs a bound statement to its end and resets it for the next use.
int runStep(sqlite3_stmt* s) {
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

struct ReadOutcome {
    int rc = SQLITE_OK;
    QString reason; // set when the file is not a journal we can read
    State state;
    RowKey maxKey = 0;
    std::int64_t maxOrder = -1;
    std::int64_t maxPage = 0;
    bool fresh = false; // an empty file: no schema yet
};

// The grid's order: rows the last sort did not list first, by order number; then the
// rows that sort listed, in its order; then the rows added after it, by order number.
// Rows arrive in key order, which settles equal order numbers.
void putInOrder(RowList& rows, const std::vector<std::int64_t>& orders,
                const std::vector<RowKey>& sortedKeys, std::int64_t orderBase) {
    QHash<RowKey, std::int64_t> place;
    place.reserve(qsizetype(sortedKeys.size()));
    for (std::size_t i = 0; i < sortedKeys.size(); ++i)
        place.insert(sortedKeys[i], std::int64_t(i)); // a repeated key keeps its last place
    struct Rank {
        int group;
        std::int64_t within;
    };
    std::vector<Rank> ranks(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!sortedKeys.empty() && orders[i] >= orderBase)
            ranks[i] = {2, orders[i]};
        else if (const auto it = place.constFind(rows.keyAt(i)); it != place.cend())
            ranks[i] = {1, *it};
        else
            ranks[i] = {0, orders[i]};
    }
    std::vector<std::uint32_t> order(rows.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return ranks[a].group != ranks[b].group ? ranks[a].group < ranks[b].group
                                                : ranks[a].within < ranks[b].within;
    });
    rows.reorder(order);
}

ReadOutcome readState(sqlite3* db) {
    ReadOutcome out;
    auto fail = [&](int rc, QString reason) {
        out.rc = rc;
        out.reason = reason.isEmpty() ? sqliteMessage(db, rc) : std::move(reason);
        return std::move(out);
    };
    int applicationId = 0, version = 0, tables = 0;
    {
        Statement s(db, "SELECT (SELECT application_id FROM pragma_application_id),"
                        " (SELECT user_version FROM pragma_user_version),"
                        " (SELECT count(*) FROM sqlite_schema)");
        if (s.prepareRc() != SQLITE_OK)
            return fail(s.prepareRc(), {});
        const int rc = sqlite3_step(s.get());
        if (rc != SQLITE_ROW)
            return fail(rc, {});
        applicationId = sqlite3_column_int(s.get(), 0);
        version = sqlite3_column_int(s.get(), 1);
        tables = sqlite3_column_int(s.get(), 2);
    }
    if (applicationId == 0 && version == 0 && tables == 0) {
        out.fresh = true;
        return out;
    }
    if (applicationId != kApplicationId)
        return fail(SQLITE_NOTADB, QStringLiteral("not a Trawlex journal"));
    if (version > kSchemaVersion)
        return fail(SQLITE_FORMAT,
                    QStringLiteral("written by a newer version (journal version %1)").arg(version));
    if (version < 1)
        return fail(SQLITE_FORMAT, QStringLiteral("journal version %1 is unknown").arg(version));

    RowList& rows = out.state.rows;
    QHash<std::int64_t, std::uint32_t> pages; // page id to its place in rows
    {
        Statement s(db, "SELECT id, url, captured_ms FROM pages");
        if (s.prepareRc() != SQLITE_OK)
            return fail(s.prepareRc(), {});
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            const std::int64_t id = sqlite3_column_int64(s.get(), 0);
            pages.insert(id, rows.addPage(columnText(s.get(), 1),
                                          QDateTime::fromMSecsSinceEpoch(
                                              sqlite3_column_int64(s.get(), 2), Qt::UTC)));
            out.maxPage = std::max(out.maxPage, id);
        }
        if (rc != SQLITE_DONE)
            return fail(rc, {});
    }
    std::vector<std::int64_t> ordersOut;
    bool rowsInOrder = true;
    {
        // Rows of a page record that is gone (only a damaged file has them) keep their
        // fields under an empty address.
        const std::uint32_t noPage = rows.addPage(QString(), QDateTime());
        Statement count(db, "SELECT count(*), sum(length(fields)) FROM rows");
        if (count.prepareRc() == SQLITE_OK && sqlite3_step(count.get()) == SQLITE_ROW) {
            // Only a hint: a damaged file may claim anything.
            const auto hint = [](std::int64_t n, std::int64_t cap) {
                return std::size_t(std::clamp<std::int64_t>(n, 0, cap));
            };
            rows.reserve(hint(sqlite3_column_int64(count.get(), 0), 50'000'000),
                         hint(sqlite3_column_int64(count.get(), 1), std::int64_t(4) << 30));
        }
        Statement s(db, "SELECT id, ord, page, fields FROM rows");
        if (s.prepareRc() != SQLITE_OK)
            return fail(s.prepareRc(), {});
        std::vector<std::int64_t> orders;
        orders.reserve(rows.capacity());
        bool sorted = true;
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            const RowKey key = sqlite3_column_int64(s.get(), 0);
            const std::int64_t ord = sqlite3_column_int64(s.get(), 1);
            const auto* blob = static_cast<const char*>(sqlite3_column_blob(s.get(), 3));
            const int size = sqlite3_column_bytes(s.get(), 3);
            if (!FieldsAreWellFormed(blob, size))
                return fail(SQLITE_CORRUPT,
                            QStringLiteral("the fields of row %1 are damaged").arg(key));
            const auto page = pages.constFind(sqlite3_column_int64(s.get(), 2));
            rows.appendEncoded(key, page != pages.cend() ? *page : noPage, blob, std::size_t(size));
            sorted = sorted && (orders.empty() || orders.back() <= ord);
            orders.push_back(ord);
            out.maxKey = std::max(out.maxKey, key);
            out.maxOrder = std::max(out.maxOrder, ord);
        }
        if (rc != SQLITE_DONE)
            return fail(rc, {});
        ordersOut = std::move(orders);
        rowsInOrder = sorted;
    }
    {
        Statement s(db, "SELECT caption, width FROM columns ORDER BY pos");
        if (s.prepareRc() != SQLITE_OK)
            return fail(s.prepareRc(), {});
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
            out.state.columns.push_back(
                {columnText(s.get(), 0), std::max(0, sqlite3_column_int(s.get(), 1))});
        if (rc != SQLITE_DONE)
            return fail(rc, {});
    }
    std::vector<RowKey> sortedKeys;
    std::int64_t orderBase = 0;
    {
        Statement s(db, "SELECT key, value FROM meta");
        if (s.prepareRc() != SQLITE_OK)
            return fail(s.prepareRc(), {});
        QString runState, runPage;
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            const QString key = columnText(s.get(), 0);
            const QString value = columnText(s.get(), 1);
            if (key == u"template")
                out.state.templateName = value;
            else if (key == u"sort_column")
                out.state.sortColumn = std::max(0, value.toInt());
            else if (key == u"sort_order")
                out.state.sortOrder =
                    value == u"descending" ? Qt::DescendingOrder : Qt::AscendingOrder;
            else if (key == u"run_state")
                runState = value;
            else if (key == u"run_page")
                runPage = value;
            else if (key == u"order_base")
                orderBase = value.toLongLong();
            else if (key == u"order_keys") {
                const auto* blob = static_cast<const char*>(sqlite3_column_blob(s.get(), 1));
                const int size = sqlite3_column_bytes(s.get(), 1);
                if (size % 8 != 0)
                    return fail(SQLITE_CORRUPT, QStringLiteral("the row order is damaged"));
                sortedKeys.reserve(std::size_t(size / 8));
                for (int i = 0; i < size; i += 8)
                    sortedKeys.push_back(qFromLittleEndian<std::int64_t>(blob + i));
            }
        }
        if (rc != SQLITE_DONE)
            return fail(rc, {});
        if (runState == u"running")
            out.state.interruptedPage = runPage;
    }
    if (!sortedKeys.empty() || !rowsInOrder)
        putInOrder(rows, ordersOut, sortedKeys, orderBase);
    return out;
}

// Moves a journal and its write-ahead files to a dated name beside it; the new path, or
// empty when the folder does not allow it.
QString moveAside(const QString& path) {
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss");
    QString target;
    for (int n = 1; n < 1000; ++n) {
        target = info.absolutePath() + u"/journal-unreadable-"_s + stamp +
                 (n > 1 ? u'-' + QString::number(n) : QString()) + u".sqlite"_s;
        if (!QFileInfo::exists(target) && !QFileInfo::exists(target + u"-wal"_s))
            break;
        target.clear();
    }
    if (target.isEmpty() || !QFile::rename(path, target))
        return {};
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString from = path + QLatin1String(suffix);
        // A write-ahead file left behind would be read as the fresh journal's own.
        if (QFileInfo::exists(from) && !QFile::rename(from, target + QLatin1String(suffix)))
            QFile::remove(from);
    }
    return target;
}

void removeJournalFiles(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

Journal::Journal() : m_statements(kStmtCount, nullptr) {}

Journal::~Journal() {
    close();
}

QString Journal::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/trawlex"_s;
}

void Journal::finalizeAll() {
    for (sqlite3_stmt*& s : m_statements) {
        sqlite3_finalize(s);
        s = nullptr;
    }
}

void Journal::closeDb() {
    finalizeAll();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_inStep = false;
}

void Journal::close() {
    bool empty = false;
    if (m_db && m_secondProcess) {
        Statement s(m_db, "SELECT NOT EXISTS (SELECT 1 FROM rows)");
        empty = s.prepareRc() == SQLITE_OK && sqlite3_step(s.get()) == SQLITE_ROW &&
                sqlite3_column_int(s.get(), 0) == 1;
    }
    closeDb();
    if (empty)
        removeJournalFiles(m_path);
    if (m_lockFd >= 0)
        ::close(m_lockFd); // closing the descriptor releases the flock
    m_lockFd = -1;
    m_secondProcess = false;
}

OpenReport Journal::open(const QString& folder, const Options& options) {
    close();
    m_last = {};
    OpenReport report;
    auto notOpen = [&](const QString& message) {
        close(); // a journal that is not open holds no lock either
        report.status = {ErrorCode::NotOpen, message};
        report.restored = {};
        m_last = report.status;
        return std::move(report);
    };
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return notOpen(QStringLiteral("cannot create the journal folder %1").arg(folder));
    const QString dir = QDir(folder).absolutePath();

    const QByteArray lockPath = QFile::encodeName(dir + u"/journal.lock"_s);
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return notOpen(
            QStringLiteral("cannot create %1: %2")
                .arg(QFile::decodeName(lockPath), QString::fromLocal8Bit(strerror(errno))));
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        m_lockFd = fd;
        m_path = dir + u'/' + mainFileName();
    } else {
        const int err = errno;
        ::close(fd);
        if (err != EWOULDBLOCK)
            return notOpen(
                QStringLiteral("cannot lock %1: %2")
                    .arg(QFile::decodeName(lockPath), QString::fromLocal8Bit(strerror(err))));
        m_secondProcess = true;
        report.secondProcess = true;
        const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss");
        const QString base = dir + u"/journal-"_s + stamp + u'-' + QString::number(::getpid());
        m_path = base + u".sqlite"_s;
        for (int n = 2; QFileInfo::exists(m_path); ++n)
            m_path = base + u'-' + QString::number(n) + u".sqlite"_s;
    }
    report.path = m_path;

    ReadOutcome outcome;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray name = QFile::encodeName(m_path);
        int rc = sqlite3_open_v2(name.constData(), &m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK)
            return notOpen(
                QStringLiteral("cannot open %1: %2").arg(m_path, sqliteMessage(m_db, rc)));
        sqlite3_extended_result_codes(m_db, 1);
        // Until the file proves to be ours, closing it must not fold its write-ahead file
        // into it: a file moved aside stays as it was found.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_busy_timeout(m_db, 2000);
        // Read before setting anything: a file that turns out not to be ours is moved aside
        // as it was. WAL: a commit is one append to the write-ahead file; FULL: it is on the
        // disk, not only in the system's cache, before the grid shows the rows.
        outcome = readState(m_db);
        if (outcome.rc == SQLITE_OK) {
            sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
            rc = execAll(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
            if (rc == SQLITE_OK)
                break;
            // The content was fine: the folder or the disk is not.
            return notOpen(
                QStringLiteral("cannot write %1: %2").arg(m_path, sqliteMessage(m_db, rc)));
        }
        if (attempt == 0 && !m_secondProcess && isUnreadable(outcome.rc)) {
            closeDb();
            report.movedAsideTo = moveAside(m_path);
            report.movedAsideReason = outcome.reason;
            if (report.movedAsideTo.isEmpty())
                return notOpen(QStringLiteral("%1 cannot be read (%2) and cannot be moved aside")
                                   .arg(m_path, outcome.reason));
            continue;
        }
        return notOpen(QStringLiteral("cannot read %1: %2").arg(m_path, outcome.reason));
    }

    if (outcome.fresh) {
        const int rc = execAll(m_db, "BEGIN IMMEDIATE");
        const int rc2 = rc == SQLITE_OK ? execAll(m_db, kSchema) : rc;
        const int rc3 = rc2 == SQLITE_OK ? execAll(m_db, "COMMIT") : rc2;
        if (rc3 != SQLITE_OK) {
            const QString message = sqliteMessage(m_db, rc3);
            return notOpen(QStringLiteral("cannot create %1: %2").arg(m_path, message));
        }
    }
    if (options.maxBytes > 0) {
        Statement s(m_db, "SELECT page_size FROM pragma_page_size");
        const std::int64_t pageSize =
            s.prepareRc() == SQLITE_OK && sqlite3_step(s.get()) == SQLITE_ROW
                ? std::max<std::int64_t>(512, sqlite3_column_int64(s.get(), 0))
                : 4096;
        const QByteArray pragma =
            "PRAGMA max_page_count=" +
            QByteArray::number(std::max<std::int64_t>(1, options.maxBytes / pageSize));
        execAll(m_db, pragma.constData());
    }
    m_nextKey = outcome.maxKey + 1;
    m_nextOrder = outcome.maxOrder + 1;
    m_nextPage = outcome.maxPage + 1;
    m_inStep = true;
    if (!m_secondProcess)
        report.restored = std::move(outcome.state);
    return report;
}

sqlite3_stmt* Journal::prepared(int index, const char* sql) {
    sqlite3_stmt*& s = m_statements[std::size_t(index)];
    if (!s &&
        sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
        s = nullptr;
    return s;
}

Status Journal::writeFailed(const QString& what) {
    const QString message =
        QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db)));
    if (!sqlite3_get_autocommit(m_db))
        execAll(m_db, "ROLLBACK");
    m_inStep = false;
    m_last = {ErrorCode::Unwritable, message};
    return m_last;
}

Status Journal::beginChange() {
    if (!m_db)
        return m_last = {ErrorCode::NotOpen, QStringLiteral("no journal is open")};
    if (!m_inStep)
        return m_last = {
                   ErrorCode::OutOfStep,
                   QStringLiteral("an earlier write failed; the journal waits for a rewrite")};
    if (execAll(m_db, "BEGIN IMMEDIATE") != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot start a change"));
    return {};
}

Status Journal::commitChange() {
    if (execAll(m_db, "COMMIT") != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot commit"));
    return m_last = {};
}

Status Journal::setMeta(const char* key, const QString& value) {
    sqlite3_stmt* s = prepared(kSetMeta, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    if (!s || sqlite3_bind_text(s, 1, key, -1, SQLITE_STATIC) != SQLITE_OK ||
        bindText(s, 2, value) != SQLITE_OK || runStep(s) != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot record %1").arg(QLatin1String(key)));
    return {};
}

Status Journal::insertPage(std::int64_t id, const QString& pageUrl, const QDateTime& capturedAt) {
    sqlite3_stmt* page =
        prepared(kInsertPage, "INSERT INTO pages(id, url, captured_ms) VALUES(?, ?, ?)");
    if (!page || sqlite3_bind_int64(page, 1, id) != SQLITE_OK ||
        bindText(page, 2, pageUrl) != SQLITE_OK ||
        sqlite3_bind_int64(page, 3, capturedAt.isValid() ? capturedAt.toMSecsSinceEpoch() : 0) !=
            SQLITE_OK ||
        runStep(page) != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot record the page"));
    return {};
}

Status Journal::insertRow(RowKey key, std::int64_t order, std::int64_t page, const char* data,
                          std::size_t size) {
    sqlite3_stmt* row =
        prepared(kInsertRow, "INSERT INTO rows(id, ord, page, fields) VALUES(?, ?, ?, ?)");
    if (!row || sqlite3_bind_int64(row, 1, key) != SQLITE_OK ||
        sqlite3_bind_int64(row, 2, order) != SQLITE_OK ||
        sqlite3_bind_int64(row, 3, page) != SQLITE_OK ||
        sqlite3_bind_blob64(row, 4, data, sqlite3_uint64(size), SQLITE_STATIC) != SQLITE_OK ||
        runStep(row) != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot record a row"));
    return {};
}

Appended Journal::appendPage(const QString& pageUrl, const QDateTime& capturedAt,
                             std::span<const QStringList> rows) {
    if (rows.empty())
        return inStep() ? Appended{m_last = {}, m_nextKey} : Appended{beginChange(), 0};
    if (Status s = beginChange(); !s.ok())
        return {s, 0};
    const RowKey first = m_nextKey;
    if (Status s = insertPage(m_nextPage, pageUrl, capturedAt); !s.ok())
        return {s, 0};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QByteArray blob = EncodeFields(rows[i]);
        if (Status s = insertRow(first + RowKey(i), m_nextOrder + std::int64_t(i), m_nextPage,
                                 blob.constData(), std::size_t(blob.size()));
            !s.ok())
            return {s, 0};
    }
    if (Status s = commitChange(); !s.ok())
        return {s, 0};
    // Only a committed page uses up its keys, page number and order.
    m_nextKey += RowKey(rows.size());
    m_nextOrder += std::int64_t(rows.size());
    ++m_nextPage;
    return {{}, first};
}

Status Journal::removeRows(std::span<const RowKey> keys) {
    if (Status s = beginChange(); !s.ok())
        return s;
    sqlite3_stmt* del = prepared(kDeleteRow, "DELETE FROM rows WHERE id = ?");
    if (!del)
        return writeFailed(QStringLiteral("cannot prepare the deletion"));
    for (RowKey key : keys)
        if (sqlite3_bind_int64(del, 1, key) != SQLITE_OK || runStep(del) != SQLITE_OK)
            return writeFailed(QStringLiteral("cannot delete a row"));
    return commitChange();
}

Status Journal::clearRows() {
    if (Status s = beginChange(); !s.ok())
        return s;
    // The run the rows came from goes with them: nothing is left to resume. A run still
    // going notes its next page again.
    if (execAll(m_db, "DELETE FROM rows; DELETE FROM pages;"
                      "DELETE FROM meta WHERE key IN ('order_keys', 'order_base', 'run_state',"
                      " 'run_page');") != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot empty the grid"));
    return commitChange();
}

Status Journal::setColumns(std::span<const Column> columns, const QString& templateName) {
    if (Status s = beginChange(); !s.ok())
        return s;
    if (execAll(m_db, "DELETE FROM columns") != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot record the columns"));
    sqlite3_stmt* ins =
        prepared(kInsertColumn, "INSERT INTO columns(pos, caption, width) VALUES(?, ?, ?)");
    if (!ins)
        return writeFailed(QStringLiteral("cannot prepare the columns"));
    int pos = 0;
    for (const Column& c : columns)
        if (sqlite3_bind_int(ins, 1, pos++) != SQLITE_OK ||
            bindText(ins, 2, c.caption) != SQLITE_OK ||
            sqlite3_bind_int(ins, 3, c.width) != SQLITE_OK || runStep(ins) != SQLITE_OK)
            return writeFailed(QStringLiteral("cannot record a column"));
    if (Status s = setMeta("template", templateName); !s.ok())
        return s;
    return commitChange();
}

Status Journal::setOrder(std::span<const RowKey> keysInOrder, int sortColumn, Qt::SortOrder order) {
    if (Status s = beginChange(); !s.ok())
        return s;
    // One record of the keys in their new order instead of a new order number on every
    // row: a sort of a million rows writes 8 MB once, not a million row updates. Rows
    // appended later have order numbers from orderBase on and follow the listed ones.
    QByteArray keys(qsizetype(keysInOrder.size()) * 8, Qt::Uninitialized);
    for (std::size_t i = 0; i < keysInOrder.size(); ++i)
        qToLittleEndian<std::int64_t>(keysInOrder[i], keys.data() + i * 8);
    sqlite3_stmt* put = prepared(kSetOrder, "INSERT OR REPLACE INTO meta(key, value) VALUES"
                                            "('order_keys', ?)");
    if (!put ||
        sqlite3_bind_blob64(put, 1, keys.constData(), sqlite3_uint64(keys.size()), SQLITE_STATIC) !=
            SQLITE_OK ||
        runStep(put) != SQLITE_OK)
        return writeFailed(QStringLiteral("cannot record the order"));
    if (Status s = setMeta("order_base", QString::number(m_nextOrder)); !s.ok())
        return s;
    if (Status s = setMeta("sort_column", QString::number(std::max(0, sortColumn))); !s.ok())
        return s;
    if (Status s =
            setMeta("sort_order", order == Qt::DescendingOrder ? QStringLiteral("descending")
                                                               : QStringLiteral("ascending"));
        !s.ok())
        return s;
    return commitChange();
}

Status Journal::runAt(const QString& pageUrl) {
    if (Status s = beginChange(); !s.ok())
        return s;
    if (Status s = setMeta("run_state", QStringLiteral("running")); !s.ok())
        return s;
    if (Status s = setMeta("run_page", pageUrl); !s.ok())
        return s;
    return commitChange();
}

Status Journal::runCompleted() {
    if (Status s = beginChange(); !s.ok())
        return s;
    if (Status s = setMeta("run_state", QStringLiteral("completed")); !s.ok())
        return s;
    return commitChange();
}

Appended Journal::rewrite(const State& state) {
    if (!m_db)
        return {m_last = {ErrorCode::NotOpen, QStringLiteral("no journal is open")}, 0};
    m_inStep = true; // lets the change start; any failure below puts it out of step again
    if (Status s = beginChange(); !s.ok())
        return {s, 0};
    if (execAll(m_db,
                "DELETE FROM rows; DELETE FROM pages; DELETE FROM columns; DELETE FROM meta;") !=
        SQLITE_OK)
        return {writeFailed(QStringLiteral("cannot clear the journal")), 0};
    const RowKey first = m_nextKey;
    std::int64_t page = m_nextPage;
    auto failed = [&](Status s) { return Appended{std::move(s), 0}; };
    // Neighbouring rows of one page share its record, as when they were captured.
    for (std::size_t i = 0; i < state.rows.size(); ++i) {
        if (i == 0 || !state.rows.samePage(i - 1, i)) {
            if (i > 0)
                ++page;
            if (Status s = insertPage(page, state.rows.pageUrlAt(i), state.rows.capturedAtAt(i));
                !s.ok())
                return failed(std::move(s));
        }
        const auto [data, size] = state.rows.encodedAt(i);
        if (Status s = insertRow(first + RowKey(i), std::int64_t(i), page, data, size); !s.ok())
            return failed(std::move(s));
    }
    sqlite3_stmt* ins =
        prepared(kInsertColumn, "INSERT INTO columns(pos, caption, width) VALUES(?, ?, ?)");
    if (!ins)
        return failed(writeFailed(QStringLiteral("cannot prepare the columns")));
    int pos = 0;
    for (const Column& c : state.columns)
        if (sqlite3_bind_int(ins, 1, pos++) != SQLITE_OK ||
            bindText(ins, 2, c.caption) != SQLITE_OK ||
            sqlite3_bind_int(ins, 3, c.width) != SQLITE_OK || runStep(ins) != SQLITE_OK)
            return failed(writeFailed(QStringLiteral("cannot record a column")));
    const std::pair<const char*, QString> meta[] = {
        {"template", state.templateName},
        {"sort_column", QString::number(std::max(0, state.sortColumn))},
        {"sort_order", state.sortOrder == Qt::DescendingOrder ? QStringLiteral("descending")
                                                              : QStringLiteral("ascending")},
        {"run_state",
         state.interruptedPage.isEmpty() ? QStringLiteral("completed") : QStringLiteral("running")},
        {"run_page", state.interruptedPage},
    };
    for (const auto& [key, value] : meta)
        if (Status s = setMeta(key, value); !s.ok())
            return failed(std::move(s));
    if (Status s = commitChange(); !s.ok())
        return failed(std::move(s));
    m_nextKey += RowKey(state.rows.size());
    m_nextOrder = std::int64_t(state.rows.size());
    m_nextPage = page + 1;
    return {{}, first};
}

Journal::ReadResult Journal::read() const {
    if (!m_db)
        return {{ErrorCode::NotOpen, QStringLiteral("no journal is open")}, {}};
    ReadOutcome outcome = readState(m_db);
    if (outcome.rc != SQLITE_OK)
        return {{ErrorCode::Unreadable, outcome.reason}, {}};
    return {{}, std::move(outcome.state)};
}

} // namespace journal
