// The journal within one process: every grid change comes back after a reopen, the order
// it gives rebuilds the grid's own order, a file it cannot read is moved aside and
// replaced, a write it cannot make leaves it out of step until a rewrite, and a second
// journal on the same folder never sees the first one's rows.
#include "journal/Journal.h"
#include "journal/RowCodec.h"

#include "capture/GridModel.h"

#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace journal;
using namespace Qt::StringLiterals;

namespace {

QStringList fieldsOf(const RowList& rows, int field) {
    QStringList out;
    for (const Row& r : rows)
        out.append(r.fields.value(field, u"<none>"_s));
    return out;
}

std::vector<QStringList> page(const QString& prefix, int rows) {
    std::vector<QStringList> out;
    for (int i = 0; i < rows; ++i)
        out.push_back({prefix + QString::number(i), u"street "_s + QString::number(i)});
    return out;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Runs SQL on a journal file directly, as a damaged or foreign file would look.
void execOn(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

class JournalTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path() + u"/trawlex"_s; }
    QString mainPath() const { return folder() + u'/' + Journal::mainFileName(); }

    OpenReport openOk(Journal& j, const Options& options = {}) {
        OpenReport r = j.open(folder(), options);
        EXPECT_TRUE(r.status.ok()) << r.status.message.toStdString();
        return r;
    }
    State reopen() {
        Journal j;
        return openOk(j).restored;
    }

    QTemporaryDir m_dir;
};

// Fields as hostile pages hand them over: nothing, empty, the grid's separator, a NUL,
// text outside the basic plane, a leading U+FEFF (UTF-8 decoding drops it as a byte order
// mark unless told otherwise), a lone surrogate, very long text.
TEST(RowCodec, KeepsEveryFieldListExactly) {
    const QString lone = QString(QChar(0xD800));
    const std::vector<QStringList> cases = {
        {},
        {QString()},
        {QString(), QString(), QString()},
        {u"caption"_s, u"a\u00A4b\u00A4"_s, u"\r\n"_s},
        {QString(u"nul\0inside"_s)},
        {u"\U0001F600 M\u00FCller"_s, u"\u4E2D\u6587"_s},
        {QString(100'000, u'x'), QString(128, u'y'), QString(127, u'z')},
        {u"\uFEFFbom first"_s, u"\uFEFF"_s, u"\uFEFF\uFEFFtwo"_s},
    };
    for (const QStringList& fields : cases) {
        const QByteArray blob = EncodeFields(fields);
        const auto back = DecodeFields(blob.constData(), blob.size());
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, fields);
    }
    // A lone surrogate cannot be UTF-8: it comes back as U+FFFD, as every export writes
    // it, the field still there.
    const QByteArray blob = EncodeFields({lone, u"b"_s, lone + u"\U0001F600"_s});
    const auto back = DecodeFields(blob.constData(), blob.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, (QStringList{u"\uFFFD"_s, u"b"_s, u"\uFFFD\U0001F600"_s}));
}

TEST(RowCodec, RefusesMalformedBlobs) {
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"length past the end", QByteArray("\x05"
                                           "abc",
                                           4)},
        {"truncated number", QByteArray("\x80", 1)},
        {"number longer than any field", QByteArray("\xFF\xFF\xFF\xFF\xFF\x01", 6)},
        {"second field cut short", QByteArray("\x01"
                                              "a"
                                              "\x03"
                                              "b",
                                              4)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(DecodeFields(c.bytes.constData(), c.bytes.size()).has_value()) << c.name;
}

// Rows of one page share one record only while they are neighbours: a page that comes
// back later is a record of its own, as a later capture of the same address is.
TEST(RowList, SharesAPageRecordBetweenNeighboursOnlyAndReorders) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(1'000, Qt::UTC);
    RowList rows;
    rows.append({u"a"_s}, u"p1"_s, t, 10);
    rows.append({u"b"_s, QString()}, u"p1"_s, t, 11);
    rows.append({u"c"_s}, u"p1"_s, t.addSecs(1), 12); // same address, later capture
    rows.append({u"d"_s}, u"p2"_s, t, 13);
    rows.append({}, u"p1"_s, t, 14);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_TRUE(rows.samePage(0, 1));
    EXPECT_FALSE(rows.samePage(1, 2));
    EXPECT_FALSE(rows.samePage(0, 4));
    EXPECT_EQ(rows.fieldsAt(1), (QStringList{u"b"_s, QString()}));
    EXPECT_TRUE(rows.fieldsAt(4).isEmpty());
    EXPECT_EQ(rows.capturedAtAt(2), t.addSecs(1));

    rows.reorder({4, 2, 0, 3, 1});
    QStringList seen;
    for (const Row& r : rows)
        seen.append(QString::number(r.key) + u':' + r.fields.value(0) + u'@' + r.pageUrl);
    EXPECT_EQ(seen,
              (QStringList{u"14:@p1"_s, u"12:c@p1"_s, u"10:a@p1"_s, u"13:d@p2"_s, u"11:b@p1"_s}));
    rows.truncate(2);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.back().key, 12);
}

TEST_F(JournalTest, APageComesBackWithItsAddressTimeAndKeys) {
    const QDateTime t1 = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC);
    const QDateTime t2 = t1.addSecs(90);
    std::vector<QStringList> first = page(u"a"_s, 3);
    first.push_back({u"odd\u00A4one"_s}); // fewer fields, the separator inside
    {
        Journal j;
        const OpenReport r = openOk(j);
        EXPECT_FALSE(r.secondProcess);
        EXPECT_EQ(r.path, mainPath());
        EXPECT_TRUE(r.restored.rows.empty());
        const Appended a = j.appendPage(u"http://127.0.0.1:9/1"_s, t1, first);
        ASSERT_TRUE(a.status.ok());
        const Appended b = j.appendPage(u"http://127.0.0.1:9/2"_s, t2, page(u"b"_s, 2));
        ASSERT_TRUE(b.status.ok());
        EXPECT_EQ(b.firstKey, a.firstKey + 4);
        // Nothing to add is no change, and uses no key.
        const Appended none = j.appendPage(u"http://127.0.0.1:9/3"_s, t2, {});
        EXPECT_TRUE(none.status.ok());
        EXPECT_EQ(j.appendPage(u"u"_s, t2, page(u"c"_s, 1)).firstKey, b.firstKey + 2);
    }
    const State s = reopen();
    ASSERT_EQ(s.rows.size(), 7u);
    EXPECT_EQ(fieldsOf(s.rows, 0), (QStringList{u"a0"_s, u"a1"_s, u"a2"_s, u"odd\u00A4one"_s,
                                                u"b0"_s, u"b1"_s, u"c0"_s}));
    EXPECT_EQ(s.rows[3].fields.size(), 1);
    EXPECT_EQ(s.rows[0].pageUrl, u"http://127.0.0.1:9/1"_s);
    EXPECT_EQ(s.rows[0].capturedAt, t1);
    EXPECT_EQ(s.rows[5].pageUrl, u"http://127.0.0.1:9/2"_s);
    EXPECT_EQ(s.rows[5].capturedAt, t2);
    for (std::size_t i = 1; i < s.rows.size(); ++i)
        EXPECT_EQ(s.rows[i].key, s.rows[i - 1].key + 1);
    EXPECT_TRUE(s.interruptedPage.isEmpty());
}

