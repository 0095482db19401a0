#include "ExportTestSupport.h"

#include "export/XlsWriter.h"
#include "export/XlsxWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <stdexcept>

#include <sys/resource.h>
#include <sys/stat.h>

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

QStringList entries(const QTemporaryDir& dir) {
    return QDir(dir.path())
        .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

QJsonObject readXlsx(const QString& path, bool layout = false) {
    QStringList args{path};
    if (layout)
        args << u"layout"_qs;
    const QJsonObject read = exporttest::runReader(u"read_xlsx.py"_qs, args);
    EXPECT_EQ(read.value(u"problems"_qs).toArray(), QJsonArray());
    EXPECT_EQ(read.value(u"sheets"_qs).toArray().size(), 1);
    return read;
}

QStringList trimmed(QStringList cells) {
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells;
}

// What a reader should find: the captions, then each row's cell texts.
std::vector<QStringList> expectedSheet(const GridData& g) {
    std::vector<QStringList> out{trimmed(g.captions)};
    for (const QStringList& row : g.rows) {
        QStringList cells;
        for (const QString& v : row)
            cells.append(WorksheetCellText(v));
        out.push_back(trimmed(cells));
    }
    return out;
}

// A grid of any size whose cells are made on demand; it fails the test when a cell is
// read while `cellsForbidden`, for refusals that must come before any work.
struct GeneratedGrid final : IGridSource {
    int rows = 0;
    int widestRow = 1;
    int wideRowAt = 0;
    bool cellsForbidden = false;
    int columnCount() const override { return 2; }
    QString columnCaption(int c) const override { return c ? u"Value"_qs : u"Row"_qs; }
    int rowCount() const override { return rows; }
    int cellCount(int row) const override { return row == wideRowAt ? widestRow : 1; }
    QString cell(int row, int index) const override {
        if (cellsForbidden)
            ADD_FAILURE() << "cell read";
        return index == 0 ? QString::number(row) : u"w"_qs;
    }
};

// Fails reading row `failAt`, as a grid changed under the writer would.
struct BrokenGrid final : IGridSource {
    int columnCount() const override { return 1; }
    QString columnCaption(int) const override { return u"A"_qs; }
    int rowCount() const override { return 5000; }
    int cellCount(int) const override { return 1; }
    QString cell(int row, int) const override {
        if (row == 4000)
            throw std::runtime_error("row is gone");
        return u"value %1"_qs.arg(row);
    }
};

// Every write beyond `bytes` in any file fails while it lives, as on a full disc.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

TEST(XlsxColumnWidth, PixelsBecomeCharacterUnits) {
    const struct {
        int pixels;
        double width;
    } cases[] = {{-5, 0},        {0, 0},          {6, 0.5},    {12, 1},
                 {64, 59.0 / 7}, {100, 95.0 / 7}, {1790, 255}, {100000, 255}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(XlsxColumnWidth(c.pixels), c.width) << c.pixels;
}

// Captions in a bold, frozen first row, the grid's widths, the cells as the .xls writer
// makes them and read back exactly as a spreadsheet shows them.
TEST(XlsxWriter, ReadsBackCellsCaptionsWidthsAndTheFrozenHeader) {
    const QString loneHigh = QString(QChar(0xD83D));
    // Captions are no markup: they stay as they are.
    GridData g = grid({u"Name"_qs, u"Town & <Zip>"_qs, u"Hidden"_qs, u"Note "_qs + loneHigh},
                      {
                          {u"Smith, \"John\""_qs, u"Zürich 東京 😀"_qs, u"h"_qs, u"a < b"_qs},
                          {u"<b>bold</b> text"_qs, u"line<br>break"_qs, u""_qs, u"two\nlines"_qs},
                          {u"ctl \u0001\u001f tab\t"_qs, u"_x0041_ stays"_qs, u"\uFFFE\uFFFF"_qs,
                           u"nul\0and what follows it"_qs},
                          {u"lone "_qs + loneHigh, u"<name@example.com>"_qs},
                          {},
                          {u"a"_qs, u""_qs, u""_qs, u"d"_qs, u"beyond the columns"_qs},
                      });
    g.widths = {100, 12, 0}; // the fourth column's width is not known
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xlsx"_qs);
    const ExportStatus status = SaveToXLSX(g, path);
    ASSERT_TRUE(status.ok()) << status.message.toStdString();
    EXPECT_EQ(entries(dir), QStringList{u"out.xlsx"_qs});

    const QJsonObject read = readXlsx(path, true);
    std::vector<QStringList> expected = expectedSheet(g);
    expected[0] = QStringList{u"Name"_qs, u"Town & <Zip>"_qs, u"Hidden"_qs, u"Note \uFFFD"_qs};
    exporttest::expectSameRows(exporttest::rowsOf(read.value(u"rows"_qs)), expected);
    EXPECT_EQ(expected[2][1], u"line\nbreak"_qs);
    EXPECT_EQ(expected[3][0], u"ctl \u0001\u001f tab\t"_qs);
    EXPECT_EQ(expected[3][3].size(), 23); // the NUL and all after it
    EXPECT_EQ(read.value(u"freeze"_qs).toString(), u"A2"_qs);
    EXPECT_EQ(read.value(u"types"_qs).toArray(), QJsonArray{u"s"_qs});

    const QJsonObject widths = read.value(u"widths"_qs).toObject();
    // The stored width shows as about seven pixels a unit.
    EXPECT_NEAR(widths[u"1"_qs][u"width"_qs].toDouble() * 7, 100, 0.5);
    EXPECT_NEAR(widths[u"2"_qs][u"width"_qs].toDouble() * 7, 12, 0.5);
    EXPECT_FALSE(widths[u"2"_qs][u"hidden"_qs].toBool());
    EXPECT_TRUE(widths[u"3"_qs][u"hidden"_qs].toBool());
    EXPECT_FALSE(widths.contains(u"4"_qs));

    const QJsonArray bold = read.value(u"bold"_qs).toArray();
    EXPECT_TRUE(bold[0].toArray()[0].toBool());
    EXPECT_TRUE(bold[0].toArray()[3].toBool());
    EXPECT_FALSE(bold[1].toArray()[0].toBool());
    const QJsonArray wrapped = read.value(u"wrapped"_qs).toArray();
    EXPECT_TRUE(wrapped[2].toArray()[1].toBool());
    EXPECT_TRUE(wrapped[2].toArray()[3].toBool());
    EXPECT_FALSE(wrapped[1].toArray()[0].toBool());
}

TEST(XlsxWriter, SourceColumnsFollowTheWidestRow) {
    const QDateTime morning(QDate(2026, 3, 1), QTime(9, 0, 5), Qt::UTC);
    GridData g = grid({u"Name"_qs, u"Source"_qs},
                      {{u"a"_qs}, {u"b"_qs, u"x"_qs, u"wide"_qs}, {}, {u"d"_qs}});
    g.origins = {{u"https://x.example/?q=<a>&p=2"_qs, morning}, {u"p2"_qs, {}}, {{}, morning}};
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xlsx"_qs);
    ASSERT_TRUE(SaveToXLSX(g, path, true).ok());
    const QJsonObject read = readXlsx(path, true);
    exporttest::expectSameRows(
        exporttest::rowsOf(read.value(u"rows"_qs)),
        {{u"Name"_qs, u"Source"_qs, u""_qs, u"Source"_qs, u"Captured"_qs},
         {u"a"_qs, u""_qs, u""_qs, u"https://x.example/?q=<a>&p=2"_qs, u"2026-03-01T09:00:05Z"_qs},
         {u"b"_qs, u"x"_qs, u"wide"_qs, u"p2"_qs},
         {u""_qs, u""_qs, u""_qs, u""_qs, u"2026-03-01T09:00:05Z"_qs},
         {u"d"_qs}});
    const QJsonObject widths = read.value(u"widths"_qs).toObject();
    EXPECT_GT(widths[u"4"_qs][u"width"_qs].toDouble(), 30);
    EXPECT_GT(widths[u"5"_qs][u"width"_qs].toDouble(), 20); // the whole time shows
}

// The longest cell a worksheet holds, counted in UTF-16 units as the spreadsheet does,
// with characters outside the BMP taking two.
TEST(XlsxWriter, LongestCellsAreKeptWhole) {
    const QString emoji = u"😀"_qs;
    GridData g = grid({u"Text"_qs}, {{QString(kXlsxMaxCellLength, u'y')},
                                     {emoji.repeated(kXlsxMaxCellLength / 2) + u"z"_qs},
                                     {QString(kXlsxMaxCellLength, u'\u00e9')}});
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xlsx"_qs);
    ASSERT_TRUE(SaveToXLSX(g, path).ok());
    exporttest::expectSameRows(exporttest::rowsOf(readXlsx(path).value(u"rows"_qs)),
                               expectedSheet(g));
}

TEST(XlsxWriter, HundredThousandRowsReadBack) {
    GridData g = grid({u"Name"_qs, u"Town"_qs, u"Note"_qs}, {});
    for (int r = 0; r < 100000; ++r)
        g.rows.push_back({u"Name %1 ü"_qs.arg(r), r % 7 ? u"Town %1"_qs.arg(r % 13) : QString(),
                          u"東 %1 😀"_qs.arg(r)});
    QTemporaryDir dir;
    const QString path = dir.filePath(u"big.xlsx"_qs);
    ASSERT_TRUE(SaveToXLSX(g, path).ok());
    const QJsonObject read = readXlsx(path);
    EXPECT_EQ(read.value(u"max_row"_qs).toInt(), 100001);
    exporttest::expectSameRows(exporttest::rowsOf(read.value(u"rows"_qs)), expectedSheet(g));
}

// Refusals that come before anything is written: the old file stays, nothing is added.
TEST(XlsxWriter, RefusesWhatAWorksheetCannotHold) {
    const struct {
        const char* name;
        int rows;
        int widestRow;
        bool sourceColumns;
        ExportError error;
    } cases[] = {
        {"OneRowTooManyWithTheHeader", kXlsxMaxRows, 1, false, ExportError::TooManyRows},
        {"FarTooManyRows", 2000000000, 1, false, ExportError::TooManyRows},
        {"RowTooWide", 10, kXlsxMaxColumns + 1, false, ExportError::TooManyColumns},
        {"TooWideWithTheSourceColumns", 10, kXlsxMaxColumns - 1, true, ExportError::TooManyColumns},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.xlsx"_qs);
        writeFile(path, "previous");
        GeneratedGrid g;
        g.rows = c.rows;
        g.widestRow = c.widestRow;
        g.cellsForbidden = true;
        const ExportStatus status = SaveToXLSX(g, path, c.sourceColumns);
        EXPECT_EQ(status.code, c.error);
        EXPECT_FALSE(status.message.isEmpty());
        EXPECT_EQ(readFile(path), "previous");
        EXPECT_EQ(entries(dir), QStringList{u"out.xlsx"_qs});
    }
}

// The fullest worksheet: every row up to the last one the format has, and the widest
// row (the reader only looks at the part's text, as loading a million rows takes long).
TEST(XlsxWriter, WritesTheLastRowAndColumnAWorksheetHas) {
    GeneratedGrid g;
    g.rows = kXlsxMaxRows - 1;
    g.widestRow = kXlsxMaxColumns;
    g.wideRowAt = 7;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"full.xlsx"_qs);
    const ExportStatus status = SaveToXLSX(g, path);
    ASSERT_TRUE(status.ok()) << status.message.toStdString();
    QProcess p;
    p.start(u"/usr/bin/python3"_qs,
            {u"-c"_qs,
             u"import sys, zipfile\n"
             "x = zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml').decode()\n"
             "last = x[x.rfind('<c r=\"') + 6:].split('\"')[0]\n"
             "print(x.count('<row '), last, '<c r=\"XFD9\"' in x)"_qs,
             path});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), "1048576 A1048576 True");
}

