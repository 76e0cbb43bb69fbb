#include "files/vocab.h"

#include "platform/text/codepage.h"
#include "platform/display/display_info.h"
#include "platform/filesystem/filesys.h"

const TPropertyInfo PropertyInfos[PROPERTY_COUNT] = {
    {"PR_NAME", PT_STR}, {"PR_PARENT", PT_STR}, {"PR_SOURCE", PT_STR}, {"PR_LEFT", PT_INT},
    {"PR_TOP", PT_INT}, {"PR_WIDTH", PT_INT}, {"PR_HEIGHT", PT_INT}, {"PR_ZOOMX", PT_INT},
    {"PR_COLOR", PT_INT}, {"PR_BORDERWIDTH", PT_INT}, {"PR_BORDERCOLOR", PT_INT},
    {"PR_ALPHA", PT_INT}, {"PR_PRIORITY", PT_INT}, {"PR_OFFSETX", PT_INT}, {"PR_OFFSETY", PT_INT},
    {"PR_FONTNAME", PT_STR}, {"PR_FONTHEIGHT", PT_INT}, {"PR_FONTSTYLE", PT_INT},
    {"PR_LINESPACE", PT_INT}, {"PR_FONTCOLOR", PT_INT}, {"PR_FONTLINKCOLOR", PT_INT},
    {"PR_FONTBORDERCOLOR", PT_INT}, {"PR_FONTHOVERCOLOR", PT_INT}, {"PR_FONTHOVERSTYLE", PT_INT},
    {"PR_HOVERCOLOR", PT_INT}, {"PR_ANTIALIAS", PT_BOOL}, {"PR_DELAY", PT_INT},
    {"PR_PAUSED", PT_BOOL}, {"PR_VOLUME", PT_INT}, {"PR_REPEAT", PT_BOOL}, {"PR_BALANCE", PT_INT},
    {"PR_ANGLE", PT_INT}, {"PR_ONPLAYING", PT_BOOL}, {"PR_ONNOTIFY", PT_STR},
    {"PR_ONMOUSEMOVE", PT_STR}, {"PR_ONMOUSEOUT", PT_STR}, {"PR_ONLBTNDOWN", PT_STR},
    {"PR_ONLBTNUP", PT_STR}, {"PR_ONRBTNDOWN", PT_STR}, {"PR_ONRBTNUP", PT_STR},
    {"PR_ONWHEELDOWN", PT_STR}, {"PR_ONWHEELUP", PT_STR}, {"PR_BRIGHTNESS", PT_INT},
    {"PR_ONPLAYEND", PT_STR}, {"PR_INDEX", PT_INT}, {"PR_COUNT", PT_INT}, {"PR_ONLINK", PT_STR},
    {"PR_VISIBLE", PT_BOOL}, {"PR_COLCOUNT", PT_INT}, {"PR_ROWCOUNT", PT_INT}, {"PR_TEXT", PT_STR},
    {"PR_MARGINX", PT_INT}, {"PR_MARGINY", PT_INT}, {"PR_HALIGN", PT_INT},
    {"PR_BORDERSOURCETL", PT_STR}, {"PR_BORDERSOURCETC", PT_STR}, {"PR_BORDERSOURCETR", PT_STR},
    {"PR_BORDERSOURCECL", PT_STR}, {"PR_BORDERSOURCECC", PT_STR}, {"PR_BORDERSOURCECR", PT_STR},
    {"PR_BORDERSOURCEBL", PT_STR}, {"PR_BORDERSOURCEBC", PT_STR}, {"PR_BORDERSOURCEBR", PT_STR},
    {"PR_BORDERHALIGNT", PT_INT}, {"PR_BORDERHALIGNC", PT_INT}, {"PR_BORDERHALIGNB", PT_INT},
    {"PR_BORDERVALIGNL", PT_INT}, {"PR_BORDERVALIGNC", PT_INT}, {"PR_BORDERVALIGNR", PT_INT},
    {"PR_SCROLLSOURCE", PT_STR}, {"PR_CHECKSOURCE", PT_STR}, {"PR_AUTOSCRAP", PT_BOOL},
    {"PR_ONSELECT", PT_STR}, {"PR_RCLICKSCRAP", PT_BOOL}, {"PR_ONOPENING", PT_STR},
    {"PR_ONOPENED", PT_STR}, {"PR_ONCLOSING", PT_STR}, {"PR_ONCLOSED", PT_STR},
    {"PR_CARETX", PT_INT}, {"PR_CARETY", PT_INT}, {"PR_IGNOREMOUSE", PT_INT},
    {"PR_TEXTPAUSED", PT_BOOL}, {"PR_TEXTDELAY", PT_INT}, {"PR_HOVERSOURCE", PT_STR},
    {"PR_PRESSEDSOURCE", PT_STR}, {"PR_GROUPINDEX", PT_INT}, {"PR_ALLOWALLUP", PT_BOOL},
    {"PR_SELECTED", PT_BOOL}, {"PR_CAPTUREMASK", PT_BOOL}, {"PR_POWER", PT_INT},
    {"PR_ORIGWIDTH", PT_INT}, {"PR_ORIGHEIGHT", PT_INT}, {"PR_APPEARX", PT_INT},
    {"PR_APPEARY", PT_INT}, {"PR_PARTMOTION", PT_INT}, {"PR_PARAM1", PT_FLOAT},
    {"PR_PARAM2", PT_FLOAT}, {"PR_TOPINDEX", PT_INT}, {"PR_READONLY", PT_BOOL},
    {"PR_CURSOR", PT_STR}, {"PR_POSZOOMED", PT_BOOL}, {"PR_ONPLAYSTART", PT_STR},
    {"PR_PARAM3", PT_FLOAT}, {"PR_ONMOUSEIN", PT_STR}, {"PR_ONMAPIN", PT_STR},
    {"PR_ONMAPOUT", PT_STR}, {"PR_MAPSOURCE", PT_STR}, {"PR_AMP", PT_INT}, {"PR_WAVELEN", PT_INT},
    {"PR_SCROLLX", PT_INT}, {"PR_SCROLLY", PT_INT}, {"PR_FLIPH", PT_BOOL}, {"PR_FLIPV", PT_BOOL},
    {"PR_ONIDLE", PT_STR}, {"PR_DISTANCEX", PT_INT}, {"PR_DISTANCEY", PT_INT},
    {"PR_CLIPLEFT", PT_INT}, {"PR_CLIPTOP", PT_INT}, {"PR_CLIPWIDTH", PT_INT},
    {"PR_CLIPHEIGHT", PT_INT}, {"PR_DURATION", PT_INT}, {"PR_THUMBSOURCE", PT_STR},
    {"PR_BUTTONSOURCE", PT_STR}, {"PR_MIN", PT_INT}, {"PR_MAX", PT_INT}, {"PR_VALUE", PT_INT},
    {"PR_ORIENTATION", PT_INT}, {"PR_SMALLCHANGE", PT_INT}, {"PR_LARGECHANGE", PT_INT},
    {"PR_MAPTEXT", PT_STR}, {"PR_GLYPHWIDTH", PT_INT}, {"PR_GLYPHHEIGHT", PT_INT},
    {"PR_ZOOMY", PT_INT}, {"PR_CLICKEDSOURCE", PT_STR}, {"PR_ANIPAUSED", PT_BOOL},
    {"PR_ONHOLD", PT_STR}, {"PR_ONRELEASE", PT_STR}, {"PR_REVERSE", PT_BOOL},
    {"PR_PLAYING", PT_BOOL}, {"PR_REWINDONLOAD", PT_BOOL}, {"PR_COMPOTYPE", PT_INT},
    {"PR_FONTSHADOWCOLOR", PT_INT}, {"PR_FONTBORDER", PT_INT}, {"PR_FONTSHADOW", PT_INT},
    {"PR_ONKEYDOWN", PT_STR}, {"PR_ONKEYUP", PT_STR}, {"PR_ONKEYREPEAT", PT_STR},
    {"PR_HANDLEKEY", PT_INT}, {"PR_ONFOCUSIN", PT_STR}, {"PR_ONFOCUSOUT", PT_STR},
    {"PR_OVERLAY", PT_BOOL}, {"PR_TAG", PT_STR}, {"PR_CAPTURELINK", PT_BOOL},
    {"PR_FONTHOVERBORDER", PT_INT}, {"PR_FONTHOVERBORDERCOLOR", PT_INT},
    {"PR_FONTHOVERSHADOW", PT_INT}, {"PR_FONTHOVERSHADOWCOLOR", PT_INT}, {"PR_BARSIZE", PT_INT},
    {"PR_MUTEONLOAD", PT_BOOL}, {"PR_PLUSX", PT_INT}, {"PR_PLUSY", PT_INT},
};