TEST_F(JournalTest, DeleteAndEmptyGridAreKeptAndKeysAreNotHandedOutTwice) {
    std::vector<RowKey> keys;
    {
        Journal j;
        openOk(j);
        const Appended a = j.appendPage(u"p1"_s, {}, page(u"r"_s, 6));
        ASSERT_TRUE(a.status.ok());
        // Delete Duplicates hands over a set; a key the journal never had is passed over.
        const std::vector<RowKey> gone = {a.firstKey + 1, a.firstKey + 4, 999'999};
        ASSERT_TRUE(j.removeRows(gone).ok());
        const Appended b = j.appendPage(u"p2"_s, {}, page(u"s"_s, 1));
        EXPECT_EQ(b.firstKey, a.firstKey + 6);
    }
    EXPECT_EQ(fieldsOf(reopen().rows, 0),
              (QStringList{u"r0"_s, u"r2"_s, u"r3"_s, u"r5"_s, u"s0"_s}));
    {
        Journal j;
        const State before = openOk(j).restored;
        ASSERT_TRUE(j.clearRows().ok());
        const Appended c = j.appendPage(u"p3"_s, {}, page(u"t"_s, 2));
        ASSERT_TRUE(c.status.ok());
        // Restored keys are the window's from now on: new ones come after them.
        EXPECT_GT(c.firstKey, before.rows.back().key);
    }
    EXPECT_EQ(fieldsOf(reopen().rows, 0), (QStringList{u"t0"_s, u"t1"_s}));
    {
        Journal j;
        openOk(j);
        ASSERT_TRUE(j.clearRows().ok());
    }
    EXPECT_TRUE(reopen().rows.empty());
}

TEST_F(JournalTest, ColumnsTemplateAndRunStateComeBack) {
    const std::vector<Column> first = {{u"Name"_s, 120}, {u"Street"_s, 80}};
    const std::vector<Column> second = {
        {u"Company"_s, 200}, {u"Phone"_s, 50}, {QString(), 0}, {u"\uFEFFNotes"_s, 10}};
    {
        Journal j;
        openOk(j);
        ASSERT_TRUE(j.setColumns(first, u"us_demo_directory.orp"_s).ok());
        ASSERT_TRUE(j.setColumns(second, u"other.orp"_s).ok());
        ASSERT_TRUE(j.runAt(u"http://127.0.0.1:9/list?page=1"_s).ok());
        ASSERT_TRUE(j.runAt(u"http://127.0.0.1:9/list?page=2"_s).ok());
    }
    State s = reopen();
    EXPECT_EQ(s.columns, second);
    EXPECT_EQ(s.templateName, u"other.orp"_s);
    EXPECT_EQ(s.interruptedPage, u"http://127.0.0.1:9/list?page=2"_s);
    {
        Journal j;
        openOk(j);
        ASSERT_TRUE(j.runCompleted().ok());
        ASSERT_TRUE(j.setColumns({}, QString()).ok());
    }
    s = reopen();
    EXPECT_TRUE(s.interruptedPage.isEmpty());
    EXPECT_TRUE(s.columns.empty());
    EXPECT_TRUE(s.templateName.isEmpty());
    // Empty Grid during a cut-short run leaves nothing to resume; the columns stay.
    {
        Journal j;
        openOk(j);
        ASSERT_TRUE(j.setColumns(first, u"us_demo_directory.orp"_s).ok());
        ASSERT_TRUE(j.runAt(u"http://127.0.0.1:9/list?page=3"_s).ok());
        ASSERT_TRUE(
            j.appendPage(u"http://127.0.0.1:9/list?page=3"_s, {}, page(u"r"_s, 2)).status.ok());
        ASSERT_TRUE(j.clearRows().ok());
    }
    s = reopen();
    EXPECT_TRUE(s.rows.empty());
    EXPECT_TRUE(s.interruptedPage.isEmpty());
    EXPECT_EQ(s.columns, first);
}

TEST_F(JournalTest, SetOrderPlacesUnlistedRowsFirstAndLaterPagesLast) {
    {
        Journal j;
        openOk(j);
        const Appended a = j.appendPage(u"p"_s, {}, page(u"r"_s, 4));
        const std::vector<RowKey> order = {a.firstKey + 3, a.firstKey + 1, a.firstKey + 0};
        ASSERT_TRUE(j.setOrder(order, 2, Qt::DescendingOrder).ok());
        ASSERT_TRUE(j.appendPage(u"q"_s, {}, page(u"n"_s, 1)).status.ok());
    }
    const State s = reopen();
    EXPECT_EQ(fieldsOf(s.rows, 0), (QStringList{u"r2"_s, u"r3"_s, u"r1"_s, u"r0"_s, u"n0"_s}));
    EXPECT_EQ(s.sortColumn, 2);
    EXPECT_EQ(s.sortOrder, Qt::DescendingOrder);
}

// The grid keeps its rows sorted with ties in arrival order, and a header sort reorders
// ties by their previous order: the journal's order must rebuild that exactly when its
// rows are fed back into a grid holding the saved sort.
TEST_F(JournalTest, RestoredOrderRebuildsTheGridsOwnOrder) {
    capture::TGridModel grid;
    grid.appendColumns(1);
    std::vector<RowKey> keyOf; // by grid row id
    Journal j;
    openOk(j);
    std::mt19937 rng(7);
    auto capturePage = [&](int n) {
        std::vector<QStringList> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back({QString(QChar(u'a' + int(rng() % 3))), QString::number(rng() % 4),
                            QString::number(rng())});
        const Appended a = j.appendPage(u"p"_s, {}, rows);
        ASSERT_TRUE(a.status.ok());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto id = grid.rowIdAt(grid.addRow(rows[i]));
            if (keyOf.size() <= id)
                keyOf.resize(id + 1);
            keyOf[id] = a.firstKey + RowKey(i);
        }
    };
    auto sortGrid = [&](int column, Qt::SortOrder order) {
        grid.sort(column, order);
        std::vector<RowKey> keys;
        for (auto id : grid.rowIdsInOrder())
            keys.push_back(keyOf[id]);
        ASSERT_TRUE(j.setOrder(keys, column, order).ok());
    };
    capturePage(20);
    sortGrid(1, Qt::DescendingOrder);
    capturePage(15);
    {
        const std::vector<int> positions = {0, 3, 9};
        std::vector<RowKey> keys;
        for (int p : positions)
            keys.push_back(keyOf[grid.rowIdAt(p)]);
        grid.removeRowPositions(positions);
        ASSERT_TRUE(j.removeRows(keys).ok());
    }
    sortGrid(0, Qt::AscendingOrder);
    capturePage(10);
    j.close();

    const State s = reopen();
    capture::TGridModel restored;
    restored.appendColumns(1);
    restored.sort(s.sortColumn, s.sortOrder);
    for (const Row& r : s.rows)
        restored.addRow(r.fields);
    ASSERT_EQ(restored.rows(), grid.rows());
    for (int r = 0; r < grid.rows(); ++r)
        ASSERT_EQ(restored.rowFields(r), grid.rowFields(r)) << "row " << r;
}

