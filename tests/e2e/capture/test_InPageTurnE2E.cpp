// In-page turns on the real engine: a "load more" button and an endless page, driven by
// a declarative template through the capture controller, on local pages. Each run must
// take every record once and end as the run's normal completion.
#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "capture/WebCapturePages.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"
#include "tests/support/InPagePages.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray templateJson(const QString& next) {
    return QStringLiteral(R"({"trawlex": 1, "name": "IN-PAGE", "records": "li.item",
        "columns": [{"name": "Name", "select": ".n"}], "next": %1})")
        .arg(next)
        .toUtf8();
}

class RecordingDisplay final : public capture::CaptureDisplay {
public:
    void setTitleStatus(const QString& text) override { titles.append(text); }
    QStringList titles;
};

class InPageTurnE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        ASSERT_TRUE(dir.isValid());
        for (platform::TWebBrowser* b : {static_cast<platform::TWebBrowser*>(&main),
                                         static_cast<platform::TWebBrowser*>(&service),
                                         static_cast<platform::TWebBrowser*>(&assist)}) {
            // Shown (off-screen): a hidden page's timers are throttled, and scrolling
            // needs a viewport.
            b->resize(1024, 780);
            b->show();
        }
        service.Navigate(QStringLiteral("about:blank"));
        assist.Navigate(QStringLiteral("about:blank"));
        pages.setBrowser(capture::Browser::WB, &main);
        pages.setBrowser(capture::Browser::wb2, &service);
        pages.setBrowser(capture::Browser::WBassist, &assist);
    }
    void TearDown() override {
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    QString write(const QString& name, const QByteArray& content) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }
    // Runs the template over the page to its end; the run's time in milliseconds.
    qint64 run(const QByteArray& page, const QString& next) {
        const QString pagePath = write(QStringLiteral("page.html"), page);
        PluginLoad load = TPlugin::Create(write(QStringLiteral("t.orp.json"), templateJson(next)));
        EXPECT_TRUE(load) << load.error.message.toStdString();
        if (!load)
            return -1;
        current = std::move(load.plugin);
        controller =
            std::make_unique<capture::CaptureController>(pages, [this] { return current; });
        controller->setDisplay(&display);
        controller->writeColumnHeaders();
        EXPECT_TRUE(controller->readColumnWidths());
        controller->setPauseSeconds(0);
        main.Navigate(QUrl::fromLocalFile(pagePath).toString());
        EXPECT_TRUE(waitUntil([&] {
            return main.ReadyState() == platform::READYSTATE_COMPLETE &&
                   service.ReadyState() == platform::READYSTATE_COMPLETE;
        }));
        QElapsedTimer timer;
        timer.start();
        controller->capture(); // returns when the run has ended
        return timer.elapsed();
    }
    // Both sorted: the grid keeps its rows in the order of its view, not of capture. Equal
    // lists then also mean that no listing came in twice.
    QStringList names() const {
        QStringList out;
        for (int r = 0; r < controller->rowCount(); ++r)
            out.append(controller->grid().caption(r).toString());
        out.sort();
        return out;
    }
    static QStringList listings(int count) {
        QStringList l;
        for (int i = 0; i < count; ++i)
            l.append(QStringLiteral("Listing %1").arg(i));
        l.sort();
        return l;
    }
    void expectNormalEnd() {
        EXPECT_EQ(display.titles.value(display.titles.size() - 1),
                  QStringLiteral(" Your extraction has been completed."));
        EXPECT_FALSE(controller->isRunning());
        EXPECT_TRUE(dialogs.entries.isEmpty());
    }

    QTemporaryDir dir;
    TOrvoBrowser main;
    platform::TEmbeddedWB service;
    TOrvoBrowser assist;
    capture::WebCapturePages pages;
    platform::RecordingDialogs dialogs;
    RecordingDisplay display;
    std::shared_ptr<TPlugin> current;
    std::unique_ptr<capture::CaptureController> controller;
};

TEST_F(InPageTurnE2E, LoadMoreUntilTheButtonIsGone) {
    run(loadMorePage(QString::fromLatin1(kAddTenUntilForty)),
        QStringLiteral(R"({"click": "#more"})"));
    EXPECT_EQ(names(), listings(40));
    expectNormalEnd();
}

TEST_F(InPageTurnE2E, LoadMoreEndsAfterMaxClicks) {
    run(loadMorePage(QString::fromLatin1(kAddTenUntilForty)),
        QStringLiteral(R"({"click": "xpath://button[@id='more']", "max": 2})"));
    EXPECT_EQ(names(), listings(30));
    expectNormalEnd();
}

TEST_F(InPageTurnE2E, ABatchThatComesInPartsIsTakenWhole) {
    // Five listings, then five more a moment later, the button going with the last part.
    run(loadMorePage(
            QStringLiteral("var b = this; setTimeout(function () { add(5); setTimeout(function () {"
                           " add(5); if (added >= 40) b.remove(); }, 60); }, 300);")),
        QStringLiteral(R"({"click": "#more"})"));
    EXPECT_EQ(names(), listings(40));
    expectNormalEnd();
}

TEST_F(InPageTurnE2E, AButtonThatBringsNothingEndsAfterTheWait) {
    const qint64 ms = run(loadMorePage(QString()), QStringLiteral(R"({"click": "#more"})"));
    EXPECT_EQ(names(), listings(10));
    EXPECT_GE(ms, capture::kInPageWaitMs);
    EXPECT_LT(ms, capture::kInPageWaitMs + 8000);
    expectNormalEnd();
}

TEST_F(InPageTurnE2E, AButtonThatReloadsThePageEndsTheRunCleanly) {
    run(loadMorePage(QStringLiteral("location.reload();")),
        QStringLiteral(R"({"click": "#more"})"));
    EXPECT_EQ(names(), listings(10)); // the reloaded page's listings are the same ones
    expectNormalEnd();
}

TEST_F(InPageTurnE2E, AnEndlessPageEndsAtMax) {
    run(kEndlessPage, QStringLiteral(R"({"scroll": true, "max": 3})"));
    EXPECT_EQ(names(), listings(40));
    expectNormalEnd();
}

} // namespace
