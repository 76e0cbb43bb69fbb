#include "shell/form_view.h"
#include "engine/tesk_source.h"

#include "chrome/popup_menu.h"
#include "chrome/toolbar.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "script/sys_funcs.h"
#include "script/system_vars.h"
#include "files/number_text.h"
#include "files/vr_file_manager.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/base/screen_manager.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/filesystem/ini_file.h"
#include "platform/display/keys.h"
#include "platform/display/message_box.h"
#include "platform/filesystem/resources.h"
#include "platform/filesystem/stream.h"
#include "platform/system/trace.h"
#include "platform/system/url_opener.h"
#include "render/dib_surface.h"
#include "render/ico.h"

#include <cstdio>

bool SoundEnabled = true;
int32_t DelayTime = 500;
TStringList* ExitDeleteList = nullptr;
uint32_t LastTick = 0;
int32_t DrawDivisor = 1;
TFormView* FormView = nullptr;
const char* const kMainIconName = "MAINICON";
const char* const kMainIconType = "ICON";

namespace {
// The start-up logo: our film in the archive linked into the executable,
// and the page its label opens.
const char* const kLogoResource = "MADEWITH";
const char* const kLogoResourceType = "DATA";
const char* const kLogoFilm = "MadeWithVorqLogo\\logo.vcm";
const char* const kLogoCursor = "MadeWithVorqLogo\\hand.cur";
const char* const kLogoUrl = "https://vorqplayer.example/";

// Design size of the window's client area before the project sizes it.
constexpr int32_t kDesignClientWidth = 563;
constexpr int32_t kDesignClientHeight = 425;
constexpr int32_t kDesignDockHeight = 9;
// The largest game screen side the player makes a picture for.
constexpr int32_t kMaxScreenSide = 16384;
// How often the presented-frame rate is measured, in ms.
constexpr uint32_t kFrameRatePeriod = 2000;

std::string exception_text(const std::exception& e) {
    if (auto* x = dynamic_cast<const Exception*>(&e)) return x->Message();
    return e.what();
}

void show_warning(const std::string& sjis_text) {
    ShowMessageBox(sjis_text, Sjis("警告"), MessageBoxKind::OK, MessageBoxIcon::Warning);
}

// The project file's reader raises on damage, which the project itself
// passes over in silence; the player must still say why it ends.
std::string project_damage_message() {
    static const char kProjectFile[] = "vorq.vpb";
    if (!FileManager || !FileManager->FileExists(kProjectFile)) return {};
    try {
        TMemoryStream m;
        FileManager->LoadToStream(m, kProjectFile);
        if (m.GetSize() == 0) return {};
        TProjectFileData d;
        ReadProjectFile(m, d);
    } catch (const std::exception& e) {
        return exception_text(e);
    }
    return {};
}


void close_main_window() {
    if (FormView) FormView->PostClose();
}

}  // namespace

// ---- program-wide helpers -------------------------------------------------------------

int32_t RoundDelayTime(int32_t stored) {
    int32_t v = (stored / 100) * 100;
    if (v < 100) v = 100;
    if (v > 500) v = 500;
    return v;
}

void ReadGameSettings(const std::string& sjis_ini_path) {
    if (!FileExists(sjis_ini_path)) return;
    IniFile ini(sjis_ini_path);
    SoundEnabled = ini.ReadBool("Sound", "DirectSound", true);
    DelayTime = RoundDelayTime(ini.ReadInteger("Sound", "DelayTime", DelayTime));
}

void StartupCheckpoint(const std::string& text) {
    if (VorqLogWrite) VorqLogWrite(("StartupCheckpoint " + text).c_str());
}

bool HasResourceArchive() {
    auto res = FindResource("DUMMY", "BINTYPE");
    if (!res || res->size() < 2) return false;
    const uint8_t* end = res->data() + res->size();
    return end[-2] == 'v' && end[-1] == 'f';
}

