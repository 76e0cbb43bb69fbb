#include "render/text/wz_word.h"

#include "script/parser.h"
#include "files/field_reader.h"
#include "files/jstring.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/dibx.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const kCorrupt = "テキストデータが壊れています";

// Budgets and accumulators stay far from the 32-bit limits whatever the
// waits and frame gaps are.
constexpr int64_t kBudgetLimit = int64_t{1} << 30;

int32_t clamp_budget(int64_t v) { return static_cast<int32_t>(std::clamp(v, -kBudgetLimit, kBudgetLimit)); }

}  // namespace

// ---- TWzWord ----

TWzWord::TWzWord()
    : TWzWord([](int32_t, int32_t, int32_t) -> std::unique_ptr<TCustomDIBX> { return std::make_unique<TDIBX>(); }) {}

TWzWord::TWzWord(TSurfaceMaker makeSurface)
    : FontName(Sjis("ＭＳ ゴシック")), make_surface_(std::move(makeSurface)), decorations_(*this) {
    if (!make_surface_) throw Exception("TWzWord: no surface maker");
    colour_ = make_surface_(0, 0, 0);
    mask_ = make_surface_(0, 0, 8);
    if (!colour_ || !mask_) throw Exception("TWzWord: no surface");
    colour_->SetSize(1, 1, 15);
    mask_->SetSize(1, 1, 8);
}

TWzWord::~TWzWord() { glyphs_.clear(); }

void TWzWord::Clear() {
    glyphs_.clear();
    decorations_.Clear();
    DecorationIndexBase = 0;
    CapturedValues.clear();
}

TWdGlyph* TWzWord::GlyphAt(int32_t index) const {
    return index >= 0 && index < GlyphCount() ? glyphs_[static_cast<size_t>(index)].get() : nullptr;
}

int32_t TWzWord::IndexOfGlyph(const TWdGlyph* g) const {
    for (size_t i = 0; i < glyphs_.size(); ++i)
        if (glyphs_[i].get() == g) return static_cast<int32_t>(i);
    return -1;
}

TWdGlyph* TWzWord::InsertGlyph(int32_t index, std::unique_ptr<TWdGlyph> g) {
    index = std::clamp(index, 0, GlyphCount());
    TWdGlyph* p = g.get();
    glyphs_.insert(glyphs_.begin() + index, std::move(g));
    return p;
}

void TWzWord::DeleteGlyph(int32_t index) {
    if (index < 0 || index >= GlyphCount()) return;
    std::unique_ptr<TWdGlyph> g = std::move(glyphs_[static_cast<size_t>(index)]);
    glyphs_.erase(glyphs_.begin() + index);
    g.reset();
}

int32_t TWzWord::GlyphOfSource(int32_t pos) const {
    int64_t sum = 0;
    for (int32_t k = 0; k < GlyphCount(); ++k) {
        if (sum >= pos) return k;
        sum += glyphs_[static_cast<size_t>(k)]->SourceItems();
    }
    return -1;
}

int32_t TWzWord::SourceIndexOfGlyph(const TWdGlyph* g) const {
    int32_t sum = 0;
    for (const auto& p : glyphs_) {
        if (p.get() == g) break;
        sum += p->SourceItems();
    }
    return sum;
}

void TWzWord::AppendGlyphsFrom(const TWzWord& source, int32_t first, int32_t last) {
    if (last < 0 || last >= source.GlyphCount()) last = source.GlyphCount() - 1;
    for (int32_t i = std::max(0, first); i <= last; ++i) {
        const TWdGlyph* src = source.GlyphAt(i);
        std::unique_ptr<TWdGlyph> g = CreateGlyphOfKind(*this, src->GetKind());
        if (!g) continue;
        g->Assign(*src);
        AddGlyph(std::move(g));
    }
}

void TWzWord::ExpandVars(int32_t first, int32_t last) {
    if (last < 0 || last >= GlyphCount()) last = GlyphCount() - 1;
    for (int32_t i = last; i >= std::max(0, first); --i)
        if (TWdGlyph* g = GlyphAt(i)) g->ExpandVar();
}

void TWzWord::RemoveVarGlyphs(int32_t first, int32_t last) {
    if (last < 0 || last >= GlyphCount()) last = GlyphCount() - 1;
    for (int32_t i = last; i >= std::max(0, first); --i)
        if (TWdGlyph* g = GlyphAt(i)) g->RemoveVar();
}

