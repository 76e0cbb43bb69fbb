#include "platform/message_box.h"
#include "platform/codepage.h"
#include "platform/video.h"

#include <SDL.h>

#include <cstdio>

namespace {
int default_answer(MessageBoxKind kind) { return kind == MessageBoxKind::YesNo ? IDYES : IDOK; }

int escape_answer(MessageBoxKind kind) {
    switch (kind) {
    case MessageBoxKind::OKCancel: return IDCANCEL;
    case MessageBoxKind::YesNo: return IDNO;
    default: return IDOK;
    }
}

int report_on_stderr(const std::string& caption, const std::string& text, MessageBoxKind kind) {
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    return default_answer(kind);
}

Uint32 icon_flags(MessageBoxIcon icon) {
    switch (icon) {
    case MessageBoxIcon::Warning: return SDL_MESSAGEBOX_WARNING;
    case MessageBoxIcon::Error: return SDL_MESSAGEBOX_ERROR;
    case MessageBoxIcon::Information:
    case MessageBoxIcon::Question: return SDL_MESSAGEBOX_INFORMATION;
    default: return 0;
    }
}
}  // namespace

int ShowMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon) {
    std::string text = Cp932ToUtf8(sjis_text);
    std::string caption = Cp932ToUtf8(sjis_caption);
    if (!DisplayAvailable()) return report_on_stderr(caption, text, kind);
    // Button texts go to SDL as UTF-8, so they are written here as such.
    const char* ok = "OK";
    const char* cancel = "キャンセル";
    const char* yes = "はい";
    const char* no = "いいえ";
    SDL_MessageBoxButtonData buttons[2];
    int count = 0;
    switch (kind) {
    case MessageBoxKind::OK:
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, ok};
        break;
    case MessageBoxKind::OKCancel:
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, ok};
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, cancel};
        break;
    case MessageBoxKind::YesNo:
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, yes};
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, no};
        break;
    }
    SDL_MessageBoxData data{};
    data.flags = icon_flags(icon) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.window = ActiveSdlWindow();
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    int answer = -1;
    if (SDL_ShowMessageBox(&data, &answer) != 0) return report_on_stderr(caption, text, kind);
    return answer < 0 ? escape_answer(kind) : answer;
}
