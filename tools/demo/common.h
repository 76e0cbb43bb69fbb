// What the demo's pages share: the layers they place objects on, coloured
// boxes and the wave files their sounds are written as.
#pragma once
#include "engine/scenario_writer.h"

#include <cstdint>
#include <string>
#include <vector>

// Layer 0 itself: shown at the start, hidden after every odd switch, so
// only the first page builds on it.
constexpr const char* kLayer0 = "\"\x01" "BASE0\"";
// The hidden layer the next picture is built on before a transition brings
// it in.
constexpr const char* kHidden = "\"\x01\"";
// Whichever layer is shown now: no control has this name, and a new object
// whose parent is not found goes on the shown layer.
constexpr const char* kShown = "\"\x01" "SHOWN\"";

// Declares the box properties DemoBox writes; once per page.
void DemoBoxMasks(TPageWriter& w);
// A box; colours are 0x00BBGGRR, an alpha above 255 adds.
void DemoBox(TPageWriter& w, const char* name, const char* parent, int l, int t, int wd, int h, uint32_t colour,
             int alpha = 255, int border = 0, int32_t border_colour = -1, int priority = 0);

// A 16-bit PCM wave file of interleaved samples at rate frames a second.
void WriteWave(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate);
