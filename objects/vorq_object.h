// The display object model: every thing a scenario creates and addresses by
// name is a TVorqObject. TVorqComponent adds the registry hooks (non-visual
// kinds derive from it), TVorqControl the visual tree: rectangle, parent and
// sorted children, position, clipping, visibility, event labels, motion,
// drawing and hit testing. Object kinds override the slots they support;
// every other property reads its default and ignores writes.
#pragma once
#include "platform/rect.h"
#include "files/vocab.h"
#include "objects/property_accessors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TCustomDIBX;
class TVorqBaseList;
class TVorqBase;
class TVorqControl;
class TArrayString;

// First byte of the names of objects the system made for another one.
constexpr char kInternalMark = '\x01';
inline bool IsInternalName(const std::string& name) { return !name.empty() && name[0] == kInternalMark; }

// Play states of sound and video objects.
enum TPlayState : uint8_t { PS_PLAY, PS_FADEIN, PS_STOP, PS_FADEOUT };

// What a control needs of an attached motion. The motion kinds implement it;
// the player's maker is installed by InstallMotionKinds (objects/scene/motion_kinds.h).
class TControlMotion {
public:
    virtual ~TControlMotion() = default;
    // One frame; true when a non-repeating motion reached its end now.
    virtual bool Step() = 0;
    virtual bool Ended() const = 0;
    virtual void Restart() = 0;
    // Forget the target; called before the motion is freed with its control.
    virtual void ClearTarget() = 0;
    // Applies the current frame to the target again (after a display change).
    virtual void Reapply() = 0;
    // Position and length in 1/60-second frames, and a jump to a time, for
    // the image sets that show a motion's frame as their INDEX.
    virtual int32_t CurrentFrame() const { return 0; }
    virtual int32_t Length() const { return 0; }
    virtual void SetElapsedMs(int32_t /*ms*/) {}
};
using TMotionMaker = std::unique_ptr<TControlMotion> (*)(TVorqControl& target, const std::string& file_name);
// The maker AttachMotion uses; InstallMotionKinds sets the player's, and
// tests set their own here (a test seam).
void SetMotionMaker(TMotionMaker maker);
// A motion of the installed maker for target, loaded from the file; raises
// when no maker is installed or the file holds no motion.
std::unique_ptr<TControlMotion> MakeControlMotion(TVorqControl& target, const std::string& file_name);

// The message of a damaged scene record in a save.
const std::string& SceneRecordMessage();

// Creation flags: register in the registry's object list, and take a name
// "object0", "object1" ... there (kinds that name themselves leave it out).
constexpr int kCreateRegister = 1, kCreateAutoName = 2;
constexpr int kCreateDefault = kCreateRegister | kCreateAutoName;

class TVorqObject {
public:
    explicit TVorqObject(TVorqBaseList* registry, int create_flags = kCreateDefault);
    virtual ~TVorqObject();
    TVorqObject(const TVorqObject&) = delete;
    TVorqObject& operator=(const TVorqObject&) = delete;

    // ---- fields read and written directly ----
    TVorqBaseList* Registry() const { return FRegistry; }
    const std::string& GetName() const { return FName; }
    std::string Tag;
    int32_t GetPriority() const { return FPriority; }
    int32_t GetOrder() const { return FOrder; }
    // Identity that is never reused while the program runs: lets a holder
    // tell its object from a later one allocated at the same address.
    uint32_t Serial() const { return FSerial; }
    // The name field without the checks of SetName (no holder is touched).
    void StoreName(const std::string& name);

