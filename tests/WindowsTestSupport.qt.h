#pragma once

#include <QDeadlineTimer>
#include <QTest>
#include <functional>

namespace tvk::test {

// Waits, with a bound, for something the event loop brings about. QTest's own
// QTRY_ macros report to QTest, not to GoogleTest; this lets a test fail
// through EXPECT_TRUE instead.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace tvk::test