bool HasAppendedArchive(const std::string& sjis_path) {
    try {
        TFileStream f(sjis_path, fmOpenRead | fmShareDenyWrite);
        if (f.GetSize() < 2) return false;
        f.SetPosition(f.GetSize() - 2);
        char tail[2];
        f.ReadBuffer(tail, 2);
        return tail[0] == 'v' && tail[1] == 'q';
    } catch (const std::exception&) {
        return false;
    }
}

void FormViewUnitStart() {
    if (!FileManager) CreateFileManager();
    if (!ExitDeleteList) ExitDeleteList = new TStringList();
}

void FormViewUnitFinish() {
    if (ExitDeleteList) {
        // Pictures a game saved into its folder: a folder on the way that
        // was made a link meanwhile leads the removal nowhere else.
        const std::string base = FileManager ? FileManager->BaseFolder : std::string();
        for (int32_t i = 0; i < ExitDeleteList->Count(); ++i) {
            const std::string& path = ExitDeleteList->Get(i);
            if (!base.empty() && path.compare(0, base.size(), base) == 0)
                DeleteFileInFolder(base, path.substr(base.size()));
            else
                DeleteFile(path);
        }
        delete ExitDeleteList;
        ExitDeleteList = nullptr;
    }
    FreeFileManager();
}

// ---- the main window --------------------------------------------------------------------

TFormView::TFormView(std::vector<std::string> args, std::unique_ptr<Video> window)
    : TDXForm(window.get()), FArgs(std::move(args)), FWindow(std::move(window)) {
    FormView = this;
    CloseMainWindow = close_main_window;
}

TFormView::~TFormView() {
    if (!FClosed) close_now();
    CloseMainWindow = nullptr;
    SetSystemVarHost(nullptr);
    if (FormView == this) FormView = nullptr;
}

int32_t TFormView::DockHeight() const { return FToolbar ? FToolbar->DockHeight() : kDesignDockHeight; }

void TFormView::FormCreate() {
    StartupCheckpoint("FormCreate:1");
    Randomize();
    FWindow->CreateWindow(kDesignClientWidth, kDesignClientHeight, "VorqPlayer");
    ReadGameSettings(ExeFolder() + "game.ini");
    apply_icon();
    // The first archive stays empty: the built-in functions add their
    // in-memory entries to it.
    FileManager->AddArchive("");
    build_toolbar();
    try {
        locate_data();
    } catch (const std::exception& e) {
        show_warning(exception_text(e));
        Terminating = true;
    }
    StartupCheckpoint("FormCreate:2");
    FBasePanel = std::make_unique<TBasePanel>(*FWindow);
    FParams = std::make_unique<TParamCollection>();
    Params = FParams.get();
    FSysFuncs = std::make_unique<TSysFuncMan>();
    SysFuncs = FSysFuncs.get();
    SetSystemVarHost(&FVarHost);
    if (!Terminating) {
        try {
            Init();
        } catch (const std::exception& e) {
            show_warning(exception_text(e));
            Terminating = true;
        }
    }
    if (Terminating) {
        Failed = true;
        PostClose();
        return;
    }
    FWindow->Show(true);
    LastTick = TimeGetTime();
    FRateStart = LastTick;
    draw_chrome(true);
    StartupCheckpoint("FormCreate:3");
}

void TFormView::locate_data() {
    if (!FArgs.empty()) {
        FileManager->SetBaseFolder(AddTrailingBackslash(FArgs[0]));
        for (const std::string& a : FArgs) {
            const std::string dat = AddTrailingBackslash(a) + "game.dat";
            if (FileExists(dat)) FileManager->AddArchive(dat);
        }
        return;
    }
    FileManager->SetBaseFolder(ExeFolder());
    if (HasResourceArchive()) FileManager->AddResourceArchive("", "DUMMY", "BINTYPE");
    if (HasAppendedArchive(ExeFileName())) FileManager->AddArchive(ExeFileName());
}

