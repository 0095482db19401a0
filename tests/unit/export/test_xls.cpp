#include "ExportTestSupport.h"

#include "export/XlsWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

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

// What a reader should find: the grid's cells as cell texts, padded to a rectangle and
// cut after the last row and column that hold anything (no header row).
std::vector<QStringList> expectedSheet(const GridData& g) {
    std::vector<QStringList> rows;
    int width = 0, height = 0;
    for (size_t r = 0; r < g.rows.size(); ++r) {
        QStringList cells;
        for (const QString& v : g.rows[r]) {
            QString text = StripMarkup(v);
            for (qsizetype i = 0; i < text.size(); ++i) {
                const bool paired = (text[i].isHighSurrogate() && i + 1 < text.size() &&
                                     text[i + 1].isLowSurrogate());
                if (paired)
                    ++i;
                else if (text[i].isSurrogate())
                    text[i] = QChar::ReplacementCharacter;
            }
            cells.append(text);
            if (!text.isEmpty()) {
                width = std::max(width, int(cells.size()));
                height = int(r) + 1;
            }
        }
        rows.push_back(cells);
    }
    rows.resize(size_t(height));
    for (QStringList& row : rows) {
        while (row.size() < width)
            row.append(QString());
        while (row.size() > width)
            row.removeLast();
    }
    return rows;
}

// Writes the grid to a file and checks with xlrd that the workbook holds exactly it.
void expectXlrdReadsBack(const GridData& g) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xls"_qs);
    const ExportStatus status = SaveToXLS(g, path);
    ASSERT_TRUE(status.ok()) << status.message.toStdString();
    const QJsonObject read = exporttest::runReader(u"read_xls.py"_qs, {path});
    ASSERT_FALSE(read.isEmpty());
    EXPECT_EQ(read.value(u"biff"_qs).toInt(), 80);
    EXPECT_EQ(read.value(u"sheets"_qs).toArray().size(), 1);
    EXPECT_EQ(read.value(u"log"_qs).toString(), QString());
    QStringList problems;
    for (const QJsonValue& p : read.value(u"problems"_qs).toArray())
        problems.append(p.toString());
    EXPECT_EQ(problems, QStringList());
    for (const QJsonValue& type : read.value(u"types"_qs).toArray())
        EXPECT_TRUE(type.toInt() == 0 || type.toInt() == 1) << "cell type " << type.toInt();
    exporttest::expectSameRows(exporttest::rowsOf(read.value(u"rows"_qs)), expectedSheet(g));
}

} // namespace

TEST(StripMarkup, RemovesTagsAndBreaksLinesAtBrAndHr) {
    const struct {
        QString in, out;
    } cases[] = {
        {u"plain text"_qs, u"plain text"_qs},
        {u"<b>bold</b> and <i class=\"x\">italic</i>"_qs, u"bold and italic"_qs},
        {u"one<br>two<BR/>three<br />four</br>five"_qs, u"one\ntwo\nthree\nfour\nfive"_qs},
        {u"above<hr>below<HR noshade>end"_qs, u"above\nbelow\nend"_qs},
        {u"<a href=\"/x?a>b\" title='c>d'>link</a>"_qs, u"link"_qs},
        {u"<!-- note > still note -->kept<!DOCTYPE html>"_qs, u"kept"_qs},
        {u"<p>one</p><p>two</p>"_qs, u"onetwo"_qs},
        // Text that only looks like markup stays.
        {u"a < b > c"_qs, u"a < b > c"_qs},
        {u"5<6 and 7>6"_qs, u"5<6 and 7>6"_qs},
        {u"<john@example.com>"_qs, u"<john@example.com>"_qs},
        {u"<http://example.com/>"_qs, u"<http://example.com/>"_qs},
        {u"unclosed <b and more"_qs, u"unclosed <b and more"_qs},
        {u"<b <i>x"_qs, u"<b x"_qs},
        {u"<!-- never closed"_qs, u"<!-- never closed"_qs},
        {u"<"_qs, u"<"_qs},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripMarkup(c.in), c.out) << c.in.toStdString();
}

