// The question an icon or cursor file holding several images asks: a list
// of its images ("%.3d : %d x %d  %d bpp"), a preview of the one selected
// and an OK button. Enter (or OK) takes the selected image; Escape and the
// close box take it too, the dialog having no other answer.
#pragma once
#include "chrome/modal_dialog.h"
#include "render/dib_surface.h"
#include "render/ico.h"

#include <string>
#include <vector>

class TStream;

// One line of the list.
std::string IconChoiceLine(int index, int width, int height, int bit_count);

class TIconChooserDialog : public TModalDialog {
public:
    // stream: the icon file, at its start; read again for each preview.
    TIconChooserDialog(const TIconDirectory& dir, TStream& stream, bool framed);

    ListBox& List;
    Button& btnOK;
    // The preview's rectangle in the form.
    TRect PreviewRect() const;

    bool Finished() const override { return answer_ >= 0; }
    // The chosen image, -1 while none was taken.
    int Answer() const { return answer_; }

protected:
    void PaintClient(ChromeCanvas& canvas) override;
    void CloseRequested() override { take(); }

private:
    void take() { answer_ = List.ItemIndex() < 0 ? 0 : List.ItemIndex(); }
    void load_preview();

    TStream& stream_;
    int64_t start_;
    TDIBSurface preview_;
    bool preview_ok_ = false;
    int answer_ = -1;
};

// Asks over the game window (or in a window of its own); -1 when there is
// no display to ask on.
int ChooseIconDialog(const TIconDirectory& dir, TStream& stream);
