#include "objects/text/mes.h"

#include "script/game_clock.h"
#include "files/containers.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/text/history.h"
#include "platform/exception.h"
#include "objects/object_record.h"
#include "render/custom_dibx.h"
#include "render/text/glyphs.h"
#include "render/text/tag_compiler.h"
#include "render/text/wz_word.h"

namespace {

std::vector<std::string> split_at_breaks(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (true) {
        size_t end = text.find('\n', at);
        const bool more = end != std::string::npos;
        if (!more) end = text.size();
        size_t stop = end;
        if (stop > at && text[stop - 1] == '\r') --stop;
        lines.push_back(text.substr(at, stop - at));
        if (!more) break;
        at = end + 1;
    }
    return lines;
}

}  // namespace

TVorqMes::TVorqMes(TVorqBaseList* registry) : TVorqControl(registry), FWord(std::make_unique<TWzWord>()) {
    FWord->Quality = 3;
    FWord->Paging = 1;
    FWord->Speed = FTextDelay = 0;
    FWord->OnEvent = [this](const std::string& text) { word_notify(text); };
    FLastTick = GameClock;
}

TVorqMes::~TVorqMes() {
    // Pages hold rows of the word's glyphs: free them first.
    FPages.clear();
}

TWdPage* TVorqMes::CurrentPage() const {
    return FPageIndex >= 0 && FPageIndex < GetCount() ? FPages[static_cast<size_t>(FPageIndex)].get() : nullptr;
}

// ---- properties ----

void TVorqMes::store_style(void (*apply)(TWzWord&, int32_t), int32_t v, bool resize) {
    if (resize) Invalidate();
    apply(*FWord, v);
    FRenderNeeded = 1;
    Invalidate();
}

// Sizes and widths are clamped to what the text can be laid out and drawn
// with, which is also what a saved window may hold.
int32_t TVorqMes::GetFontHeight() const { return FWord->FontSize; }
void TVorqMes::SetFontHeight(int32_t v) {
    v = TWzWord::ClampFontSize(v);
    if (v != FWord->FontSize) store_style([](TWzWord& w, int32_t x) { w.FontSize = x; }, v, true);
}
int32_t TVorqMes::GetLineSpace() const { return FWord->LineSpacing; }
void TVorqMes::SetLineSpace(int32_t v) {
    v = TWzWord::ClampLineSpacing(v);
    if (v != FWord->LineSpacing) store_style([](TWzWord& w, int32_t x) { w.LineSpacing = x; }, v, true);
}
int32_t TVorqMes::GetFontBorder() const { return FWord->BorderWidth; }
void TVorqMes::SetFontBorder(int32_t v) {
    v = TWzWord::ClampEdgeWidth(v);
    if (v != FWord->BorderWidth) store_style([](TWzWord& w, int32_t x) { w.BorderWidth = x; }, v, true);
}
int32_t TVorqMes::GetFontShadow() const { return FWord->ShadowWidth; }
void TVorqMes::SetFontShadow(int32_t v) {
    v = TWzWord::ClampEdgeWidth(v);
    if (v != FWord->ShadowWidth) store_style([](TWzWord& w, int32_t x) { w.ShadowWidth = x; }, v, true);
}
int32_t TVorqMes::GetFontColor() const { return static_cast<int32_t>(FWord->TextColor); }
void TVorqMes::SetFontColor(int32_t v) {
    if (static_cast<uint32_t>(v) != FWord->TextColor)
        store_style([](TWzWord& w, int32_t x) { w.TextColor = static_cast<uint32_t>(x); }, v, false);
}
int32_t TVorqMes::GetFontLinkColor() const { return static_cast<int32_t>(FWord->LinkColor); }
void TVorqMes::SetFontLinkColor(int32_t v) {
    if (static_cast<uint32_t>(v) != FWord->LinkColor)
        store_style([](TWzWord& w, int32_t x) { w.LinkColor = static_cast<uint32_t>(x); }, v, false);
}
int32_t TVorqMes::GetFontHoverColor() const { return static_cast<int32_t>(FWord->HoverColor); }
void TVorqMes::SetFontHoverColor(int32_t v) {
    if (static_cast<uint32_t>(v) != FWord->HoverColor)
        store_style([](TWzWord& w, int32_t x) { w.HoverColor = static_cast<uint32_t>(x); }, v, false);
}
int32_t TVorqMes::GetFontBorderColor() const { return static_cast<int32_t>(FWord->BorderColor); }
void TVorqMes::SetFontBorderColor(int32_t v) {
    if (static_cast<uint32_t>(v) != FWord->BorderColor)
        store_style([](TWzWord& w, int32_t x) { w.BorderColor = static_cast<uint32_t>(x); }, v, false);
}
int32_t TVorqMes::GetFontShadowColor() const { return static_cast<int32_t>(FWord->ShadowColor); }
void TVorqMes::SetFontShadowColor(int32_t v) {
    if (static_cast<uint32_t>(v) != FWord->ShadowColor)
        store_style([](TWzWord& w, int32_t x) { w.ShadowColor = static_cast<uint32_t>(x); }, v, false);
}

