#include "platform/Ticks.h"

#include <QCoreApplication>
#include <QTimer>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A clock that advances by one tick each time it is read.
struct SteppingClock {
    std::uint32_t now;
    int reads = 0;
    std::uint32_t operator()() {
        ++reads;
        return now++;
    }
};

class TickWait : public testing::Test {
protected:
    void SetUp() override {
        int argc = 0;
        if (!QCoreApplication::instance())
            app = new QCoreApplication(argc, nullptr);
        platform::resetShutdownForTests();
    }
    void TearDown() override {
        platform::setTickSource({});
        platform::resetShutdownForTests();
    }
    QCoreApplication* app = nullptr;
};

TEST_F(TickWait, LastsItsFullTimeAcrossTheWrap) {
    struct Case {
        std::uint32_t start;
        std::uint32_t wait;
    };
    for (const Case c : {Case{0xFFFFFFFFu - 10, 100}, Case{0xFFFFFFFFu, 5}, Case{100, 100},
                         Case{0xFFFFFF00u, 1000}}) {
        auto clock = std::make_shared<SteppingClock>(SteppingClock{c.start});
        platform::setTickSource([clock] { return (*clock)(); });
        platform::tickwait(c.wait);
        const std::uint32_t elapsed = clock->now - 1 - c.start; // last read minus the start
        EXPECT_GE(elapsed, c.wait) << "start " << c.start;
        EXPECT_LE(elapsed, c.wait + 3) << "start " << c.start;
    }
}

TEST_F(TickWait, ZeroReturnsWithoutProcessingMessages) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    platform::tickwait(0);
    EXPECT_FALSE(ran);
    platform::tickwait(20);
    EXPECT_TRUE(ran);
}

TEST_F(TickWait, ProcessesEventsWhileWaiting) {
    int fired = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++fired; });
    timer.start(5);
    platform::tickwait(60);
    EXPECT_GE(fired, 3);
}

TEST_F(TickWait, ReturnsAtOnceWhenShutdownBeginsDuringTheWait) {
    QTimer::singleShot(10, [] { platform::beginShutdown(); });
    const std::uint32_t start = platform::GetTickCount();
    platform::tickwait(60'000);
    EXPECT_LT(static_cast<std::uint32_t>(platform::GetTickCount() - start), 30'000u);
    EXPECT_TRUE(platform::isShuttingDown());
    // Later waits do not start at all.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    platform::tickwait(1000);
    platform::processMessages();
    EXPECT_FALSE(ran);
}

} // namespace
