// TVorqEdit (one line) and TVorqMemo (several lines): text the player
// types. Unlike the other objects they draw nothing into their layer: each
// holds a text field of our chrome (chrome/text_edit.h) that lies on the
// host panel over the composed picture, at the object's screen position
// and size, shown only while the object and all its ancestors are visible
// on the active layer. Every key pressed in the field is reported through
// ONNOTIFY with the key code and the text before the key.
#pragma once
#include "chrome/form.h"
#include "chrome/text_edit.h"
#include "objects/host_panel.h"
#include "objects/vorq_object.h"

#include <string>

class TVorqEdit : public TVorqControl, public TPanelControl {
public:
    explicit TVorqEdit(TVorqBaseList* registry) : TVorqEdit(registry, false) {}
    ~TVorqEdit() override;

    uint8_t GetCompoType() const override { return FMultiLine ? LT_MEMO : LT_EDIT; }

    std::string GetText() const override { return FEdit->Text(); }
    void SetText(const std::string& v) override { FEdit->SetText(v); }
    std::string GetFontName() const override { return FFontName; }
    void SetFontName(const std::string& v) override;
    // Read as its absolute value: negative heights ask for the character
    // height, positive ones for the cell.
    int32_t GetFontHeight() const override;
    void SetFontHeight(int32_t v) override;
    TFontStyles GetFontStyle() const override { return TFontStyles{FFontStyle}; }
    void SetFontStyle(TFontStyles v) override;
    int32_t GetFontColor() const override { return FFontColor; }
    void SetFontColor(int32_t v) override;
    void SetColor(int32_t v) override;
    bool GetReadOnly() const override { return FEdit->ReadOnly; }
    void SetReadOnly(bool v) override;
    bool GetPaused() const override { return !FEdit->Enabled(); }
    void SetPaused(bool v) override { FEdit->SetEnabled(!v); }
    std::string GetOnNotify() const override { return FOnNotify; }
    void SetOnNotify(const std::string& v) override { FOnNotify = v; }
    bool GetHandleKey() const override { return true; }
    void SetHandleKey(bool) override {}

    void SetVisible(bool v) override;
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    void SetPlusX(int32_t v) override;
    void SetPlusY(int32_t v) override;
    void SetParent(TVorqControl* parent) override;

    bool Update() override;
    void PositionChanged() override;
    void FocusChanged() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    // Places the field where the object is shown (or hides it). It never
    // moves the keyboard focus: only the scene's focus object has it.
    void SyncControl();
    bool Shown() const { return !RectIsEmpty(FShownRect); }
    TextEdit& Field() { return *FEdit; }

    // On the panel.
    TRect PanelRect() const override { return FShownRect; }
    Form& PanelForm() override { return FForm; }
    bool HasKeyboard() const override;
    void Pressed() override;
    TRect CaretRect() const override { return FEdit->CaretRect(); }

protected:
    TVorqEdit(TVorqBaseList* registry, bool multi_line);
    void KeyPressed(int32_t vk, const std::string& before);
    // The panel the field lies on: the main window's, for objects of the
    // main scene only.
    TBasePanel* Panel() const;
    void Relayout();

    bool FMultiLine;
    Form FForm;
    TextEdit* FEdit;
    std::string FFontName;
    int32_t FFontHeight;
    uint8_t FFontStyle = 0;
    int32_t FFontColor;
    std::string FOnNotify;
    TRect FShownRect{};
    TBasePanel* FPanel = nullptr;
};

class TVorqMemo : public TVorqEdit {
public:
    explicit TVorqMemo(TVorqBaseList* registry) : TVorqEdit(registry, true) {}
    // The field's own numbering: 0 left, 1 right, 2 centre.
    uint8_t GetHAlign() const override { return FEdit->Alignment; }
    void SetHAlign(uint8_t v) override;
};
