#include "app/uTrawlMain.h"
#include "capture/GridModel.h"
#include "lingo/uLingo.h"
#include "platform/Ticks.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WindowElements.h"
#include "tests/unit/export/ExportTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/WidgetDialogs.h"

#include <gtest/gtest.h>

#include <memory>

using Kind = platform::RecordingDialogs::Kind;

namespace {

class SaveCommands : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        forgetSourceColumns();
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
        forgetSourceColumns();
    }
    static void forgetSourceColumns() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("OrvoPages"),
                  QStringLiteral("TRXMain"))
            .remove(QStringLiteral("Export/SourceColumns"));
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
    EXPECT_EQ(requests[0].filterIndex, 1);
    EXPECT_EQ(requests[0].fileName, QStringLiteral("DataSet - "));
    EXPECT_EQ(requests[0].filter, QStringLiteral("Excel Workbook|*.xlsx|Excel 97-2003 Workbook|"
                                                 "*.xls|Text CSV file|*.csv|JSON Lines|*.jsonl"));
    EXPECT_TRUE(requests[0].confirmOverwrite);
    EXPECT_EQ(requests[1].filter, requests[0].filter);
    EXPECT_EQ(requests[1].filterIndex, 3);
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
        dialogs.setNextFileName(dir.filePath(QStringLiteral("out.csv")), 3);
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
    for (int filter : {3, 2}) {
        dialogs.clear();
        dialogs.setNextFileName(dir.filePath(QStringLiteral("missing/out.csv")), filter);
        (filter == 3 ? ui(*window).tbbcsv() : ui(*window).tbbSaveXLS())->click();
        const QStringList errors = dialogs.texts(Kind::Error);
        ASSERT_EQ(errors.size(), 1) << filter;
        EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Cannot create file"))) << filter;
        EXPECT_TRUE(dialogs.texts(Kind::Message).isEmpty()) << filter;
    }
    EXPECT_EQ(gridRows(), before);
    EXPECT_TRUE(files().isEmpty());
}

namespace {
const QString kSource = QStringLiteral("https://shop.example/list?page=2");
const QString kCaptured = QStringLiteral("2026-03-01T09:00:00Z");
const QString kFarText = QStringLiteral("Caf\u00e9 \U0001F600"); // a character beyond the BMP
} // namespace

TEST_F(SaveCommands, ExcelButtonWritesTheWorkbookTypePicked) {
    fillGrid({{QStringLiteral("a"), kFarText}, {QStringLiteral("c"), QStringLiteral("d")}});
    dialogs.setNextFileName(dir.filePath(QStringLiteral("book")), 1);
    ui(*window).tbbSaveXLS()->click();
    dialogs.setNextFileName(dir.filePath(QStringLiteral("old.xlsx")), 2);
    ui(*window).tbbSaveXLS()->click();

    EXPECT_EQ(files(), (QStringList{QStringLiteral("book.xlsx"), QStringLiteral("old.xls")}));
    const QJsonObject xlsx = exporttest::runReader(QStringLiteral("read_xlsx.py"),
                                                   {dir.filePath(QStringLiteral("book.xlsx"))});
    EXPECT_TRUE(xlsx.value(QStringLiteral("problems")).toArray().isEmpty());
    exporttest::expectSameRows(exporttest::rowsOf(xlsx.value(QStringLiteral("rows"))),
                               {{QStringLiteral("Name"), QStringLiteral("Town")},
                                {QStringLiteral("a"), kFarText},
                                {QStringLiteral("c"), QStringLiteral("d")}});
    // The old format's path is the one it always was: no caption row.
    const QJsonObject xls = exporttest::runReader(QStringLiteral("read_xls.py"),
                                                  {dir.filePath(QStringLiteral("old.xls"))});
    EXPECT_TRUE(xls.value(QStringLiteral("problems")).toArray().isEmpty());
    exporttest::expectSameRows(
        exporttest::rowsOf(xls.value(QStringLiteral("rows"))),
        {{QStringLiteral("a"), kFarText}, {QStringLiteral("c"), QStringLiteral("d")}});
    EXPECT_TRUE(dialogs.texts(Kind::Message).isEmpty());
    EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
}

