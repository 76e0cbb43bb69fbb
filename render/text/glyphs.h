// The glyph tree of rich text. A TWzWord holds its text as a flat list of
// glyphs (characters, inline images, operators); layout links them into
// rows of pages. Every visible glyph renders once into the owner's
// off-screen colour surface and 8-bit mask and is composited from there with
// its own opacity on every draw, which is what lets the typewriter fade
// characters in one by one.
//
// Glyphs and the rows that hold them unlink from each other when either is
// freed, so the glyph list and the pages may be cleared in any order.
#pragma once
#include "platform/rect.h"
#include "render/text/decorate.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FieldReader;
class TStream;
class TVorqParser;
class TWdComposite;
class TWdImageFrames;
class TWdOpeVar;
class TWdPage;
class TWdRow;
class TWzWord;

// Glyph kinds, as stored.
enum : uint8_t {
    gkBase = 0, gkChar = 1, gkAlign = 2, gkReturn = 3, gkIndent = 4, gkUndent = 5, gkEvent = 6, gkVar = 7,
    gkImage = 9
};
// Alignments: rows take LEFT, RIGHT, CENTER; images CENTER, TOP, BOTTOM
// inline or LEFT, RIGHT floating.
enum : uint8_t { waNone = 0, waLeft = 1, waRight = 2, waCenter = 3, waTop = 4, waBottom = 5 };

class TWdGlyph {
public:
    explicit TWdGlyph(TWzWord& owner) : Owner(owner) {}
    virtual ~TWdGlyph();
    TWdGlyph(const TWdGlyph&) = delete;
    TWdGlyph& operator=(const TWdGlyph&) = delete;

    TWzWord& Owner;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TWdComposite* Parent = nullptr;
    // The VAR glyph that inserted this one, if any.
    TWdOpeVar* MadeBy = nullptr;

    virtual TWdPage* GetRoot();
    virtual uint8_t GetKind() const { return gkBase; }
    virtual int32_t ChildCount() const { return 0; }
    virtual TWdGlyph* GetChild(int32_t) const { return nullptr; }
    virtual int32_t GetWidth() const { return Width; }
    virtual int32_t GetHeight() const { return Height; }

    // Character style, through the glyph's shared record (none: defaults).
    virtual TDecorate* GetDecorate() const { return nullptr; }
    virtual TDecorate** DecorateRef() { return nullptr; }
    std::string GetFontName() const;
    int32_t GetFontSize() const;
    uint8_t GetStyle() const;
    uint32_t GetColor() const;
    uint32_t GetBorderColor() const;
    uint32_t GetShadowColor() const;
    // Negative stored widths read as the owner's defaults.
    int32_t GetBorderWidth() const;
    int32_t GetShadowWidth() const;
    virtual uint8_t GetNoBreak() const;
    virtual const std::string& GetRuby() const;
    void SetFontName(const std::string& v);
    void SetFontSize(int32_t v);
    void SetStyle(uint8_t v);
    void SetColor(uint32_t v);
    void SetBorderColor(uint32_t v);
    void SetShadowColor(uint32_t v);
    void SetBorderWidth(int32_t v);
    void SetShadowWidth(int32_t v);
    void SetNoBreak(uint8_t v);
    void SetRuby(const std::string& v);
    // Sets all style values at once.
    void SetDecorateValues(const TDecorateValues& v);

    virtual uint16_t GetCharCode() const { return 0; }
    virtual uint8_t GetAlign() const { return waNone; }
    virtual void SetAlign(uint8_t) {}
    // Position on the target: the page's absolute position plus the offsets.
    int32_t GetAbsX() const;
    int32_t GetAbsY() const;
    // Position within the page's off-screen pair.
    int32_t PageX() const;
    int32_t PageY() const;
    virtual std::string GetText() const { return {}; }
    virtual const std::string& GetLink() const;
    virtual void SetLink(const std::string&) {}
    virtual bool GetHighlight() const { return false; }
    virtual void SetHighlight(bool) {}
    virtual int32_t GetOpacity() const { return 255; }
    virtual void SetOpacity(int32_t) {}
    virtual int32_t GetWait() const { return 0; }
    virtual void SetWait(int32_t) {}
    virtual bool GetClear() const { return false; }
    virtual void SetClear(bool) {}
    virtual std::string GetValue() const { return {}; }
    virtual void SetValue(const std::string&) {}
    virtual std::string GetLogText() const { return {}; }
    // Source items the glyph stands for: 0 for glyphs made from variable values.
    virtual int32_t SourceItems() const { return 1; }
    virtual bool IsVisible() const { return false; }

