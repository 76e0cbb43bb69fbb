#include "platform/display/clipboard.h"

#include "platform/text/codepage.h"

#include <SDL.h>

namespace {
TClipboardBackend backend;
}

void SetClipboardBackend(const TClipboardBackend& b) { backend = b; }

std::string GetClipboardText() {
    std::string utf8;
    if (backend.GetUtf8) {
        utf8 = backend.GetUtf8();
    } else {
        char* text = SDL_GetClipboardText();
        if (text) utf8 = text;
        SDL_free(text);
    }
    return Utf8ToCp932(utf8);
}

bool SetClipboardText(const std::string& sjis) {
    const std::string utf8 = Cp932ToUtf8(sjis);
    if (backend.SetUtf8) return backend.SetUtf8(utf8);
    return SDL_SetClipboardText(utf8.c_str()) == 0;
}
