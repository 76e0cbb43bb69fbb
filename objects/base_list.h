// The object registry TVorqBaseList and its two screen layers TVorqBase.
// The registry holds every display object of a scene, creates them by
// component type id, finds them by name, keeps the keyboard focus and key
// state, owns the event queue and the transition between the layers, and
// runs the three passes of a frame: input step, update pass, render pass.
#pragma once
#include "files/containers.h"
#include "objects/timer_list.h"
#include "objects/vorq_object.h"
#include "render/surface_maker.h"
#include "render/wipes/custom_wipe.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TBasePanel;
class TCustomDIBX;
class TStringList;
class Video;

// The registry makes its transitions with CreateWipe (render/wipes). Tests
// may put another maker in its place; null restores CreateWipe.
using TTransitionMaker = std::unique_ptr<TCustomWipe> (*)(int32_t kind, TCustomDIBX* screen,
                                                           TCustomDIBX* old_picture, TCustomDIBX* new_picture);
void SetTransitionMaker(TTransitionMaker maker);

// Makes the surfaces of layers and work surfaces: (width, height, bits per
// pixel). By default a device-format surface while the screen manager
// allows them, else a memory surface; null restores the default.
using TObjectSurfaceMaker = std::unique_ptr<TCustomDIBX> (*)(int32_t width, int32_t height, int32_t bits);
void SetSurfaceMaker(TObjectSurfaceMaker maker);

// Decodes a cursor file (a real path) into 32-bit ARGB pixels and its hot
// spot; false when it cannot. By default the bitmap codecs read it (.cur,
// .ico, .bmp ...); null restores the default.
struct TCursorImage {
    std::vector<uint32_t> Argb;
    int32_t Width = 0, Height = 0;
    TPoint HotSpot;
};
using TCursorDecoder = bool (*)(const std::string& path, TCursorImage& image);
// The default: colours from the file, its mask as alpha; of an icon or
// cursor file of several images the one nearest 32 x 32, chosen unasked.
bool LoadCursorImage(const std::string& path, TCursorImage& image);
void SetCursorDecoder(TCursorDecoder decoder);

// The factory of object kinds: by component type id (0..127) the kind's
// maker, or null. The player installs its own (objects/object_kinds.h)
// through InstallPlayerModules; until then no kind can be made.
using TComponentMaker = TVorqObject* (*)(TVorqBaseList* registry);
using TComponentFactory = TComponentMaker (*)(int32_t type_id);
void SetComponentFactory(TComponentFactory factory);
// Test seam: a maker for one id that takes precedence over the installed
// factory; null removes it again.
void RegisterComponentType(int32_t type_id, TComponentMaker maker);
// Ids 0, 1, 10 and 28..127 (after masking with 0x7F) have no kind: null.
// A kind of the table that nothing makes raises Exception.
TVorqObject* CreateObjectByType(TVorqBaseList* registry, int32_t type_id);
// As CreateObjectByType, but a type without a kind raises ECorruptData:
// for readers of saved scenes, where such an id means bad data.
TVorqObject* CreateStoredObject(TVorqBaseList* registry, int32_t type_id);

class TVorqBase : public TVorqControl {
public:
    TVorqBase(TVorqBaseList* registry, const std::string& name);
    ~TVorqBase() override;

    bool IsLayer() const override { return true; }
    TVorqBase* GetBase() const override { return const_cast<TVorqBase*>(this); }
    bool GetVisible() const override { return FVisible != 0; }
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    // The screen's back surface while this layer is active and no transition
    // runs; otherwise the layer's own surface.
    TCustomDIBX* GetOwnSurface() const override;
    TCustomDIBX* GetSurface() const override { return GetOwnSurface(); }
    TCustomDIBX* LayerSurface() const { return FSurface.get(); }
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    // Redraws the dirty rectangles.
    void Draw() override;

    // Clamped to the layer; merged with a neighbour within 20 pixels.
    void AddDirtyRect(const TRect& r);
    void InvalidateWhole() { AddDirtyRect(TRect{0, 0, FWidth, FHeight}); }
    TClipList DirtyList;

    void SetMousePos(int32_t x, int32_t y);
    // @LClick / @RClick: held and no object took or captured the press.
    bool GetLClick() const { return LHeld && (PressFlags & (kLeftCapture | kLeftTaken)) == 0; }
    bool GetRClick() const { return RHeld && (PressFlags & (kRightCapture | kRightTaken)) == 0; }

