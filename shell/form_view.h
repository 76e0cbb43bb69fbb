// The player's main window: it reads game.ini, tells the file manager where
// the game lies, creates the engine's global objects in a fixed order, sizes
// and centres the window, runs one frame whenever no window event waits
// (input, project step, object updates, drawing, presentation), and tears
// everything down when it closes. The program entry (app/main.cpp) decides
// whether it runs at all.
#pragma once
#include "shell/player_var_host.h"
#include "script/game_clock.h"
#include "media/base/screen_manager.h"
#include "media/base/sound_device.h"
#include "platform/display/message_box.h"
#include "platform/text/string_list.h"
#include "platform/display/video.h"

#include "objects/scene/scene.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TProject;
class TVorqObject;
class TParamCollection;
class TSysFuncMan;

// ---- program-wide state -------------------------------------------------------------

// "DirectSound" of game.ini: false makes no sound device at start-up.
extern bool SoundEnabled;
// "DelayTime" of game.ini after RoundDelayTime: the buffer time of the
// software mixer, in ms.
extern int32_t DelayTime;
// Files deleted when the program ends (the built-in functions add to it).
extern TStringList* ExitDeleteList;

// Timer value at the last frame (or the point timing restarted from).
extern uint32_t LastTick;
// Draw and present only every Nth frame.
extern int32_t DrawDivisor;

// A gap longer than this (a dragged window, a debugger stop) is not added
// to the game clock.
constexpr uint32_t kMaxFrameGap = 3000;

// The stored delay rounded down to hundreds and kept within 100..500.
int32_t RoundDelayTime(int32_t stored);
// Reads SoundEnabled and DelayTime from the ini file when it exists; a
// missing file leaves both as they are.
void ReadGameSettings(const std::string& sjis_ini_path);

// The executable's icon 0, which the main window shows: a whole icon
// file linked in as the resource "MAINICON" of type "ICON".
extern const char* const kMainIconName;
extern const char* const kMainIconType;

// Named points of the start-up; the trace records them when it is on.
void StartupCheckpoint(const std::string& text);

// The executable carries an archive as its resource "DUMMY" of type
// "BINTYPE" (its last two bytes are "vf").
bool HasResourceArchive();
// The file ends with the archive trailer ("vq" as its last two bytes).
bool HasAppendedArchive(const std::string& sjis_path);

// Creates the unit-wide objects the main window's unit owns (the file
// manager, ExitDeleteList) and frees them at the end: the end deletes every
// file of ExitDeleteList and stops the file manager.
void FormViewUnitStart();
void FormViewUnitFinish();

// ---- the main window ----------------------------------------------------------------

class TToolbar97;
class TPopupMenu;

class TFormView : public TDXForm {
public:
    // args: the command-line arguments as game paths (Shift-JIS); window:
    // the video service the window lives in (its window is made here).
    TFormView(std::vector<std::string> args, std::unique_ptr<Video> window);
    ~TFormView();
    TFormView(const TFormView&) = delete;
    TFormView& operator=(const TFormView&) = delete;

    // Creation, in its fixed order; Init runs inside it. A failure of Init
    // is shown in a warning box and closes the window.
    void FormCreate();
    void Init();
    // Terminating := true, then FreeEngine.
    void FormClose();
    void FreeEngine();

    // Toolbar "終了": asks whether to end the game; Yes closes the window.
    void QuitClick();
    // How the quit question is asked (a message box).
    int (*Ask)(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
               MessageBoxIcon icon) = ShowMessageBox;
    // Toolbar "画面切替": full screen on or off.
    void ScreenSwitchClick();
    void SetFullScreen(bool on);
    // A new full-screen mode chosen while in full screen.
    void ApplyDisplayMode();

    // The window's pop-up menu: full screen, the frame period and the draw
    // divisor. It opens on a right click on the toolbar, or on the Menu key
    // or Shift+F10; while it is open no frame runs, the game clock stands
    // still and the media managers are suspended.
    void OpenPopupMenu(int32_t x, int32_t y, bool from_keyboard);
    TPopupMenu* PopupMenu() const { return FMenu.get(); }

    // The idle handler: true (Done) when nothing runs now; otherwise one
    // frame ran, and the caller calls again at once.
    bool ApplicationEventsIdle();
    void FrameStep();
    // One window event, as the window's message handlers take them.
    void HandleEvent(const InputEvent& e);
    void ApplicationActivate();
    void ApplicationDeactivate();

    // The message loop: events, then frames while idle, until the window
    // closed. max_frames > 0 ends it (closing the window) after that many
    // frames. Returns the number of frames run.
    uint64_t Run(uint64_t max_frames = 0);
    // The window's close was asked for (it is served by the message loop).
    void PostClose() { FClosePosted = true; }
    bool ClosePosted() const { return FClosePosted; }
    bool Closed() const { return FClosed; }

    Video& Window() const { return *FWindow; }
    TToolbar97* Toolbar() const { return FToolbar.get(); }
    int32_t DockHeight() const;
    int32_t ImageOffsetX = 0;
    int32_t ImageOffsetY = 0;
    TDXSound DXSound;
    bool Active = true;
    // The start-up logo plays first when the executable holds the logo
    // archive (resource "MADEWITH" of type "DATA").
    bool LogoDone = true;
    TVorqObject* LogoCinema = nullptr;
    int LogoArchiveIndex = -1;
    int32_t DrawPhase = 0;
    int32_t DrawHold = 0;
    // Frames presented so far (for the start-up time measurement).
    uint64_t PresentedFrames = 0;
    // The game could not start, or an error escaped a frame: the program
    // ends with a failure status.
    bool Failed = false;

private:
    void locate_data();
    void logo_step();
    uint32_t FLogoSerial = 0;
    void apply_icon();
    void build_toolbar();
    void place_view();
    void apply_mode_change(bool entering, int32_t mode_index);
    void key_down(int32_t vk, bool repeat);
    void key_up(int32_t vk);
    void mouse_event(const InputEvent& e);
    void invalidate_view();
    void draw_chrome(bool force);
    void close_now();

    // In full screen the bar stands over the game picture: while shown it
    // is drawn over every presented frame.
    struct ToolbarOverlay : TScreenOverlay {
        TFormView* View = nullptr;
        void DrawOverlay(Video& window, TPoint view_origin) override;
    };
    void sync_toolbar_overlay();
    bool menu_event(const InputEvent& e);
    void close_menu();
    std::unique_ptr<TPopupMenu> FMenu;
    bool FShiftDown = false;
    ToolbarOverlay FToolbarOverlay;

    std::vector<std::string> FArgs;
    std::unique_ptr<Video> FWindow;
    std::unique_ptr<TBasePanel> FBasePanel;
    std::unique_ptr<TToolbar97> FToolbar;
    std::unique_ptr<TProject> FProject;
    std::unique_ptr<TParamCollection> FParams;
    std::unique_ptr<TSysFuncMan> FSysFuncs;
    TPlayerVarHost FVarHost{*this};
    bool FClosePosted = false;
    bool FClosed = false;
    bool FEngineUp = false;
    uint32_t FRateStart = 0;  // start of the current frame-rate measurement
    uint32_t FBoxesSeen = MessageBoxesShown();  // message boxes asked for before the last frame
};

// The running main window, null outside its life.
extern TFormView* FormView;
