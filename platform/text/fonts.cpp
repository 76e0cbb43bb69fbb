#include "platform/text/fonts.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

struct FontFace {
    FT_Face face = nullptr;
    std::string family;  // UTF-8, as the face names itself
    bool fixed_pitch = false;
    bool japanese = false;  // has kana and kanji
    ~FontFace() {
        if (face) FT_Done_Face(face);
    }
};

namespace {

// The faces games ask for by name, and the installed faces that stand in.
struct FaceAlias {
    const char* asked;  // UTF-8
    const char* family;
};
constexpr FaceAlias kAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
};
constexpr const char* kDefaultFamily = "IPAGothic";
// Enumeration describes a face at this cell height, as the platform does
// for its common Japanese faces.
constexpr int32_t kEnumHeight = 16;
// Beyond this an em size is bad data, not a font.
constexpr int32_t kMaxPixelsPerEm = 4096;

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) throw Exception("FreeType cannot start");
        return l;
    }();
    return lib;
}

const char* alias_target(const std::string& utf8) {
    for (const FaceAlias& a : kAliases)
        if (utf8 == a.asked) return a.family;
    return nullptr;
}

bool has_family(FcPattern* p, const std::string& family) {
    FcChar8* s = nullptr;
    for (int i = 0; FcPatternGetString(p, FC_FAMILY, i, &s) == FcResultMatch; ++i)
        if (FcStrCmpIgnoreCase(s, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) return true;
    return false;
}

std::shared_ptr<FontFace> open_face(const std::string& file, int index) {
    static std::map<std::pair<std::string, int>, std::shared_ptr<FontFace>> opened;
    auto key = std::make_pair(file, index);
    auto it = opened.find(key);
    if (it != opened.end()) return it->second;
    auto f = std::make_shared<FontFace>();
    if (FT_New_Face(library(), file.c_str(), index, &f->face) != 0) {
        f->face = nullptr;
        return nullptr;
    }
    if (!FT_IS_SCALABLE(f->face) || FT_Select_Charmap(f->face, FT_ENCODING_UNICODE) != 0) return nullptr;
    f->family = f->face->family_name ? f->face->family_name : "";
    const TT_Postscript* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(f->face, FT_SFNT_POST));
    const TT_OS2* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f->face, FT_SFNT_OS2));
    f->fixed_pitch = FT_IS_FIXED_WIDTH(f->face) || (post && post->isFixedPitch) ||
                     (os2 && os2->panose[3] == 9);
    f->japanese = FT_Get_Char_Index(f->face, 0x3042) != 0 && FT_Get_Char_Index(f->face, 0x65E5) != 0;  // あ, 日
    opened.emplace(key, f);
    return f;
}

// What fontconfig is asked for a Japanese outline face of the family, with
// its substitutions made; null when fontconfig cannot start. The caller
// destroys it.
FcPattern* japanese_outline_pattern(const std::string& family) {
    if (!FcInit()) return nullptr;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    return pat;
}

// The face in the file a fontconfig pattern names; null when it names none
// or the face cannot be used.
std::shared_ptr<FontFace> open_pattern_face(FcPattern* p) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
    FcPatternGetInteger(p, FC_INDEX, 0, &index);
    return open_face(reinterpret_cast<const char*>(file), index);
}

// fontconfig's best Japanese outline face for a family; accepted only when
// the family really is one of its names, since the generic fall-back can
// be a face without kana.
std::shared_ptr<FontFace> match_family(const std::string& family) {
    FcPattern* pat = japanese_outline_pattern(family);
    if (!pat) return nullptr;
    FcResult res = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pat, &res);
    FcPatternDestroy(pat);
    std::shared_ptr<FontFace> face;
    if (found) {
        if (has_family(found, family)) face = open_pattern_face(found);
        FcPatternDestroy(found);
    }
    return face;
}

