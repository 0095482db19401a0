#include "platform/Ticks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <climits>

namespace platform {

namespace {

TickSource& tickSource() {
    static TickSource source;
    return source;
}

std::atomic<bool> g_shuttingDown{false};

} // namespace

std::uint32_t GetTickCount() {
    if (const auto& source = tickSource())
        return source();
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void setTickSource(TickSource source) {
    tickSource() = std::move(source);
}

void beginShutdown() {
    g_shuttingDown = true;
}
bool isShuttingDown() {
    return g_shuttingDown;
}
void resetShutdownForTests() {
    g_shuttingDown = false;
}

void processMessages() {
    if (g_shuttingDown || !QCoreApplication::instance())
        return;
    // One pass of a real event loop, not a bare processEvents call: under the GLib
    // dispatcher a caller that spins on processEvents starves the browser engine's own
    // scheduled work (a page requested from inside such a wait was not even sent until the
    // wait gave up), while a running loop gives every event source its turn.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

void tickwait(std::uint32_t milliseconds) {
    if (milliseconds == 0)
        return;
    if (!tickSource() && QCoreApplication::instance()) {
        if (g_shuttingDown)
            return;
        // The wait is an event loop that sleeps only when nothing is due: the browser
        // engine works on this thread, and a wait that slept between passes held each of
        // its steps up (about 0.4 s more per page). Shutdown still ends it within a few ms.
        QEventLoop loop;
        QTimer end;
        end.setSingleShot(true);
        end.setTimerType(Qt::PreciseTimer);
        QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &loop, [&loop] {
            if (g_shuttingDown)
                loop.quit();
        });
        end.start(int(std::min<std::uint32_t>(milliseconds, INT_MAX)));
        watch.start(5);
        loop.exec();
        return;
    }
    const std::uint32_t start = GetTickCount();
    // Unsigned subtraction gives the elapsed ticks modulo 2^32.
    while (static_cast<std::uint32_t>(GetTickCount() - start) < milliseconds) {
        if (g_shuttingDown)
            return;
        processMessages();
        if (g_shuttingDown)
            return;
        const std::uint32_t elapsed = GetTickCount() - start;
        if (elapsed < milliseconds && !tickSource())
            QThread::msleep(std::min<std::uint32_t>(2, milliseconds - elapsed));
    }
}

} // namespace platform