void TWzWord::ReleaseSurfaces() {
    for (auto& g : glyphs_) g->ReleaseSurfaces();
}
void TWzWord::RestoreSurfaces() {
    for (auto& g : glyphs_) g->RestoreSurfaces();
}

void TWzWord::AddDirtyRect(const TRect& r) {
    if (!RectIsEmpty(r)) DirtyRects.push_back(r);
}

void TWzWord::FireEvent(const std::string& name) {
    if (OnEvent) OnEvent(name);
}

void TWzWord::DrawPage(TWdPage& page) {
    if (Target) page.Draw();
}

// ---- stored glyph list ----

void TWzWord::LoadGlyphStream(TStream& s) {
    FieldReader r(s, Sjis(kCorrupt));
    int32_t version = 0;
    {
        const int64_t at = r.Position();
        char tag[9];
        const bool whole = s.Read(tag, 9) == 9;
        if (whole && std::memcmp(tag, "WzWord", 6) == 0) {
            version = ParseTagVersion(tag, 9, "WzWord");
            if (version < 0) r.Fail("glyph list tag");
        } else {
            s.SetPosition(at);
        }
    }
    const int32_t first_record = decorations_.Count();
    std::vector<std::unique_ptr<TWdGlyph>> read;
    // On failure nothing of the list stays: glyphs first let go of records
    // they never counted, then the records go.
    auto discard = [&] {
        for (auto& g : read)
            if (TDecorate** ref = g->DecorateRef()) *ref = nullptr;
        read.clear();
        decorations_.Truncate(first_record);
    };
    try {
        const uint32_t records = decorations_.LoadFromStream(r, version);
        auto decoration = [&](const char* field) {
            const uint32_t index = r.U32(field);
            const int64_t at = int64_t{DecorationIndexBase} + index;
            if (index >= records || at < 0 || at >= decorations_.Count()) r.Fail(field);
            return decorations_.At(static_cast<int32_t>(at));
        };
        const uint32_t count = r.Count("glyph count", 1, kMaxStoredGlyphs);
        read.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t kind = r.U8("glyph kind");
            std::unique_ptr<TWdGlyph> g = CreateGlyphOfKind(*this, kind);
            // An unknown kind has fields nobody knows the size of: what
            // follows cannot be read in step, so the list ends here.
            if (!g) break;
            switch (kind & 0x7F) {
                case gkChar: {
                    auto* c = static_cast<TWdChar*>(g.get());
                    c->Link = r.String("character link");
                    c->Wait = r.I32("character wait");
                    c->Code = r.U16("character code");
                    c->Decorate = decoration("character decoration");
                    break;
                }
                case gkAlign: static_cast<TWdOpeAlign*>(g.get())->Align = r.U8("alignment"); break;
                case gkReturn: static_cast<TWdOpeReturn*>(g.get())->Clear = r.Flag("line break clear"); break;
                case gkEvent: {
                    auto* e = static_cast<TWdOpeEvent*>(g.get());
                    e->Value = r.String("event value");
                    if (!e->Value.empty() && e->Value[0] == '\x01') {
                        e->Value.erase(0, 1);
                        e->End = true;
                    }
                    break;
                }
                case gkVar: {
                    auto* v = static_cast<TWdOpeVar*>(g.get());
                    v->Decorate = decoration("variable decoration");
                    if (version >= 101) {
                        v->Wait = r.I32("variable wait");
                        v->Link = r.String("variable link");
                    }
                    if (version >= 102) {
                        v->Name = JTrim(r.String("variable name"));
                    } else {
                        v->Expression = std::make_unique<TVorqParser>();
                        v->Expression->LoadFromStream(r.Stream());
                    }
                    break;
                }
                case gkImage: {
                    auto* m = static_cast<TWdImg*>(g.get());
                    m->Link = r.String("image link");
                    m->Wait = r.I32("image wait");
                    m->Src = r.String("image source");
                    m->Align = r.U8("image alignment");
                    break;
                }
                default: break;
            }
            read.push_back(std::move(g));
        }
    } catch (...) {
        discard();
        throw;
    }
    // The stored reference counts are not trusted: each record is counted
    // from the glyphs that point to it, and records nobody uses go.
    for (int32_t k = first_record; k < decorations_.Count(); ++k) decorations_.At(k)->RefCount = 0;
    // Records of earlier lists that the base lets this list point to keep
    // their counts and gain these references on top.
    for (auto& g : read)
        if (TDecorate* d = g->GetDecorate()) ++d->RefCount;
    decorations_.DropUnused();
    glyphs_.reserve(glyphs_.size() + read.size());
    for (auto& g : read) glyphs_.push_back(std::move(g));
}