TEST_F(SaveCommands, JsonLinesEntryOfTheTextMenuWritesJsonLines) {
    const QList<QAction*> entries = ui(*window).PopCSV()->actions();
    ASSERT_NE(ui(*window).mnJsonLines(), nullptr);
    EXPECT_EQ(ui(*window).mnJsonLines()->text(), QStringLiteral("JSON Lines"));
    EXPECT_FALSE(ui(*window).mnJsonLines()->isCheckable());
    ASSERT_EQ(entries.size(), 5); // three separators, a line, JSON Lines
    EXPECT_EQ(entries[2], ui(*window).mnTab());
    EXPECT_TRUE(entries[3]->isSeparator());
    EXPECT_EQ(entries[4], ui(*window).mnJsonLines());

    // Without rows it asks nothing; with rows it writes one object per row.
    ui(*window).mnJsonLines()->trigger();
    EXPECT_TRUE(dialogs.entries.isEmpty());
    fillGrid({{QStringLiteral("a"), kFarText}, {QStringLiteral("c")}});
    ui(*window).mnSemicolon()->trigger(); // the separator is delimited text's only
    dialogs.setNextFileName(dir.filePath(QStringLiteral("rows.csv")), 4);
    ui(*window).mnJsonLines()->trigger();

    const auto requests = saveDialogs();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].filterIndex, 4);
    EXPECT_EQ(files(), QStringList{QStringLiteral("rows.jsonl")});
    const QJsonObject read = exporttest::runReader(QStringLiteral("read_jsonl.py"),
                                                   {dir.filePath(QStringLiteral("rows.jsonl"))});
    EXPECT_TRUE(read.value(QStringLiteral("problems")).toArray().isEmpty());
    EXPECT_EQ(read.value(QStringLiteral("keys")).toVariant().toStringList(),
              (QStringList{QStringLiteral("Name"), QStringLiteral("Town")}));
    exporttest::expectSameRows(exporttest::rowsOf(read.value(QStringLiteral("rows"))),
                               {{QStringLiteral("a"), kFarText}, {QStringLiteral("c"), QString()}});
    EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
}