    static constexpr uint8_t kLeftCapture = 1, kRightCapture = 2, kLeftTaken = 4, kRightTaken = 8;
    int32_t MouseX = 0, MouseY = 0;
    uint8_t LPressPending = 0, LClicked = 0, RPressPending = 0, RClicked = 0;
    uint8_t LHeld = 0, RHeld = 0, Moved = 0, PressFlags = 0;
    uint8_t WheelDownPending = 0, WheelDown = 0, WheelUpPending = 0, WheelUp = 0;
    // The object under the pointer in the last step (also the captured one).
    TVorqObject* PointerObject = nullptr;
    uint32_t PointerSerial = 0;
    std::string CursorName;

private:
    void resize_surface();
    std::unique_ptr<TCustomDIBX> FSurface;
};

class TVorqBaseList : public TVorqComponent {
public:
    // owner: the registry a private scene belongs to; null for the main one.
    explicit TVorqBaseList(TVorqBaseList* owner = nullptr);
    ~TVorqBaseList() override;

    // ---- objects ----
    int32_t AddObject(TVorqObject* obj) override;
    void RemoveObject(TVorqObject* obj) override;
    bool IsPendingDelete(const TVorqObject* obj) const override;
    void ScheduleDelete(TVorqObject* obj) override;
    TVorqObject* GetObjectAt(int32_t index) const override;
    int32_t GetObjectCount() const override { return static_cast<int32_t>(FObjects.size()); }
    int32_t IndexOfObject(const TVorqObject* obj) const;
    // The object when it still exists and is the one with that serial.
    bool Alive(const TVorqObject* obj, uint32_t serial) const;
    // The same, looking first at the index where the object was last seen
    // and leaving there the index where it is now: a caller asking every
    // frame about the same object need not search the list each time.
    bool Alive(const TVorqObject* obj, uint32_t serial, size_t& hint) const;
    TVorqObject* FindBySerial(uint32_t serial) const;
    int32_t IndexOfName(const std::string& name) const;
    TVorqObject* FindObject(const std::string& name) const;
    TVorqControl* FindControl(const std::string& name) const;
    std::string MakeUniqueName(const std::string& prefix) const;
    // The same, probing from the number next and leaving next after the one
    // taken: a maker of many internal objects need not probe its earlier
    // names again each time.
    std::string MakeUniqueName(const std::string& prefix, int64_t& next) const;
    int32_t ListCompo(TStringList& list, int32_t type_id, const TVorqObject* parent) const;
    TVorqBase* GetBaseAt(int32_t index) const { return FBase[index & 1].get(); }
    TVorqBase* ActiveBase() const { return FBase[ActiveIndex & 1].get(); }
    TVorqBase* InactiveBase() const { return FBase[(ActiveIndex & 1) ^ 1].get(); }
    std::vector<TVorqControl*>& RightClickList() { return FRightClick; }
    // Called by an object whose name field changed, and by a control being
    // destroyed (focus, pointer objects, right-click list, schedule).
    void NameChanged(TVorqObject* obj, const std::string& old_name);
    void ForgetObject(TVorqObject* obj);

    // ---- size, colour, surfaces ----
    int32_t GetWidth() const override { return FWidth; }
    void SetWidth(int32_t v) override;
    int32_t GetHeight() const override { return FHeight; }
    void SetHeight(int32_t v) override;
    void SetColor(int32_t v) override;
    // The screen surface: the screen manager's back surface for the main
    // registry (set with SetScreenSurface), else the work surface.
    TCustomDIBX* GetOwnSurface() const override;
    void SetScreenSurface(TCustomDIBX* s) { FScreenSurface = s; }
    // The surface frames are composed onto: one set here, else for the main
    // registry the screen manager's; null when there is none.
    TCustomDIBX* ScreenSurface() const;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    // Bits per pixel of new surfaces: the screen manager's depth for the
    // main registry; else SurfaceBits when set, otherwise the depth the image
    // cache makes pictures at (DisplayBitCount: the screen's, 15 without a
    // screen manager), so that cached pictures draw on a private scene too.
    int32_t CurrentSurfaceBits() const;
    int32_t SurfaceBits = 0;

    // ---- frame passes ----
    // Keys, focus and the mouse on the active layer; frame_delta in ms
    // drives the key auto-repeat.
    void InputStep(int32_t frame_delta);
    void MouseStep(TVorqBase& layer);
    // Update pass: layers, every object, then scheduled deletions.
    bool Update() override;
    // Render pass: both layers redraw their dirty rectangles.
    void Draw() override;
    void ClearDirty();
    TRect UpdateRect{};
    int32_t DisplayZoom = 100;

