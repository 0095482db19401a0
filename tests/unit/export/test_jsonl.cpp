#include "ExportTestSupport.h"

#include "export/JsonLinesWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace exporter;
using exporttest::grid;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QJsonObject writeAndRead(const IGridSource& g, bool sourceColumns, const QTemporaryDir& dir) {
    const QString path = dir.filePath(u"out.jsonl"_qs);
    const ExportStatus status = SaveToJsonLines(g, path, sourceColumns);
    EXPECT_TRUE(status.ok()) << status.message.toStdString();
    const QJsonObject read = exporttest::runReader(u"read_jsonl.py"_qs, {path});
    EXPECT_EQ(read.value(u"problems"_qs).toArray(), QJsonArray());
    return read;
}

QStringList keysOf(const QJsonObject& read) {
    QStringList keys;
    for (const QJsonValue& k : read.value(u"keys"_qs).toArray())
        keys.append(k.toString());
    return keys;
}

// Fails reading row `failAt`, as a grid changed under the writer would.
struct BrokenGrid final : IGridSource {
    int failAt = 1;
    int rows = 3;
    int columnCount() const override { return 1; }
    QString columnCaption(int) const override { return u"A"_qs; }
    int rowCount() const override { return rows; }
    int cellCount(int) const override { return 1; }
    QString cell(int row, int) const override {
        if (row == failAt)
            throw std::runtime_error("row is gone");
        return u"v"_qs;
    }
};

} // namespace

TEST(JsonLinesKeys, CaptionsBecomeUniqueKeys) {
    const struct {
        const char* name;
        QStringList captions;
        std::vector<QStringList> rows;
        bool sourceColumns;
        QStringList keys;
    } cases[] = {
        {"Plain", {u"Name"_qs, u"Town"_qs}, {{u"a"_qs}}, false, {u"Name"_qs, u"Town"_qs}},
        {"Repeated",
         {u"Name"_qs, u"Name"_qs, u"Town"_qs, u"Name"_qs},
         {{u"a"_qs}},
         false,
         {u"Name"_qs, u"Name (2)"_qs, u"Town"_qs, u"Name (3)"_qs}},
        // A caption that looks like a numbered one takes its place first.
        {"NumberedCaptionTaken",
         {u"A (2)"_qs, u"A"_qs, u"A"_qs},
         {{u"a"_qs}},
         false,
         {u"A (2)"_qs, u"A"_qs, u"A (3)"_qs}},
        {"EmptyCaptionsAndWideRows",
         {u""_qs, u"Town"_qs},
         {{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs}, {u"e"_qs}},
         false,
         {u"Column 1"_qs, u"Town"_qs, u"Column 3"_qs, u"Column 4"_qs}},
        {"NoColumnsStillHasTheCaption", {}, {{}}, false, {u"Column 1"_qs}},
        {"SourceKeys", {u"Name"_qs}, {{u"a"_qs}}, true, {u"Name"_qs, u"Source"_qs, u"Captured"_qs}},
        // The grid's columns come first, so a column named like a source key keeps it.
        {"SourceKeyTakenByACaption",
         {u"Source"_qs, u"Captured"_qs},
         {{u"a"_qs}},
         true,
         {u"Source"_qs, u"Captured"_qs, u"Source (2)"_qs, u"Captured (2)"_qs}},
        {"CaseMatters", {u"name"_qs, u"Name"_qs}, {{u"a"_qs}}, false, {u"name"_qs, u"Name"_qs}},
        // Different unpaired surrogates are one U+FFFD in the file: still two keys.
        {"UnpairedSurrogatesAsWritten",
         {QString(QChar(0xD800)), QString(QChar(0xDC00)), u"\U0001F600"_qs},
         {{u"a"_qs}},
         false,
         {u"\uFFFD"_qs, u"\uFFFD (2)"_qs, u"\U0001F600"_qs}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JsonLinesKeys(grid(c.captions, c.rows), c.sourceColumns), c.keys);
    }
}

// Python's json module must give back every text exactly, under the keys, in order.
TEST(JsonLinesWriter, PythonReadsBackEveryValue) {
    const QString loneHigh = QString(QChar(0xD83D));
    const QString loneLow = QString(QChar(0xDE00));
    GridData g = grid({u"Name"_qs, u"Name"_qs, u""_qs},
                      {
                          {u"Smith, \"John\""_qs, u"back\\slash /"_qs, u"tab\there"_qs},
                          {u"line\r\nbreak"_qs, u"\u0001\u001f\u007f"_qs, u"<b>kept</b> &amp;"_qs},
                          {u"Zürich 東京 😀"_qs, u"\u2028\u2029"_qs},
                          {u"lone "_qs + loneHigh + u" high"_qs, loneLow, loneHigh + loneHigh},
                          {},
                          {u"a"_qs, u"b"_qs, u"c"_qs, u"beyond the columns"_qs},
                      });
    QTemporaryDir dir;
    const QJsonObject read = writeAndRead(g, false, dir);
    EXPECT_EQ(keysOf(read),
              (QStringList{u"Name"_qs, u"Name (2)"_qs, u"Column 3"_qs, u"Column 4"_qs}));
    EXPECT_FALSE(read.value(u"crlf"_qs).toBool());
    EXPECT_EQ(read.value(u"lines"_qs).toInt(), 6);
    const QString fffd = QString(QChar(0xFFFD));
    exporttest::expectSameRows(
        exporttest::rowsOf(read.value(u"rows"_qs)),
        {
            {u"Smith, \"John\""_qs, u"back\\slash /"_qs, u"tab\there"_qs, u""_qs},
            {u"line\r\nbreak"_qs, u"\u0001\u001f\u007f"_qs, u"<b>kept</b> &amp;"_qs, u""_qs},
            {u"Zürich 東京 😀"_qs, u"\u2028\u2029"_qs, u""_qs, u""_qs},
            {u"lone "_qs + fffd + u" high"_qs, fffd, fffd + fffd, u""_qs},
            {u""_qs, u""_qs, u""_qs, u""_qs},
            {u"a"_qs, u"b"_qs, u"c"_qs, u"beyond the columns"_qs},
        });
}

