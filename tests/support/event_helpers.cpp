#include "support/event_helpers.h"

#include <gtest/gtest.h>

#include "support/message_names.h"
#include "toolkit/event_pump.h"

namespace {
constexpr UINT HEARTBEAT_MS = 20;
const char SpyProperty[] = "KelvorTestSpy";

bool IsHeartbeat(const EventEntry& entry) {
    return entry.code == WM_TIMER && entry.message == WM_TIMER && entry.hwnd == nullptr;
}

EventEntry TakeEvent() {
    int32_t code = WaitEvent();
    const MSG& msg = LastEventMessage();
    return EventEntry{code, msg.message, msg.hwnd, msg.wParam, EventControl(), EventSubtype};
}
} // namespace

std::string Describe(const EventEntry& entry) {
    return DescribeEvent(entry.code) + " (from " + DescribeMessage(entry.message) + ", control " +
           std::to_string(entry.control) + ", subtype " + std::to_string(entry.subtype) + ")";
}

std::string EventLog::Describe() const {
    std::string text = "events:";
    for (const EventEntry& entry : entries)
        text += "\n  " + ::Describe(entry);
    if (entries.empty()) text += " none";
    return text;
}

const EventEntry* EventLog::Find(int32_t code) const {
    for (const EventEntry& entry : entries) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

Heartbeat::Heartbeat() : timer_(SetTimer(nullptr, 0, HEARTBEAT_MS, nullptr)) {}

Heartbeat::~Heartbeat() {
    KillTimer(nullptr, timer_);
}

bool PumpEvents(EventLog& log, const std::function<bool(const EventEntry&)>& stop,
                DWORD timeoutMs) {
    Heartbeat heartbeat;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start <= timeoutMs) {
        EventEntry entry = TakeEvent();
        if (IsHeartbeat(entry)) continue;
        log.entries.push_back(entry);
        if (stop(entry)) return true;
    }
    return false;
}

bool PumpUntilEvent(EventLog& log, int32_t code, DWORD timeoutMs) {
    return PumpEvents(
        log, [code](const EventEntry& e) { return e.code == code; }, timeoutMs);
}

EventEntry DispatchPosted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    EventLog log;
    EXPECT_TRUE(PostMessageA(hwnd, message, wParam, lParam));
    bool came = PumpEvents(log, [&](const EventEntry& e) {
        return e.message == message && e.hwnd == hwnd && !IsHeartbeat(e);
    });
    EXPECT_TRUE(came) << DescribeMessage(message) << " was not dispatched; " << log.Describe();
    return came ? log.entries.back() : EventEntry{0, 0, nullptr, 0, 0, 0};
}

void SettleEvents() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); ++i)
        WaitEvent();
    PendingEvent = 0;
}

WindowSpy::WindowSpy(HWND hwnd) : hwnd_(hwnd) {
    SetPropA(hwnd, SpyProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowSpy::Proc)));
}

WindowSpy::~WindowSpy() {
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        RemovePropA(hwnd_, SpyProperty);
    }
}

int WindowSpy::Count(UINT message) const {
    int n = 0;
    for (const SpiedMessage& m : messages)
        n += m.message == message;
    return n;
}

int WindowSpy::Count(UINT message, WPARAM wParam, LPARAM lParam) const {
    int n = 0;
    for (const SpiedMessage& m : messages) {
        n += m.message == message && m.wParam == wParam && m.lParam == lParam;
    }
    return n;
}

LRESULT CALLBACK WindowSpy::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* spy = static_cast<WindowSpy*>(GetPropA(hwnd, SpyProperty));
    spy->messages.push_back(SpiedMessage{message, wParam, lParam});
    LRESULT result = CallWindowProcA(spy->original_, hwnd, message, wParam, lParam);
    if (spy->after) spy->after(hwnd, message, wParam, lParam);
    return result;
}
