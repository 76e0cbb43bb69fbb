// The desktop clipboard as Shift-JIS text. SDL holds it as UTF-8; the text
// is converted at this boundary (characters code page 932 lacks become "?").
#pragma once
#include <functional>
#include <string>

std::string GetClipboardText();
// False when the desktop refused the text (no video, no clipboard).
bool SetClipboardText(const std::string& sjis);

// Test seam: a clipboard of UTF-8 text in place of the desktop's, for runs
// without a video driver; null functions restore the desktop's.
struct TClipboardBackend {
    std::function<std::string()> GetUtf8;
    std::function<bool(const std::string&)> SetUtf8;
};
void SetClipboardBackend(const TClipboardBackend& backend);