// The face fontconfig offers for a family when the family itself is not
// installed: its first Japanese face, else, on a machine without any, its
// first usable face, so that the player still plays.
std::shared_ptr<FontFace> fallback_face(const std::string& family) {
    FcPattern* pat = japanese_outline_pattern(family);
    if (!pat) return nullptr;
    FcResult res = FcResultNoMatch;
    FcFontSet* set = FcFontSort(nullptr, pat, FcFalse, nullptr, &res);
    FcPatternDestroy(pat);
    std::shared_ptr<FontFace> face;
    for (int pass = 0; set && pass < 2 && !face; ++pass) {
        for (int i = 0; i < set->nfont && !face; ++i) {
            FcPattern* p = set->fonts[i];
            // Only faces that say they cover Japanese are opened to make
            // sure: a desktop may hold thousands of others.
            FcLangSet* langs = nullptr;
            if (pass == 0 && (FcPatternGetLangSet(p, FC_LANG, 0, &langs) != FcResultMatch ||
                              FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) != FcLangEqual))
                continue;
            std::shared_ptr<FontFace> f = open_pattern_face(p);
            if (f && (f->japanese || pass == 1)) face = f;
        }
    }
    if (set) FcFontSetDestroy(set);
    return face;
}

std::shared_ptr<FontFace> resolve_face(const std::string& sjis_name) {
    static std::map<std::string, std::shared_ptr<FontFace>> resolved;
    auto it = resolved.find(sjis_name);
    if (it != resolved.end()) return it->second;
    std::string utf8 = Cp932ToUtf8(sjis_name);
    const char* target = alias_target(utf8);
    std::shared_ptr<FontFace> face;
    if (!utf8.empty()) face = match_family(target ? target : utf8);
    if (!face) face = match_family(kDefaultFamily);
    if (!face) face = fallback_face(target ? target : kDefaultFamily);
    if (!face) throw Exception(Sjis("日本語フォントが見つかりません"));
    resolved.emplace(sjis_name, face);
    return face;
}

// Font units to pixels, rounded half away from zero.
int32_t scale_units(int64_t v, int64_t ppem, int64_t upem) {
    int64_t n = v * ppem * 2;
    return static_cast<int32_t>(n >= 0 ? (n + upem) / (2 * upem) : -((-n + upem) / (2 * upem)));
}

void decode_utf8(const std::string& s, uint32_t& cp) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    size_t n = s.size();
    cp = 0;
    if (n == 1 && p[0] < 0x80) cp = p[0];
    else if (n == 2 && (p[0] & 0xE0) == 0xC0) cp = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    else if (n == 3 && (p[0] & 0xF0) == 0xE0) cp = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    else if (n == 4 && (p[0] & 0xF8) == 0xF0)
        cp = ((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
}

std::string to_sjis_checked(const char* utf8) {
    std::string s = Utf8ToCp932(utf8);
    // '?' stands for what code page 932 cannot hold: such a name is unusable.
    if (s.find('?') != std::string::npos && std::strchr(utf8, '?') == nullptr) return {};
    return s;
}

struct InstalledFace {
    std::string name;  // Shift-JIS
    std::string family;  // UTF-8 family the name opens
    bool fixed;
};

const std::vector<InstalledFace>& installed_faces() {
    static const std::vector<InstalledFace> faces = [] {
        std::vector<InstalledFace> out;
        if (!FcInit()) return out;
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
        FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_SPACING, nullptr);
        FcFontSet* set = FcFontList(nullptr, pat, os);
        std::set<std::string> seen;
        std::set<std::string> families;
        if (set) {
            for (int i = 0; i < set->nfont; ++i) {
                FcPattern* p = set->fonts[i];
                int spacing = FC_PROPORTIONAL;
                FcPatternGetInteger(p, FC_SPACING, 0, &spacing);
                FcChar8* s = nullptr;
                std::string first;
                for (int k = 0; FcPatternGetString(p, FC_FAMILY, k, &s) == FcResultMatch; ++k) {
                    const char* fam = reinterpret_cast<const char*>(s);
                    if (k == 0) first = fam;
                    families.insert(fam);
                    std::string name = to_sjis_checked(fam);
                    if (name.empty() || !seen.insert(name).second) continue;
                    out.push_back({name, first, spacing >= FC_DUAL});
                }
            }
            FcFontSetDestroy(set);
        }
        FcObjectSetDestroy(os);
        FcPatternDestroy(pat);
        for (const FaceAlias& a : kAliases) {
            auto it = std::find_if(out.begin(), out.end(),
                                   [&](const InstalledFace& f) { return f.family == a.family; });
            if (it == out.end()) continue;
            std::string name = Sjis(a.asked);
            if (seen.insert(name).second) out.push_back({name, a.family, it->fixed});
        }
        return out;
    }();
    return faces;
}

