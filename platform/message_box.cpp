#include "platform/message_box.h"
#include "platform/codepage.h"
#include "platform/video.h"

#include <cstdio>

namespace {
MessageBoxPresenter presenter = nullptr;
uint32_t boxes_shown = 0;

int report_on_stderr(const std::string& sjis_caption, const std::string& sjis_text, MessageBoxKind kind) {
    const std::string caption = Cp932ToUtf8(sjis_caption);
    const std::string text = Cp932ToUtf8(sjis_text);
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
    const int answer = presenter(sjis_text, sjis_caption, kind, icon);
    return answer != 0 ? answer : report_on_stderr(sjis_caption, sjis_text, kind);
}

void SetMessageBoxPresenter(MessageBoxPresenter p) { presenter = p; }

uint32_t MessageBoxesShown() { return boxes_shown; }
