// The progress lines a batch run writes on stderr.
#include "batch/Progress.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using batch::PageReport;
using batch::ProgressMode;

TEST(BatchProgress, JsonIsOneObjectPerLineWithEveryFigure) {
    const PageReport r{3, 57, 2.0, QStringLiteral("http://h/list?p=\"3\"\n")};
    const QString line = batch::progressLine(ProgressMode::Json, r);
    EXPECT_FALSE(line.contains(u'\n')); // the newline in the address is escaped
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    EXPECT_EQ(o.value(QStringLiteral("page")).toInt(), 3);
    EXPECT_EQ(o.value(QStringLiteral("rows")).toInt(), 57);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("rowsPerSecond")).toDouble(), 28.5);
    EXPECT_EQ(o.value(QStringLiteral("url")).toString(), r.url);
}

TEST(BatchProgress, BarRedrawsOneLineAndKeepsTheAddressEnd) {
    const QString url =
        QStringLiteral("http://example.com/") + QString(80, u'x') + QStringLiteral("/page-17.html");
    const QString line = batch::progressLine(ProgressMode::Bar, {17, 340, 0.0, url});
    EXPECT_TRUE(line.startsWith(u'\r'));
    EXPECT_FALSE(line.contains(u'\n'));
    EXPECT_TRUE(line.contains(QStringLiteral("page 17  rows 340  0.0 rows/s")));
    EXPECT_TRUE(line.contains(QStringLiteral("/page-17.html")));
    EXPECT_LT(line.size(), 100);
    EXPECT_TRUE(batch::progressLine(ProgressMode::None, {1, 1, 1, url}).isEmpty());
}

TEST(BatchProgress, Summary) {
    EXPECT_EQ(batch::summaryLine({12, 340, 8.0, {}}, QStringLiteral("out.csv")),
              QStringLiteral("12 pages, 340 rows in 8.0 s (42.5 rows/s) -> out.csv"));
    EXPECT_EQ(batch::summaryLine({1, 1, 0.0, {}}, QStringLiteral("-")),
              QStringLiteral("1 page, 1 row in 0.0 s (0.0 rows/s) -> stdout"));
}

} // namespace