std::string TVorqMes::GetFontName() const { return FWord->FontName; }
void TVorqMes::SetFontName(const std::string& v) {
    if (v == FWord->FontName) return;
    FWord->FontName = v;
    if (CurrentPage()) {
        FRenderNeeded = 1;
        Invalidate();
    }
}

bool TVorqMes::GetAntialias() const { return FWord->Quality > 0; }
void TVorqMes::SetAntialias(bool v) {
    const int32_t q = v ? 3 : 0;
    if (q == FWord->Quality) return;
    FWord->Quality = q;
    if (CurrentPage()) FRenderNeeded = 1;
    Invalidate();
}

int32_t TVorqMes::GetAlpha() const { return FWord->Opacity; }
void TVorqMes::SetAlpha(int32_t v) {
    if (v == FWord->Opacity) return;
    FWord->Opacity = v;
    Invalidate();
}

int32_t TVorqMes::GetDelay() const { return FWord->Delay; }
void TVorqMes::SetDelay(int32_t v) { FWord->Delay = v < 1 ? 0 : v; }

void TVorqMes::SetTextDelay(int32_t v) { FTextDelay = FWord->Speed = v; }

void TVorqMes::SetWidth(int32_t v) {
    if (v == FWidth) return;
    Invalidate();
    FWidth = v;
    FWord->ViewWidth = v;
    Invalidate();
}

void TVorqMes::SetHeight(int32_t v) {
    if (v == FHeight) return;
    Invalidate();
    FHeight = v;
    FWord->PageHeight = v;
    Invalidate();
}

std::string TVorqMes::GetText() const {
    const TWdPage* p = CurrentPage();
    return p ? p->GetText() : std::string();
}

void TVorqMes::SetScrollY(int32_t v) {
    if (v == FScroll) return;
    FScroll = v;
    if (TWdPage* p = CurrentPage()) {
        p->ScrollOffset = v;
        p->RestartTypewriter();
    }
    Invalidate();
}

void TVorqMes::SetPaused(bool v) {
    const bool changed = (FPaused != 0) != v;
    FPaused = v;
    FWord->Pause = FPaused ? 1 : FTextPaused;
    if (changed && !FWord->Pause)
        if (TWdPage* p = CurrentPage()) p->RestartTypewriter();
}

void TVorqMes::SetTextPaused(bool v) {
    const bool changed = (FTextPaused != 0) != v;
    FTextPaused = v;
    FWord->Pause = FTextPaused || FPaused;
    if (changed && !FWord->Pause)
        if (TWdPage* p = CurrentPage()) p->RestartTypewriter();
}

bool TVorqMes::GetPlaying() const {
    const TWdPage* p = CurrentPage();
    return p && (FPageIndex + 1 < GetCount() || p->IsTyping());
}

TPoint TVorqMes::GetCaret() const { return FWord->Caret; }

void TVorqMes::SetOnNotify(const std::string& v) {
    FOnNotify = v;
    FWord->EventsEnabled = !v.empty();
}

uint8_t TVorqMes::GetPlayState() const {
    const TWdPage* p = CurrentPage();
    return p && p->IsTyping() ? PS_PLAY : PS_STOP;
}