    // Measures the glyph (cell size, image size).
    virtual void LoadResources() {}
    virtual void Layout() {}
    // Into the owner's off-screen pair; hidden: a visible glyph first goes to opacity 0.
    virtual void Render(bool /*hidden*/) {}
    virtual void Erase() {}
    // Onto the owner's target.
    virtual void Draw() {}
    // (x, y) relative to the parent.
    virtual TWdGlyph* HitTest(int32_t x, int32_t y);
    virtual void ResetOpacity(int32_t value) { SetOpacity(value); }
    void Invalidate();
    virtual void Hide() { SetOpacity(0); }
    virtual void ExpandVar() {}
    virtual void RemoveVar() {}
    virtual void SaveDisplayState(TStream&) const {}
    virtual void LoadDisplayState(FieldReader&) {}
    virtual bool HasAnimation() const { return false; }
    virtual bool StepAnimation() { return false; }
    virtual void ReleaseSurfaces() {}
    virtual void RestoreSurfaces() {}
    virtual TWdGlyph* FirstSourceGlyph() { return SourceItems() == 1 ? this : nullptr; }
    virtual TWdGlyph* LastSourceGlyph() { return SourceItems() == 1 ? this : nullptr; }
    // Copies position, size and the kind's own fields.
    virtual void Assign(const TWdGlyph& other);
    virtual void CollectVars(std::vector<std::string>&) const {}
    // The glyph's rectangle within its parent.
    TRect BoundsRect() const { return Bounds(X, Y, GetWidth(), GetHeight()); }

private:
    template <typename Fn>
    void change_style(Fn fn);
};

class TWdComposite : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    ~TWdComposite() override;
    int32_t ChildCount() const override { return static_cast<int32_t>(Children.size()); }
    TWdGlyph* GetChild(int32_t i) const override;
    int32_t IndexOfChild(const TWdGlyph* g) const;
    virtual void AddChild(TWdGlyph* g);
    void AddOwned(std::unique_ptr<TWdGlyph> g);
    void RemoveOwned(TWdGlyph* g);
    void DeleteChild(int32_t index);
    virtual void ClearChildren();
    // Called by a child that is being freed.
    virtual void ForgetChild(TWdGlyph* g);
    TWdGlyph* FirstChild() const { return Children.empty() ? nullptr : Children.front(); }
    TWdGlyph* LastChild() const { return Children.empty() ? nullptr : Children.back(); }

    std::string GetText() const override;
    std::string GetLogText() const override;
    void Render(bool hidden) override;
    void Draw() override;
    void ResetOpacity(int32_t value) override;
    void Hide() override;
    void SaveDisplayState(TStream& s) const override;
    void LoadDisplayState(FieldReader& r) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void CollectVars(std::vector<std::string>& lines) const override;
    TWdGlyph* FirstSourceGlyph() override;
    TWdGlyph* LastSourceGlyph() override;

    std::vector<TWdGlyph*> Children;
    std::vector<std::unique_ptr<TWdGlyph>> Owned;
};

class TWdRow : public TWdComposite {
public:
    using TWdComposite::TWdComposite;
    void AddChild(TWdGlyph* g) override;
    void Layout() override;
    // Wide borders of the row's characters are stamped a run at a time
    // before the characters themselves (see StampBorderRun).
    void Render(bool hidden) override;
    void Draw() override;
    TWdGlyph* HitTest(int32_t x, int32_t y) override;
    uint8_t GetAlign() const override { return Align; }
    void SetAlign(uint8_t a) override { Align = a; }
    int32_t GetHeight() const override { return Above + Base + Below; }
    // The row holds a glyph other than its indent space.
    bool HasGlyphs() const;

    int32_t RowLeft = 0;
    int32_t RowRight = 0;
    uint8_t Align = waLeft;
    int32_t Above = 0;
    int32_t Base = 0;
    int32_t Below = 0;

private:
    void extend(const TWdGlyph& g);
};

// Float rectangles of a page, and the free span beside them.
class TWdClipList {
public:
    struct Float {
        TRect r;
        bool right;
    };
    int32_t ViewWidth = 0;
    std::vector<Float> Floats;
    // A float of the given size at y, at the left or right edge of the span there.
    TRect AddFloat(int32_t y, int32_t width, int32_t height, bool right);
    void SpanAt(int32_t y, int32_t& left, int32_t& right) const;
};