const char* const KeyNames[KEY_NAME_COUNT] = {
    "VkmBACK", "VkmTAB", "VkmRETURN", "VkmSHIFT", "VkmCONTROL", "VkmALT", "VkmPAUSE", "VkmCAPITAL",
    "VkmESCAPE", "VkmSPACE", "VkmPAGEUP", "VkmPAGEDOWN", "VkmEND", "VkmHOME", "VkmLEFT", "VkmUP",
    "VkmRIGHT", "VkmDOWN", "VkmINSERT", "VkmDELETE", "Vkm0", "Vkm1", "Vkm2", "Vkm3", "Vkm4", "Vkm5",
    "Vkm6", "Vkm7", "Vkm8", "Vkm9", "VkmA", "VkmB", "VkmC", "VkmD", "VkmE", "VkmF", "VkmG", "VkmH",
    "VkmI", "VkmJ", "VkmK", "VkmL", "VkmM", "VkmN", "VkmO", "VkmP", "VkmQ", "VkmR", "VkmS", "VkmT",
    "VkmU", "VkmV", "VkmW", "VkmX", "VkmY", "VkmZ", "VkmF1", "VkmF2", "VkmF3", "VkmF4", "VkmF5",
    "VkmF6", "VkmF7", "VkmF8", "VkmF9", "VkmF10", "VkmF11", "VkmF12", "VkmWheelDown", "VkmWheelUp",
};