    // ---- property slots ----
    VORQ_PLAIN_PROPERTIES(VORQ_DECLARE_ROOT_ACCESSORS)
    virtual void SetName(const std::string& name);
    virtual uint8_t GetCompoType() const { return LT_NONE; }
    virtual TVorqControl* GetParent() const { return nullptr; }
    virtual void SetParent(TVorqControl* /*parent*/) {}
    virtual bool GetPlaying() const { return false; }
    virtual TPoint GetCaret() const { return TPoint{}; }
    // PARAM1..3 by index 0..2.
    virtual long double GetParam(int /*index*/) const { return 0.0L; }
    virtual void SetParam(int /*index*/, long double /*value*/) {}
    // Border cells 0..8 in row order of a 3 x 3 frame.
    virtual std::string GetBorderSource(int /*cell*/) const { return {}; }
    virtual void SetBorderSource(int /*cell*/, const std::string& /*name*/) {}
    virtual uint8_t GetBorderHAlign(int /*cell*/) const { return 0; }
    virtual void SetBorderHAlign(int /*cell*/, uint8_t /*value*/) {}
    virtual uint8_t GetBorderVAlign(int /*cell*/) const { return 0; }
    virtual void SetBorderVAlign(int /*cell*/, uint8_t /*value*/) {}
    // Check marks of list items (list boxes and menus) and enabled states of
    // prepared-menu buttons, by 0-based index: false outside the list and
    // for kinds that have none; a setter redraws only on a change.
    virtual bool GetItemCheck(int32_t /*index*/) const { return false; }
    virtual void SetItemCheck(int32_t /*index*/, bool /*value*/) {}
    virtual bool GetButtonEnabled(int32_t /*index*/) const { return false; }
    virtual void SetButtonEnabled(int32_t /*index*/, bool /*value*/) {}
    // The index of the button of that exact name, -1 when none.
    virtual int32_t IndexOfButton(const std::string& /*name*/) const { return -1; }

    // A message window forgets which scenario text command its text came
    // from (called before a property write of TEXT).
    virtual void ClearTextOrigin() {}

    void SetPriority(int32_t value);
    void SetOrder(int32_t value);

    // ---- tree, surfaces, geometry ----
    virtual TCustomDIBX* GetSurface() const;
    virtual TCustomDIBX* GetOwnSurface() const { return nullptr; }
    virtual TVorqObject* GetObjectAt(int32_t /*index*/) const { return nullptr; }
    virtual int32_t GetObjectCount() const { return 0; }
    virtual TVorqControl* GetChild(int32_t /*index*/) const { return nullptr; }
    virtual int32_t GetChildCount() const { return 0; }
    virtual TVorqBase* GetBase() const;
    virtual TRect GetRect() const;
    virtual bool IsBusy() const { return false; }
    virtual int32_t GetScreenX() const { return WrapSub(GetLeft(), GetOffsetX()); }
    virtual int32_t GetScreenY() const { return WrapSub(GetTop(), GetOffsetY()); }
    virtual int32_t GetLocalX() const { return WrapSub(GetLeft(), GetOffsetX()); }
    virtual int32_t GetLocalY() const { return WrapSub(GetTop(), GetOffsetY()); }
    virtual TRect GetPartRect() const { return TRect{0, 0, 1, 1}; }
    virtual void SetPartRect(const TRect& /*r*/) {}
    virtual int32_t GetMotionX() const { return 0; }
    virtual void SetMotionX(int32_t /*v*/) {}
    virtual int32_t GetMotionY() const { return 0; }
    virtual void SetMotionY(int32_t /*v*/) {}
    virtual TPoint GetDrawPos() const { return TPoint{}; }
    virtual std::string GetPlainText() const { return GetText(); }
    virtual void AppendText(const std::string& s) { SetText(GetText() + s); }
    virtual uint8_t GetPlayState() const { return PS_STOP; }
    virtual void SetPlayState(uint8_t /*state*/) {}
    // When PR_CLIPWIDTH and PR_CLIPHEIGHT are above 0, the clip area on the
    // layer; otherwise the empty rectangle (no clip).
    TRect GetClipRect() const;

    // ---- life cycle and per-frame work ----
    virtual void Invalidate() {}
    virtual void Draw() {}
    virtual TVorqObject* HitTest(const TPoint& /*p*/, uint32_t /*mask*/) { return nullptr; }
    // True means finished: the registry frees the object at once.
    virtual bool Update() { return false; }
    // Runs the updates of the objects this one drives (see Driver), right
    // after this object's own turn in the update pass, also when that turn
    // was skipped (paused, scrapped, in a cabinet).
    virtual void UpdateDriven() {}
    // The object whose UpdateDriven updates this one in place of the
    // registry's pass; null for the registry's own.
    TVorqObject* Driver() const { return FDriver; }
    void SetDriver(TVorqObject* driver) { FDriver = driver; }
    void FreeNow();
    void Scrap();
    bool IsScheduledForDeletion() const;

