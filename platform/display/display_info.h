// The desktop area a window may use.
#pragma once

struct DisplayArea {
    int x = 0, y = 0, w = 0, h = 0;
};

// Usable bounds of the first display (without panels and docks) when a video
// driver is available; otherwise 0, 0, 640, 480.
DisplayArea UsableDisplayArea();
