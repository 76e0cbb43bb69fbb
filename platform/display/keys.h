// The virtual-key codes scripts test keys by (@KeyPush, @KeyClick, ...),
// and our table from SDL's key codes to them.
#pragma once
#include <cstdint>

constexpr int32_t VK_BACK = 8;
constexpr int32_t VK_TAB = 9;
constexpr int32_t VK_CLEAR = 12;
constexpr int32_t VK_RETURN = 13;
constexpr int32_t VK_SHIFT = 16;
constexpr int32_t VK_CONTROL = 17;
constexpr int32_t VK_MENU = 18;  // Alt
constexpr int32_t VK_PAUSE = 19;
constexpr int32_t VK_CAPITAL = 20;
constexpr int32_t VK_ESCAPE = 27;
constexpr int32_t VK_SPACE = 32;
constexpr int32_t VK_PRIOR = 33;  // Page Up
constexpr int32_t VK_NEXT = 34;   // Page Down
constexpr int32_t VK_END = 35;
constexpr int32_t VK_HOME = 36;
constexpr int32_t VK_LEFT = 37;
constexpr int32_t VK_UP = 38;
constexpr int32_t VK_RIGHT = 39;
constexpr int32_t VK_DOWN = 40;
constexpr int32_t VK_SNAPSHOT = 44;
constexpr int32_t VK_INSERT = 45;
constexpr int32_t VK_DELETE = 46;
constexpr int32_t VK_0 = 48;  // '0'..'9' are 48..57
constexpr int32_t VK_A = 65;  // 'A'..'Z' are 65..90
constexpr int32_t VK_LWIN = 91;
constexpr int32_t VK_RWIN = 92;
constexpr int32_t VK_APPS = 93;
constexpr int32_t VK_NUMPAD0 = 96;  // numpad 0..9 are 96..105
constexpr int32_t VK_MULTIPLY = 106;
constexpr int32_t VK_ADD = 107;
constexpr int32_t VK_SUBTRACT = 109;
constexpr int32_t VK_DECIMAL = 110;
constexpr int32_t VK_DIVIDE = 111;
constexpr int32_t VK_F1 = 112;  // F1..F12 are 112..123
constexpr int32_t VK_NUMLOCK = 144;
constexpr int32_t VK_SCROLL = 145;
constexpr int32_t VK_OEM_1 = 186;       // ;:
constexpr int32_t VK_OEM_PLUS = 187;    // =+
constexpr int32_t VK_OEM_COMMA = 188;
constexpr int32_t VK_OEM_MINUS = 189;
constexpr int32_t VK_OEM_PERIOD = 190;
constexpr int32_t VK_OEM_2 = 191;  // /?
constexpr int32_t VK_OEM_3 = 192;  // `~
constexpr int32_t VK_OEM_4 = 219;  // [{
constexpr int32_t VK_OEM_5 = 220;  // backslash |
constexpr int32_t VK_OEM_6 = 221;  // ]}
constexpr int32_t VK_OEM_7 = 222;  // '"

// The virtual-key code for an SDL scancode and keycode (SDL_Scancode and
// SDL_Keycode values), or 0 for keys scripts cannot see. Letters and digits
// follow the keycode, so that they match the key caps of the user's layout;
// a layout whose keycode is no Latin letter falls back to the key's
// position. Both Shift, Control and Alt keys give the one generic code.
// The numpad gives VK_NUMPAD0.. while Num Lock is on and the navigation
// codes (VK_HOME, ...) when SDL reports it off; its Enter is VK_RETURN.
int32_t VirtualKeyFromSdl(int32_t scancode, int32_t keycode);