// Each unclosed "<!--" or "<!x" used to search the rest of the text for its end, so a
// cell of a quarter million of them took minutes; now one pass finds that none closes.
TEST(StripMarkup, ManyUnclosedCommentsAndDeclarationsTakeOnePass) {
    for (const QString& piece : {u"<!--"_qs, u"<!x "_qs, u"<?x "_qs}) {
        QString text;
        for (int i = 0; i < 250000; ++i)
            text += piece;
        EXPECT_EQ(StripMarkup(text), text) << piece.toStdString();
        // One close at the very end ends the first of them, and with it everything.
        const QString closed = text + (piece == u"<!--"_qs ? u"-->tail"_qs : u">tail"_qs);
        EXPECT_EQ(StripMarkup(closed), u"tail"_qs) << piece.toStdString();
    }
}

// Grids are made when their case runs, not when the cases are listed: every test
// process lists them all.
struct XlsCase {
    const char* name;
    GridData (*make)();
};

void PrintTo(const XlsCase& c, std::ostream* os) {
    *os << c.name;
}

class XlsRoundTrip : public ::testing::TestWithParam<XlsCase> {};

TEST_P(XlsRoundTrip, XlrdReadsBackEveryCell) {
    expectXlrdReadsBack(GetParam().make());
}

namespace {

GridData widestRow() {
    QStringList cells;
    for (int i = 0; i < kXlsMaxColumns; ++i)
        cells.append(u"c%1"_qs.arg(i));
    return grid({u"A"_qs}, {{u"first"_qs}, cells});
}

// A full worksheet of rows: distinct names (some outside Latin-1), a few repeated towns,
// empty cells, markup.
GridData fullSheet() {
    GridData g = grid({u"Name"_qs, u"Town"_qs, u"Note"_qs}, {});
    const QString towns[] = {u"Zürich"_qs, u"東京"_qs, u"Springfield"_qs, u"Łódź"_qs};
    for (int r = 0; r < kXlsMaxRows; ++r) {
        QStringList row{r % 3 ? u"Name %1"_qs.arg(r) : u"Имя %1 😀"_qs.arg(r),
                        r % 5 ? towns[r % 4] : QString()};
        if (r % 2)
            row.append(u"<b>note</b> %1<br>more"_qs.arg(r));
        g.rows.push_back(row);
    }
    return g;
}

// A shared-string table of about 20 MB: strings of every length up to the cell limit,
// narrow and wide, so records break inside headers, narrow and wide characters at every
// offset, and the compound file needs several allocation-table extension sectors.
GridData longStrings() {
    GridData g = grid({u"Long"_qs, u"Short"_qs}, {});
    for (int r = 0; r < 420; ++r) {
        const int length = kXlsMaxCellLength - (r % 37) * (r % 3 ? 1 : 800);
        const QChar fill = r % 2 ? QChar(0x0416) : QChar(0x00E9); // Ж or é
        QString longText = u"%1:"_qs.arg(r) + QString(length, fill);
        longText.truncate(length);
        QString shortText = QString(1 + r % 29, r % 4 ? QChar(u'x') : QChar(0x4E2D));
        g.rows.push_back({longText, shortText});
    }
    return g;
}

} // namespace