void TFormView::apply_icon() {
    if (!FindResource(kMainIconName, kMainIconType)) return;
    try {
        TResourceStream stream(kMainIconName, kMainIconType);
        TDIBSurface icon;
        LoadIcon(icon, stream, 0);
        TDIBSurface rgb;
        rgb.SetSize(icon.Width(), icon.Height(), 24);
        rgb.Copy(0, 0, icon);
        const TDIBSurface* mask = icon.Mask();
        std::vector<uint32_t> argb(static_cast<size_t>(rgb.Width()) * rgb.Height());
        for (int y = 0; y < rgb.Height(); ++y) {
            const uint8_t* row = rgb.ScanLineReadOnly(y);
            const uint8_t* alpha = mask ? mask->ScanLineReadOnly(y) : nullptr;
            for (int x = 0; x < rgb.Width(); ++x) {
                const uint32_t a = alpha ? alpha[x] : 255u;
                argb[static_cast<size_t>(y) * rgb.Width() + x] =
                    a << 24 | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
            }
        }
        FWindow->SetIcon(argb.data(), rgb.Width(), rgb.Height());
    } catch (const std::exception&) {
        // A damaged icon leaves the window with the desktop's own.
    }
}

void TFormView::build_toolbar() {
    FToolbar = std::make_unique<TToolbar97>(FWindow->ClientWidth(), kDesignDockHeight);
    FToolbar->SetBarHeight(18);
    FToolbar->AddButton(Sjis("終了"), 67, 18, [this] { QuitClick(); });
    TToolbarButton97& second = FToolbar->AddButton(Sjis("画面切替"), 67, 18, [this] { ScreenSwitchClick(); });
    FToolbar->SetDockHeight(second.Bounds().Height() + 4);
}

void TFormView::draw_chrome(bool force) {
    if (FToolbar) FToolbar->Draw(*FWindow, force);
}

void TFormView::ToolbarOverlay::DrawOverlay(Video& window, TPoint) {
    if (View && View->FToolbar) View->FToolbar->DrawOver(window);
}

void TFormView::sync_toolbar_overlay() {
    if (!ScreenManager) return;
    FToolbarOverlay.View = this;
    if (FToolbar && FToolbar->Visible() && ScreenManager->FullScreen())
        ScreenManager->AddOverlay(&FToolbarOverlay);
    else
        ScreenManager->RemoveOverlay(&FToolbarOverlay);
}

void TFormView::Init() {
    StartupCheckpoint("Init:1");
    DXSound.OnInitialize = SetPlayerSoundFormat;
    DXSound.OnRestore = [](TDXSound&) { RestoreMediaManagers(); };
    if (SoundEnabled) InitializeSoundGuarded(DXSound);
    MediaUseDirectSound = SoundEnabled;
    MediaDelayTime = DelayTime;
    MediaSoundComponent = &DXSound;
    StartupCheckpoint("Init:2");
    FEngineUp = true;
    InitDisplayObjects(FBasePanel.get(), &ProjectTeskSource());
    StartupCheckpoint("Init:3");
    FProject = std::make_unique<TProject>(FArgs);
    Project = FProject.get();
    LogoDone = !FindResource(kLogoResource, kLogoResourceType).has_value();
    // The game's title becomes the window's caption.
    if (FProject->CallMan) FWindow->SetTitle(FProject->Title);
    if (Terminating && !FProject->CallMan) {
        const std::string damage = project_damage_message();
        if (!damage.empty()) show_warning(damage);
    }
    StartupCheckpoint("Init:4");
    // A screen the player cannot make would leave the window standing with
    // no frame ever run, or ask for a picture of gigabytes.
    if (FProject->CallMan && (FProject->Width <= 0 || FProject->Height <= 0 || FProject->Width > kMaxScreenSide ||
                              FProject->Height > kMaxScreenSide))
        throw ECorruptData("vorq.vpb: " + Sjis("画面の大きさが正しくありません") + " (" +
                           std::to_string(FProject->Width) + " x " + std::to_string(FProject->Height) + ")");
    InitMedia(FWindow.get(), FWindow.get(), TPoint{0, DockHeight()}, FProject->Width, FProject->Height,
              FProject->FullScreenWidth, FProject->FullScreenHeight);
    StartupCheckpoint("Init:5");
    const int32_t depth = ScreenManager ? ScreenManager->SurfaceBits() : 15;
    BuildPixelTables(depth, nullptr);
    FWindow->SetClientSize(FProject->Width, FProject->Height + DockHeight());
    FToolbar->SetDockWidth(FWindow->ClientWidth());
    FWindow->Centre();
    VorqBaseList->SetWidth(FProject->Width);
    VorqBaseList->SetHeight(FProject->Height);
    place_view();
    StartupCheckpoint("Init:6");
}

