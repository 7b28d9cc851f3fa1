#include "EventPump.h"
#include "Wait.h"

#include <QObject>
#include <gtest/gtest.h>
#include <thread>

// The pump of long operations serves what waits, but not on every step:
// a burst of steps serves the events a few times, and the last of them are
// served once the interval has passed.
TEST(EventPump, ServesWaitingEventsAtMostOncePerInterval)
{
    CoreTestApp();
    QObject target;
    int served = 0;
    int servings = 0;
    constexpr int kSteps = 10000;
    for (int i = 0; i < kSteps; ++i) {
        QMetaObject::invokeMethod(
            &target, [&] { ++served; }, Qt::QueuedConnection);
        const int before = served;
        ServeWaitingEvents();
        if (served != before)
            ++servings;
    }
    EXPECT_GE(servings, 1);
    EXPECT_LT(servings, kSteps / 10);
    std::this_thread::sleep_for(kPumpInterval);
    ServeWaitingEvents();
    EXPECT_EQ(served, kSteps);
}
