// The screen manager: the memory surface every frame is composed onto, the
// full-screen display modes the game may use, the switch between window and
// full screen, and the presentation of each finished frame in the window.
//
// The display connection is the player's exclusive hold on the display: it
// is made from the window's video service when
// a mode is set up, given up by ReleaseAll and whenever the switch crosses
// between window and full screen, and a full-screen set-up that fails
// leaves none, so that SetModeIndex falls back to the window.
#pragma once
#include "files/containers.h"
#include "platform/rect.h"
#include "platform/display/video.h"
#include "render/custom_dibx.h"

#include <cstdint>
#include <memory>
#include <vector>

// Makes the screen surface: a memory surface of (width, height, bits per
// pixel). Bit counts 15, 16 and 32 are asked for. A TDIBX unless another
// maker is set; null sets the TDIBX maker back.
using TScreenSurfaceMaker = std::unique_ptr<TCustomDIBX> (*)(int32_t width, int32_t height, int32_t bits);
void SetScreenSurfaceMaker(TScreenSurfaceMaker maker);

// What a present needs of the object registry: its update rectangle (empty
// = none), its display zoom in percent, and the dirty-rectangle lists of the
// active and the other screen layer. Flip clears both lists.
struct TScreenFrame {
    TRect UpdateRect{};
    int32_t Zoom = 100;
    TClipList* ActiveDirty = nullptr;
    TClipList* OtherDirty = nullptr;
};

// Something drawn straight onto the window over the game picture at every
// present, after the frame's rectangles (a video shown in overlay mode).
// What it covered comes back when its owner invalidates that area.
class TScreenOverlay {
public:
    virtual ~TScreenOverlay() = default;
    // Draws into the window's client image (Video::Update); view_origin:
    // where the game picture's top-left corner lies in the client area.
    virtual void DrawOverlay(Video& window, TPoint view_origin) = 0;
};

// Depth of the screen surface for a display: 15 on 5-5-5 displays (and in
// full screen below 16 bits), 16 on other displays of 16 bits or less, else
// 32 (a 24-bit display mode gets a 32-bit surface).
int32_t ScreenSurfaceDepth(const DisplayMode& display, bool full_screen);

// The modes of `all` that the game may use, in the order given: at least
// min_width x min_height and 16 bits deep. preferred receives the index of
// the preferred mode in the result, -1 when none qualified: the first mode
// kept, replaced by the first of the preferred size, and among modes of the
// preferred size one at the preferred depth, the lowest refresh rate first.
std::vector<DisplayMode> UsableDisplayModes(const std::vector<DisplayMode>& all, int32_t min_width,
                                            int32_t min_height, int32_t preferred_width,
                                            int32_t preferred_height, uint32_t preferred_bits,
                                            int32_t& preferred);

class TScreenManager {
public:
    // window: the main window, which also shows the game picture (at the
    // view origin, see SetViewOrigin). The minimum size is the game's size,
    // the preferred size the project's full-screen size. The mode list is
    // UsableDisplayModes of the window's modes; when none is usable, the
    // picture's own size alone (at the desktop's depth), which full screen
    // shows on a mode that holds it or scaled on the monitor's own mode. Raises Exception
    // "DirectDrawを初期化できません" when there is no video service. Starts
    // in the window (mode index -1). Each new screen surface's depth
    // becomes the depth of image surfaces (SetDisplayBitCount); destruction
    // sets 15 back, the depth the player draws at without a screen manager.
    TScreenManager(Video* window, int32_t min_width, int32_t min_height, int32_t preferred_width,
                   int32_t preferred_height);
    ~TScreenManager();
    TScreenManager(const TScreenManager&) = delete;
    TScreenManager& operator=(const TScreenManager&) = delete;

    // -1 (or any negative index) selects the window, an index of the mode
    // list that full-screen mode. Afterwards ModeIndex() tells what was
    // really selected: a full-screen mode that cannot be set, or an index
    // outside the list, leaves the window (-1).
    void SetModeIndex(int32_t index);
    int32_t ModeIndex() const { return FModeIndex; }
    int32_t GetModeCount() const { return static_cast<int32_t>(FModes.size()); }
    // False (mode untouched) when the index is outside the list.
    bool GetMode(int32_t index, DisplayMode& mode) const;

    // Presents the frame: see TScreenFrame. The overlays are drawn over it,
    // in the order they were added, and presented even when no rectangle
    // of the frame changed.
    void Flip(const TScreenFrame& frame);
    // Overlays are not owned; one added twice is drawn once.
    void AddOverlay(TScreenOverlay* overlay);
    void RemoveOverlay(TScreenOverlay* overlay);
    // Frees the screen surface and gives up the display connection (a full
    // screen returns to the desktop mode); mode index -2. The caller then
    // changes the window and calls SetModeIndex.
    void ReleaseAll();

    // Where the game picture's top-left corner lies in the window's client area.
    void SetViewOrigin(int32_t x, int32_t y) { FViewOrigin = {x, y}; }
    TPoint ViewOrigin() const { return FViewOrigin; }

    bool FullScreen() const { return FFullScreen; }
    // The surface the registry composes onto (null while released).
    TCustomDIBX* Surface() const { return FSurface.get(); }
    int32_t SurfaceBits() const { return FSurfaceBits; }
    bool GdiSurface() const { return FGdiSurface; }
    int32_t DisplayBits() const { return FDisplayBits; }
    bool Connected() const { return FConnected; }
    Video* Window() const { return FWindow; }

    // The preferred full-screen mode (-1 = none: full screen cannot be
    // entered); a script function may change it.
    int32_t PreferredModeIndex = -1;
    int32_t PreferredWidth = 0;
    int32_t PreferredHeight = 0;
    // The desktop's bits per pixel when it could be read, else 24.
    int32_t PreferredBits = 24;
    // Written by the frame loop every 2000 ms from FrameCount, which it then
    // resets; Flip counts every frame it presents.
    double FrameRate = 0;
    int32_t FrameCount = 0;

private:
    void set_up_surfaces();
    void disconnect();
    void free_surface() { FSurface.reset(); }
    void make_surface(int32_t bits);
    void upload(const TRect* rects, size_t count);

    Video* FWindow;
    std::vector<DisplayMode> FModes;
    int32_t FModeIndex = -2;
    int32_t FMinWidth;
    int32_t FMinHeight;
    TPoint FViewOrigin{};
    std::unique_ptr<TCustomDIBX> FSurface;
    bool FConnected = false;
    bool FFullScreen = false;
    int32_t FSurfaceBits = 0;
    bool FGdiSurface = false;
    int32_t FDisplayBits = 0;
    std::vector<TRect> FRects;
    std::vector<TScreenOverlay*> FOverlays;
    // Rows converted to 32-bit pixels for surfaces the window cannot take as they are.
    std::vector<uint32_t> FStaging;
};