void TFormView::place_view() {
    const int32_t width = VorqBaseList ? VorqBaseList->GetWidth() : 0;
    const int32_t height = VorqBaseList ? VorqBaseList->GetHeight() : 0;
    ImageOffsetX = (FWindow->ClientWidth() - width) / 2;
    if (ScreenManager && ScreenManager->FullScreen())
        ImageOffsetY = (FWindow->ClientHeight() - height) / 2;
    else
        ImageOffsetY = DockHeight();
    if (ScreenManager) ScreenManager->SetViewOrigin(ImageOffsetX, ImageOffsetY);
    // The panel fills the window below the toolbar's dock; in full screen
    // the bar only appears over it.
    const bool full = ScreenManager && ScreenManager->FullScreen();
    if (FBasePanel)
        FBasePanel->SetBounds(TRect{0, full ? 0 : DockHeight(), FWindow->ClientWidth(), FWindow->ClientHeight()});
}

void TFormView::FormClose() {
    Terminating = true;
    FreeEngine();
}

void TFormView::FreeEngine() {
    // A status that could not be written is a failed end, told to the
    // player while the window stands.
    if (FProject && !FProject->Finish()) Failed = true;
    if (Project == FProject.get()) Project = nullptr;
    FProject.reset();
    if (SysFuncs == FSysFuncs.get()) SysFuncs = nullptr;
    FSysFuncs.reset();
    if (Params == FParams.get()) Params = nullptr;
    FParams.reset();
    if (FEngineUp) {
        FEngineUp = false;
        DoneDisplayObjects();
        FinalMedia();
    }
    DXSound.Finalize();
    if (MediaSoundComponent == &DXSound) MediaSoundComponent = nullptr;
}

void TFormView::close_now() {
    if (FClosed) return;
    FClosed = true;
    FormClose();
    FWindow->Show(false);
}

void TFormView::QuitClick() {
    const bool was = Terminating;
    Terminating = true;
    const std::string title = FProject ? FProject->Title : std::string();
    const std::string text = Sjis("「") + title + Sjis("」を終了しますか？");
    if (Ask(text, title, MessageBoxKind::YesNo, MessageBoxIcon::Question) == IDYES)
        PostClose();
    else
        Terminating = was;
}

void TFormView::ScreenSwitchClick() {
    if (ScreenManager) SetFullScreen(!ScreenManager->FullScreen());
}

void TFormView::apply_mode_change(bool entering, int32_t mode_index) {
    const int32_t width = VorqBaseList ? VorqBaseList->GetWidth() : 0;
    const int32_t height = VorqBaseList ? VorqBaseList->GetHeight() : 0;
    if (VorqBaseList) VorqBaseList->ReleaseSurfaces();
    SuspendVideos();
    FToolbar->SetVisible(!entering);
    ScreenManager->ReleaseAll();
    if (entering) {
        // A change of mode within full screen keeps the window's placement
        // saved on entering.
        if (!PlacementSaved()) SaveWindowPlacement();
        // Full screen takes the monitor the window is on: the window goes
        // to its origin before its new size could carry it onto another.
        const TRect monitor = FWindow->MonitorBounds();
        FWindow->Move(monitor.Left, monitor.Top);
        FWindow->SetClientSize(width, height);
        ScreenManager->SetModeIndex(mode_index);
        if (ScreenManager->ModeIndex() != mode_index) {
            RestoreWindowPlacement();
            FWindow->SetClientSize(width, height + DockHeight());
            FToolbar->SetVisible(true);
        }
    } else {
        RestoreWindowPlacement();
        FWindow->SetClientSize(width, height + DockHeight());
        ScreenManager->SetModeIndex(-1);
    }
    FToolbar->SetDockWidth(FWindow->ClientWidth());
    MediaMainWindow = FWindow.get();
    MediaDrawingWindow = FWindow.get();
    place_view();
    if (VorqBaseList) {
        VorqBaseList->RestoreSurfaces();
        invalidate_view();
    }
    sync_toolbar_overlay();
    draw_chrome(true);
    ResumeVideos();
}

