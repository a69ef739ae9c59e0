// Driving the event pump from tests: WaitEvent with a heartbeat so that it
// never blocks for ever, a log of what each call returned, and a spy that sees
// the messages a window's procedure gets.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

// What one WaitEvent call returned, with the state it left.
struct EventEntry {
    int32_t code;     // WaitEvent's result
    UINT message;     // the message it took from the queue
    HWND hwnd;        // that message's window
    WPARAM wParam;    // that message's wParam
    intptr_t control; // EventControl() afterwards
    int32_t subtype;  // EventSubtype afterwards
};
std::string Describe(const EventEntry& entry);

struct EventLog {
    std::vector<EventEntry> entries;
    // One line per entry, for failure messages.
    std::string Describe() const;
    // The first entry with this code, or null.
    const EventEntry* Find(int32_t code) const;
};

// While it lives, a thread timer posts WM_TIMER every 20 ms, so that WaitEvent returns.
class Heartbeat {
  public:
    Heartbeat();
    ~Heartbeat();
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

  private:
    UINT_PTR timer_;
};

// Calls WaitEvent until stop(entry) holds or the timeout passes, logging every
// result but the heartbeat's. Returns whether stop held.
bool PumpEvents(EventLog& log, const std::function<bool(const EventEntry&)>& stop,
                DWORD timeoutMs = 5000);
// Until WaitEvent returns code.
bool PumpUntilEvent(EventLog& log, int32_t code, DWORD timeoutMs = 5000);
// Posts a message and calls WaitEvent until it has dispatched that message;
// returns the entry of that call (a failure is added when it never came).
EventEntry DispatchPosted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls WaitEvent until the queue is empty, then drops any pending event.
void SettleEvents();

struct SpiedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Subclasses a window for its lifetime and records each message it receives.
class WindowSpy {
  public:
    explicit WindowSpy(HWND hwnd);
    ~WindowSpy();
    WindowSpy(const WindowSpy&) = delete;
    WindowSpy& operator=(const WindowSpy&) = delete;

    int Count(UINT message) const;
    int Count(UINT message, WPARAM wParam, LPARAM lParam) const;
    // Called after the window's own procedure has handled a message, inside the same dispatch.
    std::function<void(HWND, UINT, WPARAM, LPARAM)> after;
    std::vector<SpiedMessage> messages;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_;
    WNDPROC original_;
};