    // ---- input hooks ----
    virtual void LBtnDown();
    virtual void LBtnUp();
    virtual void RBtnDown();
    virtual void RBtnUp();
    virtual void MouseMove();
    virtual void MouseOut(TVorqObject* next);
    virtual void MouseIn(TVorqObject* previous);
    virtual void MouseStepEnd() {}
    virtual void SetGroupSelected(bool /*selected*/) {}
    virtual void GroupNotify(int32_t /*value*/) {}
    virtual void KeyDown() {}
    virtual void KeyUp() {}
    virtual void KeyRepeat() {}
    virtual TVorqControl* FindFocusable() { return nullptr; }
    virtual void FocusChanged() {}

    // ---- save and load of the record ----
    virtual void SaveToStream(TStream& s);
    virtual void LoadFromStream(TStream& s, int32_t version);

    // ---- other hooks ----
    virtual TPoint LocalToScreen(const TPoint& p) const {
        return TPoint{WrapAdd(p.X, GetScreenX()), WrapAdd(p.Y, GetScreenY())};
    }
    virtual TPoint ScreenToLocal(const TPoint& p) const {
        return TPoint{WrapSub(p.X, GetScreenX()), WrapSub(p.Y, GetScreenY())};
    }
    virtual void AttachMotion(const std::string& /*file_name*/) {}
    virtual void RestartMotion() {}
    virtual bool RightClickScrap() { return false; }
    // r := r ∩ GetRect; true when not empty.
    virtual bool IntersectsRect(TRect& r) const;
    virtual void ReleaseSurfaces() {}
    virtual void RestoreSurfaces() {}
    virtual bool Contains(const TVorqObject* /*obj*/) const { return false; }
    virtual void AdjustDirtyRect(TRect& r) const;
    virtual bool IsInCabinet() const { return false; }
    virtual std::string GetEffectiveCursor() const { return GetCursor(); }
    virtual void EnterCabinet() {}
    virtual void LeaveCabinet() {}
    virtual bool IsShownOnActiveBase() const;
    virtual void PositionChanged() {}
    virtual bool IsLayer() const { return false; }
    virtual bool IsControl() const { return false; }

protected:
    // Queues an event of this object in its registry's queue.
    void QueueEvent(const std::string& label, uint8_t event_id, const TArrayString* args = nullptr);
    bool EventQueued(uint8_t event_id) const;
    // For a state reported on every update while it lasts (a film or video
    // resting at its end): queued unless one of this object's such events
    // still waits, so that the queue stays bounded.
    void QueueEventUnlessWaiting(const std::string& label, uint8_t event_id);
    void ButtonDown(bool left);
    void ButtonUp(bool left);
    // The pointer position relative to this object, as event arguments.
    TArrayString MouseArgs() const;
    void ResortParent();

    TVorqBaseList* FRegistry;
    std::string FName;
    int32_t FPriority = 0;
    int32_t FOrder = 0;

private:
    friend class TVorqBaseList;
    uint32_t FSerial;
    bool FListed = false;  // in its registry's object list
    TVorqObject* FDriver = nullptr;
};

class TVorqComponent : public TVorqObject {
public:
    using TVorqObject::TVorqObject;
    ~TVorqComponent() override;

    // Registry operations; the registry implements them.
    virtual int32_t AddObject(TVorqObject* /*obj*/) { return -1; }
    virtual void RemoveObject(TVorqObject* /*obj*/) {}
    virtual bool IsPendingDelete(const TVorqObject* /*obj*/) const { return false; }
    virtual void ScheduleDelete(TVorqObject* /*obj*/) {}
};

