#include "ExportTestSupport.h"

#include "export/SaveCommand.h"
#include "export/XlsWriter.h"
#include "platform/Failure.h"
#include "tests/support/RecordingDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