class TWdPage : public TWdComposite {
public:
    using TWdComposite::TWdComposite;
    ~TWdPage() override;
    TWdPage* GetRoot() override { return this; }
    void Layout() override;
    void Render(bool hidden) override;
    TWdGlyph* HitTest(int32_t x, int32_t y) override;
    void ClearChildren() override;
    void SaveDisplayState(TStream& s) const override;
    void LoadDisplayState(FieldReader& r) override;
    // Forgets a glyph that is being freed (fading, animated, hovered).
    void ForgetGlyph(TWdGlyph* g);

    int32_t PageAbsX() const;
    int32_t PageAbsY() const;

    bool IsTyping() const;
    bool AllShown() const;
    void RestartTypewriter();
    void ResetTypewriter();
    // Negative coordinates: no point. Re-renders the link run under it.
    void SetHoverPoint(int32_t x, int32_t y);
    std::string GetHoverLinkText() const;
    void CaptureVarValues();
    TWdRow* RowAt(int32_t i) const;
    int32_t RowCount() const { return ChildCount(); }

    TWdClipList Clips;
    // Typewriter state.
    int32_t ScrollOffset = 0;
    TWdGlyph* Hovered = nullptr;
    int32_t Budget = 0;
    int32_t CurrentRow = 0;
    int32_t CurrentGlyph = 0;
    int32_t StartDelay = 0;
    std::string PendingEvents;
    int32_t FadeAccumulator = 0;
    uint8_t Reported = 0;
    std::vector<TWdGlyph*> Fading;
    std::vector<TWdGlyph*> Animated;
    uint8_t EventWait = 0;
    std::string CapturedValues;

private:
    void set_run_highlight(TWdGlyph* head, bool on);
};

// A glyph that shows: link, hover flag, opacity, typewriter wait.
class TWdReal : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    const std::string& GetLink() const override { return Link; }
    void SetLink(const std::string& v) override { Link = v; }
    bool GetHighlight() const override { return Highlight; }
    void SetHighlight(bool v) override { Highlight = v; }
    int32_t GetOpacity() const override { return Opacity; }
    void SetOpacity(int32_t v) override { Opacity = v < 0 ? 0 : (v > 255 ? 255 : v); }
    int32_t GetWait() const override { return Wait; }
    void SetWait(int32_t v) override { Wait = v; }
    bool IsVisible() const override { return true; }
    void Render(bool hidden) override;
    void SaveDisplayState(TStream& s) const override;
    void LoadDisplayState(FieldReader& r) override;
    void Assign(const TWdGlyph& other) override;

    std::string Link;
    bool Highlight = false;
    int32_t Opacity = 255;
    int32_t Wait = 0;
};

class TWdChar : public TWdReal {
public:
    using TWdReal::TWdReal;
    ~TWdChar() override;
    uint8_t GetKind() const override { return gkChar; }
    TDecorate* GetDecorate() const override { return Decorate; }
    TDecorate** DecorateRef() override { return &Decorate; }
    uint16_t GetCharCode() const override { return Code; }
    std::string GetText() const override;
    std::string GetLogText() const override { return GetText(); }
    void LoadResources() override;
    void Render(bool hidden) override;
    void Erase() override;
    void Draw() override;
    void Assign(const TWdGlyph& other) override;

    // How the character is drawn into the owner's pair.
    struct Look {
        std::string font;
        int32_t size;
        uint8_t style;
        uint32_t fill, border, shadow;  // pixels of the colour surface
        int32_t border_width, shadow_width;
        TRect cell;  // below the ruby line, if any
    };
    Look GetLook() const;
    // A character whose wide border a row stamps with its neighbours': no
    // lines and no ruby, which are drawn in between the stamps.
    bool JoinsBorderRun(const Look& look) const;
    // Render, the border and shadow already stamped by the row.
    void RenderAfterBorders(bool hidden);

    TDecorate* Decorate = nullptr;  // one reference held
    uint16_t Code = 0;
    TRect Rendered{};  // in page coordinates; empty before the first render

private:
    void render(bool hidden, bool borders_stamped);
    void render_ruby(uint32_t fill, int32_t size, uint8_t style, const std::string& font);
};

// A character made from a variable's value: no source item, no state of its own.
class TWdVarChar : public TWdChar {
public:
    using TWdChar::TWdChar;
    int32_t SourceItems() const override { return 0; }
    void SaveDisplayState(TStream&) const override {}
    void LoadDisplayState(FieldReader&) override {}
};

