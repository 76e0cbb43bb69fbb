#include "render/tesk_collection.h"
#include "files/field_reader.h"

#include <algorithm>

#include "files/save_stream.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "render/tesk.h"

TTeskCollection* TeskCollection = nullptr;

namespace {

constexpr int kPlaceholderSide = 80;

// Splits "name?m?t" (either modifier may be missing) into its parts; the
// modifiers are only recognised at the end, in that order.
std::string StripModifiers(const std::string& key, bool& mask, bool& trim) {
    std::string name = key;
    auto strip = [&](const char* tag) {
        if (name.size() >= 2 && name.compare(name.size() - 2, 2, tag) == 0) {
            name.resize(name.size() - 2);
            return true;
        }
        return false;
    };
    trim = strip("?t");
    mask = strip("?m");
    return name;
}

std::unique_ptr<TCustomDIBX> NewImageSurface() {
    std::unique_ptr<TCustomDIBX> s;
    if (DeviceSurfacesAllowed()) s = std::make_unique<TDxDIBX>();
    else s = std::make_unique<TDIBX>();
    s->SetSize(1, 1, DisplayBitCount());
    return s;
}

int64_t SurfaceBytes(const TCustomDIBX& s) {
    return int64_t(s.Width()) * s.Height() * ((s.BitCount() + 7) / 8);
}

// What decoding a key gives: the frames, or the placeholder of a file the
// project does not have.
struct Decoded {
    TTeskFrameList list;
    bool placeholder = false;
    bool mask = false;
    bool trim = false;
    explicit Decoded(uint32_t id) : list(id) {}
};

std::unique_ptr<Decoded> Decode(TTeskSource& source, const std::string& key, bool matchDepth) {
    auto d = std::make_unique<Decoded>(source.IdCode());
    const std::string name = StripModifiers(key, d->mask, d->trim);
    if (matchDepth) d->list.TargetBitCount = DisplayBitCount();
    if (!source.FileExists(name)) {
        d->placeholder = true;
        return d;
    }
    TMemoryStream stream;
    source.LoadToStream(stream, name);
    stream.SetPosition(0);
    // Bitmaps and PNG files are cached too: decoded by their signature.
    d->list.LoadAnyFromStream(stream, false);
    if (d->mask) d->list.MakeMasks();
    return d;
}

}  // namespace

// ------------------------------------------------------------------ frame

TTeskItemFrame::TTeskItemFrame() = default;
TTeskItemFrame::~TTeskItemFrame() = default;

void TTeskItemFrame::Draw(TCustomDIBX& dest, int32_t x, int32_t y, int32_t opacity, bool flipV, bool flipH,
                          const TRect& srcRect) const {
    if (opacity <= 0 || !Image) return;
    TCustomDIBX& src = *Image;
    if (Mask) {
        if (opacity < 255) dest.DrawMaskAlpha(x, y, src, srcRect, flipH, flipV, *Mask, opacity);
        else if (opacity == 255) dest.DrawMask(x, y, src, srcRect, flipH, flipV, *Mask);
        else dest.DrawMaskAdd(x, y, src, srcRect, flipH, flipV, *Mask, opacity - 256);
        return;
    }
    const bool keyed = src.TransparentColor() >= 0;
    if (opacity < 255) dest.DrawAlpha(x, y, src, srcRect, keyed, flipH, flipV, opacity);
    else if (opacity == 255) dest.Draw(x, y, src, srcRect, keyed, flipH, flipV);
    else dest.DrawAdd(x, y, src, srcRect, keyed, flipH, flipV, opacity - 256);
}

