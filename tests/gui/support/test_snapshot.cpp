#include "support/Snapshot.h"

#include "tests/support/QtPrinters.h"

#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

using namespace support;

namespace {

bool isRed(const QImage& img, int x, int y) {
    return img.pixelColor(x, y) == QColor(Qt::red);
}

// The right-most red pixel of row y, or -1.
int redEnd(const QImage& img, int y) {
    for (int x = img.width() - 1; x >= 0; --x)
        if (isRed(img, x, y))
            return x;
    return -1;
}

QImage page() {
    QImage img(1000, 700, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

TEST(Snapshot, LabelStartsAtTheSameCornerWhateverItsLength) {
    int previousEnd = 0;
    for (const char* label : {"2", "23", "123", "4567"}) {
        SCOPED_TRACE(label);
        const QImage shot = SnapshotImage(page(), QSize(130, 130), QString::fromLatin1(label));
        ASSERT_EQ(shot.size(), QSize(130, 130));
        // (130 div 2) - 5 in both directions, on the red background.
        EXPECT_TRUE(isRed(shot, 60, 60));
        EXPECT_FALSE(isRed(shot, 59, 60));
        EXPECT_FALSE(isRed(shot, 60, 59));
        // The text itself is drawn on the red.
        bool ink = false;
        for (int x = 61; x < redEnd(shot, 61) && !ink; ++x)
            for (int y = 61; y < 75 && !ink; ++y)
                ink = shot.pixelColor(x, y).red() < 128;
        EXPECT_TRUE(ink);
        // A longer label reaches further to the right.
        const int end = redEnd(shot, 61);
        EXPECT_GT(end, previousEnd);
        previousEnd = end;
    }
}

TEST(Snapshot, FramesTheWholeEdgeInOnePixel) {
    const QImage shot = SnapshotImage(page(), QSize(130, 130), QStringLiteral("2"));
    for (int i = 0; i < 130; ++i) {
        for (const QPoint p : {QPoint(i, 0), QPoint(i, 129), QPoint(0, i), QPoint(129, i)})
            EXPECT_EQ(shot.pixelColor(p), QColor(Qt::black)) << p.x() << "," << p.y();
        if (i == 0 || i == 129)
            continue;
        for (const QPoint p : {QPoint(i, 1), QPoint(1, i)})
            EXPECT_EQ(shot.pixelColor(p), QColor(Qt::white)) << p.x() << "," << p.y();
    }
}

TEST(Snapshot, NothingToShowGivesNoPicture) {
    EXPECT_TRUE(SnapshotImage(QImage(), QSize(130, 130), QStringLiteral("2")).isNull());
    EXPECT_TRUE(SnapshotImage(page(), QSize(0, 130), QStringLiteral("2")).isNull());
    EXPECT_TRUE(ViewSnapshot(nullptr, QSize(130, 130), QStringLiteral("2")).isNull());

    // Any widget can be pictured, such as the stand-in browser of the window tests.
    QLabel view;
    view.resize(1000, 700);
    view.setStyleSheet(QStringLiteral("background:#00ff00"));
    view.setAutoFillBackground(true);
    const QImage shot = ViewSnapshot(&view, QSize(130, 130), QStringLiteral("3"));
    ASSERT_EQ(shot.size(), QSize(130, 130));
    EXPECT_EQ(shot.pixelColor(20, 100), QColor(0, 255, 0));
}

} // namespace
