// The scenario language's shared vocabulary: property, component and key
// tables whose order is the numeric code stored in pages and saves, the
// small enumerations display objects use, and a few helpers many parts share.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <string>
#include <string_view>

// Value type codes of variables, operands, properties, function results and
// table columns.
enum TValueType : uint8_t { PT_NONE = 0, PT_INT = 1, PT_FLOAT = 2, PT_BOOL = 3, PT_STR = 4 };

enum TPropertyId : int {
    PR_NAME = 0, PR_PARENT, PR_SOURCE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_ZOOMX, PR_COLOR,
    PR_BORDERWIDTH, PR_BORDERCOLOR, PR_ALPHA, PR_PRIORITY, PR_OFFSETX, PR_OFFSETY, PR_FONTNAME,
    PR_FONTHEIGHT, PR_FONTSTYLE, PR_LINESPACE, PR_FONTCOLOR, PR_FONTLINKCOLOR, PR_FONTBORDERCOLOR,
    PR_FONTHOVERCOLOR, PR_FONTHOVERSTYLE, PR_HOVERCOLOR, PR_ANTIALIAS, PR_DELAY, PR_PAUSED,
    PR_VOLUME, PR_REPEAT, PR_BALANCE, PR_ANGLE, PR_ONPLAYING, PR_ONNOTIFY, PR_ONMOUSEMOVE,
    PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP, PR_ONWHEELDOWN,
    PR_ONWHEELUP, PR_BRIGHTNESS, PR_ONPLAYEND, PR_INDEX, PR_COUNT, PR_ONLINK, PR_VISIBLE,
    PR_COLCOUNT, PR_ROWCOUNT, PR_TEXT, PR_MARGINX, PR_MARGINY, PR_HALIGN, PR_BORDERSOURCETL,
    PR_BORDERSOURCETC, PR_BORDERSOURCETR, PR_BORDERSOURCECL, PR_BORDERSOURCECC, PR_BORDERSOURCECR,
    PR_BORDERSOURCEBL, PR_BORDERSOURCEBC, PR_BORDERSOURCEBR, PR_BORDERHALIGNT, PR_BORDERHALIGNC,
    PR_BORDERHALIGNB, PR_BORDERVALIGNL, PR_BORDERVALIGNC, PR_BORDERVALIGNR, PR_SCROLLSOURCE,
    PR_CHECKSOURCE, PR_AUTOSCRAP, PR_ONSELECT, PR_RCLICKSCRAP, PR_ONOPENING, PR_ONOPENED,
    PR_ONCLOSING, PR_ONCLOSED, PR_CARETX, PR_CARETY, PR_IGNOREMOUSE, PR_TEXTPAUSED, PR_TEXTDELAY,
    PR_HOVERSOURCE, PR_PRESSEDSOURCE, PR_GROUPINDEX, PR_ALLOWALLUP, PR_SELECTED, PR_CAPTUREMASK,
    PR_POWER, PR_ORIGWIDTH, PR_ORIGHEIGHT, PR_APPEARX, PR_APPEARY, PR_PARTMOTION, PR_PARAM1,
    PR_PARAM2, PR_TOPINDEX, PR_READONLY, PR_CURSOR, PR_POSZOOMED, PR_ONPLAYSTART, PR_PARAM3,
    PR_ONMOUSEIN, PR_ONMAPIN, PR_ONMAPOUT, PR_MAPSOURCE, PR_AMP, PR_WAVELEN, PR_SCROLLX, PR_SCROLLY,
    PR_FLIPH, PR_FLIPV, PR_ONIDLE, PR_DISTANCEX, PR_DISTANCEY, PR_CLIPLEFT, PR_CLIPTOP,
    PR_CLIPWIDTH, PR_CLIPHEIGHT, PR_DURATION, PR_THUMBSOURCE, PR_BUTTONSOURCE, PR_MIN, PR_MAX,
    PR_VALUE, PR_ORIENTATION, PR_SMALLCHANGE, PR_LARGECHANGE, PR_MAPTEXT, PR_GLYPHWIDTH,
    PR_GLYPHHEIGHT, PR_ZOOMY, PR_CLICKEDSOURCE, PR_ANIPAUSED, PR_ONHOLD, PR_ONRELEASE, PR_REVERSE,
    PR_PLAYING, PR_REWINDONLOAD, PR_COMPOTYPE, PR_FONTSHADOWCOLOR, PR_FONTBORDER, PR_FONTSHADOW,
    PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT, PR_HANDLEKEY, PR_ONFOCUSIN, PR_ONFOCUSOUT, PR_OVERLAY,
    PR_TAG, PR_CAPTURELINK, PR_FONTHOVERBORDER, PR_FONTHOVERBORDERCOLOR, PR_FONTHOVERSHADOW,
    PR_FONTHOVERSHADOWCOLOR, PR_BARSIZE, PR_MUTEONLOAD, PR_PLUSX, PR_PLUSY,
};
constexpr int PROPERTY_COUNT = 161;

struct TPropertyInfo {
    const char* Name;  // "PR_NAME" ...
    TValueType Type;
};
extern const TPropertyInfo PropertyInfos[PROPERTY_COUNT];