// ---- display state ----

void TWzWord::SaveState(TStream& s) const {
    WriteStreamInteger(s, ViewX);
    WriteStreamInteger(s, ViewY);
    WriteStreamInteger(s, FontSize);
    WriteStreamString(s, FontName);
    WriteStreamInteger(s, static_cast<int32_t>(TextColor));
    WriteStreamInteger(s, PageHeight);
    WriteStreamInteger(s, ViewWidth);
    WriteStreamInteger(s, Quality);
    WriteStreamInteger(s, LineSpacing);
    WriteStreamByte(s, Paging);
    WriteStreamInteger(s, static_cast<int32_t>(LinkColor));
    WriteStreamInteger(s, static_cast<int32_t>(HoverColor));
    WriteStreamInteger(s, Delay);
    WriteStreamInteger(s, static_cast<int32_t>(BorderColor));
    WriteStreamInteger(s, Opacity);
    WriteStreamByte(s, Pause);
    WriteStreamInteger(s, Caret.X);
    WriteStreamInteger(s, Caret.Y);
    WriteStreamInteger(s, Speed);
    WriteStreamByte(s, EventsEnabled);
    WriteStreamInteger(s, static_cast<int32_t>(ShadowColor));
    WriteStreamInteger(s, BorderWidth);
    WriteStreamInteger(s, ShadowWidth);
}

int32_t TWzWord::ClampFontSize(int32_t v) { return std::clamp(v, -kMaxFontSize, kMaxFontSize); }
int32_t TWzWord::ClampLineSpacing(int32_t v) { return std::clamp(v, -kMaxLineSpacing, kMaxLineSpacing); }
int32_t TWzWord::ClampEdgeWidth(int32_t v) { return std::clamp(v, 0, kMaxEdgeWidth); }

void TWzWord::LoadState(TStream& s, int32_t version) {
    FieldReader r(s, Sjis(kCorrupt));
    auto bounded = [&r](int32_t v, int32_t lo, int32_t hi, const char* field) {
        if (v < lo || v > hi) r.Fail(field);
        return v;
    };
    const int32_t view_x = r.I32("view x");
    const int32_t view_y = r.I32("view y");
    const int32_t font_size = bounded(r.I32("font size"), -kMaxFontSize, kMaxFontSize, "font size");
    std::string font_name = r.String("font name");
    const uint32_t text_colour = r.U32("text colour");
    // The layout size follows the owner's size, which may be any.
    const int32_t page_height = r.I32("page height");
    const int32_t view_width = r.I32("view width");
    const int32_t quality = r.I32("quality");
    const int32_t line_spacing =
        bounded(r.I32("line spacing"), -kMaxLineSpacing, kMaxLineSpacing, "line spacing");
    const uint8_t paging = r.U8("paging");
    const uint32_t link_colour = r.U32("link colour");
    const uint32_t hover_colour = r.U32("hover colour");
    const int32_t delay = r.I32("delay");
    const uint32_t border_colour = r.U32("border colour");
    const int32_t opacity = r.I32("opacity");
    const uint8_t pause = r.U8("pause");
    const int32_t caret_x = r.I32("caret x");
    const int32_t caret_y = r.I32("caret y");
    const int32_t speed = r.I32("speed");
    const uint8_t events = r.U8("events enabled");
    uint32_t shadow_colour = ShadowColor;
    int32_t border_width = BorderWidth, shadow_width = ShadowWidth;
    if (version >= 110) shadow_colour = r.U32("shadow colour");
    if (version >= 111) {
        border_width = bounded(r.I32("border width"), 0, kMaxEdgeWidth, "border width");
        shadow_width = bounded(r.I32("shadow width"), 0, kMaxEdgeWidth, "shadow width");
    }
    ViewX = view_x;
    ViewY = view_y;
    FontSize = font_size;
    FontName = std::move(font_name);
    TextColor = text_colour;
    PageHeight = page_height;
    ViewWidth = view_width;
    Quality = std::clamp(quality, 0, 3);
    LineSpacing = line_spacing;
    Paging = paging;
    LinkColor = link_colour;
    HoverColor = hover_colour;
    Delay = delay;
    BorderColor = border_colour;
    Opacity = opacity;
    Pause = pause;
    Caret = MakePoint(caret_x, caret_y);
    Speed = speed;
    EventsEnabled = events;
    ShadowColor = shadow_colour;
    BorderWidth = border_width;
    ShadowWidth = shadow_width;
}

