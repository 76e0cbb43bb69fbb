// The per-property accessor slots of every display object, generated from
// one table so that the declarations in TVorqObject, the overrides of the
// kinds and the property dispatcher of the engine cannot drift apart.
//
// VORQ_PLAIN_PROPERTIES(X) lists every property whose getter and setter
// exchange one value: X(id, Name, Kind, Default). Kind is INT (i32), BOOL,
// STR (Shift-JIS text), BYTE (widened to int without sign, narrowed on
// write) or STYLE (font-style set). Default is what the root class reads;
// its setter ignores the write. The properties that share an indexed pair
// or that the dispatcher reads directly are listed in
// VORQ_SPECIAL_PROPERTIES and declared by hand in objects/vorq_object.h.
#pragma once
#include "files/vocab.h"

#include <cstdint>
#include <string>

#define VORQ_PLAIN_PROPERTIES(X)                              \
    X(PR_SOURCE, Source, STR, std::string())                  \
    X(PR_LEFT, Left, INT, 0)                                  \
    X(PR_TOP, Top, INT, 0)                                    \
    X(PR_WIDTH, Width, INT, 0)                                \
    X(PR_HEIGHT, Height, INT, 0)                              \
    X(PR_ZOOMX, ZoomX, INT, 256)                              \
    X(PR_COLOR, Color, INT, 0xFFFFFF)                         \
    X(PR_BORDERWIDTH, BorderWidth, INT, 0)                    \
    X(PR_BORDERCOLOR, BorderColor, INT, -1)                   \
    X(PR_ALPHA, Alpha, INT, 255)                              \
    X(PR_OFFSETX, OffsetX, INT, 0)                            \
    X(PR_OFFSETY, OffsetY, INT, 0)                            \
    X(PR_FONTNAME, FontName, STR, std::string())              \
    X(PR_FONTHEIGHT, FontHeight, INT, 0)                      \
    X(PR_FONTSTYLE, FontStyle, STYLE, TFontStyles())          \
    X(PR_LINESPACE, LineSpace, INT, 0)                        \
    X(PR_FONTCOLOR, FontColor, INT, 0)                        \
    X(PR_FONTLINKCOLOR, FontLinkColor, INT, 0)                \
    X(PR_FONTBORDERCOLOR, FontBorderColor, INT, 0)            \
    X(PR_FONTHOVERCOLOR, FontHoverColor, INT, 0)              \
    X(PR_FONTHOVERSTYLE, FontHoverStyle, STYLE, TFontStyles()) \
    X(PR_HOVERCOLOR, HoverColor, INT, -1)                     \
    X(PR_ANTIALIAS, Antialias, BOOL, false)                   \
    X(PR_DELAY, Delay, INT, 0)                                \
    X(PR_PAUSED, Paused, BOOL, false)                         \
    X(PR_VOLUME, Volume, INT, 0)                              \
    X(PR_REPEAT, Repeat, BOOL, false)                         \
    X(PR_BALANCE, Balance, INT, 0)                            \
    X(PR_ANGLE, Angle, INT, 0)                                \
    X(PR_ONPLAYING, OnPlaying, STR, std::string())            \
    X(PR_ONNOTIFY, OnNotify, STR, std::string())              \
    X(PR_ONMOUSEMOVE, OnMouseMove, STR, std::string())        \
    X(PR_ONMOUSEOUT, OnMouseOut, STR, std::string())          \
    X(PR_ONLBTNDOWN, OnLBtnDown, STR, std::string())          \
    X(PR_ONLBTNUP, OnLBtnUp, STR, std::string())              \
    X(PR_ONRBTNDOWN, OnRBtnDown, STR, std::string())          \
    X(PR_ONRBTNUP, OnRBtnUp, STR, std::string())              \
    X(PR_ONWHEELDOWN, OnWheelDown, STR, std::string())        \
    X(PR_ONWHEELUP, OnWheelUp, STR, std::string())            \
    X(PR_BRIGHTNESS, Brightness, INT, 255)                    \
    X(PR_ONPLAYEND, OnPlayEnd, STR, std::string())            \
    X(PR_INDEX, Index, INT, -1)                               \
    X(PR_COUNT, Count, INT, 0)                                \
    X(PR_ONLINK, OnLink, STR, std::string())                  \
    X(PR_VISIBLE, Visible, BOOL, false)                       \
    X(PR_COLCOUNT, ColCount, INT, 0)                          \
    X(PR_ROWCOUNT, RowCount, INT, 0)                          \
    X(PR_TEXT, Text, STR, std::string())                      \
    X(PR_MARGINX, MarginX, INT, 0)                            \
    X(PR_MARGINY, MarginY, INT, 0)                            \
    X(PR_HALIGN, HAlign, BYTE, 0)                             \
    X(PR_SCROLLSOURCE, ScrollSource, STR, std::string())      \
    X(PR_CHECKSOURCE, CheckSource, STR, std::string())        \
    X(PR_AUTOSCRAP, AutoScrap, BOOL, false)                   \
    X(PR_ONSELECT, OnSelect, STR, std::string())              \
    X(PR_RCLICKSCRAP, RClickScrap, BOOL, false)               \
    X(PR_ONOPENING, OnOpening, STR, std::string())            \
    X(PR_ONOPENED, OnOpened, STR, std::string())              \
    X(PR_ONCLOSING, OnClosing, STR, std::string())            \
    X(PR_ONCLOSED, OnClosed, STR, std::string())              \
    X(PR_IGNOREMOUSE, IgnoreMouse, BYTE, 0)                   \
    X(PR_TEXTPAUSED, TextPaused, BOOL, false)                 \
    X(PR_TEXTDELAY, TextDelay, INT, 256)                      \
    X(PR_HOVERSOURCE, HoverSource, STR, std::string())        \
    X(PR_PRESSEDSOURCE, PressedSource, STR, std::string())    \
    X(PR_GROUPINDEX, GroupIndex, INT, 0)                      \
    X(PR_ALLOWALLUP, AllowAllUp, BOOL, false)                 \
    X(PR_SELECTED, Selected, BOOL, false)                     \
    X(PR_CAPTUREMASK, CaptureMask, BOOL, false)               \
    X(PR_POWER, Power, INT, 0)                                \
    X(PR_ORIGWIDTH, OrigWidth, INT, GetWidth())               \
    X(PR_ORIGHEIGHT, OrigHeight, INT, GetHeight())            \
    X(PR_PARTMOTION, PartMotion, INT, 1)                      \
    X(PR_TOPINDEX, TopIndex, INT, 0)                          \
    X(PR_READONLY, ReadOnly, BOOL, false)                     \
    X(PR_CURSOR, Cursor, STR, std::string())                  \
    X(PR_POSZOOMED, PosZoomed, BOOL, false)                   \
    X(PR_ONPLAYSTART, OnPlayStart, STR, std::string())        \
    X(PR_ONMOUSEIN, OnMouseIn, STR, std::string())            \
    X(PR_ONMAPIN, OnMapIn, STR, std::string())                \
    X(PR_ONMAPOUT, OnMapOut, STR, std::string())              \
    X(PR_MAPSOURCE, MapSource, STR, std::string())            \
    X(PR_AMP, Amp, INT, 0)                                    \
    X(PR_WAVELEN, WaveLen, INT, 0)                            \
    X(PR_SCROLLX, ScrollX, INT, 0)                            \
    X(PR_SCROLLY, ScrollY, INT, 0)                            \
    X(PR_FLIPH, FlipH, BOOL, false)                           \
    X(PR_FLIPV, FlipV, BOOL, false)                           \
    X(PR_ONIDLE, OnIdle, STR, std::string())                  \
    X(PR_DISTANCEX, DistanceX, INT, 0)                        \
    X(PR_DISTANCEY, DistanceY, INT, 0)                        \
    X(PR_CLIPLEFT, ClipLeft, INT, 0)                          \
    X(PR_CLIPTOP, ClipTop, INT, 0)                            \
    X(PR_CLIPWIDTH, ClipWidth, INT, 0)                        \
    X(PR_CLIPHEIGHT, ClipHeight, INT, 0)                      \
    X(PR_DURATION, Duration, INT, 0)                          \
    X(PR_THUMBSOURCE, ThumbSource, STR, std::string())        \
    X(PR_BUTTONSOURCE, ButtonSource, STR, std::string())      \
    X(PR_MIN, Min, INT, 0)                                    \
    X(PR_MAX, Max, INT, 0)                                    \
    X(PR_VALUE, Value, INT, 0)                                \
    X(PR_ORIENTATION, Orientation, INT, 0)                    \
    X(PR_SMALLCHANGE, SmallChange, INT, 1)                    \
    X(PR_LARGECHANGE, LargeChange, INT, 1)                    \
    X(PR_MAPTEXT, MapText, STR, std::string())                \
    X(PR_GLYPHWIDTH, GlyphWidth, INT, 0)                      \
    X(PR_GLYPHHEIGHT, GlyphHeight, INT, 0)                    \
    X(PR_ZOOMY, ZoomY, INT, 256)                              \
    X(PR_CLICKEDSOURCE, ClickedSource, STR, std::string())    \
    X(PR_ANIPAUSED, AniPaused, BOOL, false)                   \
    X(PR_ONHOLD, OnHold, STR, std::string())                  \
    X(PR_ONRELEASE, OnRelease, STR, std::string())            \
    X(PR_REVERSE, Reverse, BOOL, false)                       \
    X(PR_REWINDONLOAD, RewindOnLoad, BOOL, true)              \
    X(PR_FONTSHADOWCOLOR, FontShadowColor, INT, 0)            \
    X(PR_FONTBORDER, FontBorder, INT, 0)                      \
    X(PR_FONTSHADOW, FontShadow, INT, 0)                      \
    X(PR_ONKEYDOWN, OnKeyDown, STR, std::string())            \
    X(PR_ONKEYUP, OnKeyUp, STR, std::string())                \
    X(PR_ONKEYREPEAT, OnKeyRepeat, STR, std::string())        \
    X(PR_HANDLEKEY, HandleKey, BOOL, false)                   \
    X(PR_ONFOCUSIN, OnFocusIn, STR, std::string())            \
    X(PR_ONFOCUSOUT, OnFocusOut, STR, std::string())          \
    X(PR_OVERLAY, Overlay, BOOL, true)                        \
    X(PR_CAPTURELINK, CaptureLink, BOOL, false)               \
    X(PR_FONTHOVERBORDER, FontHoverBorder, INT, 0)            \
    X(PR_FONTHOVERBORDERCOLOR, FontHoverBorderColor, INT, 0)  \
    X(PR_FONTHOVERSHADOW, FontHoverShadow, INT, 0)            \
    X(PR_FONTHOVERSHADOWCOLOR, FontHoverShadowColor, INT, 0)  \
    X(PR_BARSIZE, BarSize, INT, 0)                            \
    X(PR_MUTEONLOAD, MuteOnLoad, BOOL, false)                 \
    X(PR_PLUSX, PlusX, INT, 0)                                \
    X(PR_PLUSY, PlusY, INT, 0)