struct Damage {
    const char* name;
    // Turns a good journal with rows at `path` into the damaged file.
    std::function<void(const QString& path)> apply;
    bool movedAside;
};

class JournalDamageTest : public JournalTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(JournalDamageTest, AnUnreadableJournalIsMovedAsideNeverDeleted) {
    {
        Journal j;
        openOk(j);
        for (int p = 0; p < 40; ++p)
            ASSERT_TRUE(
                j.appendPage(u"p"_s, {}, page(u"row"_s + QString::number(p), 50)).status.ok());
    }
    GetParam().apply(mainPath());
    const QByteArray damaged = readAll(mainPath());

    Journal j;
    const OpenReport r = openOk(j);
    EXPECT_TRUE(r.restored.rows.empty());
    if (GetParam().movedAside) {
        EXPECT_TRUE(QRegularExpression(u"/journal-unreadable-\\d{8}-\\d{6}\\.sqlite$"_s)
                        .match(r.movedAsideTo)
                        .hasMatch())
            << r.movedAsideTo.toStdString();
        EXPECT_FALSE(r.movedAsideReason.isEmpty());
        EXPECT_EQ(readAll(r.movedAsideTo), damaged);
    } else {
        EXPECT_TRUE(r.movedAsideTo.isEmpty()) << r.movedAsideTo.toStdString();
    }
    // The fresh journal works.
    ASSERT_TRUE(j.appendPage(u"p"_s, {}, page(u"new"_s, 2)).status.ok());
    j.close();
    EXPECT_EQ(fieldsOf(reopen().rows, 0), (QStringList{u"new0"_s, u"new1"_s}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, JournalDamageTest,
    ::testing::Values(
        Damage{"text", [](const QString& p) { writeAll(p, "not a journal at all\n"); }, true},
        Damage{"random",
               [](const QString& p) {
                   std::mt19937 rng(3);
                   QByteArray b(8192, '\0');
                   for (char& c : b)
                       c = char(rng());
                   writeAll(p, b);
               },
               true},
        Damage{"truncated", [](const QString& p) { writeAll(p, readAll(p).left(4096 + 100)); },
               true},
        Damage{"damaged pages",
               [](const QString& p) {
                   QByteArray b = readAll(p);
                   for (qsizetype i = b.size() / 3; i < b.size() / 3 + 8192 && i < b.size(); ++i)
                       b[i] = char(0xA5);
                   writeAll(p, b);
               },
               true},
        Damage{"newer version", [](const QString& p) { execOn(p, "PRAGMA user_version = 2"); },
               true},
        Damage{"another program's database",
               [](const QString& p) {
                   QFile::remove(p);
                   execOn(p, "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('x')");
               },
               true},
        Damage{"tables missing", [](const QString& p) { execOn(p, "DROP TABLE rows"); }, true},
        Damage{"damaged row fields",
               [](const QString& p) { execOn(p, "UPDATE rows SET fields = x'ff' WHERE id = 7"); },
               true},
        Damage{"damaged row order",
               [](const QString& p) {
                   execOn(p, "INSERT OR REPLACE INTO meta VALUES('order_keys', x'010203')");
               },
               true},
        Damage{"empty file", [](const QString& p) { writeAll(p, {}); }, false}),
    [](const ::testing::TestParamInfo<Damage>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

// A file left by a killed process keeps its last changes in the write-ahead file beside
// it: when that file is not a journal of ours, both are moved aside together.
TEST_F(JournalTest, AnUnreadableJournalTakesItsWriteAheadFileAlong) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QString other = m_dir.path() + u"/other.db"_s;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(other).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA journal_mode=WAL; CREATE TABLE t(x);"
                           "INSERT INTO t VALUES('only in the write-ahead file')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    // Copied while still open, as a kill would leave them, before any checkpoint.
    for (const QString& suffix : {u""_s, u"-wal"_s})
        ASSERT_TRUE(QFile::copy(other + suffix, mainPath() + suffix));
    sqlite3_close(db);
    const QByteArray wal = readAll(mainPath() + u"-wal"_s);
    ASSERT_FALSE(wal.isEmpty());

    Journal j;
    const OpenReport r = openOk(j);
    ASSERT_FALSE(r.movedAsideTo.isEmpty());
    EXPECT_EQ(readAll(r.movedAsideTo + u"-wal"_s), wal);
    EXPECT_TRUE(r.restored.rows.empty());
    ASSERT_TRUE(j.appendPage(u"p"_s, {}, page(u"new"_s, 1)).status.ok());
    EXPECT_EQ(fieldsOf(j.read().state.rows, 0), QStringList{u"new0"_s});
}

TEST_F(JournalTest, TwoUnreadableJournalsInOneSecondGetTwoNames) {
    QStringList moved;
    for (int i = 0; i < 2; ++i) {
        QDir().mkpath(folder());
        writeAll(mainPath(), "garbage " + QByteArray::number(i));
        Journal j;
        moved.append(openOk(j).movedAsideTo);
    }
    ASSERT_EQ(moved.size(), 2);
    EXPECT_NE(moved[0], moved[1]);
    EXPECT_EQ(readAll(moved[0]), "garbage 0");
    EXPECT_EQ(readAll(moved[1]), "garbage 1");
}

TEST_F(JournalTest, ASecondJournalOnTheFolderRestoresNothingAndKeepsItsRowsApart) {
    Journal first;
    openOk(first);
    ASSERT_TRUE(first.appendPage(u"p"_s, {}, page(u"first"_s, 2)).status.ok());

    QString secondPath;
    {
        Journal second;
        const OpenReport r = openOk(second);
        EXPECT_TRUE(r.secondProcess);
        EXPECT_NE(r.path, mainPath());
        EXPECT_TRUE(r.restored.rows.empty());
        ASSERT_TRUE(second.appendPage(u"p"_s, {}, page(u"second"_s, 3)).status.ok());
        secondPath = r.path;
    }
    // It had rows: the file stays where the report said.
    EXPECT_TRUE(QFile::exists(secondPath));
    {
        Journal third;
        const OpenReport r = openOk(third);
        EXPECT_TRUE(r.secondProcess);
        EXPECT_NE(r.path, secondPath);
        third.close();
        // No rows: nothing left behind.
        EXPECT_FALSE(QFile::exists(r.path));
    }
    first.close();
    const State s = reopen();
    EXPECT_EQ(fieldsOf(s.rows, 0), (QStringList{u"first0"_s, u"first1"_s}));
}

TEST(JournalFolder, FollowsXdgDataHomeAndDefaultsUnderHome) {
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    const struct {
        const char* xdg; // null: unset
        QString expected;
    } cases[] = {
        {"/tmp/xdg-data", u"/tmp/xdg-data/trawlex"_s},
        {nullptr, u"/tmp/some-home/.local/share/trawlex"_s},
    };
    qputenv("HOME", "/tmp/some-home");
    for (const auto& c : cases) {
        if (c.xdg)
            qputenv("XDG_DATA_HOME", c.xdg);
        else
            qunsetenv("XDG_DATA_HOME");
        EXPECT_EQ(Journal::defaultFolder(), c.expected);
    }
    qputenv("HOME", savedHome);
    if (savedData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedData);
}

TEST_F(JournalTest, AFolderThatCannotBeMadeGivesNotOpen) {
    writeAll(m_dir.path() + u"/file"_s, "x");
    Journal j;
    const OpenReport r = j.open(m_dir.path() + u"/file/trawlex"_s);
    EXPECT_EQ(r.status.code, ErrorCode::NotOpen);
    EXPECT_FALSE(r.status.message.isEmpty());
    EXPECT_FALSE(j.isOpen());
    EXPECT_EQ(j.appendPage(u"p"_s, {}, page(u"r"_s, 1)).status.code, ErrorCode::NotOpen);
    EXPECT_EQ(j.clearRows().code, ErrorCode::NotOpen);
    EXPECT_EQ(j.rewrite({}).status.code, ErrorCode::NotOpen);
}

// A size limit stands in for a full disk: the page that does not fit is not half kept,
// every later change fails without touching the file, and a rewrite that fits puts the
// journal back in step.
TEST_F(JournalTest, AFullJournalFailsCleanlyUntilARewriteFits) {
    const Options small{.maxBytes = 96 * 1024};
    int committed = 0;
    State grid;
    {
        Journal j;
        openOk(j, small);
        Appended a;
        for (int p = 0; p < 1000; ++p) {
            const auto rows = page(u"page"_s + QString::number(p) + u'-', 40);
            a = j.appendPage(u"p"_s + QString::number(p), {}, rows);
            for (const auto& r : rows)
                grid.rows.append(r, u"p"_s + QString::number(p), {});
            if (!a.status.ok())
                break;
            ++committed;
        }
        ASSERT_EQ(a.status.code, ErrorCode::Unwritable);
        EXPECT_FALSE(a.status.message.isEmpty());
        ASSERT_GT(committed, 0);
        EXPECT_FALSE(j.inStep());
        EXPECT_EQ(j.lastStatus().code, ErrorCode::Unwritable);

        const std::vector<RowKey> one = {1};
        const std::vector<Column> cols = {{u"A"_s, 1}};
        const Status later[] = {j.appendPage(u"x"_s, {}, page(u"x"_s, 1)).status,
                                j.appendPage(u"x"_s, {}, {}).status,
                                j.removeRows(one),
                                j.clearRows(),
                                j.setColumns(cols, u"t"_s),
                                j.setOrder(one, 0, Qt::AscendingOrder),
                                j.runAt(u"x"_s),
                                j.runCompleted()};
        for (const Status& s : later)
            EXPECT_EQ(s.code, ErrorCode::OutOfStep) << s.message.toStdString();

        // The whole grid does not fit either.
        EXPECT_EQ(j.rewrite(grid).status.code, ErrorCode::Unwritable);
        EXPECT_FALSE(j.inStep());
        // After the user deleted most rows it does.
        grid.rows.truncate(30);
        grid.columns = {{u"Name"_s, 90}};
        grid.templateName = u"demo.orp"_s;
        grid.interruptedPage = u"p7"_s;
        const Appended r = j.rewrite(grid);
        ASSERT_TRUE(r.status.ok()) << r.status.message.toStdString();
        EXPECT_TRUE(j.inStep());
        ASSERT_TRUE(j.appendPage(u"after"_s, {}, page(u"after"_s, 1)).status.ok());
    }
    const State s = reopen();
    ASSERT_EQ(s.rows.size(), 31u);
    EXPECT_EQ(s.rows[0].fields, grid.rows[0].fields);
    EXPECT_EQ(s.rows[29].fields, grid.rows[29].fields);
    EXPECT_EQ(s.rows[30].fields.value(0), u"after0"_s);
    EXPECT_EQ(s.columns, grid.columns);
    EXPECT_EQ(s.templateName, u"demo.orp"_s);
    EXPECT_EQ(s.interruptedPage, u"p7"_s);
}

// Another writer took a key the journal was about to hand out: the page fails half-way,
// and none of it stays, not even in the journal's own view.
TEST_F(JournalTest, APageThatFailsHalfWayLeavesNoPartBehind) {
    Journal j;
    openOk(j);
    const Appended a = j.appendPage(u"p"_s, {}, page(u"a"_s, 3));
    ASSERT_TRUE(a.status.ok());
    const QByteArray sql = "INSERT INTO rows(id, ord, page, fields) VALUES(" +
                           QByteArray::number(a.firstKey + 4) + ", 0, 0, x'')";
    execOn(mainPath(), sql.constData());

    const Appended b = j.appendPage(u"p"_s, {}, page(u"b"_s, 3));
    EXPECT_EQ(b.status.code, ErrorCode::Unwritable);
    EXPECT_FALSE(j.inStep());
    const RowList seen = j.read().state.rows;
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(fieldsOf(seen, 0), (QStringList{u"a0"_s, u"<none>"_s, u"a1"_s, u"a2"_s}));

    State grid;
    for (const auto& rows : {page(u"a"_s, 3), page(u"b"_s, 3)})
        for (const QStringList& r : rows)
            grid.rows.append(r, u"p"_s, {});
    ASSERT_TRUE(j.rewrite(grid).status.ok());
    j.close();
    EXPECT_EQ(fieldsOf(reopen().rows, 0),
              (QStringList{u"a0"_s, u"a1"_s, u"a2"_s, u"b0"_s, u"b1"_s, u"b2"_s}));
}

TEST_F(JournalTest, WithoutRewriteTheFullJournalHoldsExactlyTheCommittedPages) {
    int committed = 0;
    {
        Journal j;
        openOk(j, Options{.maxBytes = 64 * 1024});
        for (int p = 0; p < 1000; ++p) {
            if (!j.appendPage(u"p"_s, {}, page(u"x"_s, 25)).status.ok())
                break;
            ++committed;
        }
    }
    ASSERT_GT(committed, 0);
    EXPECT_EQ(reopen().rows.size(), std::size_t(committed) * 25);
}

} // namespace
