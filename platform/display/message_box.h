// Modal message boxes with the platform's button sets and answer codes.
// Text and caption are Shift-JIS. The platform layer cannot draw text, so
// the dialog itself comes from above it: the window chrome installs its
// drawn dialog at start. Without a display, or before one is installed,
// the text goes to stderr (UTF-8) and the default answer is returned at
// once, so headless runs never block. When the drawn dialog fails (no font
// to lay it out with), the desktop's own box stands in.
#pragma once
#include <cstdint>
#include <string>

enum class MessageBoxKind { OK, OKCancel, YesNo };
enum class MessageBoxIcon { None, Information, Question, Warning, Error };

// Answer codes as the platform's message box returns them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The first button (OK or Yes): Enter's answer, and the answer without a display.
int DefaultAnswer(MessageBoxKind kind);
// Esc or closing the box: Cancel or No, OK for a box with one button.
int EscapeAnswer(MessageBoxKind kind);

// Shows the box and waits for the answer.
int ShowMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon = MessageBoxIcon::None);

// The desktop's own box (SDL's), which needs no font or drawing of ours;
// the text is written on stderr too. Without a display, or when the box
// cannot be shown, stderr alone and the default answer. Buttons carry
// English captions, legible with any font the desktop has.
int ShowSystemMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                         MessageBoxIcon icon = MessageBoxIcon::None);

// Shows a box modally and returns the answer, or 0 when it cannot be shown
// (ShowMessageBox then reports on stderr).
using MessageBoxPresenter = int (*)(const std::string& sjis_text, const std::string& sjis_caption,
                                    MessageBoxKind kind, MessageBoxIcon icon);
// Null goes back to stderr only. Used while a display is available.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// How many boxes were asked for so far. The frame loop does not count the
// time a box stood open as game time: it starts timing anew when this moved.
uint32_t MessageBoxesShown();
