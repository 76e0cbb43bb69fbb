// A video service with a scripted display: the modes and desktop mode a
// test names, full-screen switches that fail for chosen modes, and a log of
// the switches asked for. The client image is the base class's own, so
// presented pixels read back as from the headless backend. Header-only so
// that bench/ can use it too.
#pragma once
#include "platform/display/video.h"

#include <algorithm>
#include <functional>
#include <vector>

class ScriptedVideo final : public Video {
public:
    std::vector<DisplayMode> Modes;
    DisplayMode Desktop{1024, 768, 32, 60};
    std::vector<DisplayMode> Refused;   // SetFullScreen fails for these
    std::vector<DisplayMode> Switches;  // every SetFullScreen call; {0,0,0,0} = back to the window
    bool RefuseWindow = false;
    // Called at every present, with the client image as it is shown.
    std::function<void()> OnShow;
    // Called whenever the window is asked for an event.
    std::function<void()> OnFetch;

    bool IsHeadless() const override { return true; }
    void CreateWindow(int32_t w, int32_t h, const std::string&) override { SetClientSize(w, h); }
    void SetTitle(const std::string&) override {}
    void Show(bool visible) override { visible_ = visible; }
    void Move(int32_t x, int32_t y) override { pos_ = {x, y}; }
    TPoint Position() const override { return pos_; }
    TPoint WindowSize() const override { return {client_width_ * zoom_ / 100, client_height_ * zoom_ / 100}; }
    TRect WorkArea() const override { return {0, 0, 1024, 768}; }
    TRect MonitorBounds() const override { return WorkArea(); }
    std::vector<DisplayMode> DisplayModes() const override { return Modes; }
    DisplayMode DesktopMode() const override { return Desktop; }
    bool SetFullScreen(const DisplayMode* mode) override {
        Switches.push_back(mode ? *mode : DisplayMode{});
        if (!mode) {
            if (RefuseWindow) return false;
            full_screen_ = false;
            return true;
        }
        if (std::find(Refused.begin(), Refused.end(), *mode) != Refused.end()) return false;
        full_screen_ = true;
        full_screen_mode_ = *mode;
        return true;
    }
    void ShowCursor(bool) override {}
    int32_t CreateCursor(const uint32_t*, int32_t, int32_t, int32_t, int32_t) override { return 0; }
    void SetCursor(int32_t) override {}
    void DestroyCursor(int32_t) override {}

protected:
    void ResizeClient() override {}
    void UploadRect(const TRect&) override {}
    void ShowImage() override {
        if (OnShow) OnShow();
    }
    bool FetchEvent(InputEvent&, uint32_t) override {
        if (OnFetch) OnFetch();
        return false;
    }

private:
    TPoint pos_;
};