void TWdPage::SaveDisplayState(TStream& s) const {
    WriteStreamInteger(s, ScrollOffset);
    WriteStreamInteger(s, CurrentRow);
    WriteStreamInteger(s, CurrentGlyph);
    WriteStreamByte(s, Reported);
    WriteStreamString(s, PendingEvents);
    TWdComposite::SaveDisplayState(s);
}

void TWdPage::LoadDisplayState(FieldReader& r) {
    const int32_t scroll = r.I32("scroll offset");
    const int32_t row = r.I32("current row");
    const int32_t glyph = r.I32("current glyph");
    // The position must lie on this page: a row of it, a glyph of that row,
    // or just past the last row.
    if (row < 0 || row > RowCount()) r.Fail("current row");
    if (glyph < 0 || (row < RowCount() ? glyph >= std::max(1, RowAt(row)->ChildCount()) : glyph != 0))
        r.Fail("current glyph");
    const uint8_t reported = r.U8("reported");
    std::string pending = r.String("pending events", 1u << 20);
    TWdComposite::LoadDisplayState(r);
    ScrollOffset = scroll;
    CurrentRow = row;
    CurrentGlyph = glyph;
    Reported = reported;
    PendingEvents = std::move(pending);
    Fading.clear();
    Animated.clear();
    for (TWdGlyph* c : Children)
        for (TWdGlyph* g : static_cast<TWdRow*>(c)->Children)
            if (g->GetOpacity() > 0 && g->HasAnimation()) Animated.push_back(g);
}

// ---- typewriter ----

bool TWdPage::AllShown() const { return CurrentRow >= RowCount() && Fading.empty(); }

bool TWdPage::IsTyping() const {
    const bool rows_left = CurrentRow < RowCount();
    if (Owner.Paging) {
        if (rows_left && !Owner.Pause) return true;
        return !Fading.empty();
    }
    if (!Fading.empty()) return true;
    if (!rows_left) return false;
    const TWdRow* row = RowAt(CurrentRow);
    return WrapAdd(WrapSub(row->Y, ScrollOffset), row->GetHeight()) <= Owner.PageHeight;
}

void TWdPage::RestartTypewriter() {
    Budget = 0;
    FadeAccumulator = 0;
    StartDelay = Owner.Delay >= 1 ? 1 : 0;
}

void TWdPage::ResetTypewriter() {
    CurrentRow = 0;
    CurrentGlyph = 0;
    Budget = 0;
    FadeAccumulator = 0;
    RestartTypewriter();
    Reported = 0;
    Fading.clear();
    Animated.clear();
}

