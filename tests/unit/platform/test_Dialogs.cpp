#include "tests/support/RecordingDialogs.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordingDialogs, GivesScriptedAnswersInOrderThenDefaults) {
    platform::RecordingDialogs d;
    platform::ScopedDialogs scope(&d);
    d.setNextAnswer(false);
    d.setNextFileName(QStringLiteral("/tmp/a.xls"), 2);
    EXPECT_FALSE(platform::dialogs().question(QStringLiteral("Replace?")));
    EXPECT_TRUE(platform::dialogs().question(QStringLiteral("Again?")));
    const auto first = platform::dialogs().saveFile({});
    EXPECT_TRUE(first.accepted);
    EXPECT_EQ(first.fileName, QStringLiteral("/tmp/a.xls"));
    EXPECT_EQ(first.filterIndex, 2);
    EXPECT_FALSE(platform::dialogs().saveFile({}).accepted);
    EXPECT_EQ(d.texts(platform::RecordingDialogs::Kind::Question),
              (QStringList{QStringLiteral("Replace?"), QStringLiteral("Again?")}));
}

TEST(Dialogs, WithoutInstalledDialogsNothingBlocksAndNothingIsChosen) {
    platform::ScopedDialogs none(nullptr);
    platform::dialogs().message(QStringLiteral("ignored"));
    platform::dialogs().error(QStringLiteral("ignored"));
    EXPECT_TRUE(platform::dialogs().question(QStringLiteral("Go on?")));
    EXPECT_FALSE(platform::dialogs().openFile({}).accepted);
    EXPECT_FALSE(platform::dialogs().saveFile({}).accepted);
}

TEST(Dialogs, FilterPairsSplitOnBars) {
    const auto pairs =
        platform::parseFilter(QStringLiteral("Text CSV file|*.csv|Excel XLS file|*.xls*"));
    ASSERT_EQ(pairs.size(), 2);
    EXPECT_EQ(pairs[1].first, QStringLiteral("Excel XLS file"));
    EXPECT_EQ(pairs[1].second, QStringLiteral("*.xls*"));
}

} // namespace