// Family bits of the pitch-and-family byte from the face's classification.
uint8_t family_bits(const TT_OS2* os2, bool fixed) {
    if (fixed) return FF_MODERN;
    if (os2 && os2->panose[0] == 2) {
        uint8_t serif = os2->panose[1];
        if (serif >= 11 && serif <= 13) return FF_SWISS;
        if (serif >= 2 && serif <= 10) return FF_ROMAN;
    }
    return 0;
}

}  // namespace

uint32_t SjisCodeToUnicode(uint16_t code) {
    // One row of 256 codes per lead byte, converted on first use.
    static std::array<std::unique_ptr<uint32_t[]>, 256> rows;
    uint8_t lead = static_cast<uint8_t>(code >> 8);
    if (code <= 0xFF) lead = 0;
    if (!rows[lead]) {
        auto row = std::make_unique<uint32_t[]>(256);
        for (int t = 0; t < 256; ++t) {
            std::string in;
            if (lead == 0) {
                in.push_back(static_cast<char>(t));
            } else {
                in.push_back(static_cast<char>(lead));
                in.push_back(static_cast<char>(t));
            }
            if (lead == 0 && IsDBCSLeadByte(static_cast<uint8_t>(t))) {
                row[t] = 0;
                continue;
            }
            std::string u = Cp932ToUtf8(in);
            uint32_t cp = 0;
            if (u != "?" || t == '?') decode_utf8(u, cp);
            row[t] = cp;
        }
        rows[lead] = std::move(row);
    }
    return rows[lead][code & 0xFF];
}

