// Inputs that once broke a picture or label reader: each is refused with
// the field that is wrong, and a label at the largest settings still renders.
#include "dib_golden.h"
#include "platform/text/codepage.h"
#include "render/dib.h"
#include "render/dib_surface.h"
#include "render/ico.h"
#include "render/label_list.h"
#include "render/tesk.h"
#include "render/tga.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <functional>

using namespace dibtest;

namespace {

std::vector<uint8_t> finding(const std::string& name) {
    return ReadBytes(std::string(VORQ_TEST_DATA) + "/fuzz-findings/" + name);
}

// The message a load raises, or "(no error)".
std::string refusal(const std::vector<uint8_t>& bytes, const std::function<void(TStream&)>& load) {
    TMemoryStream s = StreamOf(bytes);
    try {
        load(s);
    } catch (const ECorruptData& e) {
        return e.Message();
    }
    return "(no error)";
}

TSurfaceMaker plain() {
    return [](int32_t, int32_t, int32_t) -> std::unique_ptr<TCustomDIBX> { return std::make_unique<TPlainDIBX>(); };
}

}  // namespace

TEST(FuzzFindings, BitFieldMasksOfMoreThan32BitsAreRefusedBeforeAnyShift) {
    const std::string masks = Sjis("不正な DIB です") + " (colour masks)";
    // A bitmap, an icon whose image has bit fields, and a bitmap read as a
    // layered image (the finding's first byte chose the reader's options).
    EXPECT_EQ(refusal(finding("dib-1.bin"), [](TStream& s) { TDIB().LoadFromStream(s); }), masks);
    const auto ico = finding("ico-1.bin");
    std::string icon_errors;
    for (int i = 0; i < 4; ++i)
        icon_errors += refusal(ico, [i](TStream& s) {
            TDIBSurface d;
            LoadIcon(d, s, i);
        });
    EXPECT_NE(icon_errors.find(masks), std::string::npos) << icon_errors;
    auto tesk = finding("tesk-1.bin");
    tesk.erase(tesk.begin());
    EXPECT_EQ(refusal(tesk, [](TStream& s) { TTeskFrameList().LoadAnyFromStream(s, false); }), masks);
}

TEST(FuzzFindings, LabelBorderAndSizeAreBoundedToWhatALabelCanUse) {
    const auto label = finding("label-1.bin");  // border 255 at size 1024
    for (int32_t version : {108, 122}) {
        const std::string why = refusal(label, [version](TStream& s) { TWzLabelList(plain()).LoadFromStream(s, version); });
        EXPECT_NE(why.find("(border width)"), std::string::npos) << why;
    }
    // The largest settings a label takes: stored, read back and drawn.
    TWzLabelList big(plain());
    big.FontSize = 512;
    big.BorderWidth = 64;
    big.ShadowWidth = 64;
    TMemoryStream s;
    big.SaveToStream(s);
    s.SetPosition(0);
    TWzLabelList back(plain());
    back.LoadFromStream(s, 122);
    EXPECT_EQ(back.BorderWidth, 64);
    TPlainDIBX target(900, 800, 32);
    back.Target = &target;
    TWzLabelDIB* text = back.AddLabel();
    text->SetText(Sjis("字あ"));
    back.Measure();
    text->Draw(0, 0);
    EXPECT_EQ(text->Height, back.TextMetrics.otmTextMetrics.tmHeight + 128);
    auto& mask = static_cast<TPlainDIBX&>(text->MaskSurface());
    int opaque = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) opaque += mask.GetPixel(x, y) == 255;
    EXPECT_GT(opaque, 128 * 128);  // a border 64 wide round the strokes
    for (const auto& [size, border] : {std::pair{513, 0}, std::pair{12, 65}}) {
        TWzLabelList over(plain());
        over.FontSize = size;
        over.BorderWidth = border;
        TMemoryStream o;
        over.SaveToStream(o);
        const std::vector<uint8_t> bytes(o.Memory(), o.Memory() + o.GetSize());
        EXPECT_NE(refusal(bytes, [](TStream& in) { TWzLabelList(plain()).LoadFromStream(in, 122); }), "(no error)")
            << size << " " << border;
    }
}

TEST(FuzzFindings, PicturesAreRefusedBeforeMemoryIsTakenForDataThatIsNotThere) {
    // Layered images of one frame of 18432 x 8192 with no layer at all.
    for (const char* file : {"tesk-mask-timeout.tes", "tesk-mask-timeout-2.tes"}) {
        const std::string why = refusal(finding(file), [](TStream& s) { TTeskFrameList().LoadAnyFromStream(s, false); });
        EXPECT_EQ(why, Sjis("Tesk 画像が壊れています: layer count")) << file;
    }
    // A tiled layer whose tile width is past an int: the tiles are clamped
    // to the picture instead of dividing a row by zero bytes.
    const std::string tiles =
        refusal(finding("tesk-tile-width.tes"), [](TStream& s) { TTeskFrameList().LoadAnyFromStream(s, false); });
    EXPECT_TRUE(tiles == "(no error)" || tiles.rfind(Sjis("Tesk 画像が壊れています"), 0) == 0) << tiles;
    // A TGA declaring 11224 x 9984 pixels in 28 bytes.
    const std::string why = refusal(finding("tga-big-declared.tga"), [](TStream& s) {
        TDIBSurface d;
        LoadTGA(d, s, true);
    });
    EXPECT_NE(why.find("(pixels)"), std::string::npos) << why;
    // A 4-bit run-length bitmap declaring 33290 x 12037 pixels in 24 bytes.
    EXPECT_EQ(refusal(finding("bmp-rle4-big-declared.bmp"), [](TStream& s) { TDIB().LoadFromStream(s); }),
              Sjis("不正な DIB です") + " (pixels)");
}
