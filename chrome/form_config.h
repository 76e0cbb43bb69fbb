// The settings dialog of the "/config" start: whether the sound device is
// used, and the sound delay time used when it is not, kept in section
// "Sound" of game.ini beside the executable. Nothing is written before OK;
// Cancel, Escape and the close box leave the file as it was.
#pragma once
#include "chrome/widgets.h"

#include <string>

class TFormConfig : public Form {
public:
    // Lays the dialog out in the window (client 270 x 179) and runs
    // FormCreate; the caller shows the window.
    TFormConfig(Video& window, std::string ini_path);

    // True from creation until the window closes.
    bool DialogOpen = false;
    // game.ini stands there but could not be read: the dialog shows the
    // defaults, and Run says so once the dialog is up.
    bool IniUnreadable = false;

    Bevel& Bevel1;
    CheckBox& CheckSound;
    Label& LabelBuff;
    Label& LabelBuffInfo;
    TrackBar& TrackBuff;
    Button& btnOK;
    Button& btnCancel;

    void FormCreate();
    void CheckSoundClick();
    void TrackBuffChange();
    void btnOKClick();
    void btnCancelClick();
    void FormClose();

    // Handles every event waiting in the window, then shows what changed.
    void ProcessMessages();
    // The "/config" start: an untitled window, the dialog centred on the
    // desktop, events handled until the dialog closes. Without a display
    // the dialog ends once the events already queued are handled.
    static void Run(Video& window, const std::string& ini_path);

private:
    void dispatch(const InputEvent& e);
    Video& window_;
    std::string ini_path_;
};

// game.ini in the executable's folder.
std::string GameIniPath();