Font::Font(const LogFont& request) : face_(resolve_face(request.FaceName)) {
    FT_Face f = face_->face;
    const TT_OS2* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    const TT_HoriHeader* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
    const TT_Postscript* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(f, FT_SFNT_POST));
    const TT_Header* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(f, FT_SFNT_HEAD));
    const int64_t upem = f->units_per_EM ? f->units_per_EM : 2048;
    int64_t win_ascent = os2 ? os2->usWinAscent : 0;
    int64_t win_descent = os2 ? os2->usWinDescent : 0;
    if (win_ascent + win_descent <= 0) {
        win_ascent = f->ascender;
        win_descent = -f->descender;
    }
    if (win_ascent + win_descent <= 0) {
        win_ascent = upem;
        win_descent = 0;
    }
    const int64_t win_total = win_ascent + win_descent;

    // A positive height is the cell (ascent + descent), a negative one the em.
    int64_t height = request.Height == 0 ? kEnumHeight : request.Height;
    int32_t ascent, descent;
    if (height > 0) {
        height = std::min<int64_t>(height, kMaxPixelsPerEm);
        ppem_ = static_cast<int32_t>(std::max<int64_t>(1, (height * upem * 2 + win_total) / (2 * win_total)));
        ascent = static_cast<int32_t>((win_ascent * height * 2 + win_total) / (2 * win_total));
        descent = static_cast<int32_t>(height) - ascent;
    } else {
        ppem_ = static_cast<int32_t>(std::min<int64_t>(-height, kMaxPixelsPerEm));
        ascent = scale_units(win_ascent, ppem_, upem);
        descent = scale_units(win_descent, ppem_, upem);
    }
    auto sc = [&](int64_t v) { return scale_units(v, ppem_, upem); };

    FT_Size size = nullptr;
    if (FT_New_Size(f, &size) != 0) throw Exception("FreeType cannot size a face");
    size_ = size;
    FT_Activate_Size(size);
    FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(ppem_));

    const int32_t face_weight = os2 ? os2->usWeightClass : FW_NORMAL;
    const int32_t weight = request.Weight == 0 ? FW_NORMAL : request.Weight;
    if (weight >= 600 && face_weight < 600) {
        // Synthetic bold widens strokes by about a 24th of the em, in whole pixels.
        embolden_ = std::max<int32_t>(64, (ppem_ * 64 / 24 + 32) & ~63);
    }
    const bool face_italic = (f->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    oblique_ = request.Italic && !face_italic;
    const bool italic = request.Italic || face_italic;
    const bool fixed = face_->fixed_pitch;

    TextMetric& tm = metrics_.otmTextMetrics;
    tm.tmHeight = ascent + descent;
    tm.tmAscent = ascent;
    tm.tmDescent = descent;
    tm.tmInternalLeading = tm.tmHeight - ppem_;
    int64_t hhea_gap = hhea ? hhea->Line_Gap : 0;
    int64_t hhea_total = hhea ? hhea->Ascender - hhea->Descender : win_total;
    tm.tmExternalLeading = std::max(0, sc(hhea_gap - (win_total - hhea_total)));
    tm.tmAveCharWidth = os2 ? sc(os2->xAvgCharWidth) : ppem_ / 2;
    tm.tmMaxCharWidth = sc(hhea ? hhea->advance_Width_Max : f->max_advance_width) + embolden_ / 64;
    tm.tmWeight = embolden_ ? weight : face_weight;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = static_cast<uint8_t>(os2 ? std::min<int>(os2->usFirstCharIndex, 0xFF) : 0x20);
    tm.tmLastChar = static_cast<uint8_t>(os2 ? std::min<int>(os2->usLastCharIndex, 0xFF) : 0xFF);
    tm.tmDefaultChar = static_cast<uint8_t>(os2 && os2->version >= 2 && os2->usDefaultChar <= 0xFF ? os2->usDefaultChar : 0x1F);
    tm.tmBreakChar = static_cast<uint8_t>(os2 && os2->version >= 2 && os2->usBreakChar <= 0xFF ? os2->usBreakChar : 0x20);
    tm.tmItalic = italic ? 0xFF : 0;
    tm.tmUnderlined = request.Underline ? 0xFF : 0;
    tm.tmStruckOut = request.StrikeOut ? 0xFF : 0;
    tm.tmPitchAndFamily = static_cast<uint8_t>(TMPF_VECTOR | TMPF_TRUETYPE | (fixed ? 0 : TMPF_FIXED_PITCH) |
                                               family_bits(os2, fixed));
    tm.tmCharSet = SHIFTJIS_CHARSET;

    OutlineTextMetric& m = metrics_;
    m.otmFiller = 0;
    if (os2) std::memcpy(&m.otmPanoseNumber, os2->panose, sizeof(Panose));
    uint32_t sel = os2 ? os2->fsSelection : 0;
    sel &= ~(0x01u | 0x02u | 0x10u | 0x20u | 0x40u);
    if (italic) sel |= 0x01;
    if (request.Underline) sel |= 0x02;
    if (request.StrikeOut) sel |= 0x10;
    if (tm.tmWeight >= 600) sel |= 0x20;
    if (!italic && tm.tmWeight < 600) sel |= 0x40;
    m.otmfsSelection = sel;
    m.otmfsType = os2 ? os2->fsType : 0;
    m.otmsCharSlopeRise = hhea ? hhea->caret_Slope_Rise : 1;
    m.otmsCharSlopeRun = hhea ? hhea->caret_Slope_Run : 0;
    int64_t angle = post ? post->italicAngle : 0;  // 16.16 degrees
    m.otmItalicAngle = oblique_ ? -120 : static_cast<int32_t>((angle * 10 + (angle >= 0 ? 0x8000 : -0x8000)) / 0x10000);
    m.otmEMSquare = static_cast<uint32_t>(upem);
    m.otmAscent = os2 ? sc(os2->sTypoAscender) : sc(f->ascender);
    m.otmDescent = os2 ? sc(os2->sTypoDescender) : sc(f->descender);
    m.otmLineGap = static_cast<uint32_t>(std::max(0, os2 ? sc(os2->sTypoLineGap) : 0));
    m.otmsCapEmHeight = static_cast<uint32_t>(os2 && os2->version >= 2 ? std::max(0, sc(os2->sCapHeight)) : 0);
    m.otmsXHeight = static_cast<uint32_t>(os2 && os2->version >= 2 ? std::max(0, sc(os2->sxHeight)) : 0);
    if (head)
        m.otmrcFontBox = {sc(head->xMin), sc(head->yMax), sc(head->xMax), sc(head->yMin)};
    m.otmMacAscent = sc(hhea ? hhea->Ascender : f->ascender);
    m.otmMacDescent = sc(hhea ? hhea->Descender : f->descender);
    m.otmMacLineGap = static_cast<uint32_t>(std::max(0, sc(hhea_gap)));
    m.otmusMinimumPPEM = head ? head->Lowest_Rec_PPEM : 0;
    if (os2) {
        m.otmptSubscriptSize = {sc(os2->ySubscriptXSize), sc(os2->ySubscriptYSize)};
        m.otmptSubscriptOffset = {sc(os2->ySubscriptXOffset), sc(os2->ySubscriptYOffset)};
        m.otmptSuperscriptSize = {sc(os2->ySuperscriptXSize), sc(os2->ySuperscriptYSize)};
        m.otmptSuperscriptOffset = {sc(os2->ySuperscriptXOffset), sc(os2->ySuperscriptYOffset)};
        m.otmsStrikeoutSize = static_cast<uint32_t>(std::max(1, sc(os2->yStrikeoutSize)));
        m.otmsStrikeoutPosition = sc(os2->yStrikeoutPosition);
    } else {
        m.otmsStrikeoutSize = static_cast<uint32_t>(std::max(1, ppem_ / 16));
        m.otmsStrikeoutPosition = ascent / 3;
    }
    // Lines thinner than a pixel would vanish; the platform draws them 1 pixel thick.
    m.otmsUnderscoreSize = std::max(1, post ? sc(post->underlineThickness) : ppem_ / 16);
    m.otmsUnderscorePosition = post ? sc(post->underlinePosition) : -descent / 2;

    // Names follow the record: family, face, style, full name.
    std::string family = to_sjis_checked(face_->family.c_str());
    std::string style = f->style_name ? f->style_name : "";
    std::string faces = request.FaceName.empty() ? family : request.FaceName;
    std::string full = style.empty() || style == "Regular" ? family : family + " " + style;
    uint32_t off = sizeof(OutlineTextMetric);
    m.otmpFamilyName = off;
    off += static_cast<uint32_t>(family.size() + 1);
    m.otmpFaceName = off;
    off += static_cast<uint32_t>(faces.size() + 1);
    m.otmpStyleName = off;
    off += static_cast<uint32_t>(style.size() + 1);
    m.otmpFullName = off;
    off += static_cast<uint32_t>(full.size() + 1);
    m.otmSize = off;
}