void TVorqMes::ReleaseSurfaces() { FWord->ReleaseSurfaces(); }

void TVorqMes::RestoreSurfaces() {
    FWord->RestoreSurfaces();
    if (CurrentPage()) FRenderNeeded = 1;
    TVorqControl::RestoreSurfaces();
}

// ---- text and pages ----

// The layout size is the window's, however the window got its size (a
// rectangle set at once passes by the WIDTH and HEIGHT setters).
void TVorqMes::sync_layout_size() {
    FWord->ViewWidth = FWidth;
    FWord->PageHeight = FHeight;
}

void TVorqMes::start_page() {
    if (FOnPlayStart.empty()) return;
    const bool read = RecordMode == kRecordText && !PageName.empty() &&
                      ReadList().IsRead(PageName, CommandIndex, FPageIndex);
    TArrayString args;
    args.Add(read ? "1" : "0");
    QueueEvent(FOnPlayStart, kEvPlayStart, &args);
    FStartWait = 1;
}

void TVorqMes::record_page() {
    TWdPage* p = CurrentPage();
    if (RecordMode != kRecordText || PageName.empty() || !p) return;
    p->CaptureVarValues();
    const TWdGlyph* fg = p->FirstSourceGlyph();
    const TWdGlyph* lg = p->LastSourceGlyph();
    const int32_t first = fg ? FWord->SourceIndexOfGlyph(fg) : 0;
    const int32_t last = lg ? FWord->SourceIndexOfGlyph(lg) : -1;
    // The glyph positions are those of the piece's own range in the stored text.
    const int32_t base = MesData.Pieces.Count() == 1 ? MesData.Pieces.FirstPositions[0] : 0;
    History().SetPending(*this, PageName, p->CapturedValues, FPageIndex, base + last, base + first, CommandIndex);
    ReadList().SetPending(GetName(), PageName, FPageIndex, CommandIndex);
}

void TVorqMes::SetText(const std::string& v) {
    Invalidate();
    MesData.Pieces.Clear();
    FText = v;
    History().CommitPending(GetName());
    FirstPieceOffset = 0;
    FPages.clear();
    sync_layout_size();
    CompileTags(*FWord, split_at_breaks(v));
    FWord->ExpandVars(0, -1);
    LayoutPages(*FWord, FPages, 0, -1);
    FPageIndex = 0;
    FScroll = 0;
    if (!FPages.empty()) {
        FRenderNeeded = FRestart = 1;
        start_page();
    }
}

void TVorqMes::RebuildPages(bool restart) {
    Invalidate();
    FText.clear();
    History().CommitPending(GetName());
    record_page();
    FPages.clear();
    FPageIndex = -1;
    sync_layout_size();
    MesData.Rebuild(*FWord, FPages, PackedHistory != 0, FirstPieceOffset);
    if (!FPages.empty()) {
        if (restart) start_page();
        FRenderNeeded = FRestart = 1;
    }
}

void TVorqMes::SetPageIndex(int32_t index) {
    if (index < 0 || index >= GetCount() || index == FPageIndex) return;
    if (CurrentPage()) History().CommitPending(GetName());
    FPageIndex = index;
    FScroll = 0;
    start_page();
    record_page();
    TWdPage* p = CurrentPage();
    p->ScrollOffset = 0;
    p->ResetTypewriter();
    FRenderNeeded = FRestart = 1;
    Invalidate();
}

void TVorqMes::word_notify(const std::string& text) {
    if (FOnNotify.empty()) return;
    TArrayString args;
    for (const std::string& line : split_at_breaks(text)) args.Add(line);
    QueueEvent(FOnNotify, kEvNotify, &args);
}

// ---- frames ----

void TVorqMes::pass_dirty_rects() {
    TVorqBase* b = GetBase();
    if (b && GetVisible())
        for (const TRect& r : FWord->DirtyRects) b->AddDirtyRect(r);
}