void TFormView::SetFullScreen(bool on) {
    if (!ScreenManager || ScreenManager->FullScreen() == on) return;
    if (on) {
        if (ScreenManager->PreferredModeIndex < 0) return;
        apply_mode_change(true, ScreenManager->PreferredModeIndex);
    } else {
        apply_mode_change(false, -1);
    }
}

void TFormView::ApplyDisplayMode() {
    if (!ScreenManager || !ScreenManager->FullScreen()) return;
    apply_mode_change(true, ScreenManager->PreferredModeIndex);
}

// ---- the frame loop ---------------------------------------------------------------------

bool TFormView::ApplicationEventsIdle() {
    if (Terminating || !Active || FClosePosted || !ScreenManager || FMenu) return true;
    const uint32_t now = TimeGetTime();
    const uint32_t gap = now - LastTick;
    // A message box held the program: the time it stood open is no game time.
    if (MessageBoxesShown() != FBoxesSeen) {
        FBoxesSeen = MessageBoxesShown();
        LastTick = now;
        return false;
    }
    if (gap > kMaxFrameGap) {
        LastTick = now;
        return false;
    }
    GameClock += gap;
    FrameTime = gap;
    LastTick = now;
    FrameStep();
    if (ScreenManager && now - FRateStart >= kFrameRatePeriod) {
        ScreenManager->FrameRate = ScreenManager->FrameCount * 1000.0 / double(now - FRateStart);
        ScreenManager->FrameCount = 0;
        FRateStart = now;
    }
    const uint32_t spent = TimeGetTime() - now;
    if (FProject && FProject->SleepBetweenFrames) {
        const int64_t rest = int64_t{FramePeriod} - int64_t{spent};
        SleepMs(static_cast<uint32_t>(rest > 2 ? rest : 2));
    }
    return false;
}

void TFormView::logo_step() {
    TVorqBaseList* reg = VorqBaseList;
    if (!reg || !FileManager) {
        LogoDone = true;
        return;
    }
    if (!LogoCinema) {
        LogoArchiveIndex = FileManager->AddResourceArchive("", kLogoResource, kLogoResourceType);
        TVorqObject* c = CreateObjectByType(reg, LT_CINEMA);
        TVorqBase* layer = reg->ActiveBase();
        c->SetParent(layer);
        c->SetSource(kLogoFilm);
        c->SetIgnoreMouse(1);
        c->SetAutoScrap(true);
        c->SetRepeat(false);
        c->SetLeft((layer->GetWidth() - c->GetWidth()) / 2);
        c->SetTop((layer->GetHeight() - c->GetHeight()) / 2);
        LogoCinema = c;
        FLogoSerial = c->Serial();
        return;
    }
    if (!reg->Alive(LogoCinema, FLogoSerial)) {
        // Over (or skipped): the project runs from the next frame on.
        LogoDone = true;
        LogoCinema = nullptr;
        if (LogoArchiveIndex >= 0) FileManager->DeleteCollection(LogoArchiveIndex);
        LogoArchiveIndex = -1;
        return;
    }
    // The film's label becomes a link to our page.
    for (int32_t i = 0; i < reg->GetObjectCount(); ++i) {
        TVorqObject* o = reg->GetObjectAt(i);
        if (o->GetCompoType() != LT_LABEL) continue;
        if (IsInternalName(o->GetName())) {
            o->SetName("Label");
            if (FileManager->FileExists(kLogoCursor)) o->SetCursor(kLogoCursor);
            o->SetIgnoreMouse(3);
            return;
        }
        break;
    }
    TVorqBase* layer = reg->ActiveBase();
    if (layer->LClicked) {
        TVorqObject* hit = layer->HitTest(TPoint{layer->MouseX, layer->MouseY}, 31);
        if (hit && hit->GetCompoType() == LT_LABEL) {
            ShellOpenUrl(kLogoUrl);
            return;
        }
        LogoCinema->Scrap();
        return;
    }
    if (reg->GetKeyClick(32) || reg->GetKeyClick(13)) LogoCinema->Scrap();
}

