#pragma once

// The message pump of long image operations: the engine calls it between
// steps (every directory entry while a tree loads, every chunk while a file
// is extracted) so the window, its timers and the Cancel button stay live.
//
// Serving the event loop costs a system call even when nothing waits, more
// than a step itself; so a step serves the waiting events only when at least
// kPumpInterval has passed since the last time. Input and the 200 ms
// progress timers wait at most that long.

#include <chrono>

constexpr std::chrono::microseconds kPumpInterval{10000};

#include <QEventLoop>

// Serves the events waiting for this thread (those flags lets through)
// unless it did so less than kPumpInterval ago.
void ServeWaitingEvents(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