bool TVorqMes::Update() {
    const uint32_t now = GameClock;
    const uint32_t tick = now - FLastTick;
    FLastTick = now;
    if (FStartWait >= 1) {
        --FStartWait;
        return false;
    }
    if (EventQueued(kEvPlayStart)) return false;
    TWdPage* p = CurrentPage();
    FWord->ViewX = GetScreenX();
    FWord->ViewY = GetScreenY();
    // The layer's surface changes with transitions and screen modes: a
    // surface remembered from an earlier frame may be gone.
    FWord->Target = GetSurface();
    if (FRenderNeeded) {
        if (p) p->Render(FRestart != 0);
        FRenderNeeded = FRestart = 0;
    }
    if (!p) return false;
    std::string revealed;
    const bool finished = AdvanceTypewriter(*p, tick, revealed);
    if (!revealed.empty() && !FOnPlaying.empty()) {
        TArrayString args;
        args.Add(revealed);
        QueueEvent(FOnPlaying, kEvPlaying, &args);
    }
    if (finished) {
        ReadList().CommitPending(GetName());
        if (!FOnPlayEnd.empty()) QueueEvent(FOnPlayEnd, kEvPlayEnd);
    }
    pass_dirty_rects();
    return false;
}

void TVorqMes::Draw() {
    TCustomDIBX* s = GetSurface();
    TWdPage* p = CurrentPage();
    if (s && p && GetVisible() && GetBase()) {
        FWord->Target = s;
        FWord->ViewX = GetScreenX();
        FWord->ViewY = GetScreenY();
        FWord->UpdateRect = s->GetClipRect();
        // A page not rendered yet has nothing revealed to show.
        if (!FRenderNeeded) FWord->DrawPage(*p);
    }
    TVorqControl::Draw();
}

TVorqObject* TVorqMes::HitTest(const TPoint& pt, uint32_t mask) {
    if (!GetVisible() || !PointInRect(pt, GetRect())) return nullptr;
    for (size_t i = FChildren.size(); i-- > 0;)
        if (TVorqObject* hit = FChildren[i]->HitTest(pt, mask)) return hit;
    const uint8_t m = GetIgnoreMouse();
    if (m >= 8 || !((mask >> m) & 1)) return nullptr;
    if (!FCaptureLink) return this;
    TWdPage* p = CurrentPage();
    if (!p) return nullptr;
    FWord->ViewX = GetScreenX();
    FWord->ViewY = GetScreenY();
    // The page takes layer coordinates, as the hover does.
    const TWdGlyph* g = p->HitTest(pt.X, pt.Y);
    return g && !g->GetLink().empty() ? this : nullptr;
}

void TVorqMes::set_hover(bool at_mouse) {
    TWdPage* p = CurrentPage();
    TVorqBase* b = GetBase();
    if (!p || !b || !GetVisible()) return;
    FWord->ViewX = GetScreenX();
    FWord->ViewY = GetScreenY();
    FWord->ClearDirtyRects();
    if (at_mouse && !FPaused && !p->IsTyping()) p->SetHoverPoint(b->MouseX, b->MouseY);
    else p->SetHoverPoint(-1, -1);
    pass_dirty_rects();
}

void TVorqMes::MouseMove() {
    if (GetVisible() && GetBase() && CurrentPage()) set_hover(true);
    else TVorqControl::MouseMove();
}

void TVorqMes::MouseOut(TVorqObject* next) {
    set_hover(false);
    TVorqControl::MouseOut(next);
}

void TVorqMes::LBtnDown() {
    TWdPage* p = CurrentPage();
    if (!FOnLink.empty() && p && p->Hovered && !EventQueued(kEvLink)) {
        TArrayString args;
        args.Add(p->GetHoverLinkText());
        for (const std::string& line : split_at_breaks(p->Hovered->GetLink())) args.Add(line);
        QueueEvent(FOnLink, kEvLink, &args);
        if (TVorqBase* b = GetBase()) b->Moved = 0;
        return;
    }
    TVorqControl::LBtnDown();
}

// ---- save and load ----

