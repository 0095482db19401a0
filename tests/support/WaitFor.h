#pragma once

// Waits for a condition while processing events; the answer goes into an assertion, so a
// condition that never holds fails the test (the QtTest macros would only return).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10'000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