// Ids served otherwise: NAME (name field, SetName), PARENT (GetParent /
// SetParent), PRIORITY and TAG (fields), COMPOTYPE (GetCompoType), PLAYING
// (getter only), CARETX / CARETY (GetCaret), APPEARX / APPEARY (no slot),
// PARAM1..3 (GetParam / SetParam), BORDERSOURCE* (GetBorderSource /
// SetBorderSource), BORDERHALIGN* (GetBorderHAlign / SetBorderHAlign),
// BORDERVALIGN* (GetBorderVAlign / SetBorderVAlign).
#define VORQ_SPECIAL_PROPERTIES(X)                                                                           \
    X(PR_NAME) X(PR_PARENT) X(PR_PRIORITY) X(PR_TAG) X(PR_COMPOTYPE) X(PR_PLAYING) X(PR_CARETX) X(PR_CARETY) \
    X(PR_APPEARX) X(PR_APPEARY) X(PR_PARAM1) X(PR_PARAM2) X(PR_PARAM3) X(PR_BORDERSOURCETL)                  \
    X(PR_BORDERSOURCETC) X(PR_BORDERSOURCETR) X(PR_BORDERSOURCECL) X(PR_BORDERSOURCECC)                      \
    X(PR_BORDERSOURCECR) X(PR_BORDERSOURCEBL) X(PR_BORDERSOURCEBC) X(PR_BORDERSOURCEBR)                      \
    X(PR_BORDERHALIGNT) X(PR_BORDERHALIGNC) X(PR_BORDERHALIGNB) X(PR_BORDERVALIGNL) X(PR_BORDERVALIGNC)      \
    X(PR_BORDERVALIGNR)

// Value and argument types of the kinds.
#define VORQ_VALUE_INT int32_t
#define VORQ_VALUE_BOOL bool
#define VORQ_VALUE_STR std::string
#define VORQ_VALUE_BYTE uint8_t
#define VORQ_VALUE_STYLE TFontStyles
#define VORQ_ARG_INT int32_t
#define VORQ_ARG_BOOL bool
#define VORQ_ARG_STR const std::string&
#define VORQ_ARG_BYTE uint8_t
#define VORQ_ARG_STYLE TFontStyles

// The root declarations: a getter reading the default, a setter ignoring
// the write.
#define VORQ_DECLARE_ROOT_ACCESSORS(id, Name, Kind, Default)          \
    virtual VORQ_VALUE_##Kind Get##Name() const { return Default; } \
    virtual void Set##Name(VORQ_ARG_##Kind) {}
