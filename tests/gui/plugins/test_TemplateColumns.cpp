// What loading a template does to the grid's columns, and the loads that fail in the
// column steps: the message, with the template still current.
#include "app/uTrawlMain.h"
#include "capture/CaptureController.h"

#include "capture/GridModel.h"
#include "platform/Ticks.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = platform::RecordingDialogs::Kind;
using capture::ColumnAlignment;

class TemplateColumns : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
    }
    void TearDown() override {
        window.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    void load(const char* fixture) {
        window->loadtemplate(QStringLiteral(PLUGINS_FIXTURES_DIR "/") + QString::fromUtf8(fixture));
    }
    const capture::TGridModel& grid() { return window->captureController().grid(); }
    QStringList captions() {
        QStringList c;
        for (int i = 0; i < grid().columns(); ++i)
            c << grid().column(i).caption;
        return c;
    }
    QList<int> widths() {
        QList<int> w;
        for (int i = 0; i < grid().columns(); ++i)
            w << grid().column(i).width;
        return w;
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(TemplateColumns, AThreeColumnTemplateAfterAFiveColumnOne) {
    load("columns_5.orp");
    ASSERT_EQ(grid().columns(), 5);
    load("columns_3.orp");
    EXPECT_TRUE(dialogs.entries.isEmpty());
    EXPECT_EQ(captions(),
              (QStringList{QStringLiteral("Name"), QStringLiteral("Street"),
                           QStringLiteral("Phone"), QStringLiteral("--"), QStringLiteral("--")}));
    EXPECT_EQ(widths().mid(0, 3), (QList<int>{200, 150, 90}));
    EXPECT_EQ(grid().column(3).alignment, ColumnAlignment::Centre);
    EXPECT_EQ(grid().column(0).alignment, ColumnAlignment::Left);
}

TEST_F(TemplateColumns, ALastWidthWithoutItsBarKeepsTheDefault) {
    load("columns_3_last_width_open.orp");
    EXPECT_TRUE(dialogs.entries.isEmpty());
    EXPECT_EQ(widths(), (QList<int>{200, 150, 100}));
}

TEST_F(TemplateColumns, ARefusedTemplateLeavesTheGridAndTheTemplateAsTheyWere) {
    load("columns_5.orp");
    const QStringList before = captions();
    const QList<int> widthsBefore = widths();
    const auto current = window->currentTemplate();
    load("columns_0.orp");
    load("columns_minus_1.orp");
    const QStringList messages = dialogs.texts(Kind::Message);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Not a valid ORPG file!\ncolumns_0.orp: ")));
    EXPECT_TRUE(
        messages[1].startsWith(QStringLiteral("Not a valid ORPG file!\ncolumns_minus_1.orp: ")));
    EXPECT_EQ(captions(), before);
    EXPECT_EQ(widths(), widthsBefore);
    EXPECT_EQ(window->currentTemplate(), current);
}

struct LateFailure {
    const char* file;
    int columns; // the grid's column count afterwards
};

void PrintTo(const LateFailure& f, std::ostream* os) {
    *os << f.file;
}

class ColumnStepFailure : public TemplateColumns,
                          public testing::WithParamInterface<LateFailure> {};

TEST_P(ColumnStepFailure, ShowsTheMessageAndKeepsTheTemplate) {
    load(GetParam().file);
    EXPECT_EQ(dialogs.texts(Kind::Message), QStringList{QStringLiteral("Not a valid ORPG file!")});
    EXPECT_TRUE(window->hasTemplate());
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("Template: FIXTURE")));
    EXPECT_EQ(grid().columns(), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ColumnStepFailure,
                         testing::Values(LateFailure{"columns_255.orp", 33},
                                         LateFailure{"widths_empty_piece.orp", 3}));

TEST_F(TemplateColumns, TwoHundredFiftyFourColumnsLoad) {
    load("columns_254.orp");
    EXPECT_TRUE(dialogs.entries.isEmpty());
    EXPECT_EQ(grid().columns(), 254);
}

} // namespace
