#include "objects/text/cg_label.h"

#include "script/game_clock.h"
#include "files/jstring.h"
#include "files/save_stream.h"
#include "objects/text/label.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/custom_dibx.h"
#include "render/tesk_collection.h"

#include <algorithm>

std::vector<std::vector<int32_t>> CGLabelCells(const std::string& text, const std::string& map_text) {
    std::vector<std::vector<int32_t>> lines;
    for (const std::string& line : SplitLabelLines(text)) {
        std::vector<int32_t> cells;
        for (size_t i = 0; i < line.size(); ++i) {
            size_t n = 1;
            if (IsDBCSLeadByte(line[i]) && i + 1 < line.size()) n = 2;
            cells.push_back(JPos(std::string_view(line).substr(i, n), map_text) - 1);
            i += n - 1;
        }
        lines.push_back(std::move(cells));
    }
    return lines;
}

TVorqCGLabel::TVorqCGLabel(TVorqBaseList* registry) : TVorqControl(registry), FAlpha(255) {}

TVorqCGLabel::~TVorqCGLabel() {
    Invalidate();
    FSheet.Clear();
}

void TVorqCGLabel::SetSource(const std::string& v) {
    if (v == FSource) return;
    Invalidate();
    FSource = v;
    FFrame = -1;
    FSheet.Clear();
    if (!v.empty()) {
        // A sheet that cannot be decoded shows nothing rather than stopping
        // the scene.
        try {
            FSheet.LoadFromFile(this, v, false);
        } catch (const Exception&) {
            FSheet.Clear();
        }
    }
    if (FSheet.Count() > 0) {
        FSheet.SetIndex(0);
        FFrame = 0;
    }
    Invalidate();
}

void TVorqCGLabel::SetText(const std::string& v) {
    if (v == FText) return;
    FText = v;
    build_lines();
    resize();
}

void TVorqCGLabel::SetMapText(const std::string& v) {
    if (v == FMapText) return;
    FMapText = v;
    build_lines();
    Invalidate();
}

void TVorqCGLabel::SetGlyphWidth(int32_t v) {
    v = std::max(1, v);
    if (v == FGlyphWidth) return;
    FGlyphWidth = v;
    resize();
}

void TVorqCGLabel::SetGlyphHeight(int32_t v) {
    v = std::max(1, v);
    if (v == FGlyphHeight) return;
    FGlyphHeight = v;
    resize();
}

void TVorqCGLabel::SetLineSpace(int32_t v) {
    if (v == FLineSpace) return;
    FLineSpace = v;
    resize();
}

void TVorqCGLabel::SetHAlign(uint8_t v) {
    if (v == FHAlign) return;
    FHAlign = v;
    Invalidate();
}

void TVorqCGLabel::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

int32_t TVorqCGLabel::GetOrigWidth() const {
    TVorqImageData* d = frame();
    const TCustomDIBX* s = d ? d->GetSurface() : nullptr;
    return s ? s->Width() : 0;
}

int32_t TVorqCGLabel::GetOrigHeight() const {
    TVorqImageData* d = frame();
    const TCustomDIBX* s = d ? d->GetSurface() : nullptr;
    return s ? s->Height() : 0;
}

void TVorqCGLabel::resize() {
    size_t longest = 0;
    for (const auto& line : FLines) longest = std::max(longest, line.size());
    const int64_t n = static_cast<int64_t>(FLines.size());
    int64_t h = int64_t(FGlyphHeight) * n;
    if (n >= 2) h += int64_t(FLineSpace) * (n - 1);
    // Sizes are i32 fields; a text longer than they can hold wraps as the
    // stored sizes always have.
    SetRect(FLeft, FTop, static_cast<int32_t>(static_cast<uint32_t>(int64_t(FGlyphWidth) * int64_t(longest))),
            static_cast<int32_t>(static_cast<uint32_t>(h)));
    Invalidate();
}

void TVorqCGLabel::Draw() {
    TVorqImageData* d = frame();
    if (FWidth == 0 || FHeight == 0 || !d) return;
    TCustomDIBX* s = d->GetSurface();
    if (FAlpha > 0 && s && !s->IsEmpty()) {
        const int32_t cols = s->Width() / FGlyphWidth;
        const int64_t cells = int64_t(s->Height() / FGlyphHeight) * cols;
        int32_t y = GetScreenY();
        for (const auto& line : FLines) {
            int32_t x = GetScreenX();
            const int64_t room = int64_t(FWidth) - int64_t(line.size()) * FGlyphWidth;
            if (FHAlign == 1) x = WrapAdd(x, static_cast<int32_t>(room / 2));
            else if (FHAlign != 0) x = WrapAdd(x, static_cast<int32_t>(room));
            for (int32_t k : line) {
                if (cols >= 1 && k >= 0 && k < cells)
                    d->Draw(*this, x, y, Bounds((k % cols) * FGlyphWidth, (k / cols) * FGlyphHeight, FGlyphWidth,
                                                FGlyphHeight));
                x = WrapAdd(x, FGlyphWidth);
            }
            y = WrapAdd(y, WrapAdd(FGlyphHeight, FLineSpace));
        }
    }
    TVorqControl::Draw();
}

bool TVorqCGLabel::Update() {
    const bool done = TVorqControl::Update();
    if (done || GetAniPaused()) return done;
    if (FSheet.Step(static_cast<int32_t>(FrameTime))) {
        FFrame = FSheet.Index();
        Invalidate();
    }
    return done;
}

void TVorqCGLabel::ReleaseSurfaces() {
    FSheet.ReleaseAdjusted();
    TVorqControl::ReleaseSurfaces();
}

void TVorqCGLabel::RestoreSurfaces() {
    FSheet.RebuildAdjusted();
    TVorqControl::RestoreSurfaces();
}

void TVorqCGLabel::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamString(s, FText);
    WriteStreamString(s, FMapText);
    WriteStreamInteger(s, FGlyphWidth);
    WriteStreamInteger(s, FGlyphHeight);
    WriteStreamInteger(s, FLineSpace);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FHAlign);
    WriteStreamInteger(s, FAlpha);
    WriteStreamString(s, FOnIdle);
}

void TVorqCGLabel::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FText = r.String("text");
    FMapText = r.String("map text");
    FGlyphWidth = std::max(1, r.I32("glyph width"));
    FGlyphHeight = std::max(1, r.I32("glyph height"));
    FLineSpace = r.I32("line space");
    FPaused = r.U8("paused");
    FHAlign = r.U8("alignment");
    FAlpha = r.I32("alpha");
    if (version >= 125) FOnIdle = r.String("idle handler");
    SetSource(source);
    build_lines();
    resize();
}
