#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds since an arbitrary start, truncated to 32 bits so that it wraps like
// the system tick counter does after about 49.7 days.
std::uint32_t GetTickCount();

// Replaces the tick source (tests move the clock or start it near the wrap); an
// empty function restores the monotonic clock.
using TickSource = std::function<std::uint32_t()>;
void setTickSource(TickSource source);

// Once shutdown has begun every wait returns at once, so a command suspended in a
// wait unwinds without touching objects that are being destroyed.
void beginShutdown();
bool isShuttingDown();
// Only tests need to undo it.
void resetShutdownForTests();

// Waits without freezing the window: processes pending events until `milliseconds`
// ticks have passed, measured modulo 2^32 so a wait across the counter's wrap lasts its
// full time. Returns at once for 0, and as soon as shutdown begins. Yields the processor
// for a millisecond or two between passes instead of spinning.
void tickwait(std::uint32_t milliseconds);

// Processes pending events once (returns at once during shutdown).
void processMessages();

} // namespace platform
