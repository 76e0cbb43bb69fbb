// What the demo's pages share: the layers they place objects on and
// coloured boxes.
#pragma once
#include "engine/scenario_writer.h"

#include <cstdint>

// The shown layer, and the hidden one the next picture is built on before
// a transition brings it in.
constexpr const char* kLayer0 = "\"\x01" "BASE0\"";
constexpr const char* kHidden = "\"\x01\"";

// Declares the box properties DemoBox writes; once per page.
void DemoBoxMasks(TPageWriter& w);
// A box; colours are 0x00BBGGRR, an alpha above 255 adds.
void DemoBox(TPageWriter& w, const char* name, const char* parent, int l, int t, int wd, int h, uint32_t colour,
             int alpha = 255, int border = 0, int32_t border_colour = -1, int priority = 0);
