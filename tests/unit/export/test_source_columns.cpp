// The grid model as the writers see it, and the "Source" and "Captured" columns of the
// delimited text.
#include "ExportTestSupport.h"

#include "capture/GridModel.h"
#include "export/CsvWriter.h"
#include "export/GridModelSource.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace exporter;
using exporttest::grid;

namespace {

const QDateTime kMorning(QDate(2026, 3, 1), QTime(9, 0, 5), Qt::UTC);

QByteArray csvBytes(const IGridSource& g, bool sourceColumns) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const ExportStatus status = MySaveToCSV(g, CsvSeparator::Comma, &buffer, sourceColumns);
    EXPECT_TRUE(status.ok()) << status.message.toStdString();
    return buffer.data();
}

} // namespace

TEST(GridModelSource, ShowsRowsInTheirOrderWithWidthsAndOrigins) {
    capture::TGridModel model;
    model.appendColumns(1);
    model.setColumnCaption(0, u"Name"_qs);
    model.setColumnCaption(1, u"Town"_qs);
    model.setColumnWidth(1, 140);
    const auto page = model.addOrigin(u"https://x.example/p1"_qs, kMorning);
    model.addRow({u"b"_qs, u"Bern"_qs}, page);
    model.addRow({u"a"_qs});
    model.addRow({u"c"_qs, u"Chur"_qs, u"extra"_qs}, page);

    const GridModelSource source(model);
    EXPECT_EQ(source.columnCount(), 2);
    EXPECT_EQ(source.columnCaption(1), u"Town"_qs);
    EXPECT_EQ(source.columnWidth(0), capture::TGridModel::kInitialColumnWidth);
    EXPECT_EQ(source.columnWidth(1), 140);
    ASSERT_EQ(source.rowCount(), 3);
    EXPECT_EQ(source.cellCount(0), 1);
    EXPECT_EQ(source.cell(1, 1), u"Bern"_qs);
    EXPECT_EQ(source.cellCount(2), 3); // a row wider than the grid
    EXPECT_EQ(source.cell(2, 2), u"extra"_qs);
    EXPECT_EQ(source.rowSource(0), u""_qs);
    EXPECT_FALSE(source.rowCaptured(0).isValid());
    EXPECT_EQ(source.rowSource(1), u"https://x.example/p1"_qs);
    EXPECT_EQ(source.rowCaptured(2), kMorning);
    EXPECT_EQ(sourcecolumns::capturedText(source.rowCaptured(2)), u"2026-03-01T09:00:05Z"_qs);
}

TEST(CsvSourceColumns, FollowTheWidestRowAndStayOffUnlessAsked) {
    GridData g = grid({u"Name"_qs, u"Town"_qs},
                      {{u"a"_qs}, {u"b"_qs, u"Bern"_qs, u"wide"_qs}, {}, {u"d\r\n"_qs}});
    g.origins = {{u"https://x.example/?a=\"1\"\r\n"_qs, kMorning}, {}, {u"p3"_qs, {}}};
    EXPECT_EQ(csvBytes(g, false), "\xEF\xBB\xBF\"Name\",\"Town\"\r\n\"a\"\r\n"
                                  "\"b\",\"Bern\",\"wide\"\r\n\"\"\r\n\"d\"\r\n");
    EXPECT_EQ(csvBytes(g, true),
              "\xEF\xBB\xBF\"Name\",\"Town\",\"\",\"Source\",\"Captured\"\r\n"
              "\"a\",\"\",\"\",\"https://x.example/?a=\"\"1\"\"\",\"2026-03-01T09:00:05Z\"\r\n"
              "\"b\",\"Bern\",\"wide\",\"\",\"\"\r\n"
              "\"\",\"\",\"\",\"p3\",\"\"\r\n"
              "\"d\",\"\",\"\",\"\",\"\"\r\n");
    // A grid without columns still has its caption field.
    EXPECT_EQ(csvBytes(grid({}, {{u"x"_qs}}), true),
              "\xEF\xBB\xBF\"\",\"Source\",\"Captured\"\r\n\"x\",\"\",\"\"\r\n");
}

TEST(CsvSourceColumns, PythonReadsThemBack) {
    GridData g = grid({u"Name"_qs, u"Source"_qs}, {{u"a"_qs, u"b"_qs}, {u"ü 😀"_qs}});
    g.origins = {{u"https://ü.example/😀;x,y"_qs, kMorning}};
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.csv"_qs);
    ASSERT_TRUE(MySaveToCSV(g, CsvSeparator::Semicolon, path, true).ok());
    const QJsonObject read = exporttest::runReader(u"read_csv.py"_qs, {path, u"semicolon"_qs});
    exporttest::expectSameRows(
        exporttest::rowsOf(read.value(u"rows"_qs)),
        {{u"Name"_qs, u"Source"_qs, u"Source"_qs, u"Captured"_qs},
         {u"a"_qs, u"b"_qs, u"https://ü.example/😀;x,y"_qs, u"2026-03-01T09:00:05Z"_qs},
         {u"ü 😀"_qs, u""_qs, u""_qs, u""_qs}});
}
