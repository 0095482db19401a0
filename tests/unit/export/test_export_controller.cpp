#include "ExportTestSupport.h"

#include "export/ExportController.h"
#include "export/XlsxWriter.h"
#include "platform/Failure.h"
#include "tests/support/RecordingDialogs.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace exporter;
using exporttest::grid;
using platform::RecordingDialogs;
using Kind = platform::RecordingDialogs::Kind;

namespace {

// A settings place of its own, so the user's and other tests' choices stay out.
const QString kSettingsApplication = QStringLiteral("TRXExportControllerTest");

QSettings testSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("OrvoPages"),
                     kSettingsApplication);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// More rows than a worksheet holds, without any cell behind them.
struct HugeGrid final : IGridSource {
    int columnCount() const override { return 1; }
    QString columnCaption(int) const override { return u"A"_qs; }
    int rowCount() const override { return kXlsxMaxRows; }
    int cellCount(int) const override { return 1; }
    QString cell(int, int) const override { throw std::logic_error("no cell may be read"); }
};

class ExportControllerTest : public ::testing::Test {
protected:
    ExportControllerTest() {
        rows.origins = {
            {u"https://x.example/p1"_qs, QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC)}};
        testSettings().clear();
    }
    ~ExportControllerTest() override { testSettings().clear(); }

    ExportController::GridAccess access() {
        return [this]() -> std::unique_ptr<IGridSource> {
            if (!hasGrid)
                return nullptr;
            return std::make_unique<GridData>(rows);
        };
    }
    std::unique_ptr<ExportController> newController() {
        return std::make_unique<ExportController>(access(), kSettingsApplication);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
    QList<platform::FileDialogRequest> saveDialogs() const {
        QList<platform::FileDialogRequest> out;
        for (const auto& e : recorder.entries)
            if (e.kind == Kind::SaveFile)
                out << e.request;
        return out;
    }

    RecordingDialogs recorder;
    platform::ScopedDialogs installed{&recorder};
    QTemporaryDir dir;
    GridData rows = grid({u"Name"_qs, u"Town"_qs}, {{u"a"_qs, u"b"_qs}});
    bool hasGrid = true;
};

const QByteArray kZip("PK\x03\x04");
const QByteArray kCfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

} // namespace

TEST_F(ExportControllerTest, EachCommandPreselectsItsTypeAndWritesThePickedOne) {
    using Command = void (ExportController::*)();
    const QString filter =
        u"Excel Workbook|*.xlsx|Excel 97-2003 Workbook|*.xls|Text CSV file|*.csv|JSON Lines|*.jsonl"_qs;
    const struct {
        const char* name;
        Command command;
        int preselected;
        const char16_t* suffix;
        int chosen;
        const char16_t* typed;
        const char16_t* written;
        QByteArray starts;
    } cases[] = {
        {"text", &ExportController::saveText, 3, u"csv", 3, u"t.xlsx", u"t.csv",
         "\xEF\xBB\xBF\"Name\",\"Town\"\r\n\"a\",\"b\"\r\n"},
        {"text switched to 97-2003", &ExportController::saveText, 3, u"csv", 2, u"t", u"t.xls",
         kCfb},
        {"excel", &ExportController::saveExcel, 1, u"xlsx", 1, u"e.xls", u"e.xlsx", kZip},
        {"excel as 97-2003", &ExportController::saveExcel, 1, u"xlsx", 2, u"e.xlsx", u"e.xls",
         kCfb},
        {"excel switched to json lines", &ExportController::saveExcel, 1, u"xlsx", 4, u"e.xlsx",
         u"e.jsonl", "{\"Name\":\"a\",\"Town\":\"b\"}\n"},
        {"json lines", &ExportController::saveJsonLines, 4, u"jsonl", 4, u"j.csv", u"j.jsonl",
         "{\"Name\":\"a\",\"Town\":\"b\"}\n"},
        {"json lines switched to workbook", &ExportController::saveJsonLines, 4, u"jsonl", 1,
         u"j.jsonl", u"j.xlsx", kZip},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir out;
        recorder.clear();
        auto controller = newController();
        recorder.setNextFileName(out.filePath(QString::fromUtf16(c.typed)), c.chosen);
        ((*controller).*c.command)();
        const auto requests = saveDialogs();
        ASSERT_EQ(requests.size(), 1);
        EXPECT_EQ(requests[0].filter, filter);
        EXPECT_EQ(requests[0].filterIndex, c.preselected);
        EXPECT_EQ(requests[0].defaultSuffix, QString::fromUtf16(c.suffix));
        EXPECT_TRUE(requests[0].confirmOverwrite);
        EXPECT_EQ(requests[0].checkBoxText, u"Include source columns"_qs);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files),
                  QStringList{QString::fromUtf16(c.written)});
        const QByteArray bytes = readFile(out.filePath(QString::fromUtf16(c.written)));
        EXPECT_TRUE(bytes.startsWith(c.starts)) << bytes.left(40).toStdString();
        // The next dialog offers the name chosen here.
        EXPECT_EQ(controller->saveRequest().fileName, out.filePath(QString::fromUtf16(c.typed)));
        EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
        EXPECT_TRUE(recorder.texts(Kind::Error).isEmpty());
    }
}