void TFormView::FrameStep() {
    if (!FProject) return;
    if (FileManager) FileManager->Locks.Tick(FrameTime);
    DeleteTempFiles();
    if (VorqBaseList) VorqBaseList->InputStep(static_cast<int32_t>(FrameTime));
    if (!LogoDone)
        logo_step();
    else
        FProject->Step();
    if (Terminating) return;
    if (VorqBaseList) VorqBaseList->Update();
    ++FrameCount;
    // Saves and loads run between frames, when no command is half-way
    // through; the frame that loaded a game is not drawn.
    if (FProject->ProcessRequests()) DrawHold = 1;
    if (Terminating) return;
    if (DrawHold > 0) {
        --DrawHold;
        return;
    }
    DrawPhase = DrawDivisor > 0 ? (DrawPhase + 1) % DrawDivisor : 0;
    if (DrawPhase != 0) return;
    if (!VorqBaseList) return;
    VorqBaseList->Draw();
    if (ScreenManager) {
        TScreenFrame frame;
        frame.UpdateRect = VorqBaseList->UpdateRect;
        frame.Zoom = VorqBaseList->DisplayZoom;
        frame.ActiveDirty = &VorqBaseList->ActiveBase()->DirtyList;
        frame.OtherDirty = &VorqBaseList->InactiveBase()->DirtyList;
        ScreenManager->Flip(frame);
        ++PresentedFrames;
    }
    VorqBaseList->ClearDirty();
}

void TFormView::ApplicationActivate() {
    if (!VorqBaseList) return;
    Active = true;
    // Time spent inactive is not game time.
    LastTick = TimeGetTime();
    for (int k = 0; k < MediaManagerKinds; ++k)
        if (TMediaManager* m = MediaManager(static_cast<TMediaManagerKind>(k))) m->ApplicationActivate();
}

void TFormView::ApplicationDeactivate() {
    if (!VorqBaseList) return;
    Active = false;
    for (int k = 0; k < MediaManagerKinds; ++k)
        if (TMediaManager* m = MediaManager(static_cast<TMediaManagerKind>(k))) m->ApplicationDeactivate();
    VorqBaseList->ClearKeys();
}

void TFormView::key_down(int32_t vk, bool repeat) {
    // One click per press: the auto-repeat of a held key adds none.
    if (repeat || !Active || vk <= 0 || vk >= 256 || !VorqBaseList) return;
    VorqBaseList->SetKeyPush(vk, true);
    VorqBaseList->SetKeyClick(vk, true);
}

void TFormView::key_up(int32_t vk) {
    if (vk <= 0 || vk >= 256 || !VorqBaseList) return;
    VorqBaseList->SetKeyPush(vk, false);
}

