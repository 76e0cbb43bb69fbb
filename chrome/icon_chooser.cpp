#include "chrome/icon_chooser.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "platform/display/video.h"

#include <algorithm>
#include <cstdio>

using namespace chrome_colour;

namespace {
constexpr int32_t kClientWidth = 278;
constexpr int32_t kClientHeight = 166;
constexpr int32_t kPreviewSide = 100;

TRect shifted(const TRect& r, TPoint by) { return TRect{r.Left + by.X, r.Top + by.Y, r.Right + by.X, r.Bottom + by.Y}; }
}  // namespace

std::string IconChoiceLine(int index, int width, int height, int bit_count) {
    char line[64];
    std::snprintf(line, sizeof line, "%.3d : %d x %d  %d bpp", index, width, height, bit_count);
    return line;
}

TIconChooserDialog::TIconChooserDialog(const TIconDirectory& dir, TStream& stream, bool framed)
    : TModalDialog(kClientWidth, kClientHeight, "Select One from Multiple Icons", framed),
      List(Add<ListBox>(shifted(::Bounds(8, 8, 154, 150), ClientOrigin()))),
      btnOK(Add<Button>(shifted(::Bounds(180, 132, 80, 26), ClientOrigin()), "OK")),
      stream_(stream),
      start_(stream.GetPosition()) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < dir.Entries.size(); ++i) {
        const TIconEntry& e = dir.Entries[i];
        stream_.SetPosition(start_);
        lines.push_back(IconChoiceLine(static_cast<int>(i), e.Width, e.Height, IconImageBitCount(stream_, e)));
    }
    List.TabOrder = 0;
    btnOK.TabOrder = 1;
    List.OnChange = [this] { load_preview(); };
    List.SetItems(std::move(lines));
    btnOK.OnClick = [this] { take(); };
    DefaultButton = &btnOK;
    CancelButton = &btnOK;
    SetFocus(&List);
}

TRect TIconChooserDialog::PreviewRect() const {
    return shifted(::Bounds(170, 8, kPreviewSide, kPreviewSide), ClientOrigin());
}

void TIconChooserDialog::load_preview() {
    preview_ok_ = false;
    stream_.SetPosition(start_);
    try {
        LoadIcon(preview_, stream_, List.ItemIndex());
        preview_ok_ = preview_.Width() > 0 && preview_.Height() > 0;
    } catch (const Exception&) {
        // A damaged image shows an empty preview; it may still be chosen.
    }
    stream_.SetPosition(start_);
    Invalidate();
}

void TIconChooserDialog::PaintClient(ChromeCanvas& canvas) {
    const TRect box = PreviewRect();
    canvas.Edges(box, Shadow, Highlight);
    const TRect inner{box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1};
    canvas.Fill(inner, Face);
    if (!preview_ok_) return;
    // Centred, and made smaller (never larger) to fit.
    const int32_t w = preview_.Width(), h = preview_.Height();
    const int32_t side = inner.Width();
    const int32_t scale_num = std::max(w, h) > side ? side : 1, scale_den = std::max(w, h) > side ? std::max(w, h) : 1;
    const int32_t dw = w * scale_num / scale_den, dh = h * scale_num / scale_den;
    const int32_t left = inner.Left + (side - dw) / 2, top = inner.Top + (inner.Height() - dh) / 2;
    const TDIBSurface* mask = preview_.Mask();
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t sy = y * scale_den / scale_num;
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t sx = x * scale_den / scale_num;
            uint8_t r, g, b;
            preview_.PixelToRGB(preview_.GetPixel(sx, sy), r, g, b);
            const uint32_t a = mask ? mask->GetPixel(sx, sy) & 0xFF : 255u;
            const uint32_t under = canvas.Pixel(left + x, top + y);
            const auto mix = [a](uint32_t over, uint32_t back) { return (over * a + back * (255 - a)) / 255; };
            const uint32_t c = mix(r, (under >> 16) & 0xFF) << 16 | mix(g, (under >> 8) & 0xFF) << 8 | mix(b, under & 0xFF);
            canvas.Fill(::Bounds(left + x, top + y, 1, 1), c);
        }
    }
}

int ChooseIconDialog(const TIconDirectory& dir, TStream& stream) {
    if (!DisplayAvailable()) return -1;
    const int64_t start = stream.GetPosition();
    const std::unique_ptr<TModalDialog> shown =
        ShowModalDialog([&](bool framed) { return std::make_unique<TIconChooserDialog>(dir, stream, framed); });
    stream.SetPosition(start);
    return shown ? static_cast<TIconChooserDialog&>(*shown).Answer() : -1;
}
