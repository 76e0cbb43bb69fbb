// TVorqMes: the message window. It shows rich text page by page with the
// typewriter reveal, tells the scenario about the reveal through events,
// highlights and reports links, and feeds the backlog and the read marks.
// Its text comes from TEXT or, as references into the scenario, from the
// text-insert command and the backlog display (TVorqNewMesData).
#pragma once
#include "objects/text/mes_data.h"
#include "objects/vorq_object.h"
#include "render/text/layout.h"

#include <cstdint>
#include <memory>
#include <string>

class TWzWord;

class TVorqMes : public TVorqControl {
public:
    // Event ids queued by the window.
    static constexpr uint8_t kEvPlayStart = 101, kEvPlaying = 32, kEvPlayEnd = 43, kEvLink = 46, kEvNotify = 33;
    // Record modes: plain text, recording a text-insert message, backlog display.
    static constexpr uint8_t kRecordNone = 0, kRecordText = 1, kRecordHistory = 2;

    explicit TVorqMes(TVorqBaseList* registry);
    ~TVorqMes() override;

    uint8_t GetCompoType() const override { return LT_MES; }

    // Properties.
    int32_t GetFontHeight() const override;
    void SetFontHeight(int32_t v) override;
    int32_t GetLineSpace() const override;
    void SetLineSpace(int32_t v) override;
    int32_t GetFontBorder() const override;
    void SetFontBorder(int32_t v) override;
    int32_t GetFontShadow() const override;
    void SetFontShadow(int32_t v) override;
    int32_t GetFontColor() const override;
    void SetFontColor(int32_t v) override;
    int32_t GetFontLinkColor() const override;
    void SetFontLinkColor(int32_t v) override;
    int32_t GetFontHoverColor() const override;
    void SetFontHoverColor(int32_t v) override;
    int32_t GetFontBorderColor() const override;
    void SetFontBorderColor(int32_t v) override;
    int32_t GetFontShadowColor() const override;
    void SetFontShadowColor(int32_t v) override;
    std::string GetFontName() const override;
    void SetFontName(const std::string& v) override;
    bool GetAntialias() const override;
    void SetAntialias(bool v) override;
    int32_t GetAlpha() const override;
    void SetAlpha(int32_t v) override;
    int32_t GetDelay() const override;
    void SetDelay(int32_t v) override;
    int32_t GetTextDelay() const override { return FTextDelay; }
    void SetTextDelay(int32_t v) override;
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    std::string GetText() const override;
    void SetText(const std::string& v) override;
    int32_t GetIndex() const override { return FPageIndex; }
    void SetIndex(int32_t v) override { SetPageIndex(v); }
    int32_t GetCount() const override { return static_cast<int32_t>(FPages.size()); }
    int32_t GetScrollY() const override { return FScroll; }
    void SetScrollY(int32_t v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    bool GetTextPaused() const override { return FTextPaused != 0; }
    void SetTextPaused(bool v) override;
    bool GetPlaying() const override;
    TPoint GetCaret() const override;
    bool GetCaptureLink() const override { return FCaptureLink != 0; }
    void SetCaptureLink(bool v) override { FCaptureLink = v; }
    std::string GetOnPlaying() const override { return FOnPlaying; }
    void SetOnPlaying(const std::string& v) override { FOnPlaying = v; }
    std::string GetOnPlayStart() const override { return FOnPlayStart; }
    void SetOnPlayStart(const std::string& v) override { FOnPlayStart = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    std::string GetOnLink() const override { return FOnLink; }
    void SetOnLink(const std::string& v) override { FOnLink = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    std::string GetOnNotify() const override { return FOnNotify; }
    void SetOnNotify(const std::string& v) override;
    void ClearTextOrigin() override { RecordMode = kRecordNone; }

    uint8_t GetPlayState() const override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;

    void Draw() override;
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    bool Update() override;
    void LBtnDown() override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    void RebuildPages(bool restart);
    void SetPageIndex(int32_t index);
    // No page current, so that the next SetPageIndex (0) shows page 0 afresh.
    void ForgetPageIndex() { FPageIndex = -1; }
    TWdPage* CurrentPage() const;
    TWzWord& Word() { return *FWord; }
    const TWdPageList& Pages() const { return FPages; }

    // Written by the text-insert command and the backlog display.
    uint8_t RecordMode = kRecordNone;
    int32_t CommandIndex = 0;
    std::string PageName;
    TVorqNewMesData MesData;
    uint8_t PackedHistory = 0;
    int32_t FirstPieceOffset = 0;

private:
    void start_page();
    void sync_layout_size();
    void record_page();
    void word_notify(const std::string& text);
    void pass_dirty_rects();
    void set_hover(bool at_mouse);
    void store_style(void (*apply)(TWzWord&, int32_t), int32_t v, bool resize);

    std::unique_ptr<TWzWord> FWord;
    TWdPageList FPages;
    int32_t FPageIndex = 0;
    int32_t FScroll = 0;
    int32_t FReservedInt = 0;
    std::string FReserved[3];
    std::string FOnPlaying, FOnPlayStart, FOnPlayEnd, FOnLink, FOnNotify;
    uint8_t FPaused = 0, FTextPaused = 0;
    int32_t FTextDelay = 256;
    std::string FText;
    int32_t FStartWait = 0;
    std::string FOnIdle;
    uint8_t FRenderNeeded = 0, FRestart = 0;
    uint8_t FCaptureLink = 0;
    uint32_t FLastTick = 0;
};