TEST_F(SaveCommands, SourceColumnsOptionIsOffByDefaultAndAddsTheOriginToEachNewFormat) {
    if (model->columns() < 2)
        model->appendColumns(2 - model->columns());
    model->setColumnCaption(0, QStringLiteral("Name"));
    model->setColumnCaption(1, QStringLiteral("Town"));
    const capture::TGridModel::OriginId origin =
        model->addOrigin(kSource, QDateTime::fromString(kCaptured, Qt::ISODate));
    model->addRow({QStringLiteral("a"), QStringLiteral("b")}, origin);
    model->addRow({QStringLiteral("c"), QStringLiteral("d")}); // origin unknown

    // Off by default: the dialog shows the box unticked and nothing extra is written.
    dialogs.setNextFileName(dir.filePath(QStringLiteral("plain.csv")), 3);
    ui(*window).tbbcsv()->click();
    ASSERT_EQ(saveDialogs().size(), 1);
    EXPECT_EQ(saveDialogs()[0].checkBoxText, QStringLiteral("Include source columns"));
    EXPECT_FALSE(saveDialogs()[0].checkBoxChecked);
    const std::vector<QStringList> plain = exporttest::rowsOf(
        exporttest::runReader(QStringLiteral("read_csv.py"),
                              {dir.filePath(QStringLiteral("plain.csv")), QStringLiteral("comma")})
            .value(QStringLiteral("rows")));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain[0], (QStringList{QStringLiteral("Name"), QStringLiteral("Town")}));

    const std::vector<QStringList> expected = {
        {QStringLiteral("Name"), QStringLiteral("Town"), QStringLiteral("Source"),
         QStringLiteral("Captured")},
        {QStringLiteral("a"), QStringLiteral("b"), kSource, kCaptured},
        {QStringLiteral("c"), QStringLiteral("d")}, // empty trailing cells as readers trim them
    };
    const auto trimmed = [](std::vector<QStringList> rows) {
        for (QStringList& r : rows)
            while (!r.isEmpty() && r.last().isEmpty())
                r.removeLast();
        return rows;
    };
    const struct {
        const char* name;
        std::function<void()> press;
        int filter;
        QString file;
        std::function<std::vector<QStringList>(const QString&)> read;
    } cases[] = {
        {"text", [&] { ui(*window).tbbcsv()->click(); }, 3, QStringLiteral("s.csv"),
         [](const QString& f) {
             return exporttest::rowsOf(
                 exporttest::runReader(QStringLiteral("read_csv.py"), {f, QStringLiteral("comma")})
                     .value(QStringLiteral("rows")));
         }},
        {"workbook", [&] { ui(*window).tbbSaveXLS()->click(); }, 1, QStringLiteral("s.xlsx"),
         [](const QString& f) {
             return exporttest::rowsOf(exporttest::runReader(QStringLiteral("read_xlsx.py"), {f})
                                           .value(QStringLiteral("rows")));
         }},
        {"json lines", [&] { ui(*window).mnJsonLines()->trigger(); }, 4, QStringLiteral("s.jsonl"),
         [](const QString& f) {
             const QJsonObject o = exporttest::runReader(QStringLiteral("read_jsonl.py"), {f});
             std::vector<QStringList> rows{
                 o.value(QStringLiteral("keys")).toVariant().toStringList()};
             for (const QStringList& r : exporttest::rowsOf(o.value(QStringLiteral("rows"))))
                 rows.push_back(r);
             return rows;
         }},
    };
    bool tickNow = true; // the first save ticks the box; the later ones find it ticked
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        dialogs.setNextFileName(dir.filePath(c.file), c.filter,
                                tickNow ? std::optional<bool>(true) : std::nullopt);
        c.press();
        ASSERT_EQ(saveDialogs().size(), 1);
        EXPECT_EQ(saveDialogs()[0].checkBoxChecked, !tickNow);
        tickNow = false;
        EXPECT_EQ(trimmed(c.read(dir.filePath(c.file))), expected);
        EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
    }

    // The Excel 97-2003 path stays as it is, option or not.
    dialogs.setNextFileName(dir.filePath(QStringLiteral("s.xls")), 2);
    ui(*window).tbbSaveXLS()->click();
    exporttest::expectSameRows(
        exporttest::rowsOf(exporttest::runReader(QStringLiteral("read_xls.py"),
                                                 {dir.filePath(QStringLiteral("s.xls"))})
                               .value(QStringLiteral("rows"))),
        {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c"), QStringLiteral("d")}});

    // A new window (the next run) remembers the choice.
    window.reset();
    TfrmTrawl::Options o;
    o.progDir = folder.path();
    o.exitProcess = false;
    window = std::make_unique<TfrmTrawl>(o);
    EXPECT_TRUE(window->saveRequest().checkBoxText == QStringLiteral("Include source columns"));
    auto* again = qobject_cast<capture::TGridModel*>(ui(*window).lv()->model());
    ASSERT_NE(again, nullptr);
    if (again->columns() < 1)
        again->appendColumns(1);
    again->addRow({QStringLiteral("x")});
    dialogs.clear();
    dialogs.setNextCancel();
    ui(*window).tbbcsv()->click();
    ASSERT_EQ(saveDialogs().size(), 1);
    EXPECT_TRUE(saveDialogs()[0].checkBoxChecked);
}

// The program's own save dialog: the option is a check box that the accessibility
// interface reaches by its name, and its state comes back with the chosen file.
TEST(SaveDialogOption, CheckBoxIsReachableByAccessibilityAndItsStateReturned) {
    QTemporaryDir dir;
    for (const bool startChecked : {false, true}) {
        SCOPED_TRACE(startChecked);
        platform::FileDialogRequest request;
        request.directory = dir.path();
        request.filter = QStringLiteral("JSON Lines|*.jsonl");
        request.checkBoxText = QStringLiteral("Include source columns");
        request.checkBoxChecked = startChecked;

        bool found = false;
        bool toggled = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no file dialog open";
            // Walk the accessibility tree the way a screen reader would.
            std::function<QAccessibleInterface*(QAccessibleInterface*)> findBox =
                [&](QAccessibleInterface* node) -> QAccessibleInterface* {
                if (!node)
                    return nullptr;
                if (node->role() == QAccessible::CheckBox &&
                    node->text(QAccessible::Name) == QStringLiteral("Include source columns"))
                    return node;
                for (int i = 0; i < node->childCount(); ++i)
                    if (QAccessibleInterface* hit = findBox(node->child(i)))
                        return hit;
                return nullptr;
            };
            QAccessibleInterface* box = findBox(QAccessible::queryAccessibleInterface(dialog));
            found = box != nullptr;
            if (box) {
                EXPECT_EQ(bool(box->state().checked), startChecked);
                QAccessibleActionInterface* action = box->actionInterface();
                if (action) {
                    action->doAction(QAccessibleActionInterface::toggleAction());
                    toggled = true;
                }
            }
            dialog->selectFile(dir.filePath(QStringLiteral("out.jsonl")));
            static_cast<QDialog*>(dialog)->accept(); // public there
        });
        // A failed lookup above must not leave the dialog open.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                open->reject();
        });
        guard.start(5000);
        platform::WidgetDialogs widgets;
        const platform::FileDialogResult result = widgets.saveFile(request);
        EXPECT_TRUE(found);
        EXPECT_TRUE(toggled);
        ASSERT_TRUE(result.accepted);
        EXPECT_EQ(QFileInfo(result.fileName).fileName(), QStringLiteral("out.jsonl"));
        EXPECT_EQ(result.checkBoxChecked, !startChecked);
    }
}
