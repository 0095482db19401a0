#include "ExportTestSupport.h"

#include "export/SaveCommand.h"
#include "export/XlsWriter.h"
#include "export/XlsxWriter.h"
#include "platform/Failure.h"
#include "tests/support/RecordingDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

using namespace exporter;
using exporttest::grid;
using platform::RecordingDialogs;
using Kind = platform::RecordingDialogs::Kind;

namespace {

const QString kFallback = QStringLiteral("Problem saving to Excel!\nSaved to CSV instead...");
const QByteArray kCfbSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

// The save dialog as the window sets it up.
platform::FileDialogRequest windowDialog() {
    platform::FileDialogRequest sd;
    sd.defaultSuffix = QStringLiteral("csv");
    sd.fileName = QStringLiteral("DataSet - ");
    sd.filter = QStringLiteral("Text CSV file|*.csv|Excel XLS file|*.xls*");
    sd.confirmOverwrite = true;
    return sd;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
}

class SaveCommand : public ::testing::Test {
protected:
    RecordingDialogs recorder;
    platform::ScopedDialogs installed{&recorder};
    QTemporaryDir dir;
    platform::FileDialogRequest sd = windowDialog();
    GridData rows = grid({u"Name"_qs, u"Town"_qs}, {{u"a"_qs, u"b"_qs}});

    QString path(const QString& name) const { return dir.filePath(name); }
    void save(const IGridSource& g, int preselected, CsvSeparator separator = CsvSeparator::Comma) {
        runSaveCommand(g, sd, preselected, separator, kFallback);
    }
};

} // namespace