Font::~Font() {
    if (size_) FT_Done_Size(static_cast<FT_Size>(size_));
}

const std::string& Font::FamilyName() const { return face_->family; }

bool Font::load(uint16_t code, bool mono) {
    FT_Face f = face_->face;
    FT_Activate_Size(static_cast<FT_Size>(size_));
    FT_UInt index = FT_Get_Char_Index(f, SjisCodeToUnicode(code));
    FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(f, index, flags) != 0) return false;
    FT_GlyphSlot g = f->glyph;
    if (g->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (embolden_) {
        FT_Outline_EmboldenXY(&g->outline, embolden_, 0);
        g->advance.x += embolden_;
    }
    if (oblique_) {
        // The usual 12-degree slant, leaning about the baseline.
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&g->outline, &shear);
    }
    return true;
}

int64_t Font::GetGlyphOutline(uint16_t code, GlyphFormat format, GlyphMetrics& gm, std::vector<uint8_t>* bits,
                              AbcWidths* abc) {
    gm = GlyphMetrics{};
    int levels;
    switch (format) {
        case GlyphFormat::Bitmap: levels = 1; break;
        case GlyphFormat::Gray2: levels = 4; break;
        case GlyphFormat::Gray4: levels = 16; break;
        case GlyphFormat::Gray8: levels = 64; break;
        default: return GDI_ERROR;
    }
    const bool mono = levels == 1;
    if (!load(code, mono)) return GDI_ERROR;
    FT_GlyphSlot g = face_->face->glyph;
    gm.gmCellIncX = static_cast<int16_t>((g->advance.x + 32) >> 6);
    if (abc) abc_of_loaded(*abc);
    if (g->outline.n_contours == 0) return 0;
    if (FT_Render_Glyph(g, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return GDI_ERROR;
    const FT_Bitmap& bm = g->bitmap;
    if (bm.width == 0 || bm.rows == 0) return 0;
    gm.gmBlackBoxX = bm.width;
    gm.gmBlackBoxY = bm.rows;
    gm.gmptGlyphOrigin = {g->bitmap_left, g->bitmap_top};
    const size_t stride = mono ? ((bm.width + 31) / 32) * 4 : (bm.width + 3u) & ~3u;
    const size_t total = stride * bm.rows;
    if (!bits) return static_cast<int64_t>(total);
    bits->assign(total, 0);
    uint8_t* out = bits->data();
    const int pitch = bm.pitch;
    const uint8_t* src = pitch >= 0 ? bm.buffer : bm.buffer - static_cast<ptrdiff_t>(pitch) * (bm.rows - 1);
    if (mono) {
        const size_t row_bytes = (bm.width + 7) / 8;
        for (unsigned y = 0; y < bm.rows; ++y)
            std::memcpy(out + y * stride, src + static_cast<ptrdiff_t>(pitch) * y, row_bytes);
    } else {
        uint8_t table[256];
        for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>((v * levels + 127) / 255);
        for (unsigned y = 0; y < bm.rows; ++y) {
            const uint8_t* s = src + static_cast<ptrdiff_t>(pitch) * y;
            uint8_t* d = out + y * stride;
            for (unsigned x = 0; x < bm.width; ++x) d[x] = table[s[x]];
        }
    }
    return static_cast<int64_t>(total);
}

void Font::abc_of_loaded(AbcWidths& abc) const {
    FT_GlyphSlot g = face_->face->glyph;
    const int32_t advance = static_cast<int32_t>((g->advance.x + 32) >> 6);
    abc = AbcWidths{};
    if (g->outline.n_contours == 0) {
        abc.abcC = advance;
        return;
    }
    // The black box as rendering rounds it out to whole pixels.
    FT_BBox box;
    FT_Outline_Get_CBox(&g->outline, &box);
    const int32_t left = static_cast<int32_t>(box.xMin >> 6);
    const int32_t right = static_cast<int32_t>((box.xMax + 63) >> 6);
    abc.abcA = left;
    abc.abcB = static_cast<uint32_t>(std::max(0, right - left));
    abc.abcC = advance - left - static_cast<int32_t>(abc.abcB);
}

bool Font::GetCharABCWidths(uint16_t code, AbcWidths& abc) {
    abc = AbcWidths{};
    if (!load(code, false)) return false;
    abc_of_loaded(abc);
    return true;
}

int32_t Font::TextExtentWidth(uint16_t code) {
    if (!load(code, false)) return 0;
    return static_cast<int32_t>((face_->face->glyph->advance.x + 32) >> 6);
}

std::vector<std::string> GetFontNames(bool sorted, bool include_vertical, bool fixed_only) {
    std::vector<std::string> names;
    for (const InstalledFace& f : installed_faces()) {
        if (fixed_only && !f.fixed) continue;
        if (!include_vertical && !f.name.empty() && f.name[0] == '@') continue;
        names.push_back(f.name);
    }
    if (sorted)
        std::stable_sort(names.begin(), names.end(),
                         [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
    return names;
}

LogFont GetLogFontByName(const std::string& name) {
    static std::map<std::string, LogFont> described;
    auto it = described.find(name);
    if (it != described.end()) return it->second;
    LogFont lf;
    for (const InstalledFace& f : installed_faces()) {
        if (f.name != name) continue;
        LogFont req;
        req.Height = kEnumHeight;
        req.FaceName = name;
        Font font(req);
        const TextMetric& tm = font.Metrics().otmTextMetrics;
        lf.Height = tm.tmHeight;
        lf.Width = tm.tmAveCharWidth;
        lf.Weight = tm.tmWeight;
        lf.Italic = tm.tmItalic;
        lf.CharSet = SHIFTJIS_CHARSET;
        lf.PitchAndFamily = static_cast<uint8_t>((f.fixed ? FIXED_PITCH : VARIABLE_PITCH) | (tm.tmPitchAndFamily & 0xF0));
        lf.FaceName = name;
        break;
    }
    described.emplace(name, lf);
    return lf;
}

FontSupply InstalledFontSupply(std::string* family) {
    try {
        const std::shared_ptr<FontFace> face = resolve_face(Sjis("ＭＳ ゴシック"));
        if (family) *family = face->family;
        return face->japanese ? FontSupply::Japanese : FontSupply::OtherOnly;
    } catch (const Exception&) {
        return FontSupply::None;
    }
}
