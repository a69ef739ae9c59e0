#include "support/wait.h"

#include <optional>

#include "support/event_helpers.h"
#include "toolkit/event_pump.h"

// How long a sleeping wait rests between two looks.
constexpr DWORD POLL_MS = 5;

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, Meanwhile meanwhile) {
    // The heartbeat's timer makes WaitEvent return even when no other message comes.
    std::optional<Heartbeat> heartbeat;
    if (meanwhile == Meanwhile::PumpEvents) heartbeat.emplace();
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return done();
        if (meanwhile == Meanwhile::PumpEvents) {
            WaitEvent();
        } else {
            Sleep(POLL_MS);
        }
    }
    return true;
}
