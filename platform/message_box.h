// Modal message boxes with the platform's button sets and answer codes.
// Text and caption are Shift-JIS; they are shown as UTF-8.
#pragma once
#include <string>

enum class MessageBoxKind { OK, OKCancel, YesNo };
enum class MessageBoxIcon { None, Information, Question, Warning, Error };

// Answer codes as the platform's message box returns them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows the box and waits for the answer. The first button (OK or Yes) is
// the default for Enter; Esc or the close box gives Cancel or No (OK for a
// box with one button). Without a display the text goes to stderr (UTF-8)
// and the default answer is returned at once, so headless runs never block.
int ShowMessageBox(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon = MessageBoxIcon::None);
