// The one way tests wait: for a condition, with a bounded timeout.
#pragma once

#include <windows.h>

#include <functional>

// What the waiting thread does between two looks at the condition.
enum class Meanwhile {
    Sleep,      // nothing: another thread or process does the work
    PumpEvents, // takes this thread's messages through the toolkit's WaitEvent, so
                // that its own windows (and those under test) get them
};

// Looks at done() until it holds or timeoutMs have passed; returns its last answer.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000,
               Meanwhile meanwhile = Meanwhile::Sleep);
