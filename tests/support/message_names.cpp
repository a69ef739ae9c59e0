#include "support/message_names.h"

#include <stdio.h>

#include "toolkit/event_pump.h"

namespace {
struct Named {
    UINT value;
    const char* name;
};

#define NAMED(x)                                                                                   \
    { x, #x }
const Named Messages[] = {
    NAMED(WM_NULL),          NAMED(WM_MOVE),          NAMED(WM_SIZE),        NAMED(WM_ACTIVATE),
    NAMED(WM_SETFOCUS),      NAMED(WM_KILLFOCUS),     NAMED(WM_PAINT),       NAMED(WM_CLOSE),
    NAMED(WM_QUIT),          NAMED(WM_SETCURSOR),     NAMED(WM_NOTIFY),      NAMED(WM_NCMOUSEMOVE),
    NAMED(WM_NCLBUTTONDOWN), NAMED(WM_NCLBUTTONUP),   NAMED(WM_KEYDOWN),     NAMED(WM_KEYUP),
    NAMED(WM_CHAR),          NAMED(WM_COMMAND),       NAMED(WM_SYSCOMMAND),  NAMED(WM_TIMER),
    NAMED(WM_HSCROLL),       NAMED(WM_VSCROLL),       NAMED(WM_MOUSEMOVE),   NAMED(WM_LBUTTONDOWN),
    NAMED(WM_LBUTTONUP),     NAMED(WM_LBUTTONDBLCLK), NAMED(WM_RBUTTONDOWN), NAMED(WM_RBUTTONUP),
    NAMED(WM_RBUTTONDBLCLK), NAMED(WM_USER),          NAMED(WM_APP),         NAMED(UM_RELAYPOINTER),
    NAMED(UM_POINTEREVENT),  NAMED(UM_CONTROLEVENT),
};
const Named Events[] = {
    NAMED(EV_MOVE),    NAMED(EV_SIZE),    NAMED(EV_CLOSE),
    NAMED(EV_CONTROL), NAMED(EV_COMMAND), NAMED(EV_POINTER),
};
#undef NAMED
} // namespace

const char* MessageName(UINT message) {
    for (const Named& m : Messages) {
        if (m.value == message) return m.name;
    }
    return nullptr;
}

std::string DescribeMessage(UINT message) {
    if (const char* name = MessageName(message)) return name;
    char text[40];
    snprintf(text, sizeof text, "message %u (0x%04X)", message, message);
    return text;
}

std::string DescribeEvent(int32_t code) {
    for (const Named& e : Events) {
        if (static_cast<int32_t>(e.value) == code) return e.name;
    }
    return DescribeMessage(static_cast<UINT>(code));
}