bool AdvanceTypewriter(TWdPage& page, uint32_t tick_ms, std::string& log) {
    TWzWord& w = page.Owner;
    const bool finished = page.AllShown() && !page.Reported;
    if (finished) page.Reported = 1;
    log.clear();
    w.ClearDirtyRects();
    if (page.StartDelay > 0) {
        --page.StartDelay;
        return finished;
    }
    int64_t tick = std::min<int64_t>(tick_ms, 1 << 20);
    auto rows_left = [&] { return page.CurrentRow < page.RowCount(); };
    if (rows_left() && !w.Pause && page.PendingEvents.empty()) {
        if (page.CurrentRow == 0 && page.CurrentGlyph == 0) {
            page.Budget = 0;
            page.FadeAccumulator = 0;
            tick = 0;
        }
        if (page.EventWait) {
            tick = 0;
            page.EventWait = 0;
        }
        page.Budget = clamp_budget(int64_t{page.Budget} - tick);
        while (rows_left() && page.Budget <= 0) {
            TWdRow* row = page.RowAt(page.CurrentRow);
            if (WrapSub(row->Y, page.ScrollOffset) > w.PageHeight) break;
            if (page.CurrentGlyph >= row->ChildCount()) {
                ++page.CurrentRow;
                page.CurrentGlyph = 0;
                continue;
            }
            TWdGlyph* g = row->GetChild(page.CurrentGlyph);
            g->SetOpacity(0);
            const int32_t wait = g->GetWait();
            if (wait >= 0) page.Budget = clamp_budget(page.Budget + (int64_t{wait} * std::max(0, w.Speed) >> 8));
            else if (w.Speed >= 0) page.Budget = clamp_budget(page.Budget - int64_t{wait});
            page.Fading.push_back(g);
            if (g->HasAnimation()) page.Animated.push_back(g);
            if (++page.CurrentGlyph >= row->ChildCount()) {
                ++page.CurrentRow;
                page.CurrentGlyph = 0;
            }
            const TWdGlyph* next = rows_left() ? page.RowAt(page.CurrentRow)->GetChild(page.CurrentGlyph) : nullptr;
            if (next) w.Caret = MakePoint(WrapSub(next->GetAbsX(), w.ViewX), WrapSub(next->GetAbsY(), w.ViewY));
            else w.Caret = MakePoint(WrapSub(WrapAdd(g->GetAbsX(), g->GetWidth()), w.ViewX), WrapSub(row->GetAbsY(), w.ViewY));
            const uint8_t kind = g->GetKind();
            if (kind == gkEvent && w.EventsEnabled) {
                if (!page.PendingEvents.empty()) page.PendingEvents += '\t';
                page.PendingEvents += g->GetValue();
                page.EventWait = 1;
                if (static_cast<TWdOpeEvent*>(g)->End || (next && next->GetKind() != gkEvent)) break;
            } else if (kind == gkChar) {
                log += g->GetText();
            } else if (kind == gkImage) {
                log += '*';
            }
        }
    }
    page.FadeAccumulator = clamp_budget(int64_t{page.FadeAccumulator} + tick * 256);
    const int32_t step = w.Delay > 0 ? page.FadeAccumulator / w.Delay : 255;
    if (step > 0) {
        page.FadeAccumulator %= std::max(w.Delay, 1);
        for (size_t k = page.Fading.size(); k-- > 0;) {
            TWdGlyph* g = page.Fading[k];
            const int32_t v = std::min(255, g->GetOpacity() + step);
            g->SetOpacity(v);
            g->Invalidate();
            if (g->GetOpacity() >= 255) page.Fading.erase(page.Fading.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    for (TWdGlyph* g : page.Animated) g->StepAnimation();
    if (!page.PendingEvents.empty() && page.Fading.empty()) {
        const std::string names = std::move(page.PendingEvents);
        page.PendingEvents.clear();
        size_t from = 0;
        while (true) {
            const size_t tab = names.find('\t', from);
            w.FireEvent(names.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
    }
    return finished;
}

// ---- hovering ----

void TWdPage::set_run_highlight(TWdGlyph* head, bool on) {
    const int32_t at = Owner.IndexOfGlyph(head);
    if (at < 0) return;
    const std::string link = head->GetLink();
    int32_t i = at;
    for (; i < Owner.GlyphCount(); ++i) {
        TWdGlyph* g = Owner.GlyphAt(i);
        if (g->GetLink() != link) break;
        g->SetHighlight(on);
        if (g->GetRoot() != this) continue;
        g->Erase();
        g->Render(false);
        g->Invalidate();
    }
    // Its border or shadow may reach into the run.
    if (TWdGlyph* after = Owner.GlyphAt(i); after && after->GetRoot() == this) {
        after->Render(false);
        after->Invalidate();
    }
}

void TWdPage::SetHoverPoint(int32_t x, int32_t y) {
    TWdGlyph* head = nullptr;
    if (x >= 0 && y >= 0) {
        TWdGlyph* hit = HitTest(x, y);
        if (hit && !hit->GetLink().empty()) {
            int32_t i = Owner.IndexOfGlyph(hit);
            while (i > 0 && Owner.GlyphAt(i - 1)->GetLink() == hit->GetLink()) --i;
            head = Owner.GlyphAt(i);
        }
    }
    if (head == Hovered) return;
    if (Hovered) set_run_highlight(Hovered, false);
    Hovered = head;
    if (head) set_run_highlight(head, true);
}

std::string TWdPage::GetHoverLinkText() const {
    if (!Hovered) return {};
    std::string s;
    const std::string& link = Hovered->GetLink();
    for (int32_t i = Owner.IndexOfGlyph(Hovered); i >= 0 && i < Owner.GlyphCount(); ++i) {
        const TWdGlyph* g = Owner.GlyphAt(i);
        if (g->GetLink() != link) break;
        s += g->GetText();
    }
    return s;
}

void TWdPage::CaptureVarValues() {
    std::vector<std::string> lines;
    CollectVars(lines);
    CapturedValues.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) CapturedValues += "\r\n";
        CapturedValues += lines[i];
    }
}

// ---- variables ----

bool CapturedValue(const std::vector<std::string>& lines, const std::string& name, std::string& value) {
    for (const std::string& line : lines) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (AnsiSameText(std::string_view(line).substr(0, eq), name)) {
            value = line.substr(eq + 1);
            return true;
        }
    }
    return false;
}

TWdOpeVar::TWdOpeVar(TWzWord& owner) : TWdGlyph(owner) {}

TWdOpeVar::~TWdOpeVar() {
    for (TWdGlyph* g : Inserted) g->MadeBy = nullptr;
    Owner.Decorations().ReleaseDecorate(Decorate);
}

void TWdOpeVar::ForgetInserted(TWdGlyph* g) { std::erase(Inserted, g); }

std::string TWdOpeVar::evaluate() const {
    if (!Name.empty() && !Owner.CapturedValues.empty()) {
        std::string v;
        CapturedValue(Owner.CapturedValues, Name, v);
        std::replace(v.begin(), v.end(), '\x01', '\r');
        return v;
    }
    // A failing expression inserts nothing.
    try {
        std::unique_ptr<TVorqParser> own;
        TVorqParser* p = Expression.get();
        if (!Name.empty()) {
            const std::string text = JTrim(Name);
            if (text.empty()) return {};
            own = std::make_unique<TVorqParser>();
            CompileExpression(*own, text);
            p = own.get();
        }
        if (!p) return {};
        p->Evaluate();
        return p->Result() ? p->Result()->GetAsString() : std::string();
    } catch (const Exception&) {
        return {};
    }
}

void TWdOpeVar::ExpandVar() {
    RemoveVar();
    const std::string text = evaluate();
    int32_t at = Owner.IndexOfGlyph(this);
    if (at < 0) return;
    const TDecorateValues style = Decorate ? Decorate->Values : TDecorateValues{};
    for (size_t i = 0; i < text.size();) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        const bool two = IsDBCSLeadByte(b) && i + 1 < text.size();
        std::unique_ptr<TWdGlyph> g;
        if (b == '\r') {
            g = std::make_unique<TWdVarReturn>(Owner);
        } else if (two || b >= 32) {
            auto c = std::make_unique<TWdVarChar>(Owner);
            c->Code = two ? static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(text[i + 1])) : b;
            c->Decorate = Owner.Decorations().AcquireDecorate(style);
            c->Link = Link;
            c->Wait = Wait;
            g = std::move(c);
        }
        i += two ? 2 : 1;
        if (!g) continue;
        g->MadeBy = this;
        Inserted.push_back(Owner.InsertGlyph(++at, std::move(g)));
    }
}

