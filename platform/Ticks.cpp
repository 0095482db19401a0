#include "platform/Ticks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>

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