namespace {

GridData noRows() {
    return grid({u"A"_qs}, {});
}

GridData mixed() {
    return grid({u"Name"_qs, u"Town"_qs, u"Phone"_qs},
                {{u"Zürich"_qs, u"東京"_qs, u"😀 astral"_qs},
                 {u""_qs, u""_qs, u"empty before"_qs},
                 {u"only caption"_qs},
                 {},
                 {u"<b>Smith</b>, John"_qs, u"line<br>break"_qs, u"a<hr>b"_qs},
                 {u"lone "_qs + QChar(0xDC00), u"12\" screen"_qs, u"Zürich"_qs},
                 {u"beyond"_qs, u"the"_qs, u"columns"_qs, u"of the grid"_qs},
                 {u"<b></b>"_qs, u"\t spaced \t"_qs}});
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Xls, XlsRoundTrip,
                         ::testing::Values(XlsCase{"NoRows", noRows}, XlsCase{"Mixed", mixed},
                                           XlsCase{"WidestRow", widestRow},
                                           XlsCase{"FullSheet", fullSheet},
                                           XlsCase{"LongSharedStrings", longStrings}),
                         [](const auto& info) { return std::string(info.param.name); });

struct XlsFailureCase {
    const char* name;
    GridData (*make)();
    ExportError code;
};

void PrintTo(const XlsFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class XlsFailure : public ::testing::TestWithParam<XlsFailureCase> {};

// A grid that does not fit fails before anything is written: an earlier file of the
// same name stays as it was, and no temporary file is left beside it.
TEST_P(XlsFailure, LeavesTheTargetAsItWas) {
    const XlsFailureCase& c = GetParam();
    const GridData g = c.make();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xls"_qs);
    writeFile(path, "previous content");
    const ExportStatus status = SaveToXLS(g, path);
    EXPECT_EQ(status.code, c.code);
    EXPECT_FALSE(status.message.isEmpty());
    EXPECT_EQ(readFile(path), "previous content");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"out.xls"_qs});

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(SaveToXLS(g, &buffer).code, c.code);
    EXPECT_TRUE(buffer.data().isEmpty());
}

namespace {

GridData tooManyRows() {
    return grid({u"A"_qs}, std::vector<QStringList>(kXlsMaxRows + 1, QStringList{u"x"_qs}));
}

GridData tooWide() {
    GridData g = widestRow();
    g.rows[1].append(u"one more"_qs);
    return g;
}

GridData cellTooLong() {
    return grid({u"A"_qs}, {{u"ok"_qs}, {u"ok"_qs, QString(kXlsMaxCellLength + 1, u'y')}});
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Xls, XlsFailure,
    ::testing::Values(XlsFailureCase{"TooManyRows", tooManyRows, ExportError::TooManyRows},
                      XlsFailureCase{"TooManyColumns", tooWide, ExportError::TooManyColumns},
                      XlsFailureCase{"CellTooLong", cellTooLong, ExportError::CellTooLong}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XlsWriter, UnwritablePathIsAnErrorAndCreatesNothing) {
    const GridData g = grid({u"A"_qs}, {{u"a"_qs}});
    QTemporaryDir dir;
    writeFile(dir.filePath(u"plain"_qs), "not a folder");
    QDir(dir.path()).mkdir(u"folder.xls"_qs);
    for (const QString& path :
         {dir.filePath(u"plain/out.xls"_qs), dir.filePath(u"missing/out.xls"_qs),
          dir.filePath(u"folder.xls"_qs)}) {
        const ExportStatus status = SaveToXLS(g, path);
        EXPECT_EQ(status.code, ExportError::OpenFailed) << path.toStdString();
        EXPECT_FALSE(status.message.isEmpty());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{u"folder.xls"_qs, u"plain"_qs}));
}

TEST(XlsWriter, WriteFailureAnywhereIsReported) {
    GridData g = grid({u"A"_qs, u"B"_qs}, {});
    for (int r = 0; r < 20000; ++r)
        g.rows.push_back({u"name %1"_qs.arg(r), u"town"_qs});
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    ASSERT_TRUE(SaveToXLS(g, &whole).ok());
    const qint64 size = whole.data().size();
    for (qint64 limit : {qint64(0), qint64(511), qint64(100000), size - 1}) {
        exporttest::FailingDevice device(limit);
        const ExportStatus status = SaveToXLS(g, &device);
        EXPECT_EQ(status.code, ExportError::WriteFailed) << limit;
        EXPECT_EQ(status.message, u"No space left on device"_qs);
    }
    exporttest::FailingDevice roomy(size);
    EXPECT_TRUE(SaveToXLS(g, &roomy).ok());
    EXPECT_EQ(roomy.written, whole.data());
}

TEST(XlsWriter, ReplacesAnExistingFileEntirely) {
    const GridData g = grid({u"A"_qs}, {{u"a"_qs, u"b"_qs}});
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.xls"_qs);
    writeFile(path, QByteArray(100000, 'x'));
    ASSERT_TRUE(SaveToXLS(g, path).ok());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(SaveToXLS(g, &buffer).ok());
    EXPECT_EQ(readFile(path), buffer.data());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"out.xls"_qs});
}