// The authoring editor's label of a property (Shift-JIS); empty where the
// system has none.
std::string PropertyDisplayName(int id);

enum TComponentType : int {
    LT_NONE, LT_AUDIO, LT_BOX, LT_BUTTON, LT_CINEMA, LT_EDIT, LT_FIRE, LT_HTTP, LT_IMAGES, LT_LABEL,
    LT_MAP, LT_MEMO, LT_MENU, LT_MES, LT_PARTICLE, LT_TIMER, LT_VIDEO, LT_SOUND, LT_MAPIMG, LT_WAVE,
    LT_TILE, LT_SLIDER, LT_SCROLLBAR, LT_GAUGE, LT_CGLABEL, LT_PREVMENU, LT_PROPMOTION, LT_CABINET,
};
constexpr int COMPONENT_TYPE_COUNT = 28;

// Key names in code order.
enum TKeyName : int {
    VkmBACK, VkmTAB, VkmRETURN, VkmSHIFT, VkmCONTROL, VkmALT, VkmPAUSE, VkmCAPITAL, VkmESCAPE,
    VkmSPACE, VkmPAGEUP, VkmPAGEDOWN, VkmEND, VkmHOME, VkmLEFT, VkmUP, VkmRIGHT, VkmDOWN, VkmINSERT,
    VkmDELETE, Vkm0, Vkm1, Vkm2, Vkm3, Vkm4, Vkm5, Vkm6, Vkm7, Vkm8, Vkm9, VkmA, VkmB, VkmC, VkmD,
    VkmE, VkmF, VkmG, VkmH, VkmI, VkmJ, VkmK, VkmL, VkmM, VkmN, VkmO, VkmP, VkmQ, VkmR, VkmS, VkmT,
    VkmU, VkmV, VkmW, VkmX, VkmY, VkmZ, VkmF1, VkmF2, VkmF3, VkmF4, VkmF5, VkmF6, VkmF7, VkmF8,
    VkmF9, VkmF10, VkmF11, VkmF12, VkmWheelDown, VkmWheelUp,
};
constexpr int KEY_NAME_COUNT = 70;
extern const char* const KeyNames[KEY_NAME_COUNT];

// Font style bits, as properties, glyph requests and stored settings
// exchange them.
constexpr uint8_t fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;

enum THAlign : uint8_t { HA_LEFT, HA_CENTER, HA_RIGHT };
enum TVAlign : uint8_t { VA_TOP, VA_CENTER, VA_BOTTOM };
// What a sound does when its page is loaded.
enum TLoadPlay : uint8_t { LP_PLAY, LP_PLAYFADE, LP_STOP, LP_STOPFADE };
enum TParticleMotion : uint8_t { PM_NONE, PM_SNOW, PM_STAR, PM_FLUFF, PM_TWISTER };
// Which mouse input an object ignores.
enum TIgnoreMouse : uint8_t { IM_NONE, IM_ALL, IM_CLICK, IM_LCLICK, IM_RCLICK };
enum TOrientation : uint8_t { OT_HORIZONTAL, OT_VERTICAL };
// Motion speed curve: constant, accelerating, decelerating.
enum TMotionCurve : uint8_t { MT_NORMAL, MT_INC, MT_DEC };
enum TFlipMode : uint8_t { FL_OUT, FL_STAY };

// Project messages; the disc-change text takes the disc number as %d.
enum TProjectMessage : uint8_t { CHANGEMEDIA, EXIT };
constexpr int PROJECT_MESSAGE_COUNT = 2;
std::string ProjectMessageName(int message);  // Shift-JIS; empty outside the range

// Wallpaper style labels in the editor's order (centre, stretch, tile).
constexpr int WALLPAPER_STYLE_COUNT = 3;
std::string WallpaperStyleName(int index);  // Shift-JIS; empty outside the range

// Font styles as a set of those bits.
struct TFontStyles {
    uint8_t Bits = 0;
    constexpr bool Contains(uint8_t style) const { return (Bits & style) != 0; }
    constexpr TFontStyles& Include(uint8_t style) {
        Bits = static_cast<uint8_t>(Bits | style);
        return *this;
    }
    friend bool operator==(const TFontStyles&, const TFontStyles&) = default;
};
int FontStylesToInt(TFontStyles styles);
TFontStyles IntToFontStyles(int bits);  // bits above 8 are ignored

// "\n" -> CR LF, "\\" -> "\", "\"" -> '"'; other backslashes stay.
std::string UnescapeText(std::string_view s);

// Each of red, green and blue times Factor / 256, kept in its byte; the top
// byte of the result is 0.
int32_t ScaleColor(int32_t color, int32_t factor);

// Path with "\" appended unless it already ends in a delimiter; "" -> "\".
std::string AddTrailingBackslash(const std::string& path);

// Splits "file:label" at the last ':' after the last '.' and '\' (never at
// the first byte). Without one, Label is empty and Name unchanged.
void SplitFileLabel(std::string& Name, std::string& Label);

// The usable desktop area (screen minus panels).
TRect GetWorkAreaRect();

// Desktop wallpaper is not supported on this platform: always false.
bool SetWallPaper(const std::string& FileName, int Style);