void TVorqMes::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    FWord->SaveState(s);
    // The values a text-insert page shows belong to its one piece; the
    // pieces of a backlog display keep their own.
    if (TWdPage* p = CurrentPage(); p && MesData.Pieces.Count() == 1 && MesData.Pieces.TotalHeight == 0) {
        p->CaptureVarValues();
        MesData.Pieces.Texts[0] = p->CapturedValues;
    }
    MesData.SaveToStream(s);
    WriteStreamByte(s, PackedHistory);
    WriteStreamInteger(s, FirstPieceOffset);
    WriteStreamString(s, FText);
    WriteStreamInteger(s, FPageIndex);
    WriteStreamInteger(s, FScroll);
    WriteStreamInteger(s, FReservedInt);
    for (const std::string& r : FReserved) WriteStreamString(s, r);
    for (const std::string* l : {&FOnPlaying, &FOnPlayStart, &FOnPlayEnd, &FOnLink, &FOnNotify}) WriteStreamString(s, *l);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FTextPaused);
    WriteStreamInteger(s, FTextDelay);
    WriteStreamByte(s, RecordMode);
    WriteStreamString(s, PageName);
    WriteStreamInteger(s, CommandIndex);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FCaptureLink);
    TMemoryStream pages;
    for (const auto& p : FPages) p->SaveDisplayState(pages);
    WriteStreamInteger(s, static_cast<int32_t>(pages.GetSize()));
    if (pages.GetSize() > 0) s.Write(pages.Memory(), pages.GetSize());
}

void TVorqMes::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FWord->LoadState(s, version);
    FieldReader r = ObjectRecordReader(s);
    MesData.LoadFromStream(r, version);
    PackedHistory = r.U8("packed history");
    FirstPieceOffset = version >= 113 ? r.I32("first piece offset") : 0;
    if (FirstPieceOffset > 0) r.Fail("first piece offset");
    const std::string text = r.String("text");
    if (MesData.IsEmpty()) SetText(text);
    else RebuildPages(false);
    const int32_t index = r.I32("page index");
    if (index < -1) r.Fail("page index");
    FScroll = r.I32("scroll");
    FReservedInt = r.I32("reserved integer");
    for (std::string& x : FReserved) x = r.String("reserved text");
    FOnPlaying = r.String("playing handler");
    FOnPlayStart = r.String("play-start handler");
    FOnPlayEnd = r.String("play-end handler");
    FOnLink = r.String("link handler");
    SetOnNotify(r.String("notify handler"));
    FPaused = r.U8("paused");
    FTextPaused = r.U8("text paused");
    FWord->Pause = FPaused || FTextPaused;
    SetTextDelay(r.I32("text delay"));
    RecordMode = r.U8("record mode");
    if (RecordMode > kRecordHistory) r.Fail("record mode");
    PageName = r.String("page name");
    CommandIndex = r.I32("command index");
    if (CommandIndex < 0) r.Fail("command index");
    // The scenario may lay out into fewer pages than when it was saved; an
    // empty window keeps the index 0 it was made with.
    FPageIndex = index < GetCount() || (index == 0 && GetCount() == 0) ? index : -1;
    if (TWdPage* p = CurrentPage()) {
        p->ScrollOffset = FScroll;
        p->ResetTypewriter();
        FWord->Target = GetSurface();
        p->Render(false);
    }
    if (version >= 104) FOnIdle = r.String("idle handler");
    if (version >= 120) FCaptureLink = r.U8("capture link");
    const uint32_t length = r.Count("page state length", 1, 1u << 30);
    TMemoryStream blob;
    if (length > 0) {
        std::string bytes = r.Fixed(length, "page states");
        blob.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        blob.SetPosition(0);
    }
    FieldReader pr = ObjectRecordReader(blob);
    bool fits = true;
    try {
        for (const auto& p : FPages) {
            if (pr.AtEnd()) break;
            p->LoadDisplayState(pr);
        }
    } catch (const ECorruptData&) {
        fits = false;
    }
    FRenderNeeded = FRestart = 0;
    FStartWait = 0;
    if (!fits) {
        // The text lays out otherwise than when it was saved (a size or font
        // changed after it was shown): its pages reveal again from the start.
        for (const auto& p : FPages) p->ResetTypewriter();
        if (CurrentPage()) FRenderNeeded = FRestart = 1;
    }
}