// Horizontal room of an indent.
class TWdSpace : public TWdGlyph {
public:
    TWdSpace(TWzWord& owner, int32_t width) : TWdGlyph(owner) { Width = width; }
};

class TWdImg : public TWdReal {
public:
    explicit TWdImg(TWzWord& owner);
    ~TWdImg() override;
    uint8_t GetKind() const override { return gkImage; }
    uint8_t GetAlign() const override { return Align; }
    void SetAlign(uint8_t a) override { Align = a; }
    std::string GetValue() const override { return Src; }
    void SetValue(const std::string& v) override { Src = v; }
    uint8_t GetNoBreak() const override { return NoBreak; }
    const std::string& GetRuby() const override { return Ruby; }
    std::string GetLogText() const override { return "*"; }
    void LoadResources() override;
    void Draw() override;
    bool HasAnimation() const override;
    bool StepAnimation() override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void Assign(const TWdGlyph& other) override;

    std::string Src;
    uint8_t Align = waBottom;
    uint8_t NoBreak = 0;
    std::string Ruby;
    std::unique_ptr<TWdImageFrames> Image;
};

class TWdOpeReturn : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    uint8_t GetKind() const override { return gkReturn; }
    // An empty line is as high as the owner's font.
    int32_t GetHeight() const override;
    bool GetClear() const override { return Clear; }
    void SetClear(bool v) override { Clear = v; }
    std::string GetLogText() const override { return "\r\n"; }
    void Assign(const TWdGlyph& other) override;
    bool Clear = false;
};

// A line break made from a variable's value.
class TWdVarReturn : public TWdOpeReturn {
public:
    using TWdOpeReturn::TWdOpeReturn;
    int32_t SourceItems() const override { return 0; }
    bool GetClear() const override { return false; }
};

class TWdOpeAlign : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    uint8_t GetKind() const override { return gkAlign; }
    uint8_t GetAlign() const override { return Align; }
    void SetAlign(uint8_t a) override { Align = a; }
    void Assign(const TWdGlyph& other) override;
    uint8_t Align = waLeft;
};

class TWdOpeIndent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    uint8_t GetKind() const override { return gkIndent; }
};

class TWdOpeUndent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    uint8_t GetKind() const override { return gkUndent; }
};

class TWdOpeEvent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    uint8_t GetKind() const override { return gkEvent; }
    // The typewriter stops behind an END event.
    int32_t GetWait() const override { return End ? 1 : 0; }
    std::string GetValue() const override { return Value; }
    void SetValue(const std::string& v) override { Value = v; }
    void Assign(const TWdGlyph& other) override;
    std::string Value;
    bool End = false;
};

// Inserts the current value of a variable (or expression) as characters.
class TWdOpeVar : public TWdGlyph {
public:
    explicit TWdOpeVar(TWzWord& owner);
    ~TWdOpeVar() override;
    uint8_t GetKind() const override { return gkVar; }
    TDecorate* GetDecorate() const override { return Decorate; }
    TDecorate** DecorateRef() override { return &Decorate; }
    const std::string& GetLink() const override { return Link; }
    void SetLink(const std::string& v) override { Link = v; }
    int32_t GetWait() const override { return Wait; }
    void SetWait(int32_t v) override { Wait = v; }
    std::string GetValue() const override { return Name; }
    void SetValue(const std::string& v) override { Name = v; }
    void ExpandVar() override;
    void RemoveVar() override;
    void SaveDisplayState(TStream& s) const override;
    void LoadDisplayState(FieldReader& r) override;
    void CollectVars(std::vector<std::string>& lines) const override;
    void Assign(const TWdGlyph& other) override;
    // Called by an inserted glyph that is being freed.
    void ForgetInserted(TWdGlyph* g);

    TDecorate* Decorate = nullptr;
    int32_t Wait = 0;
    std::string Link;
    std::string Name;
    std::unique_ptr<TVorqParser> Expression;  // stored lists before names were kept
    std::vector<TWdGlyph*> Inserted;

private:
    std::string evaluate() const;
};

// The glyph of a stored kind (taken modulo 128), or nullptr for an unknown one.
std::unique_ptr<TWdGlyph> CreateGlyphOfKind(TWzWord& owner, uint8_t kind);

// Shift-JIS text of a character code: one byte below 256, else high byte first.
std::string CharCodeText(uint16_t code);