namespace {

std::string label_at(const char* const* utf8_labels, int count, int index) {
    if (index < 0 || index >= count) return {};
    return Sjis(utf8_labels[index]);
}

}  // namespace

std::string PropertyDisplayName(int id) {
    static const char* const kLabels[] = {"名前"};
    return label_at(kLabels, 1, id);
}

std::string ProjectMessageName(int message) {
    static const char* const kLabels[PROJECT_MESSAGE_COUNT] = {"ディスク入替(ディスク番号を%dで記述)", "終了確認"};
    return label_at(kLabels, PROJECT_MESSAGE_COUNT, message);
}

std::string WallpaperStyleName(int index) {
    static const char* const kLabels[WALLPAPER_STYLE_COUNT] = {"中央に表示", "拡大して表示", "並べて表示"};
    return label_at(kLabels, WALLPAPER_STYLE_COUNT, index);
}

int FontStylesToInt(TFontStyles styles) { return styles.Bits & 0x0F; }

TFontStyles IntToFontStyles(int bits) { return TFontStyles{static_cast<uint8_t>(bits & 0x0F)}; }

std::string UnescapeText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const char c = s[i];
        // A two-byte character is copied whole: its trail byte may be '\'.
        if (IsDBCSLeadByte(c) && i + 1 < n) {
            out.append(s.substr(i, 2));
            i += 2;
            continue;
        }
        if (c == '\\' && i + 1 < n) {
            const char next = s[i + 1];
            if (next == 'n') {
                out += "\r\n";
                i += 2;
                continue;
            }
            if (next == '\\' || next == '"') {
                out.push_back(next);
                i += 2;
                continue;
            }
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

int32_t ScaleColor(int32_t color, int32_t factor) {
    // 32-bit wrapping products, as the stored colours were computed.
    const uint32_t c = static_cast<uint32_t>(color), f = static_cast<uint32_t>(factor);
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) out |= ((((c >> shift) & 0xFF) * f >> 8) & 0xFF) << shift;
    return static_cast<int32_t>(out);
}

std::string AddTrailingBackslash(const std::string& path) { return IncludeTrailingPathDelimiter(path); }

void SplitFileLabel(std::string& Name, std::string& Label) {
    // Walk characters forward so that a trail byte is never taken for a
    // delimiter; the last of ':' '.' '\' after the first byte decides.
    size_t last = 0;
    const size_t n = Name.size();
    for (size_t i = 0; i < n;) {
        const char c = Name[i];
        if (IsDBCSLeadByte(c)) {
            i += 2;
            continue;
        }
        if (i > 0 && (c == ':' || c == '.' || c == '\\')) last = i;
        ++i;
    }
    if (last == 0 || Name[last] != ':') {
        Label.clear();
        return;
    }
    Label = Name.substr(last + 1);
    Name.resize(last);
}

TRect GetWorkAreaRect() {
    const DisplayArea a = UsableDisplayArea();
    return Bounds(a.x, a.y, a.w, a.h);
}

bool SetWallPaper(const std::string&, int) { return false; }
