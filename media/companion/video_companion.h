// The companion module's video group. Each video decodes on a thread of its
// own into a short queue of frames and, when the file has sound and a sound
// device is in the module's cell, into a ring of 44100 Hz stereo that the
// device's mixing bus plays. The sound the listener hears is the clock the
// frames are paced by; a video without sound (or without a device) follows
// the system clock. Frames that fall behind the clock are skipped.
// Handles are never 0; an unknown handle is ignored (getters give 0).
// Booleans passed in are 0 / -1, those returned non-zero for true.
#pragma once
#include "platform/rect.h"

#include <cstdint>

class Video;

// The picture of the current frame: Width*Height 0xAARRGGBB pixels, rows
// top-down; valid until the next call for the same video on the main thread.
struct VideoPicture {
    const uint32_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
};

// name: for messages only, the data is read through the stream callbacks
// (the stream stays the caller's until vorqVidmanDel). overlay: the module
// draws the picture onto the window itself (vorqVideoPaintOverlay), so
// vorqVideoNeedPaint never asks the caller to copy it. Raises ECorruptData
// for a damaged file or one with no video stream it can decode.
uint32_t vorqVidmanAdd(const char* name, void* stream, int32_t overlay);
// Stops the video's thread and sound before the caller frees the stream.
void vorqVidmanDel(uint32_t h);

void vorqVideoPlay(uint32_t h);
void vorqVideoPause(uint32_t h);
int32_t vorqVideoIsPlaying(uint32_t h);
int32_t vorqVideoIsPaused(uint32_t h);
// The last frame and the last sound are out (never with auto-repeat, which
// starts over by itself).
int32_t vorqVideoIsEnd(uint32_t h);
int32_t vorqVideoGetLen(uint32_t h);
int32_t vorqVideoGetPosition(uint32_t h);
void vorqVideoSetPosition(uint32_t h, int32_t ms);
int32_t vorqVideoGetVol(uint32_t h);
void vorqVideoSetVol(uint32_t h, int32_t v);
int32_t vorqVideoGetPan(uint32_t h);
void vorqVideoSetPan(uint32_t h, int32_t v);
int32_t vorqVideoGetAutoRepeat(uint32_t h);
void vorqVideoSetAutoRepeat(uint32_t h, int32_t on);
int32_t vorqVideoGetVisible(uint32_t h);
void vorqVideoSetVisible(uint32_t h, int32_t on);
// Overlay placement: the part of the source picture (video pixels) and
// where it goes in the game picture.
void vorqVideoSetRect(uint32_t h, const TRect* source, const TRect* dest);
int32_t vorqVideoGetSourceWidth(uint32_t h);
int32_t vorqVideoGetSourceHeight(uint32_t h);
// A frame newer than the one last taken is due (never for overlays).
int32_t vorqVideoNeedPaint(uint32_t h);
// Takes the frame due now; null for an unknown handle.
const VideoPicture* vorqVideoGetDC(uint32_t h);
// Draws an overlay video's due frame into the window at its placement
// (view_origin: where the game picture lies in the client area); nothing
// while it is invisible or placed nowhere.
void vorqVideoPaintOverlay(uint32_t h, Video& window, TPoint view_origin);

// Frees every video still added (the module's end).
void vorqVidmanFinal();