void TTeskItemFrame::DrawTiled(TCustomDIBX& dest, const TRect& destRect, int32_t opacity, bool flipV, bool flipH,
                               int32_t offsetY, int32_t offsetX, const TRect& srcRect) const {
    const int32_t sw = srcRect.Width(), sh = srcRect.Height();
    if (sw <= 0 || sh <= 0) return;
    int32_t oy = ((offsetY % sh) + sh) % sh;
    for (int32_t y = destRect.Top; y < destRect.Bottom;) {
        const int32_t h = std::min(sh - oy, destRect.Bottom - y);
        const int32_t dy = flipV ? destRect.Bottom - (y - destRect.Top) - h : y;
        int32_t ox = ((offsetX % sw) + sw) % sw;
        for (int32_t x = destRect.Left; x < destRect.Right;) {
            const int32_t w = std::min(sw - ox, destRect.Right - x);
            const int32_t dx = flipH ? destRect.Right - (x - destRect.Left) - w : x;
            const TRect piece{srcRect.Left + ox, srcRect.Top + oy, srcRect.Left + ox + w, srcRect.Top + oy + h};
            Draw(dest, dx, dy, opacity, flipV, flipH, piece);
            x += w;
            ox = 0;
        }
        y += h;
        oy = 0;
    }
}

// ------------------------------------------------------------------ item

void TTeskItem::Release(void* user) {
    auto it = std::find(users_.begin(), users_.end(), user);
    if (it == users_.end()) return;
    users_.erase(it);
    if (users_.empty()) owner_->AddIdle(this);
}

void TTeskItem::CountBytes() {
    bytes_ = 0;
    for (const auto& f : Frames) {
        if (f->Image) bytes_ += SurfaceBytes(*f->Image);
        if (f->Mask) bytes_ += int64_t(f->Mask->Width()) * f->Mask->Height();
    }
}

void TTeskItem::FillFrame(TTeskItemFrame& out, TTeskFrame& frame, bool trim, bool mask, bool newSurface) {
    out.TrimX = out.TrimY = 0;
    if (trim) {
        TRect area;
        frame.Trim(area);
        out.TrimX = area.Left;
        out.TrimY = area.Top;
    }
    if (newSurface || !out.Image) out.Image = NewImageSurface();
    frame.CopyToSurface(*out.Image);
    out.Image->SetTransparentColor(out.Image->ColorToPixel(frame.TransparentColor));
    if (frame.HasMask() || mask) {
        if (!out.Mask) out.Mask = std::make_unique<TDIBX>();
        frame.CopyMaskToSurface(*out.Mask);
    } else {
        out.Mask.reset();
    }
    out.TransparentColor = frame.TransparentColor;
    out.Delay = std::max(frame.Delay, 1);
}

namespace {
// The picture of a file the project does not have: black, keyed on black,
// and with a transparent mask of its own size when a mask is asked for.
void FillPlaceholder(TTeskItemFrame& out, bool mask, bool newSurface) {
    if (newSurface || !out.Image) out.Image = NewImageSurface();
    out.Image->SetSize(kPlaceholderSide, kPlaceholderSide, out.Image->BitCount());
    out.Image->Fill(0);
    out.Image->SetTransparentColor(0);
    out.TransparentColor = 0;
    out.TrimX = out.TrimY = 0;
    if (mask) {
        if (!out.Mask) out.Mask = std::make_unique<TDIBX>();
        out.Mask->SetSize(kPlaceholderSide, kPlaceholderSide, 8);
        out.Mask->Fill(0);
    } else {
        out.Mask.reset();
    }
    out.Delay = 1;
}
}  // namespace

void TTeskItem::Load(const std::string& key) {
    Frames.clear();
    TotalDelay = 0;
    Width = Height = 0;
    std::unique_ptr<Decoded> d = Decode(*owner_->source_, key, owner_->match_depth_);
    if (d->placeholder) {
        Frames.push_back(std::make_unique<TTeskItemFrame>());
        FillPlaceholder(*Frames[0], d->mask, true);
        Width = Height = kPlaceholderSide;
        TotalDelay = 1;
    } else if (d->list.Count() > 0) {
        Width = d->list.GetFrame(0)->Image.Width();
        Height = d->list.GetFrame(0)->Image.Height();
        for (int i = 0; i < d->list.Count(); ++i) {
            Frames.push_back(std::make_unique<TTeskItemFrame>());
            FillFrame(*Frames.back(), *d->list.GetFrame(i), d->trim, d->mask, true);
            TotalDelay += Frames.back()->Delay;
        }
    }
    CountBytes();
}