void TFormView::mouse_event(const InputEvent& e) {
    if (!VorqBaseList) return;
    TVorqBase* active = VorqBaseList->ActiveBase();
    const int32_t x = e.X - ImageOffsetX, y = e.Y - ImageOffsetY;
    const bool on_view = x >= 0 && y >= 0 && x < VorqBaseList->GetWidth() && y < VorqBaseList->GetHeight();
    switch (e.Kind) {
    case InputEventKind::MouseMove:
        for (int i = 0; i < 2; ++i) VorqBaseList->GetBaseAt(i)->SetMousePos(x, y);
        break;
    case InputEventKind::MouseDown: {
        if (!Active || !on_view) break;
        const uint8_t left = e.Button == MouseButton::Left, right = e.Button == MouseButton::Right;
        for (int i = 0; i < 2; ++i) {
            TVorqBase* layer = VorqBaseList->GetBaseAt(i);
            layer->SetMousePos(x, y);
            layer->LHeld = left;
            layer->RHeld = right;
        }
        if (left) active->LPressPending = 1;
        if (right) active->RPressPending = 1;
        break;
    }
    case InputEventKind::MouseUp:
        for (int i = 0; i < 2; ++i) {
            TVorqBase* layer = VorqBaseList->GetBaseAt(i);
            layer->LHeld = 0;
            layer->RHeld = 0;
        }
        break;
    case InputEventKind::MouseWheel:
        if (e.WheelDelta < 0) active->WheelDownPending = 1;
        if (e.WheelDelta > 0) active->WheelUpPending = 1;
        break;
    default: break;
    }
}

void TFormView::invalidate_view() {
    if (!VorqBaseList) return;
    for (int i = 0; i < 2; ++i) VorqBaseList->GetBaseAt(i)->InvalidateWhole();
}

void TFormView::OpenPopupMenu(int32_t x, int32_t y, bool from_keyboard) {
    if (FMenu) return;
    FMenu = std::make_unique<TPopupMenu>();
    TPopupMenu& menu = *FMenu;
    menu.AddItem(Sjis("フルスクリーン(&F)"), ScreenManager && ScreenManager->FullScreen(), [this] { ScreenSwitchClick(); });
    menu.AddSeparator();
    for (const int32_t period : {16, 64, 128, 1})
        menu.AddItem(Sjis("フレーム間隔 ") + std::to_string(period) + "ms", FramePeriod == period,
                     [period] { FramePeriod = period; });
    menu.AddSeparator();
    for (const int32_t divisor : {1, 2, 4, 10})
        menu.AddItem(Sjis("描画間隔 ") + std::to_string(divisor) + Sjis("フレーム"), DrawDivisor == divisor,
                     [divisor] { DrawDivisor = divisor; });
    // The menu loop: what plays is paused, and no frame runs until it ends.
    for (int k = 0; k < MediaManagerKinds; ++k)
        if (TMediaManager* m = MediaManager(static_cast<TMediaManagerKind>(k))) m->Suspend();
    menu.Open(*FWindow, x, y, from_keyboard);
}

void TFormView::close_menu() {
    if (!FMenu) return;
    FMenu->Close();
    // The time the menu stood open is no game time.
    LastTick = TimeGetTime();
    for (int k = 0; k < MediaManagerKinds; ++k)
        if (TMediaManager* m = MediaManager(static_cast<TMediaManagerKind>(k))) m->Resume();
    const std::unique_ptr<TPopupMenu> menu = std::move(FMenu);
    menu->RunChosen();
}

bool TFormView::menu_event(const InputEvent& e) {
    if (e.Kind == InputEventKind::KeyDown && e.VirtualKey == VK_SHIFT) FShiftDown = true;
    if (e.Kind == InputEventKind::KeyUp && e.VirtualKey == VK_SHIFT) FShiftDown = false;
    if (e.Kind == InputEventKind::Deactivate) FShiftDown = false;
    if (!FMenu) {
        // The desktop's keys for a context menu; a right click on the game
        // picture stays the game's.
        const bool key = e.Kind == InputEventKind::KeyDown && !e.Repeat &&
                         (e.VirtualKey == VK_APPS || (e.VirtualKey == VK_F1 + 9 && FShiftDown));
        const bool on_bar = e.Kind == InputEventKind::MouseUp && e.Button == MouseButton::Right && FToolbar &&
                            FToolbar->Visible() && e.X >= 0 && e.Y >= 0 && e.X < FToolbar->Width() &&
                            e.Y < FToolbar->DockHeight();
        if (key) OpenPopupMenu(ImageOffsetX, ImageOffsetY, true);
        else if (on_bar) OpenPopupMenu(e.X, e.Y, false);
        return key || on_bar;
    }
    switch (e.Kind) {
    case InputEventKind::Paint:
        if (FBasePanel) FBasePanel->Paint();
        draw_chrome(true);
        FMenu->Invalidate();
        break;
    // Releases still reach the game, so nothing stays held down.
    case InputEventKind::KeyUp: key_up(e.VirtualKey); break;
    case InputEventKind::MouseUp: mouse_event(e); break;
    default: break;
    }
    FMenu->Dispatch(e);
    FMenu->Refresh();
    if (FMenu->Done()) {
        close_menu();
        // Leaving the window or closing it ends the menu first, then takes
        // its ordinary course.
        if (e.Kind == InputEventKind::Deactivate || e.Kind == InputEventKind::CloseRequest) return false;
    }
    return true;
}