    // ---- focus, layers, transitions ----
    void SetFocusObject(TVorqControl* control);
    TVorqControl* Focus() const { return FFocus; }
    void RequestFocusSearch() { FFocusSearch = 1; }
    bool FocusSearchRequested() const { return FFocusSearch != 0; }
    // Makes layer index the active one. With force, or with a kind while
    // no transition runs, the running one ends and kind (1..38) starts a new
    // one from the layer at index (the picture being left) to the other;
    // the caller sets its parameters and prepares it. Elapsed always goes to
    // the running transition.
    TCustomWipe* SetActiveBase(int32_t index, int32_t kind, uint8_t mode, bool force, int32_t elapsed,
                               int32_t duration);
    int32_t GetTransitionTime() const;
    void SetTransitionPos(int32_t ms);
    int32_t ActiveIndex = 0;
    int32_t TransitionKind = 0;
    TCustomWipe* Transition() const { return FTransition.get(); }

    // ---- keys (@KeyPush, @KeyClick, @KeyRepeat) ----
    bool GetKeyPush(int32_t key) const { return key >= 0 && key < 256 && FKeyHeld[key]; }
    bool GetKeyClick(int32_t key) const { return key >= 0 && key < 256 && FKeyClickLast[key]; }
    bool GetKeyRepeat(int32_t key) const { return key >= 0 && key < 256 && FKeyRepeatLast[key]; }
    void SetKeyPush(int32_t key, bool down);
    void SetKeyClick(int32_t key, bool value);
    void ClearKeys();

    // ---- other state ----
    uint8_t SoundOn = 1;
    // @SoundON: a change reaches SetActive of the running media managers,
    // then OnSoundOn.
    std::function<void(bool)> OnSoundOn;
    void SetSoundOn(uint8_t value);
    // The default cursor file (@Cursor); empty = none.
    std::function<std::string()> DefaultCursor;
    // Where cursors are shown; null = nowhere.
    Video* CursorView = nullptr;
    // The panel that edit and memo fields lie on (the main scene's only).
    TBasePanel* HostPanel = nullptr;
    // The pointer position in the view (for a new scene's layers).
    std::function<TPoint()> PointerPos;

    TTimerList Events;
    void ResetScene();

    // The scene record of a game save (objects/scene_record.cpp): size,
    // active layer, both layers' control trees, the free objects, the event
    // queue and the focus name. Loading replaces the whole scene.
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

private:
    void make_layers();
    void free_all_objects();
    void set_cursor(TVorqBase& layer, const std::string& name);
    // The release of a captured press, queued unless one waits or it is busy.
    void queue_release(TVorqObject& target, const TVorqBase& layer, const std::string& label, uint8_t event_id);
    void release_cursor();

    std::unique_ptr<TVorqBase> FBase[2];
    int32_t FWidth = 0, FHeight = 0;
    std::unique_ptr<TCustomDIBX> FWork;
    TCustomDIBX* FScreenSurface = nullptr;
    std::unique_ptr<TCustomWipe> FTransition;
    std::vector<TVorqObject*> FObjects;
    // How many listed objects hold each name: most look-ups (every probe of
    // MakeUniqueName) find nothing and end here.
    std::unordered_map<std::string, int32_t> FNameCount;
    std::vector<TVorqObject*> FScheduled;
    int32_t FUpdateIndex = 0;
    std::vector<TVorqControl*> FRightClick;
    uint8_t FKeyHeld[256]{}, FKeyClick[256]{}, FKeyClickLast[256]{}, FKeyRepeat[256]{}, FKeyRepeatLast[256]{};
    int32_t FKeyCountdown[256]{};
    TVorqControl* FFocus = nullptr;
    uint8_t FFocusSearch = 0;
    uint8_t FKeyDownHappened = 0, FKeyUpHappened = 0, FKeyRepeatHappened = 0;
    int32_t FCursorHandle = 0;
    bool FClearing = false;
};

// The main registry, from InitDisplayObjects to DoneDisplayObjects.
extern TVorqBaseList* VorqBaseList;
// @CGDither: the image cache's depth matching; a change reloads the cached
// pictures and redraws both layers. False without a cache.
bool GetCGDither();
void SetCGDither(bool value);

// Pixel tables of the drawing code: the shared 16-bit colour table at the
// screen depth, and the pixel of each grey level (l, l, l) in the screen's
// 16-bit format and in 32-bit pixels.
extern uint16_t ColorTable16[256];
extern uint16_t GreyPixel16[256];
extern uint32_t GreyPixel32[256];
// source565: the shared table in 5-6-5 form; depth 15 converts it to 5-5-5.
void BuildPixelTables(int32_t depth, const uint16_t* source565);