void TTeskItem::Reload(bool newSurfaces) {
    bool mask, trim;
    const std::string name = StripModifiers(GetName(), mask, trim);
    if (!owner_->source_->ManagerFileExists(name)) return;
    std::unique_ptr<Decoded> d = Decode(*owner_->source_, GetName(), owner_->match_depth_);
    const int n = std::min<int>(d->placeholder ? 1 : d->list.Count(), GetFrameCount());
    for (int i = 0; i < n; ++i) {
        if (d->placeholder) FillPlaceholder(*Frames[i], d->mask, newSurfaces);
        else FillFrame(*Frames[i], *d->list.GetFrame(i), d->trim, d->mask, newSurfaces);
    }
    const int64_t before = bytes_;
    CountBytes();
    if (idle_) owner_->idle_bytes_ += bytes_ - before;
}

// ------------------------------------------------------------------ collection

TTeskCollection::~TTeskCollection() {
    idle_.clear();
    Clear();
}

TTeskItem* TTeskCollection::Acquire(void* user, const std::string& name, bool trim, bool mask) {
    key_.assign(name);
    if (mask) key_ += "?m";
    if (trim) key_ += "?t";
    const int32_t i = IndexOf(key_);
    TTeskItem* item;
    if (i >= 0) {
        item = ItemAs<TTeskItem>(i);
    } else {
        // Decoded before it joins the collection: a picture that fails to
        // decode leaves no half-built entry behind.
        auto fresh = std::make_unique<TTeskItem>(this);
        fresh->SetName(key_);
        fresh->Load(key_);
        item = fresh.get();
        Add(std::move(fresh));
    }
    if (std::find(item->users_.begin(), item->users_.end(), user) == item->users_.end()) item->users_.push_back(user);
    if (item->idle_) RemoveIdle(item);
    return item;
}

void TTeskCollection::SetMatchDepth(bool flag) {
    if (flag == match_depth_) return;
    match_depth_ = flag;
    for (int32_t i = 0; i < Count(); ++i) ItemAs<TTeskItem>(i)->Reload(false);
}

void TTeskCollection::SaveToStream(TStream& stream) const { WriteStreamByte(stream, match_depth_ ? 1 : 0); }

void TTeskCollection::LoadFromStream(TStream& stream, int32_t version) {
    FieldReader r(stream, "TTeskCollection: corrupt state");
    if (version > 100) SetMatchDepth(r.Flag("match depth"));
}

void TTeskCollection::ReleaseSurfaces() {
    for (int32_t i = 0; i < Count(); ++i)
        for (auto& f : ItemAs<TTeskItem>(i)->Frames)
            if (f->Image) f->Image->ReleaseSurface();
}

void TTeskCollection::RestoreSurfaces(bool newSurfaces) {
    for (int32_t i = 0; i < Count(); ++i) ItemAs<TTeskItem>(i)->Reload(newSurfaces);
}

void TTeskCollection::Purge(const std::string& name) {
    for (const char* suffix : {"", "?m", "?t", "?m?t"}) {
        const int32_t i = IndexOf(name + suffix);
        if (i < 0) continue;
        TTeskItem* item = ItemAs<TTeskItem>(i);
        if (!item->idle_) continue;
        RemoveIdle(item);
        FreeItem(item);
    }
}

void TTeskCollection::AddIdle(TTeskItem* item) {
    idle_.push_back(item);
    item->idle_ = true;
    idle_bytes_ += item->bytes_;
    // The newest idle item always stays, even when it alone is too big.
    while (idle_.size() >= 2 && idle_bytes_ > kIdleBudget) {
        TTeskItem* oldest = idle_.front();
        RemoveIdle(oldest);
        FreeItem(oldest);
    }
}

void TTeskCollection::RemoveIdle(TTeskItem* item) {
    auto it = std::find(idle_.begin(), idle_.end(), item);
    if (it == idle_.end()) return;
    idle_.erase(it);
    item->idle_ = false;
    idle_bytes_ -= item->bytes_;
}

void TTeskCollection::FreeItem(TTeskItem* item) { Delete(item->GetIndex()); }
