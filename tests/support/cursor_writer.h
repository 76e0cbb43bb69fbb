// Writes the player's pointing-hand cursor file, which both build-time tools
// ship: the start-up logo over its link, the demo game as its default.
#pragma once
#include <string>

// A white pointing hand outlined in black, 32x32 with its hot spot on the
// fingertip (12, 2), as a cursor file of one 32-bit image.
void WriteHandCursor(const std::string& path);