TEST_F(SaveCommand, EmptyGridOpensNoDialog) {
    const GridData empty = grid({u"Name"_qs}, {});
    recorder.setNextFileName(path(u"out.csv"_qs), kCsvFilter);
    save(empty, kCsvFilter);
    save(empty, kXlsFilter);
    EXPECT_TRUE(recorder.entries.isEmpty());
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

TEST_F(SaveCommand, CancelledDialogWritesNothing) {
    recorder.setNextCancel();
    save(rows, kXlsFilter);
    ASSERT_EQ(recorder.entries.size(), 1);
    EXPECT_EQ(recorder.entries[0].kind, Kind::SaveFile);
    EXPECT_TRUE(filesIn(dir).isEmpty());
    EXPECT_EQ(sd.fileName, u"DataSet - "_qs);
}

TEST_F(SaveCommand, DialogStartsWithTheCommandsTypeAndTheLastName) {
    recorder.setNextFileName(path(u"first.csv"_qs), kCsvFilter);
    save(rows, kCsvFilter);
    recorder.setNextFileName(path(u"second.xls"_qs), kXlsFilter);
    save(rows, kXlsFilter);

    ASSERT_EQ(recorder.entries.size(), 2);
    const platform::FileDialogRequest& first = recorder.entries[0].request;
    EXPECT_EQ(first.fileName, u"DataSet - "_qs);
    EXPECT_EQ(first.filterIndex, kCsvFilter);
    EXPECT_EQ(first.filter, u"Text CSV file|*.csv|Excel XLS file|*.xls*"_qs);
    EXPECT_TRUE(first.confirmOverwrite);
    const platform::FileDialogRequest& second = recorder.entries[1].request;
    EXPECT_EQ(second.fileName, path(u"first.csv"_qs));
    EXPECT_EQ(second.filterIndex, kXlsFilter);
}

struct ChosenName {
    const char* name;
    int preselected;
    int chosenFilter;
    const char16_t* typed;
    const char16_t* written;
};

void PrintTo(const ChosenName& c, std::ostream* os) {
    *os << c.name;
}

class SaveCommandNames : public SaveCommand, public ::testing::WithParamInterface<ChosenName> {};

// The type chosen in the dialog decides the format, and the extension follows it.
TEST_P(SaveCommandNames, WriteTheChosenTypeUnderItsExtension) {
    const ChosenName& c = GetParam();
    QDir(dir.path()).mkdir(u"dir.v2"_qs);
    recorder.setNextFileName(path(QString::fromUtf16(c.typed)), c.chosenFilter);
    save(rows, c.preselected);

    const QString written = path(QString::fromUtf16(c.written));
    QStringList expected{QString::fromUtf16(c.written).section(u'/', 0, 0), u"dir.v2"_qs};
    expected.removeDuplicates();
    expected.sort();
    EXPECT_EQ(filesIn(dir), expected);
    const QByteArray bytes = readFile(written);
    if (c.chosenFilter == kXlsFilter)
        EXPECT_TRUE(bytes.startsWith(kCfbSignature));
    else
        EXPECT_EQ(bytes, "\xEF\xBB\xBF\"Name\",\"Town\"\r\n\"a\",\"b\"\r\n");
    EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Save, SaveCommandNames,
    ::testing::Values(
        ChosenName{"TxtBecomesCsv", kCsvFilter, kCsvFilter, u"results.txt", u"results.csv"},
        ChosenName{"CsvBecomesXls", kXlsFilter, kXlsFilter, u"results.csv", u"results.xls"},
        ChosenName{"XlsxBecomesXls", kXlsFilter, kXlsFilter, u"results.xlsx", u"results.xls"},
        ChosenName{"NoExtensionGetsOne", kCsvFilter, kCsvFilter, u"results", u"results.csv"},
        ChosenName{"OnlyTheLastExtension", kCsvFilter, kCsvFilter, u"a.b.c", u"a.b.csv"},
        ChosenName{"DotInFolderIsNoExtension", kXlsFilter, kXlsFilter, u"dir.v2/results",
                   u"dir.v2/results.xls"},
        ChosenName{"SwitchedToExcelInDialog", kCsvFilter, kXlsFilter, u"r.csv", u"r.xls"},
        ChosenName{"SwitchedToTextInDialog", kXlsFilter, kCsvFilter, u"r.xls", u"r.csv"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveCommand, FailedWorkbookFallsBackToTextWithTheMenusSeparator) {
    GridData tooLong = rows;
    tooLong.rows.push_back({u"x"_qs, QString(kXlsMaxCellLength + 1, u'y')});
    QFile old(path(u"results.csv"_qs));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older and longer content than the new file will have, by far");
    old.close();

    recorder.setNextFileName(path(u"results.xlsx"_qs), kXlsFilter);
    save(tooLong, kXlsFilter, CsvSeparator::Semicolon);

    EXPECT_EQ(filesIn(dir), QStringList{u"results.csv"_qs});
    EXPECT_TRUE(readFile(path(u"results.csv"_qs))
                    .startsWith("\xEF\xBB\xBF\"Name\";\"Town\"\r\n\"a\";\"b\"\r\n\"x\";\"yyy"));
    EXPECT_EQ(recorder.texts(Kind::Message), QStringList{kFallback});
    EXPECT_TRUE(recorder.texts(Kind::Question).isEmpty());
}

TEST_F(SaveCommand, TextWriteFailureReachesTheCallerWithoutTheFallbackMessage) {
    for (int filter : {kCsvFilter, kXlsFilter}) {
        recorder.clear();
        recorder.setNextFileName(path(u"missing/results.csv"_qs), filter);
        try {
            save(rows, filter);
            ADD_FAILURE() << "no failure for filter " << filter;
        } catch (const platform::Failure& f) {
            EXPECT_TRUE(f.message().startsWith(u"Cannot create file \""_qs)) << f.what();
            EXPECT_TRUE(f.message().contains(path(u"missing/results.csv"_qs))) << f.what();
        }
        EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
    }
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

// The file types by name and by the dialog's filter, and the one save entry for every
// type, as the window and batch runs call it.
namespace {

const QString kNewFilter =
    QStringLiteral("Excel Workbook (*.xlsx)|*.xlsx|Excel 97-2003 Workbook (*.xls)|*.xls|"
                   "Text CSV file|*.csv|JSON Lines|*.jsonl");
const QByteArray kZipSignature("PK\x03\x04");

} // namespace

TEST(FileTypes, ByNameAndByFilter) {
    const struct {
        const char16_t* name;
        std::optional<FileType> type;
    } names[] = {
        {u"a.csv", FileType::Csv},      {u"A.XLSX", FileType::Xlsx},
        {u"b.xls", FileType::Xls},      {u"c.JsonL", FileType::JsonLines},
        {u"d.txt", std::nullopt},       {u"e.json", std::nullopt},
        {u"f.xlsx.bak", std::nullopt},  {u"dir.csv/name", std::nullopt},
        {u"noextension", std::nullopt}, {u"dir/.jsonl", FileType::JsonLines},
    };
    for (const auto& c : names)
        EXPECT_EQ(FileTypeOfName(QString::fromUtf16(c.name)), c.type)
            << QString::fromUtf16(c.name).toStdString();

    const QString oldFilter = u"Text CSV file|*.csv|Excel XLS file|*.xls*"_qs;
    const struct {
        QString filter;
        int index;
        std::optional<FileType> type;
    } filters[] = {
        {kNewFilter, 1, FileType::Xlsx},     {kNewFilter, 2, FileType::Xls},
        {kNewFilter, 3, FileType::Csv},      {kNewFilter, 4, FileType::JsonLines},
        {kNewFilter, 0, std::nullopt},       {kNewFilter, 5, std::nullopt},
        {oldFilter, 1, FileType::Csv},       {oldFilter, 2, FileType::Xls},
        {u"Text|*.txt"_qs, 1, std::nullopt}, {u"Lines|*.JSONL;*.ndjson"_qs, 1, FileType::JsonLines},
        {u""_qs, 1, std::nullopt},           {u"Broken|"_qs, 1, std::nullopt},
    };
    for (const auto& c : filters)
        EXPECT_EQ(FileTypeOfFilter(c.filter, c.index), c.type)
            << c.filter.toStdString() << " #" << c.index;
}

TEST(SaveGrid, WritesEachTypeUnderTheGivenNameWithTheSourceColumnsAsked) {
    GridData g = grid({u"Name"_qs}, {{u"a"_qs}});
    g.origins = {{u"https://x.example/p1"_qs, QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC)}};
    const struct {
        FileType type;
        bool sourceColumns;
        QByteArray starts; // the file's first bytes
        QByteArray holds;  // bytes the file holds uncompressed; empty: not checked
    } cases[] = {
        {FileType::Csv, false, "\xEF\xBB\xBF\"Name\"\r\n", {}},
        {FileType::Csv, true, "\xEF\xBB\xBF\"Name\",\"Source\",\"Captured\"\r\n",
         "\"https://x.example/p1\",\"2026-03-01T09:00:00Z\""},
        {FileType::JsonLines, false, "{\"Name\":\"a\"}\n", {}},
        {FileType::JsonLines, true, "{\"Name\":\"a\",\"Source\":\"https://x.example/p1\",", {}},
        {FileType::Xlsx, true, kZipSignature, {}},
        {FileType::Xls, true, kCfbSignature, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ExtensionOf(c.type).toStdString() + (c.sourceColumns ? " sources" : ""));
        QTemporaryDir dir;
        // The name is used as it is, whatever its extension.
        const QString name = dir.filePath(u"out.data"_qs);
        const SaveOptions options{CsvSeparator::Comma, c.sourceColumns};
        ASSERT_NO_THROW(SaveGridOrThrow(g, c.type, name, options));
        const QByteArray bytes = readFile(name);
        EXPECT_TRUE(bytes.startsWith(c.starts)) << bytes.left(80).toStdString();
        EXPECT_TRUE(bytes.contains(c.holds));
        EXPECT_EQ(filesIn(dir), QStringList{u"out.data"_qs});
    }
    // The source columns reach the workbook: its reader finds them.
    QTemporaryDir dir;
    ASSERT_TRUE(
        SaveGrid(g, FileType::Xlsx, dir.filePath(u"s.xlsx"_qs), {CsvSeparator::Tab, true}).ok());
    exporttest::expectSameRows(
        exporttest::rowsOf(exporttest::runReader(u"read_xlsx.py"_qs, {dir.filePath(u"s.xlsx"_qs)})
                               .value(u"rows"_qs)),
        {{u"Name"_qs, u"Source"_qs, u"Captured"_qs},
         {u"a"_qs, u"https://x.example/p1"_qs, u"2026-03-01T09:00:00Z"_qs}});
}

TEST_F(SaveCommand, NewTypesFollowTheChosenFilter) {
    sd.filter = kNewFilter;
    const struct {
        int chosenFilter;
        const char16_t* typed;
        const char16_t* written;
        QByteArray starts;
    } cases[] = {
        {1, u"r.csv", u"r.xlsx", kZipSignature},
        {2, u"r.xlsx", u"r.xls", kCfbSignature},
        {3, u"r", u"r.csv", "\xEF\xBB\xBF\"Name\",\"Town\",\"Source\",\"Captured\"\r\n"},
        {4, u"r.csv", u"r.jsonl",
         "{\"Name\":\"a\",\"Town\":\"b\",\"Source\":\"\",\"Captured\":\"\"}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosenFilter);
        QTemporaryDir out;
        recorder.setNextFileName(out.filePath(QString::fromUtf16(c.typed)), c.chosenFilter);
        runSaveCommand(rows, sd, 1, SaveOptions{CsvSeparator::Comma, true}, kFallback);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files),
                  QStringList{QString::fromUtf16(c.written)});
        EXPECT_TRUE(readFile(out.filePath(QString::fromUtf16(c.written))).startsWith(c.starts));
        EXPECT_EQ(sd.filterIndex, c.chosenFilter);
    }
    EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
}

namespace {
// More rows than a worksheet holds, without any cell behind them.
struct HugeGrid final : IGridSource {
    int columnCount() const override { return 1; }
    QString columnCaption(int) const override { return u"A"_qs; }
    int rowCount() const override { return kXlsxMaxRows; }
    int cellCount(int) const override { return 1; }
    QString cell(int, int) const override { throw std::logic_error("no cell may be read"); }
};
} // namespace

TEST_F(SaveCommand, WorkbookTooLargeFailsWithItsReasonAndWritesNothing) {
    sd.filter = kNewFilter;
    recorder.setNextFileName(path(u"big.xlsx"_qs), 1);
    try {
        runSaveCommand(HugeGrid{}, sd, 1, SaveOptions{}, kFallback);
        ADD_FAILURE() << "no failure";
    } catch (const platform::Failure& f) {
        EXPECT_TRUE(f.message().startsWith(u"Cannot save \""_qs)) << f.what();
        EXPECT_TRUE(f.message().contains(u"1048576 rows"_qs)) << f.what();
        EXPECT_TRUE(f.message().contains(u"Nothing was written"_qs)) << f.what();
    }
    // No delimited text instead, and no message: that fallback is the old format's.
    EXPECT_TRUE(filesIn(dir).isEmpty());
    EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
}