TEST(JsonLinesWriter, SourceKeysTellWhereEachRowCameFrom) {
    GridData g = grid({u"Name"_qs}, {{u"a"_qs}, {u"b"_qs}, {u"c"_qs}});
    g.origins = {{u"https://x.example/list?page=2&q=\"a\""_qs,
                  QDateTime(QDate(2026, 3, 1), QTime(9, 0, 5, 999), Qt::UTC)},
                 // Given with an offset, written in UTC.
                 {u"https://x.example/3"_qs,
                  QDateTime(QDate(2026, 3, 1), QTime(10, 30), Qt::OffsetFromUTC, 3600)}};
    QTemporaryDir dir;
    const QJsonObject read = writeAndRead(g, true, dir);
    EXPECT_EQ(keysOf(read), (QStringList{u"Name"_qs, u"Source"_qs, u"Captured"_qs}));
    exporttest::expectSameRows(
        exporttest::rowsOf(read.value(u"rows"_qs)),
        {
            {u"a"_qs, u"https://x.example/list?page=2&q=\"a\""_qs, u"2026-03-01T09:00:05Z"_qs},
            {u"b"_qs, u"https://x.example/3"_qs, u"2026-03-01T09:30:00Z"_qs},
            {u"c"_qs, u""_qs, u""_qs},
        });
}

// Enough rows to cross the writer's blocks many times, and one value larger than a block.
TEST(JsonLinesWriter, PythonReadsBackManyRowsAndAHugeValue) {
    GridData g = grid({u"Name"_qs, u"Town"_qs, u"Note"_qs}, {});
    for (int r = 0; r < 30000; ++r)
        g.rows.push_back({u"Name %1 ü"_qs.arg(r), r % 7 ? u"Town \"%1\""_qs.arg(r % 13) : QString(),
                          u"東 %1 😀"_qs.arg(r)});
    g.rows[12345][2] = QString(200000, u'\u00e9');
    QTemporaryDir dir;
    const QJsonObject read = writeAndRead(g, false, dir);
    exporttest::expectSameRows(exporttest::rowsOf(read.value(u"rows"_qs)), g.rows);
}

TEST(JsonLinesWriter, EmptyGridWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.jsonl"_qs);
    EXPECT_TRUE(SaveToJsonLines(grid({u"A"_qs}, {}), path).ok());
    EXPECT_FALSE(QFile::exists(path));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(SaveToJsonLines(grid({u"A"_qs}, {}), &buffer).ok());
    EXPECT_TRUE(buffer.data().isEmpty());
}

TEST(JsonLinesWriter, ExactBytes) {
    struct Case {
        QStringList captions;
        std::vector<QStringList> rows;
        QByteArray bytes;
    };
    const Case cases[] = {
        {{u"A"_qs, u"B"_qs},
         {{u"x"_qs, u"y\n"_qs}, {u"z"_qs}},
         "{\"A\":\"x\",\"B\":\"y\\n\"}\n{\"A\":\"z\",\"B\":\"\"}\n"},
        // Each key shorter than the one before: no key may carry the end of another.
        {{u"Address"_qs, u"Phone"_qs, u"\U0001F600"_qs},
         {{u"1 Main St"_qs, u"555"_qs, u"!"_qs}},
         "{\"Address\":\"1 Main St\",\"Phone\":\"555\",\"\xF0\x9F\x98\x80\":\"!\"}\n"},
    };
    for (const Case& c : cases) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(SaveToJsonLines(grid(c.captions, c.rows), &buffer).ok());
        EXPECT_EQ(buffer.data(), c.bytes);
    }
}

TEST(JsonLinesWriter, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.jsonl"_qs);
    writeFile(path, "previous");

    // Reading the grid fails half-way.
    BrokenGrid broken;
    ExportStatus status = SaveToJsonLines(broken, path);
    EXPECT_EQ(status.code, ExportError::SourceFailed);
    EXPECT_EQ(status.message, u"row is gone"_qs);
    EXPECT_EQ(readFile(path), "previous");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"out.jsonl"_qs});

    // A folder that does not exist.
    status = SaveToJsonLines(grid({u"A"_qs}, {{u"a"_qs}}), dir.filePath(u"missing/out.jsonl"_qs));
    EXPECT_EQ(status.code, ExportError::OpenFailed);
    EXPECT_FALSE(status.message.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{u"out.jsonl"_qs});
}

TEST(JsonLinesWriter, WriteFailureIsReported) {
    GridData g = grid({u"Name"_qs}, {});
    for (int r = 0; r < 20000; ++r)
        g.rows.push_back({u"row %1"_qs.arg(r)});
    for (const qint64 limit : {0, 100, 70000}) {
        SCOPED_TRACE(limit);
        exporttest::FailingDevice device(limit);
        const ExportStatus status = SaveToJsonLines(g, &device);
        EXPECT_EQ(status.code, ExportError::WriteFailed);
        EXPECT_EQ(status.message, u"No space left on device"_qs);
    }
    QBuffer closed;
    EXPECT_EQ(SaveToJsonLines(g, &closed).code, ExportError::OpenFailed);
}
