// The system variables of the running player: the mouse, buttons and wheel
// of the active screen layer, the key state and the keyboard focus of the
// object registry, the screen manager's full screen and display modes, the
// sound-on flag, the image cache's dithering and the installed fonts. The
// engine's own variables come from TEngineVarHost. Parts that do not exist
// yet answer as when they are absent: the MIDI manager ("@MidiPort" "",
// "@MidiPorts" empty) and the backlog ("@HistoryCount" and
// "@HistoryMaxCount" 0, writes ignored).
#pragma once
#include "engine/engine_var_host.h"

class TFormView;

class TPlayerVarHost : public TEngineVarHost {
public:
    // view: the main window, which switches the screen and moves the pointer.
    explicit TPlayerVarHost(TFormView& view) : FView(view) {}

    int32_t ReadInt(int index) override;
    void WriteInt(int index, int32_t v) override;
    bool ReadBool(int index) override;
    void WriteBool(int index, bool v) override;
    std::string ReadStr(int index) override;
    void WriteStr(int index, const std::string& v) override;
    bool ReadBoolAt(int index, int32_t i) override;

private:
    TFormView& FView;
};