void TFormView::HandleEvent(const InputEvent& e) {
    if (menu_event(e)) return;
    if (FToolbar) {
        if (e.Kind == InputEventKind::MouseMove && ScreenManager && ScreenManager->FullScreen()) {
            const bool was = FToolbar->Visible();
            // A motion from before the switch, mapped through the new scale,
            // may land above the picture: only the real pointer tells.
            FToolbar->FollowPointer(e.X, e.Y, e.Y <= 0 && FWindow->PointerAtTopEdge());
            // The game picture comes back where the bar stood.
            if (was && !FToolbar->Visible()) invalidate_view();
            if (was != FToolbar->Visible()) sync_toolbar_overlay();
        }
        if (FToolbar->HandleWindowEvent(e)) {
            draw_chrome(false);
            return;
        }
    }
    // Edit and memo fields lie over the picture and take their input first.
    if (FBasePanel && FBasePanel->HandleEvent(e, TPoint{ImageOffsetX, ImageOffsetY})) return;
    switch (e.Kind) {
    case InputEventKind::CloseRequest: PostClose(); break;
    case InputEventKind::Paint:
        // The picture comes back in the panel; a bar shown over it in full
        // screen stays on top.
        if (FBasePanel) FBasePanel->Paint();
        draw_chrome(true);
        break;
    case InputEventKind::Activate: ApplicationActivate(); break;
    case InputEventKind::Deactivate: ApplicationDeactivate(); break;
    // Minimised in full screen, the game stands still and silent as when
    // another window takes the focus; the focus coming back resumes it.
    case InputEventKind::Hidden:
        if (Active) ApplicationDeactivate();
        break;
    case InputEventKind::KeyDown: key_down(e.VirtualKey, e.Repeat); break;
    case InputEventKind::KeyUp: key_up(e.VirtualKey); break;
    case InputEventKind::MouseMove:
    case InputEventKind::MouseDown:
    case InputEventKind::MouseUp:
    case InputEventKind::MouseWheel: mouse_event(e); break;
    default: break;
    }
}

uint64_t TFormView::Run(uint64_t max_frames) {
    uint64_t frames = 0;
    InputEvent e;
    while (!FClosed) {
        try {
            while (!FClosePosted && FWindow->PollEvent(e)) HandleEvent(e);
            draw_chrome(false);
            // A stopped game never leaves its window standing frozen.
            if (Terminating) FClosePosted = true;
            if (FClosePosted) {
                close_now();
                break;
            }
            const uint32_t before = FrameCount;
            const bool done = ApplicationEventsIdle();
            if (!done && FrameCount != before) ++frames;
            if (max_frames && frames >= max_frames) PostClose();
            if (done && !FClosePosted && !Terminating) {
                if (FWindow->WaitEvent(e, 10))
                    HandleEvent(e);
                else
                    SleepMs(1);
            }
        } catch (const std::exception& x) {
            // What escapes a frame or an event leaves the game in an unknown
            // state: say what it was and end, rather than run on or freeze.
            // The window closes at once: the same fault may recur on every
            // pass through the loop.
            show_warning(exception_text(x));
            Terminating = true;
            Failed = true;
            try {
                close_now();
            } catch (const std::exception& y) {
                show_warning(exception_text(y));
            }
        }
    }
    return frames;
}