void TWdOpeVar::RemoveVar() {
    const std::vector<TWdGlyph*> gone = Inserted;
    Inserted.clear();
    for (TWdGlyph* g : gone) {
        g->MadeBy = nullptr;
        Owner.DeleteGlyph(Owner.IndexOfGlyph(g));
    }
}

void TWdOpeVar::CollectVars(std::vector<std::string>& lines) const {
    std::string v;
    if (CapturedValue(lines, Name, v)) return;
    for (const TWdGlyph* g : Inserted) v += g->GetKind() == gkReturn ? std::string("\x01") : g->GetText();
    lines.push_back(Name + "=" + v);
}

void TWdOpeVar::SaveDisplayState(TStream& s) const {
    if (Inserted.empty()) {
        WriteStreamInteger(s, 0);
        return;
    }
    const TWdGlyph* first = Inserted.front();
    int32_t v = first->GetOpacity();
    if (TWdPage* page = const_cast<TWdGlyph*>(first)->GetRoot())
        if (std::find(page->Fading.begin(), page->Fading.end(), first) != page->Fading.end()) v = 255;
    WriteStreamInteger(s, v);
}

void TWdOpeVar::LoadDisplayState(FieldReader& r) {
    const int32_t v = r.I32("variable opacity");
    for (TWdGlyph* g : Inserted) g->SetOpacity(v);
}

void TWdOpeVar::Assign(const TWdGlyph& other) {
    TWdGlyph::Assign(other);
    Name = other.GetValue();
    Wait = other.GetWait();
    Link = other.GetLink();
    if (const TDecorate* d = other.GetDecorate()) SetDecorateValues(d->Values);
    if (const auto* v = dynamic_cast<const TWdOpeVar*>(&other); v && v->Expression) {
        Expression = std::make_unique<TVorqParser>();
        Expression->Assign(*v->Expression);
    }
}
