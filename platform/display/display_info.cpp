#include "platform/display/display_info.h"

#include <SDL.h>

DisplayArea UsableDisplayArea() {
    DisplayArea area{0, 0, 640, 480};
    // Init/quit of the subsystem is reference-counted, so this leaves an
    // already running video subsystem as it was.
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return area;
    SDL_Rect r;
    if (SDL_GetNumVideoDisplays() > 0 && SDL_GetDisplayUsableBounds(0, &r) == 0 && r.w > 0 && r.h > 0)
        area = DisplayArea{r.x, r.y, r.w, r.h};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return area;
}