class TVorqControl : public TVorqComponent {
public:
    explicit TVorqControl(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqControl() override;

    bool IsControl() const override { return true; }

    // ---- properties ----
    void SetName(const std::string& name) override;
    bool GetVisible() const override;
    void SetVisible(bool v) override;
    TVorqControl* GetParent() const override { return FParent; }
    void SetParent(TVorqControl* parent) override;
    int32_t GetLeft() const override { return FLeft; }
    void SetLeft(int32_t v) override;
    int32_t GetTop() const override { return FTop; }
    void SetTop(int32_t v) override;
    int32_t GetWidth() const override { return FWidth; }
    void SetWidth(int32_t v) override;
    int32_t GetHeight() const override { return FHeight; }
    void SetHeight(int32_t v) override;
    int32_t GetOffsetX() const override { return FOffsetX; }
    void SetOffsetX(int32_t v) override;
    int32_t GetOffsetY() const override { return FOffsetY; }
    void SetOffsetY(int32_t v) override;
    int32_t GetColor() const override { return FColor; }
    void SetColor(int32_t v) override;
    uint8_t GetIgnoreMouse() const override { return FIgnoreMouse; }
    void SetIgnoreMouse(uint8_t v) override { FIgnoreMouse = v; }
    std::string GetCursor() const override { return FCursor; }
    void SetCursor(const std::string& v) override { FCursor = v; }
    bool GetPosZoomed() const override { return FPosZoomed != 0; }
    void SetPosZoomed(bool v) override;
    int32_t GetClipLeft() const override { return FClipLeft; }
    void SetClipLeft(int32_t v) override;
    int32_t GetClipTop() const override { return FClipTop; }
    void SetClipTop(int32_t v) override;
    int32_t GetClipWidth() const override { return FClipWidth; }
    void SetClipWidth(int32_t v) override;
    int32_t GetClipHeight() const override { return FClipHeight; }
    void SetClipHeight(int32_t v) override;
    int32_t GetPlusX() const override { return FPlusX; }
    void SetPlusX(int32_t v) override;
    int32_t GetPlusY() const override { return FPlusY; }
    void SetPlusY(int32_t v) override;
    bool GetAniPaused() const override;
    void SetAniPaused(bool v) override { FAniPaused = v; }
    bool GetHandleKey() const override { return FHandleKey != 0; }
    void SetHandleKey(bool v) override;
    bool GetPlaying() const override;
    std::string GetOnMouseMove() const override { return FOnMouseMove; }
    void SetOnMouseMove(const std::string& v) override { FOnMouseMove = v; }
    std::string GetOnMouseIn() const override { return FOnMouseIn; }
    void SetOnMouseIn(const std::string& v) override { FOnMouseIn = v; }
    std::string GetOnMouseOut() const override { return FOnMouseOut; }
    void SetOnMouseOut(const std::string& v) override { FOnMouseOut = v; }
    std::string GetOnLBtnDown() const override { return FOnLBtnDown; }
    void SetOnLBtnDown(const std::string& v) override { FOnLBtnDown = v; }
    std::string GetOnLBtnUp() const override { return FOnLBtnUp; }
    void SetOnLBtnUp(const std::string& v) override { FOnLBtnUp = v; }
    std::string GetOnRBtnDown() const override { return FOnRBtnDown; }
    void SetOnRBtnDown(const std::string& v) override { FOnRBtnDown = v; }
    std::string GetOnRBtnUp() const override { return FOnRBtnUp; }
    void SetOnRBtnUp(const std::string& v) override { FOnRBtnUp = v; }
    std::string GetOnWheelDown() const override { return FOnWheelDown; }
    void SetOnWheelDown(const std::string& v) override { FOnWheelDown = v; }
    std::string GetOnWheelUp() const override { return FOnWheelUp; }
    void SetOnWheelUp(const std::string& v) override { FOnWheelUp = v; }
    std::string GetOnKeyDown() const override { return FOnKeyDown; }
    void SetOnKeyDown(const std::string& v) override { FOnKeyDown = v; }
    std::string GetOnKeyUp() const override { return FOnKeyUp; }
    void SetOnKeyUp(const std::string& v) override { FOnKeyUp = v; }
    std::string GetOnKeyRepeat() const override { return FOnKeyRepeat; }
    void SetOnKeyRepeat(const std::string& v) override { FOnKeyRepeat = v; }
    std::string GetOnFocusIn() const override { return FOnFocusIn; }
    void SetOnFocusIn(const std::string& v) override { FOnFocusIn = v; }
    std::string GetOnFocusOut() const override { return FOnFocusOut; }
    void SetOnFocusOut(const std::string& v) override { FOnFocusOut = v; }

    // ---- tree and geometry ----
    TVorqControl* GetChild(int32_t index) const override;
    int32_t GetChildCount() const override { return static_cast<int32_t>(FChildren.size()); }
    const std::vector<TVorqControl*>& Children() const { return FChildren; }
    int32_t GetScreenX() const override;
    int32_t GetScreenY() const override;
    int32_t GetLocalX() const override;
    int32_t GetLocalY() const override;
    TRect GetPartRect() const override { return FPartRect; }
    void SetPartRect(const TRect& r) override { FPartRect = r; }
    int32_t GetMotionX() const override { return FMotionX; }
    void SetMotionX(int32_t v) override { FMotionX = v; }
    int32_t GetMotionY() const override { return FMotionY; }
    void SetMotionY(int32_t v) override { FMotionY = v; }
    TPoint GetDrawPos() const override;

    // ---- drawing, hits, frames ----
    void Invalidate() override;
    void Draw() override;
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    bool Update() override;
    void AttachMotion(const std::string& file_name) override;
    void RestartMotion() override;
    void RestoreSurfaces() override;
    TVorqControl* FindFocusable() override;
    void KeyDown() override;
    void KeyUp() override;
    void KeyRepeat() override;
    bool Contains(const TVorqObject* obj) const override;
    bool IsInCabinet() const override;
    void PositionChanged() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    // The motion that drives the control now (kinds with several pictures
    // have one per picture state).
    virtual TControlMotion* GetMotion() const { return FMotion.get(); }
    void AddChild(TVorqControl* child);
    // Adds child where SortChildren would put it, without comparing the
    // other children when they are known to be in order.
    void InsertChild(TVorqControl* child);
    void RemoveChild(TVorqControl* child);
    // Left, top, width, height at once: one invalidation before and after.
    void SetRect(int32_t left, int32_t top, int32_t width, int32_t height);
    void SortChildren();
    // SortChildren after child's place in the order changed; when the others
    // are known to be in order only child moves.
    void ResortChild(TVorqControl* child);
    // A child's name or place in the order changed without a sort.
    void ChildrenMayBeUnsorted() { FChildrenSorted = false; }
    virtual void ClipChanged();
    void NotifyGroup(int32_t group, int32_t value);
    void NormalizeGroup(TVorqControl* preferred, int32_t group);

protected:
    // Changes of a geometric field: nothing when equal, else invalidate,
    // store, invalidate.
    void ChangeGeometry(int32_t& field, int32_t value);
    // The same, then the children hear of the new clip.
    void ChangeClip(int32_t& field, int32_t value);
    void KeyEvent(const std::string& label, uint8_t event_id);
    // Screen x along one axis; see GetScreenX.
    int32_t ScreenAxis(bool horizontal) const;
    // The same with the parent's part (its screen position less its scroll)
    // already worked out, for callers placing many children of one parent.
    // Defined here, the usual case inline, so that the zoom and flip of a
    // final kind fold into its callers.
    int32_t ScreenAxisFrom(bool horizontal, int64_t parent_term) const {
        if (FPosZoomed) return ZoomedScreenAxisFrom(horizontal, parent_term);
        return PlainScreenAxis(*this, horizontal, parent_term);
    }
    // v · z / 256 truncated toward zero; v itself at 100 %.
    static int32_t Zoomed(int32_t v, int32_t z) {
        return z == 256 ? v : static_cast<int32_t>(static_cast<int64_t>(v) * z / 256);
    }
    // The screen place of c along one axis, its position not given zoomed,
    // and its place in its parent: c is taken as its own kind, so that a
    // final kind's getters are called directly by the kind's own passes.
    template <class Self>
    static int32_t PlainScreenAxis(const Self& c, bool horizontal, int64_t parent_term) {
        const int32_t z = horizontal ? c.GetZoomX() : c.GetZoomY();
        const bool flip = horizontal ? c.GetFlipH() : c.GetFlipV();
        const int32_t off = Zoomed(horizontal ? c.FOffsetX : c.FOffsetY, z);
        const int64_t a = flip ? int64_t(horizontal ? c.FWidth : c.FHeight) - 1 - off : off;
        const int64_t p = c.FMotion ? (horizontal ? c.FMotionX : c.FMotionY) : (horizontal ? c.FLeft : c.FTop);
        return static_cast<int32_t>(p - a + (horizontal ? c.FPlusX : c.FPlusY) + parent_term);
    }
    template <class Self>
    static int32_t LocalAxisOf(const Self& c, bool horizontal) {
        const int32_t z = horizontal ? c.GetZoomX() : c.GetZoomY();
        const bool flip = horizontal ? c.GetFlipH() : c.GetFlipV();
        const int32_t pos = horizontal ? c.FLeft : c.FTop;
        const int32_t off = Zoomed(horizontal ? c.FOffsetX : c.FOffsetY, z);
        const int64_t a = flip ? int64_t(horizontal ? c.FWidth : c.FHeight) - off : off;
        const int64_t p = c.FMotion ? (horizontal ? c.FMotionX : c.FMotionY) : c.FPosZoomed ? Zoomed(pos, z) : pos;
        return static_cast<int32_t>(p - a + (horizontal ? c.FPlusX : c.FPlusY));
    }
    // The same for a position given zoomed.
    int32_t ZoomedScreenAxisFrom(bool horizontal, int64_t parent_term) const;
    // The end of Invalidate: r, already cut to the parent, cut to the clip
    // rectangle and added to base's dirty area.
    void InvalidateCut(TVorqBase* base, TRect r);
    int32_t LocalAxis(bool horizontal) const;
    // One child of Draw: s is this control's surface and v the part of this
    // control inside the surface's clip.
    static void DrawChild(TCustomDIBX& s, const TRect& v, TVorqControl& child);
    // Draw's frame for the children: each(s, v) runs when this control shows
    // any part inside the surface's clip, which is put back afterwards.
    template <class Each>
    void DrawChildrenWith(Each&& each) {
        if (FChildren.empty()) return;
        TRect clip, v;
        TCustomDIBX* s = BeginChildren(clip, v);
        if (!s) return;
        if (!RectIsEmpty(v)) each(*s, v);
        EndChildren(*s, clip);
    }
    // The surface (null: none), its clip and the part of this control in it.
    TCustomDIBX* BeginChildren(TRect& clip, TRect& v);
    static void EndChildren(TCustomDIBX& s, const TRect& clip);

    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    int32_t FOffsetX = 0, FOffsetY = 0;
    uint8_t FVisible = 1;
    TVorqControl* FParent = nullptr;
    int32_t FColor = 0;
    std::vector<TVorqControl*> FChildren;
    // FChildren is in ChildBefore order (set by a sort, cleared by whatever
    // may break the order).
    bool FChildrenSorted = true;
    TRect FPartRect{0, 0, 1, 1};
    std::string FOnMouseMove, FOnMouseIn, FOnMouseOut, FOnLBtnDown, FOnLBtnUp, FOnRBtnDown, FOnRBtnUp,
        FOnWheelDown, FOnWheelUp;
    uint8_t FIgnoreMouse = 0;
    std::string FCursor;
    uint8_t FPosZoomed = 0;
    int32_t FClipLeft = 0, FClipTop = 0, FClipWidth = 0, FClipHeight = 0;
    int32_t FMotionX = 0, FMotionY = 0;
    int32_t FPlusX = 0, FPlusY = 0;
    uint8_t FAniPaused = 0;
    uint8_t FHandleKey = 0;
    std::string FOnKeyDown, FOnKeyUp, FOnKeyRepeat, FOnFocusIn, FOnFocusOut;
    std::unique_ptr<TControlMotion> FMotion;
};

// Child order: a name of two 0x01 bytes last, internal names first, then
// priority + order, then names byte by byte (a prefix first). True when a
// sorts before b.
bool ChildBefore(const TVorqObject* a, const TVorqObject* b);

// The event masks of the mouse step over the values of PR_IGNOREMOUSE.
constexpr uint32_t kMaskLeftPress = 17;   // values 0 and 4
constexpr uint32_t kMaskRightPress = 9;   // values 0 and 3
constexpr uint32_t kMaskPointer = 29;     // values 0, 2, 3 and 4
