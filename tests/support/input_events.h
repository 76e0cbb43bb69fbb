// Window events as tests hand them to the main window or inject them into
// a video service.
#pragma once
#include "platform/display/video.h"

inline InputEvent KeyEvent(InputEventKind kind, int32_t vk, bool repeat = false) {
    InputEvent e;
    e.Kind = kind;
    e.VirtualKey = vk;
    e.Repeat = repeat;
    return e;
}

inline InputEvent MouseEvent(InputEventKind kind, int32_t x, int32_t y, MouseButton b = MouseButton::Left,
                             int32_t wheel = 0) {
    InputEvent e;
    e.Kind = kind;
    e.X = x;
    e.Y = y;
    e.Button = b;
    e.WheelDelta = wheel;
    return e;
}

inline InputEvent PlainEvent(InputEventKind kind) {
    InputEvent e;
    e.Kind = kind;
    return e;
}
