#include "platform/display/keys.h"

#include <SDL.h>
#include <gtest/gtest.h>

TEST(Keys, SdlKeysGiveTheCodesScriptsUse) {
    struct Case {
        SDL_Scancode sc;
        SDL_Keycode kc;
        int32_t vk;
    };
    const Case cases[] = {
        {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 8}, {SDL_SCANCODE_TAB, SDLK_TAB, 9},
        {SDL_SCANCODE_RETURN, SDLK_RETURN, 13},      {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13},
        {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 16},      {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 16},
        {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 17},        {SDL_SCANCODE_RCTRL, SDLK_RCTRL, 17},
        {SDL_SCANCODE_LALT, SDLK_LALT, 18},          {SDL_SCANCODE_RALT, SDLK_RALT, 18},
        {SDL_SCANCODE_PAUSE, SDLK_PAUSE, 19},        {SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, 20},
        {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 27},      {SDL_SCANCODE_SPACE, SDLK_SPACE, 32},
        {SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 33},      {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 34},
        {SDL_SCANCODE_END, SDLK_END, 35},            {SDL_SCANCODE_HOME, SDLK_HOME, 36},
        {SDL_SCANCODE_LEFT, SDLK_LEFT, 37},          {SDL_SCANCODE_UP, SDLK_UP, 38},
        {SDL_SCANCODE_RIGHT, SDLK_RIGHT, 39},        {SDL_SCANCODE_DOWN, SDLK_DOWN, 40},
        {SDL_SCANCODE_INSERT, SDLK_INSERT, 45},      {SDL_SCANCODE_DELETE, SDLK_DELETE, 46},
        {SDL_SCANCODE_0, SDLK_0, 48},                {SDL_SCANCODE_9, SDLK_9, 57},
        {SDL_SCANCODE_A, SDLK_a, 65},                {SDL_SCANCODE_Z, SDLK_z, 90},
        {SDL_SCANCODE_F1, SDLK_F1, 112},             {SDL_SCANCODE_F12, SDLK_F12, 123},
        {SDL_SCANCODE_KP_0, SDLK_KP_0, 96},          {SDL_SCANCODE_KP_9, SDLK_KP_9, 105},
        {SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY, 106}, {SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, 107},
        {SDL_SCANCODE_KP_MINUS, SDLK_KP_MINUS, 109}, {SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, 110},
        {SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE, 111},
        // The numpad with Num Lock off, as SDL reports it: navigation keys.
        {SDL_SCANCODE_KP_7, SDLK_HOME, 36},
    };
    for (const auto& c : cases) EXPECT_EQ(VirtualKeyFromSdl(c.sc, c.kc), c.vk) << SDL_GetScancodeName(c.sc);
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_A + i, SDLK_a + i), 65 + i);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_F1 + i, SDLK_F1 + i), 112 + i);
}

TEST(Keys, LayoutsFollowKeyCapsAndFallBackToPosition) {
    // On a French layout the key in the Q position types 'a': scripts see A.
    EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_Q, SDLK_a), 65);
    // A Cyrillic key cap has no Latin code: the key's position decides.
    EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_F, 0x0430), 70);
    EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_SEMICOLON, SDLK_SEMICOLON), VK_OEM_1);
    EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDL_SCANCODE_VOLUMEUP, SDLK_VOLUMEUP), 0);
}
