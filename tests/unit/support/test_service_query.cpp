#include "support/UpdateCheck.h"

#include "platform/Ticks.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

using namespace support;

namespace {

// A tick counter that moves on by `step` each time it is read.
struct Clock {
    std::uint32_t now = 0;
    std::uint32_t step = 1;
};

// A service browser that completes after a number of polls (never when negative) and
// records what it was asked.
struct ScriptedBrowser : ServiceBrowser {
    int completeAfterPolls = -1;
    QString text = QStringLiteral("20240306");
    mutable int polls = 0;
    QStringList navigated;
    std::uint32_t readLimit = 0;
    int reads = 0;
    std::function<void()> onPoll;

    void navigate(const QString& url) override { navigated << url; }
    bool isComplete() const override {
        ++polls;
        if (onPoll)
            onPoll();
        return completeAfterPolls >= 0 && polls > completeAfterPolls;
    }
    QString sourceText(std::uint32_t limitMs) override {
        ++reads;
        readLimit = limitMs;
        return text;
    }
};

class ServiceQueryTest : public testing::Test {
protected:
    void SetUp() override {
        static int argc = 0;
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, nullptr);
        platform::resetShutdownForTests();
        clock = std::make_shared<Clock>();
        platform::setTickSource([c = clock] {
            const std::uint32_t t = c->now;
            c->now += c->step;
            return t;
        });
    }
    void TearDown() override {
        platform::setTickSource({});
        platform::resetShutdownForTests();
    }
    std::shared_ptr<Clock> clock;
};

TEST_F(ServiceQueryTest, EndsAtTheLimitHoweverLongTheSystemHasRun) {
    // Start values just before the counter wraps, at its start, and at an ordinary value;
    // a clock that moves in large steps must not overshoot by more than one step.
    struct Case {
        std::uint32_t start, step;
    };
    for (const Case c : {Case{0xFFFFFFFFu - 1000, 70}, Case{0xFFFFFFFFu, 100}, Case{0, 50},
                         Case{123456789, 999}}) {
        SCOPED_TRACE(c.start);
        clock->now = c.start;
        clock->step = c.step;
        ScriptedBrowser browser;
        browser.text = QStringLiteral("whatever the browser holds");
        const QString answer = ServiceQuery(browser, QStringLiteral("http://127.0.0.1:1/q"));
        const std::uint32_t elapsed = clock->now - c.start;
        EXPECT_GE(elapsed, kServiceQueryLimitMs);
        EXPECT_LE(elapsed, kServiceQueryLimitMs + 4 * c.step);
        EXPECT_EQ(answer, QStringLiteral("whatever the browser holds"));
        EXPECT_EQ(browser.navigated, QStringList{QStringLiteral("http://127.0.0.1:1/q")});
        EXPECT_EQ(browser.readLimit, kMinimumReadMs);
    }
}

TEST_F(ServiceQueryTest, ReturnsAsSoonAsTheBrowserCompletes) {
    clock->now = 0xFFFFFFFFu - 5;
    ScriptedBrowser browser;
    browser.completeAfterPolls = 3;
    browser.text = QStringLiteral(" 20240306\r\n");
    EXPECT_EQ(ServiceQuery(browser, QStringLiteral("http://127.0.0.1:1/q")),
              QStringLiteral(" 20240306\r\n"));
    EXPECT_EQ(browser.polls, 4);
    // The read gets what is left of the limit.
    EXPECT_GT(browser.readLimit, kServiceQueryLimitMs - 20);
    EXPECT_LE(browser.readLimit, kServiceQueryLimitMs);
}

TEST_F(ServiceQueryTest, OtherWorkRunsWhileItWaits) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    ScriptedBrowser browser;
    bool ranBeforeCompletion = false;
    browser.completeAfterPolls = 50;
    browser.onPoll = [&] { ranBeforeCompletion = ranBeforeCompletion || ran; };
    ServiceQuery(browser, QStringLiteral("http://127.0.0.1:1/q"));
    EXPECT_TRUE(ranBeforeCompletion);
}

TEST_F(ServiceQueryTest, ShutdownEndsTheWaitWithoutReading) {
    ScriptedBrowser browser;
    QTimer::singleShot(0, [] { platform::beginShutdown(); });
    EXPECT_EQ(ServiceQuery(browser, QStringLiteral("http://127.0.0.1:1/q")), QString());
    EXPECT_EQ(browser.reads, 0);

    ScriptedBrowser untouched;
    EXPECT_EQ(ServiceQuery(untouched, QStringLiteral("http://127.0.0.1:1/q")), QString());
    EXPECT_TRUE(untouched.navigated.isEmpty());
}

} // namespace