TEST(XlsxWriter, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    GridData compressible = grid({u"A"_qs}, {});
    for (int r = 0; r < 20000; ++r)
        compressible.rows.push_back({u"same text in every row"_qs});
    GridData tooLong = grid({u"A"_qs}, {{u"a"_qs}, {QString(kXlsxMaxCellLength + 1, u'y')}});
    BrokenGrid broken;
    const struct {
        const char* name;
        const IGridSource& grid;
        rlim_t fileSizeLimit; // 0: none
        ExportError error;
    } cases[] = {
        {"CellTooLong", tooLong, 0, ExportError::CellTooLong},
        {"GridFailsToRead", broken, 0, ExportError::SourceFailed},
        // The workbook itself cannot grow past 4 KB.
        {"DiscFullForTheWorkbook", compressible, 4096, ExportError::WriteFailed},
        // The workbook is small enough, but the library's own temporary copy of the
        // worksheet is cut short, and it still reports success.
        {"DiscFullForTheWorksheetData", compressible, 64 * 1024, ExportError::WriteFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.xlsx"_qs);
        writeFile(path, "previous");
        ExportStatus status;
        if (c.fileSizeLimit > 0) {
            FileSizeLimit limit(c.fileSizeLimit);
            status = SaveToXLSX(c.grid, path);
        } else {
            status = SaveToXLSX(c.grid, path);
        }
        EXPECT_EQ(status.code, c.error) << status.message.toStdString();
        EXPECT_FALSE(status.message.isEmpty());
        EXPECT_EQ(readFile(path), "previous");
        EXPECT_EQ(entries(dir), QStringList{u"out.xlsx"_qs});
    }
    // Without the limit the same grid is written.
    QTemporaryDir dir;
    ASSERT_TRUE(SaveToXLSX(compressible, dir.filePath(u"out.xlsx"_qs)).ok());
    EXPECT_EQ(readXlsx(dir.filePath(u"out.xlsx"_qs)).value(u"max_row"_qs).toInt(), 20001);
}

TEST(XlsxWriter, UnwritablePlacesAreAnErrorAndCreateNothing) {
    QTemporaryDir dir;
    writeFile(dir.filePath(u"file"_qs), "x");
    const GridData g = grid({u"A"_qs}, {{u"a"_qs}});
    for (const QString& name : {u"missing/out.xlsx"_qs, u"file/out.xlsx"_qs}) {
        SCOPED_TRACE(name.toStdString());
        const ExportStatus status = SaveToXLSX(g, dir.filePath(name));
        EXPECT_EQ(status.code, ExportError::OpenFailed);
        EXPECT_FALSE(status.message.isEmpty());
        EXPECT_EQ(entries(dir), QStringList{u"file"_qs});
    }
}

TEST(XlsxWriter, ReplacesAFileWholeAndKeepsItsPermissions) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xlsx"_qs);
    writeFile(path, QByteArray(200000, 'x'));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(SaveToXLSX(grid({u"A"_qs}, {{u"new"_qs}}), path).ok());
    EXPECT_TRUE(readFile(path).startsWith("PK"));
    EXPECT_LT(QFileInfo(path).size(), 200000);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    exporttest::expectSameRows(exporttest::rowsOf(readXlsx(path).value(u"rows"_qs)),
                               {{u"A"_qs}, {u"new"_qs}});

    // A new file gets what the file mode mask allows, not a temporary file's 0600.
    const QString fresh = dir.filePath(u"fresh.xlsx"_qs);
    const mode_t old = ::umask(022);
    const ExportStatus status = SaveToXLSX(grid({u"A"_qs}, {{u"new"_qs}}), fresh);
    ::umask(old);
    ASSERT_TRUE(status.ok());
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The read-back that stands between a finished workbook and the rename: every kind of
// damage a failed or lost write leaves must be found, and a whole file must pass.
TEST(XlsxDamage, FindsWhatAFailedWriteLeaves) {
    GridData g = grid({u"A"_qs, u"B"_qs}, {});
    for (int r = 0; r < 3000; ++r)
        g.rows.push_back({QString::number(r * 7919), QString::number(r * 104729)});
    const qint64 cells = 2 + 2 * 3000;
    QTemporaryDir dir;
    const QString good = dir.filePath(u"good.xlsx"_qs);
    ASSERT_TRUE(SaveToXLSX(g, good).ok());
    const QByteArray bytes = readFile(good);
    const QByteArray part("xl/worksheets/sheet1.xml");
    const qsizetype sheetData = bytes.indexOf(part) + part.size();
    ASSERT_GT(bytes.size(), sheetData + 4000) << "the worksheet part is too small to damage";

    const struct {
        const char* name;
        std::function<QByteArray(QByteArray)> damage;
        qint64 cells;
        const char16_t* found; // part of the finding; empty: the file is whole
    } cases[] = {
        {"Whole", [](QByteArray b) { return b; }, cells, u""},
        {"ACellMissing", [](QByteArray b) { return b; }, cells + 1, u"cells"},
        {"Empty", [](QByteArray) { return QByteArray(); }, cells, u"too short"},
        {"CutShort", [](QByteArray b) { return b.left(b.size() - 100); }, cells, u"end record"},
        {"PieceMissingInTheMiddle", [&](QByteArray b) { return b.remove(sheetData + 1000, 512); },
         cells, u"directory"},
        {"ByteChangedInTheWorksheet",
         [&](QByteArray b) {
             b[sheetData + 2000] = char(b[sheetData + 2000] ^ 0x5A);
             return b;
         },
         cells, u"sheet1.xml"},
        {"NoWorksheet",
         [&](QByteArray b) { return b.replace(part, QByteArray("xl/worksheets/sheet9.xml")); },
         cells, u"worksheet is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        writeFile(path, c.damage(bytes));
        const QString found = detail::XlsxDamage(path, c.cells);
        const QString expected = QString::fromUtf16(c.found);
        if (expected.isEmpty())
            EXPECT_EQ(found, QString());
        else
            EXPECT_TRUE(found.contains(expected)) << found.toStdString();
    }
    EXPECT_FALSE(detail::XlsxDamage(dir.filePath(u"missing"_qs), 0).isEmpty());
}