TEST_F(ExportControllerTest, NoGridOrNoRowsOpensNoDialog) {
    auto controller = newController();
    hasGrid = false;
    controller->saveText();
    controller->saveExcel();
    hasGrid = true;
    rows.rows.clear();
    controller->saveJsonLines();
    EXPECT_TRUE(recorder.entries.isEmpty());
}

TEST_F(ExportControllerTest, TextUsesTheSeparatorSet) {
    auto controller = newController();
    const struct {
        CsvSeparator separator;
        QByteArray line;
    } cases[] = {{CsvSeparator::Semicolon, "\"a\";\"b\"\r\n"},
                 {CsvSeparator::Tab, "\"a\"\t\"b\"\r\n"},
                 {CsvSeparator::Comma, "\"a\",\"b\"\r\n"}};
    for (const auto& c : cases) {
        controller->setSeparator(c.separator);
        recorder.setNextFileName(path(u"s.csv"_qs), ExportController::kTextFilter);
        controller->saveText();
        EXPECT_TRUE(readFile(path(u"s.csv"_qs)).endsWith(c.line)) << int(c.separator);
    }
}

TEST_F(ExportControllerTest, SourceColumnsAreOffUntilChosenAndRememberedAcrossRuns) {
    auto first = newController();
    EXPECT_FALSE(first->sourceColumns());

    // A cancelled dialog changes nothing, even with the box ticked.
    recorder.setNextCancel(true);
    first->saveText();
    EXPECT_FALSE(first->sourceColumns());
    recorder.setNextFileName(path(u"plain.csv"_qs), ExportController::kTextFilter);
    first->saveText();
    EXPECT_FALSE(readFile(path(u"plain.csv"_qs)).contains("Source"));

    recorder.setNextFileName(path(u"with.jsonl"_qs), ExportController::kJsonLinesFilter, true);
    first->saveJsonLines();
    EXPECT_TRUE(first->sourceColumns());
    const QJsonObject jsonl = exporttest::runReader(u"read_jsonl.py"_qs, {path(u"with.jsonl"_qs)});
    EXPECT_EQ(jsonl.value(u"keys"_qs).toVariant().toStringList(),
              (QStringList{u"Name"_qs, u"Town"_qs, u"Source"_qs, u"Captured"_qs}));
    exporttest::expectSameRows(
        exporttest::rowsOf(jsonl.value(u"rows"_qs)),
        {{u"a"_qs, u"b"_qs, u"https://x.example/p1"_qs, u"2026-03-01T09:00:00Z"_qs}});

    // The next run opens its dialogs ticked and writes the columns without being asked.
    auto second = newController();
    EXPECT_TRUE(second->sourceColumns());
    recorder.clear();
    recorder.setNextFileName(path(u"again.csv"_qs), ExportController::kTextFilter);
    second->saveText();
    ASSERT_EQ(saveDialogs().size(), 1);
    EXPECT_TRUE(saveDialogs()[0].checkBoxChecked);
    EXPECT_TRUE(readFile(path(u"again.csv"_qs)).contains("\"https://x.example/p1\""));

    recorder.setNextFileName(path(u"off.csv"_qs), ExportController::kTextFilter, false);
    second->saveText();
    EXPECT_FALSE(newController()->sourceColumns());
    EXPECT_FALSE(readFile(path(u"off.csv"_qs)).contains("Source"));
}

TEST_F(ExportControllerTest, ForeignStoredOptionReadsAsOff) {
    for (const QVariant& stored :
         {QVariant(u"yes please"_qs), QVariant(7), QVariant(QByteArray("\xff")),
          QVariant(QStringList{u"true"_qs, u"x"_qs})}) {
        testSettings().setValue(u"Export/SourceColumns"_qs, stored);
        EXPECT_FALSE(newController()->sourceColumns()) << stored.typeName();
    }
    testSettings().setValue(u"Export/SourceColumns"_qs, true);
    EXPECT_TRUE(newController()->sourceColumns());
}

TEST_F(ExportControllerTest, OptionChosenInAFailedSaveIsStillRemembered) {
    auto controller = newController();
    recorder.setNextFileName(path(u"missing/out.csv"_qs), ExportController::kTextFilter, true);
    EXPECT_THROW(controller->saveText(), platform::Failure);
    EXPECT_TRUE(newController()->sourceColumns());
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(ExportControllerTest, WorkbookBeyondItsRowLimitFailsClearlyWithNothingWritten) {
    ExportController controller(
        []() -> std::unique_ptr<IGridSource> { return std::make_unique<HugeGrid>(); },
        kSettingsApplication);
    recorder.setNextFileName(path(u"big.xlsx"_qs), ExportController::kXlsxFilter);
    try {
        controller.saveExcel();
        ADD_FAILURE() << "no failure";
    } catch (const platform::Failure& f) {
        EXPECT_TRUE(f.message().startsWith(u"Cannot save \""_qs)) << f.what();
        EXPECT_TRUE(f.message().contains(u"1048576 rows"_qs)) << f.what();
        EXPECT_TRUE(f.message().contains(u"Nothing was written"_qs)) << f.what();
    }
    EXPECT_TRUE(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(recorder.texts(Kind::Message).isEmpty());
}
