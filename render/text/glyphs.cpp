#include "render/text/glyphs.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "render/custom_dibx.h"
#include "render/dib.h"
#include "render/font_pixel.h"
#include "render/text/display_link.h"
#include "render/text/wz_word.h"

#include <algorithm>
#include <cmath>

namespace {

TWdImageSource* g_image_source = nullptr;

const std::string kEmpty;

int32_t pixel_of(const TCustomDIBX& s, uint32_t colour) {
    return s.ColorToPixel(static_cast<int32_t>(colour));
}

// The fill colour of a character: hover, own, link, default, in that order.
uint32_t fill_colour(const TWdChar& g) {
    if (g.Highlight) return g.Owner.HoverColor;
    const uint32_t own = g.GetColor();
    if (own != 0xFFFFFFFF) return own;
    if (!g.Link.empty()) return g.Owner.LinkColor;
    return g.Owner.TextColor;
}

bool is_char(const TWdGlyph* g) { return g && g->GetKind() == gkChar; }

// The view rectangle of the owner, limited by the update rectangle when one is set.
TRect draw_clip(const TWzWord& w) {
    TRect view = Bounds(w.ViewX, w.ViewY, w.ViewWidth, w.PageHeight);
    if (!RectIsEmpty(w.UpdateRect)) view = IntersectRects(view, w.UpdateRect);
    return view;
}

}  // namespace

void SetRichTextImageSource(TWdImageSource* source) { g_image_source = source; }
TWdImageSource* RichTextImageSource() { return g_image_source; }

