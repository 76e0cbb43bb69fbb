#include "platform/display/message_box.h"
#include "platform/text/codepage.h"
#include "platform/display/video.h"

#include <SDL.h>

#include <cstdio>
#include <exception>
#include <vector>

namespace {
MessageBoxPresenter presenter = nullptr;
uint32_t boxes_shown = 0;

int report_on_stderr(const std::string& sjis_caption, const std::string& sjis_text, MessageBoxKind kind) {
    const std::string caption = SjisToSystemName(sjis_caption);
    const std::string text = SjisToSystemName(sjis_text);
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    return DefaultAnswer(kind);
}
}  // namespace

int DefaultAnswer(MessageBoxKind kind) { return kind == MessageBoxKind::YesNo ? IDYES : IDOK; }

int EscapeAnswer(MessageBoxKind kind) {
    switch (kind) {
    case MessageBoxKind::OKCancel: return IDCANCEL;
    case MessageBoxKind::YesNo: return IDNO;
    default: return IDOK;
    }
}

int ShowMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon) {
    ++boxes_shown;
    if (!presenter || !DisplayAvailable()) return report_on_stderr(sjis_caption, sjis_text, kind);
    int answer = 0;
    try {
        answer = presenter(sjis_text, sjis_caption, kind, icon);
    } catch (const std::exception&) {
        // A box that cannot say what it was asked to must not end the
        // program: the desktop's box needs nothing of what failed.
        return ShowSystemMessageBox(sjis_text, sjis_caption, kind, icon);
    }
    return answer != 0 ? answer : report_on_stderr(sjis_caption, sjis_text, kind);
}

int ShowSystemMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                         MessageBoxIcon icon) {
    const int fallback = report_on_stderr(sjis_caption, sjis_text, kind);
    if (!DisplayAvailable()) return fallback;
    const std::string caption = SjisToSystemName(sjis_caption);
    const std::string text = SjisToSystemName(sjis_text);
    // Left to right as our own box has them: Enter gives the first answer,
    // Escape the last.
    std::vector<SDL_MessageBoxButtonData> buttons;
    switch (kind) {
    case MessageBoxKind::OK:
        buttons = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"}};
        break;
    case MessageBoxKind::OKCancel:
        buttons = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"},
                   {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"}};
        break;
    case MessageBoxKind::YesNo:
        buttons = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
                   {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"}};
        break;
    }
    Uint32 flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    switch (icon) {
    case MessageBoxIcon::Error: flags |= SDL_MESSAGEBOX_ERROR; break;
    case MessageBoxIcon::Warning: flags |= SDL_MESSAGEBOX_WARNING; break;
    case MessageBoxIcon::Information:
    case MessageBoxIcon::Question: flags |= SDL_MESSAGEBOX_INFORMATION; break;
    case MessageBoxIcon::None: break;
    }
    const SDL_MessageBoxData data{flags, ActiveSdlWindow(), caption.c_str(), text.c_str(),
                                  static_cast<int>(buttons.size()), buttons.data(), nullptr};
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return fallback;
    return pressed == -1 ? EscapeAnswer(kind) : pressed;
}

void SetMessageBoxPresenter(MessageBoxPresenter p) { presenter = p; }

uint32_t MessageBoxesShown() { return boxes_shown; }
