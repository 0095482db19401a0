#pragma once

// Waits for a condition while processing events; the answer goes into an assertion, so a
// condition that never holds fails the test (the QtTest macros would only return).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// The default bound suits the real engine on a busy machine; only a failing wait uses it up.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 20'000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Processes events for the given real time.
inline void pump(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}
