#include "app/uTrawlMain.h"
#include "capture/GridModel.h"
#include "lingo/uLingo.h"
#include "platform/Ticks.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WindowElements.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using Kind = platform::RecordingDialogs::Kind;

namespace {

class SaveCommands : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        // The grid's model comes from CreateGrid; a window built before the grid's wiring
        // has none yet, and then gets the same model here.
        if (!ui(*window).lv()->model())
            ui(*window).lv()->setModel(new capture::TGridModel(ui(*window).lv()));
        model = qobject_cast<capture::TGridModel*>(ui(*window).lv()->model());
        ASSERT_NE(model, nullptr) << "the grid shows no grid model";
        dialogs.clear();
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }

    void fillGrid(const std::vector<QStringList>& rows) {
        if (model->columns() < 2)
            model->appendColumns(2 - model->columns());
        model->setColumnCaption(0, QStringLiteral("Name"));
        model->setColumnCaption(1, QStringLiteral("Town"));
        for (const QStringList& row : rows)
            model->addRow(row);
    }
    QStringList gridRows() const {
        QStringList out;
        for (int r = 0; r < model->rows(); ++r)
            out << model->joinedText(r).toString();
        return out;
    }
    QByteArray readFile(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
    QList<platform::FileDialogRequest> saveDialogs() const {
        QList<platform::FileDialogRequest> out;
        for (const auto& e : dialogs.entries)
            if (e.kind == Kind::SaveFile)
                out << e.request;
        return out;
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
    capture::TGridModel* model = nullptr;
    QTemporaryDir dir;
};

} // namespace

TEST_F(SaveCommands, EmptyGridOpensNoDialog) {
    ui(*window).tbbcsv()->click();
    ui(*window).tbbSaveXLS()->click();
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(SaveCommands, EachButtonPreselectsItsTypeAndTheNameCarriesOver) {
    fillGrid({{QStringLiteral("a"), QStringLiteral("b")}});
    dialogs.setNextFileName(dir.filePath(QStringLiteral("grid.csv")), 2);
    ui(*window).tbbSaveXLS()->click();
    dialogs.setNextCancel();
    ui(*window).tbbcsv()->click();

    const auto requests = saveDialogs();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].filterIndex, 2);
    EXPECT_EQ(requests[0].fileName, QStringLiteral("DataSet - "));
    EXPECT_EQ(requests[0].filter, QStringLiteral("Text CSV file|*.csv|Excel XLS file|*.xls*"));
    EXPECT_TRUE(requests[0].confirmOverwrite);
    EXPECT_EQ(requests[1].filterIndex, 1);
    EXPECT_EQ(requests[1].fileName, dir.filePath(QStringLiteral("grid.csv")));
    EXPECT_EQ(files(), QStringList{QStringLiteral("grid.xls")});
    EXPECT_TRUE(
        readFile(QStringLiteral("grid.xls")).startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
    EXPECT_TRUE(dialogs.texts(Kind::Message).isEmpty());
}

TEST_F(SaveCommands, TextUsesTheSeparatorCheckedInTheMenu) {
    fillGrid({{QStringLiteral("a"), QStringLiteral("b")}});
    const struct {
        const char* entry;
        const char* line;
    } cases[] = {
        {"mnTab", "\"a\"\t\"b\"\r\n"},
        {"mnSemicolon", "\"a\";\"b\"\r\n"},
        {"mnComma", "\"a\",\"b\"\r\n"},
    };
    for (const auto& c : cases) {
        QAction* entry = window->findChild<QAction*>(QString::fromLatin1(c.entry));
        ASSERT_NE(entry, nullptr) << c.entry;
        entry->trigger();
        EXPECT_TRUE(entry->isChecked());
        dialogs.setNextFileName(dir.filePath(QStringLiteral("out.csv")), 1);
        ui(*window).tbbcsv()->click();
        EXPECT_TRUE(readFile(QStringLiteral("out.csv")).endsWith(c.line))
            << entry->objectName().toStdString();
    }
    EXPECT_EQ(ui(*window).mnTab()->isChecked() + ui(*window).mnSemicolon()->isChecked() +
                  ui(*window).mnComma()->isChecked(),
              1);
}

TEST_F(SaveCommands, SeparatorMenuOpensOnRightClickWithItsCaptions) {
    EXPECT_EQ(ui(*window).mnComma()->text(), QStringLiteral("Comma (\",\")"));
    EXPECT_EQ(ui(*window).mnSemicolon()->text(), QStringLiteral("Semi-colon (\";\")"));
    EXPECT_EQ(ui(*window).mnTab()->text(), QStringLiteral("Tab (\"     \")"));
    EXPECT_TRUE(ui(*window).mnComma()->isChecked());
    emit ui(*window).tbbcsv()->customContextMenuRequested(QPoint(3, 3));
    EXPECT_TRUE(ui(*window).PopCSV()->isVisible());
    ui(*window).PopCSV()->hide();
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(SaveCommands, WorkbookFailureSavesTextAndSaysSo) {
    fillGrid({{QStringLiteral("a"), QString(32768, u'y')}});
    ui(*window).mnSemicolon()->trigger();
    dialogs.setNextFileName(dir.filePath(QStringLiteral("grid.xls")), 2);
    ui(*window).tbbSaveXLS()->click();

    EXPECT_EQ(files(), QStringList{QStringLiteral("grid.csv")});
    EXPECT_TRUE(readFile(QStringLiteral("grid.csv")).contains("\"a\";\"yyy"));
    ASSERT_FALSE(lingo::sNosaveExcel1.isEmpty());
    ASSERT_FALSE(lingo::sNosaveExcel2.isEmpty());
    EXPECT_EQ(dialogs.texts(Kind::Message),
              QStringList{lingo::sNosaveExcel1 + u'\n' + lingo::sNosaveExcel2});
    EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
}

TEST_F(SaveCommands, TextWriteFailureReachesTheErrorReportAndKeepsTheGrid) {
    fillGrid({{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c")}});
    const QStringList before = gridRows();
    for (int filter : {1, 2}) {
        dialogs.clear();
        dialogs.setNextFileName(dir.filePath(QStringLiteral("missing/out.csv")), filter);
        (filter == 1 ? ui(*window).tbbcsv() : ui(*window).tbbSaveXLS())->click();
        const QStringList errors = dialogs.texts(Kind::Error);
        ASSERT_EQ(errors.size(), 1) << filter;
        EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Cannot create file"))) << filter;
        EXPECT_TRUE(dialogs.texts(Kind::Message).isEmpty()) << filter;
    }
    EXPECT_EQ(gridRows(), before);
    EXPECT_TRUE(files().isEmpty());
}
