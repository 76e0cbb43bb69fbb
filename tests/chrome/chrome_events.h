// Input events for driving the chrome in tests, and a scratch folder.
#pragma once
#include "platform/display/keys.h"
#include "platform/display/video.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline InputEvent key_event(InputEventKind kind, int32_t vk) {
    InputEvent e;
    e.Kind = kind;
    e.VirtualKey = vk;
    return e;
}

inline InputEvent mouse_event(InputEventKind kind, int32_t x, int32_t y) {
    InputEvent e;
    e.Kind = kind;
    e.X = x;
    e.Y = y;
    e.Button = MouseButton::Left;
    return e;
}

inline void press_key(Video& v, int32_t vk) {
    v.InjectEvent(key_event(InputEventKind::KeyDown, vk));
    v.InjectEvent(key_event(InputEventKind::KeyUp, vk));
}

// A key pressed while another is held (Alt+S, Shift+Tab).
inline void press_with(Video& v, int32_t modifier, int32_t vk) {
    v.InjectEvent(key_event(InputEventKind::KeyDown, modifier));
    press_key(v, vk);
    v.InjectEvent(key_event(InputEventKind::KeyUp, modifier));
}

inline void click_at(Video& v, int32_t x, int32_t y) {
    v.InjectEvent(mouse_event(InputEventKind::MouseMove, x, y));
    v.InjectEvent(mouse_event(InputEventKind::MouseDown, x, y));
    v.InjectEvent(mouse_event(InputEventKind::MouseUp, x, y));
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

// A fresh empty folder, removed with the object.
struct ScratchFolder {
    ScratchFolder() {
        std::string t = (std::filesystem::temp_directory_path() / "vorq_chrome_XXXXXX").string();
        Path = mkdtemp(t.data());
    }
    ~ScratchFolder() { std::filesystem::remove_all(Path); }
    std::filesystem::path Path;
};