std::string CharCodeText(uint16_t code) {
    if (code < 256) return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// ---- TWdGlyph ----

TWdGlyph::~TWdGlyph() {
    if (MadeBy) MadeBy->ForgetInserted(this);
    if (Parent) {
        if (TWdPage* page = Parent->GetRoot()) page->ForgetGlyph(this);
        Parent->ForgetChild(this);
    }
}

TWdPage* TWdGlyph::GetRoot() { return Parent ? Parent->GetRoot() : nullptr; }

template <typename Fn>
void TWdGlyph::change_style(Fn fn) {
    TDecorate** ref = DecorateRef();
    if (!ref) return;
    TDecorateValues v = *ref ? (*ref)->Values : TDecorateValues{};
    fn(v);
    Owner.Decorations().ChangeDecorate(*ref, v);
}

#define STYLE_GETTER(type, name, field, def)            \
    type TWdGlyph::name() const {                        \
        const TDecorate* d = GetDecorate();              \
        return d ? d->Values.field : def;                \
    }
STYLE_GETTER(std::string, GetFontName, FontName, std::string())
STYLE_GETTER(int32_t, GetFontSize, Size, 0)
STYLE_GETTER(uint8_t, GetStyle, Style, 0)
STYLE_GETTER(uint32_t, GetColor, Color, 0xFFFFFFFF)
STYLE_GETTER(uint32_t, GetBorderColor, BorderColor, 0xFFFFFFFF)
STYLE_GETTER(uint32_t, GetShadowColor, ShadowColor, 0xFFFFFFFF)
#undef STYLE_GETTER

int32_t TWdGlyph::GetBorderWidth() const {
    const TDecorate* d = GetDecorate();
    const int32_t w = d ? d->Values.BorderWidth : 0;
    return w < 0 ? Owner.BorderWidth : w;
}
int32_t TWdGlyph::GetShadowWidth() const {
    const TDecorate* d = GetDecorate();
    const int32_t w = d ? d->Values.ShadowWidth : 0;
    return w < 0 ? Owner.ShadowWidth : w;
}
uint8_t TWdGlyph::GetNoBreak() const {
    const TDecorate* d = GetDecorate();
    return d ? d->Values.NoBreak : 0;
}
const std::string& TWdGlyph::GetRuby() const {
    const TDecorate* d = GetDecorate();
    return d ? d->Values.Ruby : kEmpty;
}
const std::string& TWdGlyph::GetLink() const { return kEmpty; }

void TWdGlyph::SetFontName(const std::string& v) { change_style([&](TDecorateValues& d) { d.FontName = v; }); }
void TWdGlyph::SetFontSize(int32_t v) { change_style([&](TDecorateValues& d) { d.Size = v; }); }
void TWdGlyph::SetStyle(uint8_t v) { change_style([&](TDecorateValues& d) { d.Style = v; }); }
void TWdGlyph::SetColor(uint32_t v) { change_style([&](TDecorateValues& d) { d.Color = v; }); }
void TWdGlyph::SetBorderColor(uint32_t v) { change_style([&](TDecorateValues& d) { d.BorderColor = v; }); }
void TWdGlyph::SetShadowColor(uint32_t v) { change_style([&](TDecorateValues& d) { d.ShadowColor = v; }); }
void TWdGlyph::SetBorderWidth(int32_t v) { change_style([&](TDecorateValues& d) { d.BorderWidth = v; }); }
void TWdGlyph::SetShadowWidth(int32_t v) { change_style([&](TDecorateValues& d) { d.ShadowWidth = v; }); }
void TWdGlyph::SetNoBreak(uint8_t v) { change_style([&](TDecorateValues& d) { d.NoBreak = v; }); }
void TWdGlyph::SetRuby(const std::string& v) { change_style([&](TDecorateValues& d) { d.Ruby = v; }); }
void TWdGlyph::SetDecorateValues(const TDecorateValues& v) {
    change_style([&](TDecorateValues& d) { d = v; });
}

int32_t TWdGlyph::PageX() const {
    int32_t x = 0;
    for (const TWdGlyph* g = this; g && g->Parent; g = g->Parent) x = WrapAdd(x, g->X);
    return x;
}
int32_t TWdGlyph::PageY() const {
    int32_t y = 0;
    for (const TWdGlyph* g = this; g && g->Parent; g = g->Parent) y = WrapAdd(y, g->Y);
    return y;
}
int32_t TWdGlyph::GetAbsX() const {
    TWdPage* page = const_cast<TWdGlyph*>(this)->GetRoot();
    return WrapAdd(page ? page->PageAbsX() : Owner.ViewX, PageX());
}
int32_t TWdGlyph::GetAbsY() const {
    TWdPage* page = const_cast<TWdGlyph*>(this)->GetRoot();
    return WrapAdd(page ? page->PageAbsY() : Owner.ViewY, PageY());
}

TWdGlyph* TWdGlyph::HitTest(int32_t x, int32_t y) {
    return PointInRect(MakePoint(x, y), BoundsRect()) ? this : nullptr;
}

void TWdGlyph::Invalidate() {
    TRect r = Bounds(GetAbsX(), GetAbsY(), GetWidth(), GetHeight());
    if (GetKind() == gkChar) {
        const TRect& done = static_cast<const TWdChar*>(this)->Rendered;
        if (!RectIsEmpty(done)) {
            const int32_t dx = r.Left - PageX(), dy = r.Top - PageY();
            r = UnionRects(r, Bounds(done.Left + dx, done.Top + dy, done.Width(), done.Height()));
        }
    }
    Owner.AddDirtyRect(r);
}

void TWdGlyph::Assign(const TWdGlyph& other) {
    X = other.X;
    Y = other.Y;
    Width = other.Width;
    Height = other.Height;
}

// ---- TWdComposite ----

TWdComposite::~TWdComposite() {
    for (TWdGlyph* c : Children)
        if (c->Parent == this) c->Parent = nullptr;
    Children.clear();
    for (auto& o : Owned) o->Parent = nullptr;
    Owned.clear();
}

TWdGlyph* TWdComposite::GetChild(int32_t i) const {
    return i >= 0 && i < ChildCount() ? Children[static_cast<size_t>(i)] : nullptr;
}

int32_t TWdComposite::IndexOfChild(const TWdGlyph* g) const {
    for (size_t i = 0; i < Children.size(); ++i)
        if (Children[i] == g) return static_cast<int32_t>(i);
    return -1;
}

void TWdComposite::AddChild(TWdGlyph* g) {
    Children.push_back(g);
    g->Parent = this;
}

void TWdComposite::AddOwned(std::unique_ptr<TWdGlyph> g) { Owned.push_back(std::move(g)); }

void TWdComposite::RemoveOwned(TWdGlyph* g) {
    auto it = std::find_if(Owned.begin(), Owned.end(), [g](const auto& p) { return p.get() == g; });
    if (it == Owned.end()) return;
    std::unique_ptr<TWdGlyph> keep = std::move(*it);
    Owned.erase(it);
    keep.reset();
}

void TWdComposite::DeleteChild(int32_t index) {
    TWdGlyph* g = GetChild(index);
    if (!g) return;
    Children.erase(Children.begin() + index);
    if (g->Parent == this) g->Parent = nullptr;
}

void TWdComposite::ClearChildren() {
    for (TWdGlyph* c : Children)
        if (c->Parent == this) c->Parent = nullptr;
    Children.clear();
    for (auto& o : Owned) o->Parent = nullptr;
    Owned.clear();
}

void TWdComposite::ForgetChild(TWdGlyph* g) {
    auto it = std::find(Children.begin(), Children.end(), g);
    if (it != Children.end()) Children.erase(it);
}

std::string TWdComposite::GetText() const {
    std::string s;
    for (const TWdGlyph* c : Children) s += c->GetText();
    return s;
}

std::string TWdComposite::GetLogText() const {
    std::string s;
    for (const TWdGlyph* c : Children) {
        if (c->GetOpacity() <= 0) break;
        s += c->GetLogText();
    }
    return s;
}

void TWdComposite::Render(bool hidden) {
    for (TWdGlyph* c : Children) c->Render(hidden);
}
void TWdComposite::Draw() {
    for (TWdGlyph* c : Children) c->Draw();
}
void TWdComposite::ResetOpacity(int32_t value) {
    for (TWdGlyph* c : Children) c->ResetOpacity(value);
}
void TWdComposite::Hide() {
    for (TWdGlyph* c : Children) c->Hide();
}
void TWdComposite::SaveDisplayState(TStream& s) const {
    for (const TWdGlyph* c : Children) c->SaveDisplayState(s);
}
void TWdComposite::LoadDisplayState(FieldReader& r) {
    for (TWdGlyph* c : Children) c->LoadDisplayState(r);
}
void TWdComposite::ReleaseSurfaces() {
    for (TWdGlyph* c : Children) c->ReleaseSurfaces();
}
void TWdComposite::RestoreSurfaces() {
    for (TWdGlyph* c : Children) c->RestoreSurfaces();
}
void TWdComposite::CollectVars(std::vector<std::string>& lines) const {
    for (const TWdGlyph* c : Children) c->CollectVars(lines);
}
TWdGlyph* TWdComposite::FirstSourceGlyph() {
    for (TWdGlyph* c : Children)
        if (TWdGlyph* g = c->FirstSourceGlyph()) return g;
    return nullptr;
}
TWdGlyph* TWdComposite::LastSourceGlyph() {
    for (auto it = Children.rbegin(); it != Children.rend(); ++it)
        if (TWdGlyph* g = (*it)->LastSourceGlyph()) return g;
    return nullptr;
}

// ---- TWdRow ----

namespace {
bool is_float(uint8_t a) { return a == waLeft || a == waRight; }
bool is_vertical(uint8_t a) { return a == waCenter || a == waTop || a == waBottom; }
}  // namespace

bool TWdRow::HasGlyphs() const {
    // An indent space is only ever the first child.
    const size_t space = !Children.empty() && dynamic_cast<const TWdSpace*>(Children.front()) ? 1 : 0;
    return Children.size() > space;
}

void TWdRow::extend(const TWdGlyph& g) {
    const uint8_t a = g.GetAlign();
    if (is_float(a)) return;
    const int32_t h = g.GetHeight();
    if (a == waCenter) {
        const int32_t need = std::max(0, (h - Base + 1) / 2);
        Above = std::max(Above, need);
        Below = std::max(Below, need);
    } else if (a == waTop) {
        Below = std::max(Below, h - Base);
    } else if (a == waBottom) {
        Above = std::max(Above, h - Base);
    } else if (h > Base) {
        // A taller base lowers what the images need; work them out afresh.
        Base = h;
        Above = Below = 0;
        for (const TWdGlyph* c : Children)
            if (is_vertical(c->GetAlign())) extend(*c);
    }
}

void TWdRow::AddChild(TWdGlyph* g) {
    TWdComposite::AddChild(g);
    extend(*g);
}

void TWdRow::Layout() {
    Above = Base = Below = 0;
    for (const TWdGlyph* c : Children)
        if (!is_float(c->GetAlign()) && !is_vertical(c->GetAlign())) Base = std::max(Base, c->GetHeight());
    for (const TWdGlyph* c : Children)
        if (is_vertical(c->GetAlign())) extend(*c);
    int32_t w = 0;
    for (const TWdGlyph* c : Children)
        if (!is_float(c->GetAlign())) w += c->GetWidth();
    int32_t offset = RowLeft;
    if (Align == waRight) offset = RowRight - w;
    else if (Align == waCenter) offset = RowLeft + (RowRight - RowLeft - w) / 2;
    Width = w + offset;
    const int32_t height = GetHeight();
    int32_t x = offset;
    for (TWdGlyph* c : Children) {
        const uint8_t a = c->GetAlign();
        if (is_float(a)) continue;
        c->X = x;
        x += c->GetWidth();
        const int32_t h = c->GetHeight();
        if (h == 0 || a == waTop) c->Y = Above;
        else if (a == waCenter) c->Y = Above + (Base - h) / 2;
        else c->Y = height - Below - h;
    }
}

void TWdRow::Render(bool hidden) {
    // A glyph pointer of the cache lasts until it has been asked for this
    // many others, so a run is stamped before it holds more.
    constexpr size_t kRunGlyphs = TFontPixelManager::kCapacity / 2;
    struct Run {
        int32_t border, shadow;
        uint32_t border_colour, shadow_colour;
        std::vector<BorderRunGlyph> glyphs;
    };
    std::vector<Run> runs;
    std::vector<bool> joined(Children.size());
    size_t held = 0;
    TFontPixelManager& cache = FontPixelManager();
    cache.SetQuality(Owner.Quality);
    auto stamp = [&](Run& r) {
        StampBorderRun(Owner.ColourSurface(), Owner.MaskSurface(), r.glyphs, r.border, r.shadow, r.border_colour,
                       r.shadow_colour);
        r.glyphs.clear();
    };
    for (size_t i = 0; i < Children.size(); ++i) {
        if (!is_char(Children[i])) continue;
        auto* c = static_cast<TWdChar*>(Children[i]);
        if (c->GetBorderWidth() <= kExactStampBorder) continue;
        const TWdChar::Look k = c->GetLook();
        if (!c->JoinsBorderRun(k)) continue;
        joined[i] = true;
        auto run = std::find_if(runs.begin(), runs.end(), [&](const Run& r) {
            return r.border == k.border_width && r.shadow == k.shadow_width && r.border_colour == k.border &&
                   r.shadow_colour == k.shadow;
        });
        if (run == runs.end()) run = runs.insert(runs.end(), Run{k.border_width, k.shadow_width, k.border, k.shadow, {}});
        run->glyphs.push_back({cache.RenderGlyph(c->Code, k.font, k.size, k.style), k.cell});
        if (++held >= kRunGlyphs) {
            for (Run& r : runs) stamp(r);
            held = 0;
        }
    }
    for (Run& r : runs) stamp(r);
    for (size_t i = 0; i < Children.size(); ++i) {
        if (joined[i]) static_cast<TWdChar*>(Children[i])->RenderAfterBorders(hidden);
        else Children[i]->Render(hidden);
    }
}

void TWdRow::Draw() {
    const TRect r = Bounds(GetAbsX(), GetAbsY(), std::max(Width, Owner.ViewWidth), GetHeight());
    if (!RectIsEmpty(Owner.UpdateRect) && !RectsOverlap(r, Owner.UpdateRect)) return;
    TWdComposite::Draw();
}

TWdGlyph* TWdRow::HitTest(int32_t x, int32_t y) {
    for (TWdGlyph* c : Children)
        if (c->GetOpacity() == 255 && PointInRect(MakePoint(x, y), c->BoundsRect())) return c;
    return nullptr;
}

// ---- TWdClipList ----

TRect TWdClipList::AddFloat(int32_t y, int32_t width, int32_t height, bool right) {
    int32_t l, r;
    SpanAt(y, l, r);
    const TRect rect = right ? Bounds(r - width, y, width, height) : Bounds(l, y, width, height);
    Floats.push_back({rect, right});
    return rect;
}

void TWdClipList::SpanAt(int32_t y, int32_t& left, int32_t& right) const {
    left = 0;
    right = ViewWidth;
    for (const Float& f : Floats) {
        if (f.r.Top > y || y >= f.r.Bottom) continue;
        if (f.right) right = std::min(right, f.r.Left);
        else left = std::max(left, f.r.Right);
    }
}

// ---- TWdPage ----

TWdPage::~TWdPage() {
    Fading.clear();
    Animated.clear();
    Hovered = nullptr;
}

int32_t TWdPage::PageAbsX() const { return Owner.ViewX; }
int32_t TWdPage::PageAbsY() const { return WrapSub(Owner.ViewY, Owner.Paging ? 0 : ScrollOffset); }

TWdRow* TWdPage::RowAt(int32_t i) const { return static_cast<TWdRow*>(GetChild(i)); }

void TWdPage::ForgetGlyph(TWdGlyph* g) {
    std::erase(Fading, g);
    std::erase(Animated, g);
    if (Hovered == g) Hovered = nullptr;
}

void TWdPage::Layout() {
    Width = Owner.ViewWidth;
    int32_t h = 0;
    for (TWdGlyph* c : Children) {
        auto* row = static_cast<TWdRow*>(c);
        row->Layout();
        h = std::max(h, row->Y + row->GetHeight());
        for (const TWdGlyph* g : row->Children) {
            const uint8_t a = g->GetAlign();
            if (is_vertical(a) || is_float(a)) h = std::max(h, row->Y + g->Y + g->GetHeight());
        }
    }
    Height = h;
}

void TWdPage::Render(bool hidden) {
    TCustomDIBX& colour = Owner.ColourSurface();
    TCustomDIBX& mask = Owner.MaskSurface();
    const int32_t bits = Owner.Target ? Owner.Target->BitCount() : 15;
    // The pair holds as much of a page as a surface may; what lies beyond
    // is outside any screen and is not drawn.
    const int32_t w = static_cast<int32_t>(std::min<int64_t>(std::max(0, Width), MaxDIBSide()));
    const int32_t h =
        static_cast<int32_t>(std::min<int64_t>(std::max(0, Height), MaxDIBRows(w, 32)));
    if (colour.Width() != w || colour.Height() != h || colour.BitCount() != bits) colour.SetSize(w, h, bits);
    if (mask.Width() != w || mask.Height() != h || mask.BitCount() != 8) mask.SetSize(w, h, 8);
    if (!colour.IsEmpty()) colour.Fill(0);
    if (!mask.IsEmpty()) mask.Fill(0);
    TWdComposite::Render(hidden);
}

TWdGlyph* TWdPage::HitTest(int32_t x, int32_t y) {
    x = WrapSub(x, Owner.ViewX);
    y = WrapSub(y, Owner.ViewY);
    if (x < 0 || y < 0 || x >= Width || y >= Owner.PageHeight) return nullptr;
    const int32_t yy = WrapAdd(y, ScrollOffset);
    for (TWdGlyph* c : Children) {
        if (yy < c->Y || yy >= c->Y + c->GetHeight()) continue;
        if (TWdGlyph* g = c->HitTest(x - c->X, yy - c->Y)) return g;
    }
    for (TWdGlyph* c : Children)
        for (TWdGlyph* g : static_cast<TWdRow*>(c)->Children) {
            const uint8_t a = g->GetAlign();
            if ((is_vertical(a) || is_float(a)) &&
                PointInRect(MakePoint(x - c->X, yy - c->Y), g->BoundsRect()))
                return g;
        }
    return nullptr;
}

void TWdPage::ClearChildren() {
    Fading.clear();
    Animated.clear();
    Hovered = nullptr;
    Owner.Caret = TPoint{};
    TWdComposite::ClearChildren();
}

// ---- TWdReal ----

void TWdReal::Render(bool hidden) {
    if (hidden) Opacity = 0;
}

void TWdReal::SaveDisplayState(TStream& s) const {
    int32_t v = Opacity;
    if (TWdPage* page = const_cast<TWdReal*>(this)->GetRoot())
        if (std::find(page->Fading.begin(), page->Fading.end(), this) != page->Fading.end()) v = 255;
    WriteStreamInteger(s, v);
}

void TWdReal::LoadDisplayState(FieldReader& r) { SetOpacity(r.I32("glyph opacity")); }

void TWdReal::Assign(const TWdGlyph& other) {
    TWdGlyph::Assign(other);
    Link = other.GetLink();
    Highlight = other.GetHighlight();
    Opacity = other.GetOpacity();
    Wait = other.GetWait();
}

// ---- TWdChar ----

TWdChar::~TWdChar() { Owner.Decorations().ReleaseDecorate(Decorate); }

std::string TWdChar::GetText() const { return CharCodeText(Code); }

void TWdChar::LoadResources() { Owner.Decorations().CellSize(Decorate, Width, Height); }

void TWdChar::Assign(const TWdGlyph& other) {
    TWdReal::Assign(other);
    Code = other.GetCharCode();
    if (const TDecorate* d = other.GetDecorate()) SetDecorateValues(d->Values);
}

void TWdChar::render_ruby(uint32_t fill, int32_t size, uint8_t style, const std::string& font) {
    const std::string& ruby = GetRuby();
    int32_t total = GetWidth();
    if (Parent) {
        const int32_t at = Parent->IndexOfChild(this);
        for (int32_t i = at + 1; i < Parent->ChildCount(); ++i) {
            const TWdGlyph* n = Parent->GetChild(i);
            if (n->GetRuby() != ruby) break;
            total += n->GetWidth();
        }
    }
    std::vector<uint16_t> codes;
    for (size_t i = 0; i < ruby.size();) {
        const bool two = IsDBCSLeadByte(static_cast<uint8_t>(ruby[i])) && i + 1 < ruby.size();
        codes.push_back(two ? static_cast<uint16_t>(static_cast<uint8_t>(ruby[i]) << 8 |
                                                    static_cast<uint8_t>(ruby[i + 1]))
                            : static_cast<uint8_t>(ruby[i]));
        i += two ? 2 : 1;
    }
    if (codes.empty()) return;
    const double step = static_cast<double>(total) / static_cast<double>(codes.size()) / 2.0;
    const int32_t rs = std::max(1, size / 2);
    const int32_t x0 = PageX(), y0 = PageY();
    TFontPixelManager& glyphs = FontPixelManager();
    TCustomDIBX& colour = Owner.ColourSurface();
    for (size_t k = 1; k <= codes.size(); ++k) {
        const uint16_t code = codes[k - 1];
        const int32_t x = x0 + static_cast<int32_t>(std::nearbyint((2.0 * static_cast<double>(k) - 1) * step)) -
                          (code > 255 ? rs / 2 : rs / 4);
        const TFontPixel* g = glyphs.RenderGlyph(code, font, rs, style & (fsBold | fsItalic));
        TRect out;
        g->DrawTo(colour, Owner.MaskSurface(), Bounds(x, y0, rs, rs), 0, 0, false, false, fill, 0, 0, out, false);
        if (!RectIsEmpty(out)) Rendered = RectIsEmpty(Rendered) ? out : UnionRects(Rendered, out);
    }
}

TWdChar::Look TWdChar::GetLook() const {
    Look k;
    const TDecorate* d = Decorate;
    k.font = d && !d->Values.FontName.empty() ? d->Values.FontName : Owner.FontName;
    if (k.font.empty()) k.font = Sjis("ＭＳ ゴシック");
    k.size = d && d->Values.Size != 0 ? d->Values.Size : Owner.FontSize;
    k.style = d ? d->Values.Style : 0;
    if (!Link.empty()) k.style |= fsUnderline;
    TCustomDIBX& colour = Owner.ColourSurface();
    k.fill = static_cast<uint32_t>(pixel_of(colour, fill_colour(*this)));
    const uint32_t bc = GetBorderColor();
    const uint32_t sc = GetShadowColor();
    k.border = static_cast<uint32_t>(pixel_of(colour, bc != 0xFFFFFFFF ? bc : Owner.BorderColor));
    k.shadow = static_cast<uint32_t>(pixel_of(colour, sc != 0xFFFFFFFF ? sc : Owner.ShadowColor));
    k.border_width = GetBorderWidth();
    k.shadow_width = GetShadowWidth();
    k.cell = Bounds(PageX(), PageY(), GetWidth(), GetHeight());
    if (!GetRuby().empty()) k.cell.Top += std::max(1, k.size / 2);
    return k;
}

bool TWdChar::JoinsBorderRun(const Look& look) const {
    return look.border_width > kExactStampBorder && GetRuby().empty() && !(look.style & (fsUnderline | fsStrikeOut));
}

void TWdChar::Render(bool hidden) { render(hidden, false); }
void TWdChar::RenderAfterBorders(bool hidden) { render(hidden, true); }

void TWdChar::render(bool hidden, bool borders_stamped) {
    TWdReal::Render(hidden);
    const Look k = GetLook();
    TFontPixelManager& glyphs = FontPixelManager();
    glyphs.SetQuality(Owner.Quality);
    const TWdGlyph* prev = nullptr;
    const TWdGlyph* next = nullptr;
    if (Parent) {
        const int32_t at = Parent->IndexOfChild(this);
        prev = Parent->GetChild(at - 1);
        next = Parent->GetChild(at + 1);
    }
    const std::string& ruby = GetRuby();
    if (!ruby.empty() && (!prev || prev->GetRuby() != ruby)) render_ruby(k.fill, k.size, k.style, k.font);
    const int32_t bw = k.border_width, sw = k.shadow_width;
    const uint32_t bc = GetBorderColor(), sc = GetShadowColor();
    auto differs = [&](const TWdGlyph* o) {
        return !is_char(o) || o->GetBorderWidth() != bw || o->GetShadowWidth() != sw ||
               o->GetBorderColor() != bc || o->GetShadowColor() != sc;
    };
    const TFontPixel* g = glyphs.RenderGlyph(Code, k.font, k.size, k.style);
    TRect out;
    g->DrawTo(Owner.ColourSurface(), Owner.MaskSurface(), k.cell, bw, sw, differs(prev), differs(next), k.fill,
              k.border, k.shadow, out, false, borders_stamped);
    if (!RectIsEmpty(out)) Rendered = RectIsEmpty(Rendered) ? out : UnionRects(Rendered, out);
}

void TWdChar::Erase() {
    if (RectIsEmpty(Rendered)) return;
    Owner.ColourSurface().FillRect(Rendered, 0);
}

void TWdChar::Draw() {
    if (Opacity <= 0 || RectIsEmpty(Rendered) || !Owner.Target) return;
    TWdPage* page = GetRoot();
    if (!page) return;
    TCustomDIBX& target = *Owner.Target;
    const int32_t dx = page->PageAbsX(), dy = page->PageAbsY();
    const TRect dst = IntersectRects(
        Bounds(WrapAdd(Rendered.Left, dx), WrapAdd(Rendered.Top, dy), Rendered.Width(), Rendered.Height()), draw_clip(Owner));
    if (RectIsEmpty(dst)) return;
    const TRect src = Bounds(dst.Left - dx, dst.Top - dy, dst.Width(), dst.Height());
    if (GetBorderWidth() == 0 && GetShadowWidth() == 0) {
        target.FillMask(dst.Left, dst.Top, Owner.MaskSurface(), src, false, false,
                        static_cast<uint32_t>(pixel_of(target, fill_colour(*this))), Opacity);
    } else if (Opacity < 255) {
        target.DrawMaskAlpha(dst.Left, dst.Top, Owner.ColourSurface(), src, false, false, Owner.MaskSurface(),
                             Opacity);
    } else {
        target.DrawMask(dst.Left, dst.Top, Owner.ColourSurface(), src, false, false, Owner.MaskSurface());
    }
}

// ---- TWdImg ----

TWdImg::TWdImg(TWzWord& owner) : TWdReal(owner) {}
TWdImg::~TWdImg() = default;

void TWdImg::LoadResources() {
    TWdImageSource* source = RichTextImageSource();
    if (!source || Src.empty() || !source->FileExists(Src)) {
        Image.reset();
        Width = Height = 0;
        return;
    }
    if (!Image) {
        Image = source->CreateFrames();
        if (!Image) {
            Width = Height = 0;
            return;
        }
        Image->LoadFromFile(this, Src);
    }
    TCustomDIBX* s = Image->CurrentSurface();
    Width = s ? s->Width() : 0;
    Height = s ? s->Height() : 0;
}

void TWdImg::Draw() {
    if (Opacity <= 0 || !Image || !Owner.Target) return;
    TCustomDIBX* s = Image->CurrentSurface();
    if (!s || s->IsEmpty()) return;
    const int32_t owner = Owner.Opacity;
    int32_t level = Opacity;
    if (owner < 255) level = Opacity * owner >> 8;
    else if (owner >= 256) level = (Opacity * (owner - 256) >> 8) + 256;
    const int32_t x = GetAbsX(), y = GetAbsY();
    const TRect dst = IntersectRects(Bounds(x, y, s->Width(), s->Height()), draw_clip(Owner));
    if (RectIsEmpty(dst)) return;
    const TRect src = Bounds(dst.Left - x, dst.Top - y, dst.Width(), dst.Height());
    const bool keyed = s->TransparentColor() >= 0;
    if (level > 255) Owner.Target->DrawAdd(dst.Left, dst.Top, *s, src, keyed, false, false, level - 256);
    else Owner.Target->DrawAlpha(dst.Left, dst.Top, *s, src, keyed, false, false, level);
}

bool TWdImg::HasAnimation() const { return Image && Image->FrameCount() > 1; }

bool TWdImg::StepAnimation() {
    if (!Image || !Image->Step()) return false;
    Invalidate();
    return true;
}

void TWdImg::ReleaseSurfaces() {
    if (Image) Image->ReleaseAdjusted();
}
void TWdImg::RestoreSurfaces() {
    if (Image) Image->RebuildAdjusted();
}

void TWdImg::Assign(const TWdGlyph& other) {
    TWdReal::Assign(other);
    Src = other.GetValue();
    Align = other.GetAlign();
    NoBreak = other.GetNoBreak();
    Ruby = other.GetRuby();
}

// ---- operators ----

int32_t TWdOpeReturn::GetHeight() const {
    if (!Parent) return 0;
    for (const TWdGlyph* c : Parent->Children)
        if (c != this && !dynamic_cast<const TWdSpace*>(c)) return 0;
    return Owner.FontSize;
}

void TWdOpeReturn::Assign(const TWdGlyph& other) {
    TWdGlyph::Assign(other);
    Clear = other.GetClear();
}

void TWdOpeAlign::Assign(const TWdGlyph& other) {
    TWdGlyph::Assign(other);
    Align = other.GetAlign();
}

void TWdOpeEvent::Assign(const TWdGlyph& other) {
    TWdGlyph::Assign(other);
    Value = other.GetValue();
    End = other.GetWait() != 0;
}

std::unique_ptr<TWdGlyph> CreateGlyphOfKind(TWzWord& owner, uint8_t kind) {
    switch (kind & 0x7F) {
        case gkChar: return std::make_unique<TWdChar>(owner);
        case gkAlign: return std::make_unique<TWdOpeAlign>(owner);
        case gkReturn: return std::make_unique<TWdOpeReturn>(owner);
        case gkIndent: return std::make_unique<TWdOpeIndent>(owner);
        case gkUndent: return std::make_unique<TWdOpeUndent>(owner);
        case gkEvent: return std::make_unique<TWdOpeEvent>(owner);
        case gkVar: return std::make_unique<TWdOpeVar>(owner);
        case gkImage: return std::make_unique<TWdImg>(owner);
        default: return nullptr;
    }
}
