#include "EventPump.h"

#include <QCoreApplication>

void ServeWaitingEvents(QEventLoop::ProcessEventsFlags flags)
{
    // Only the thread of the window pumps; one time suffices.
    static auto s_last = std::chrono::steady_clock::time_point{};
    const auto now = std::chrono::steady_clock::now();
    if (now - s_last < kPumpInterval)
        return;
    QCoreApplication::processEvents(flags);
    // Serving may have taken long (a dialog painted): the interval starts
    // once it is done.
    s_last = std::chrono::steady_clock::now();
}
