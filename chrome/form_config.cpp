#include "chrome/form_config.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/ini_file.h"
#include "platform/display/message_box.h"

#include <cstdio>

namespace {
const char* const kSection = "Sound";
const char* const kDirectSound = "DirectSound";
const char* const kDelayTime = "DelayTime";
}  // namespace

std::string GameIniPath() { return ExeFolder() + "game.ini"; }

TFormConfig::TFormConfig(Video& window, std::string ini_path)
    : Form(270, 179),
      Bevel1(Add<Bevel>(::Bounds(8, 8, 253, 113))),
      CheckSound(Add<CheckBox>(::Bounds(28, 24, 217, 17), Sjis("DirectSoundを使用する(&S)"))),
      LabelBuff(Add<Label>(::Bounds(28, 56, 123, 12), Sjis("サウンドの遅延時間(&D)："))),
      LabelBuffInfo(Add<Label>(::Bounds(173, 56, 68, 12), "", TextAlign::Right)),
      TrackBuff(Add<TrackBar>(::Bounds(28, 72, 221, 25), 1, 5)),
      btnOK(Add<Button>(::Bounds(100, 140, 75, 25), "OK")),
      btnCancel(Add<Button>(::Bounds(180, 140, 75, 25), Sjis("キャンセル"))),
      window_(window),
      ini_path_(std::move(ini_path)) {
    CheckSound.TabOrder = 0;
    btnOK.TabOrder = 1;
    btnCancel.TabOrder = 2;
    TrackBuff.TabOrder = 3;
    TrackBuff.PageSize = 1;
    TrackBuff.ThumbLength = 16;
    TrackBuff.SetPosition(5);
    LabelBuff.FocusControl = &TrackBuff;
    DefaultButton = &btnOK;
    CancelButton = &btnCancel;
    CheckSound.OnClick = [this] { CheckSoundClick(); };
    TrackBuff.OnChange = [this] { TrackBuffChange(); };
    btnOK.OnClick = [this] { btnOKClick(); };
    btnCancel.OnClick = [this] { btnCancelClick(); };
    if (window_.ClientWidth() != Width() || window_.ClientHeight() != Height()) window_.SetClientSize(Width(), Height());
    FormCreate();
    FocusFirst();
}

void TFormConfig::FormCreate() {
    window_.SetTitle(Sjis("動作設定"));
    DialogOpen = true;
    const IniFile ini(ini_path_);
    IniUnreadable = ini.ReadFailed();
    CheckSound.SetChecked(ini.ReadBool(kSection, kDirectSound, true));
    CheckSoundClick();
    TrackBuff.SetPosition(ini.ReadInteger(kSection, kDelayTime, 500) / 100);
    TrackBuffChange();
}

void TFormConfig::CheckSoundClick() {
    // The delay is the block time of the mixer that plays when the sound
    // device is not used.
    const bool mixer = !CheckSound.Checked();
    LabelBuff.SetEnabled(mixer);
    TrackBuff.SetEnabled(mixer);
    LabelBuffInfo.SetEnabled(mixer);
}

void TFormConfig::TrackBuffChange() {
    char text[32];
    std::snprintf(text, sizeof text, "%dms", TrackBuff.Position() * 100);
    LabelBuffInfo.SetCaption(text);
}

void TFormConfig::btnOKClick() {
    IniFile ini(ini_path_);
    ini.WriteBool(kSection, kDirectSound, CheckSound.Checked());
    ini.WriteInteger(kSection, kDelayTime, TrackBuff.Position() * 100);
    try {
        ini.SaveToFile(ini_path_);
    } catch (const Exception& e) {
        // The dialog stays open, so the user can try again or cancel.
        ShowMessageBox(e.Message(), Sjis("動作設定"), MessageBoxKind::OK, MessageBoxIcon::Error);
        return;
    }
    FormClose();
}

void TFormConfig::btnCancelClick() { FormClose(); }

void TFormConfig::FormClose() {
    if (!DialogOpen) return;
    DialogOpen = false;
    window_.Show(false);
}

void TFormConfig::dispatch(const InputEvent& e) {
    // The close box closes without writing, as Cancel does.
    if (e.Kind == InputEventKind::CloseRequest) FormClose();
    else HandleEvent(e);
}

void TFormConfig::ProcessMessages() {
    InputEvent e;
    while (DialogOpen && window_.PollEvent(e)) dispatch(e);
    if (DialogOpen) Show(window_, 0, 0);
}

void TFormConfig::Run(Video& window, const std::string& ini_path) {
    window.SetTitle("");
    if (window.ClientWidth() == 0) window.CreateWindow(270, 179, "");
    TFormConfig dialog(window, ini_path);
    window.Centre();
    window.Show(true);
    dialog.Show(window, 0, 0, true);
    if (dialog.IniUnreadable)
        ShowMessageBox(ExtractFileName(ini_path) + Sjis("を読み込めませんでした。既定の設定を表示します。"),
                       Sjis("動作設定"), MessageBoxKind::OK, MessageBoxIcon::Warning);
    while (dialog.DialogOpen) {
        InputEvent e;
        if (window.WaitEvent(e, 100)) dialog.dispatch(e);
        else if (window.IsHeadless()) break;  // nothing more can ever arrive
        dialog.ProcessMessages();
    }
}
