#include "engine/commands_objects.h"

#include "engine/call_man.h"
#include "script/game_clock.h"
#include "engine/page.h"
#include "script/param.h"
#include "script/param_collection.h"
#include "files/save_stream.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"

#include <memory>
#include <sstream>

namespace {

// The applier's order: the name, parent and source first, then the size
// before the position (a picture sizes itself before it is placed), the
// priority once the object is placed, the rest in ascending id.
constexpr std::array<uint8_t, kPropertyCount> make_apply_order() {
    std::array<uint8_t, kPropertyCount> order{};
    size_t n = 0;
    const int head[] = {0, 1, 2, 7, 132, 100, 5, 6, 3, 4, 8, 157, 9, 10, 11, 12, 13, 14, 159, 160};
    for (int id : head) order[n++] = static_cast<uint8_t>(id);
    for (int id = 15; id <= 24; ++id) order[n++] = static_cast<uint8_t>(id);
    for (int id : {153, 154, 155, 156}) order[n++] = static_cast<uint8_t>(id);
    for (int id = 25; id <= 99; ++id) order[n++] = static_cast<uint8_t>(id);
    for (int id = 101; id <= 131; ++id) order[n++] = static_cast<uint8_t>(id);
    for (int id = 133; id <= 152; ++id) order[n++] = static_cast<uint8_t>(id);
    order[n++] = 158;
    return order;
}

// Every id exactly once.
constexpr bool is_permutation(const std::array<uint8_t, kPropertyCount>& order) {
    bool seen[kPropertyCount] = {};
    for (uint8_t id : order) {
        if (id >= kPropertyCount || seen[id]) return false;
        seen[id] = true;
    }
    return true;
}
static_assert(is_permutation(make_apply_order()));

// Ids a creation command never applies: read-only or derived values, and
// the appearance point and offsets that their kinds take in other ways.
bool never_applied(int id) {
    switch (id) {
    case PR_CARETX: case PR_CARETY: case PR_APPEARX: case PR_APPEARY: case PR_PLAYING: case PR_COMPOTYPE:
    case PR_PLUSX: case PR_PLUSY: return true;
    default: return false;
    }
}

// What a property expression without a result stands for, in the
// property's own type.
std::unique_ptr<TCustomParam> make_default(int id) {
    // ONPLAYING is declared a flag, but it holds a handler label like every
    // other event property: no label, not the text of false.
    const TValueType type = id == PR_ONPLAYING ? PT_STR : PropertyInfos[id].Type;
    switch (type) {
    case PT_BOOL: {
        auto p = std::make_unique<TParamFlag>();
        p->SetAsBool(id == PR_VISIBLE || id == PR_OVERLAY);
        return p;
    }
    case PT_STR: {
        auto p = std::make_unique<TParamStr>();
        p->SetAsString("");
        return p;
    }
    case PT_FLOAT: {
        auto p = std::make_unique<TParamFloat>();
        p->SetAsFloat(0);
        return p;
    }
    default: break;
    }
    int32_t v = 0;
    switch (id) {
    case PR_ZOOMX: case PR_ZOOMY: case PR_TEXTDELAY: v = 256; break;
    case PR_COLOR: case PR_BORDERCOLOR: case PR_HOVERCOLOR: v = -1; break;
    case PR_ALPHA: v = 255; break;
    case PR_FONTHEIGHT: v = 16; break;
    case PR_VOLUME: v = 1000; break;
    case PR_COLCOUNT: case PR_ROWCOUNT: case PR_AMP: case PR_SMALLCHANGE: case PR_LARGECHANGE:
    case PR_GLYPHWIDTH: case PR_GLYPHHEIGHT: v = 1; break;
    case PR_WAVELEN: v = 100; break;
    default: break;
    }
    auto p = std::make_unique<TParamInt>();
    p->SetAsInt(v);
    return p;
}

const TCustomParam& default_value(int id) {
    static const auto table = [] {
        std::array<std::unique_ptr<TCustomParam>, kPropertyCount> t;
        for (int i = 0; i < kPropertyCount; ++i) t[static_cast<size_t>(i)] = make_default(i);
        return t;
    }();
    return *table[static_cast<size_t>(id)];
}

TVorqBaseList* registry() { return VorqBaseList; }

[[noreturn]] void raise_bad_property() { throw Exception(Sjis("プロパティ指定が不正です")); }

// The object named by the text of an expression; none for an empty text.
TVorqObject* named_object(TVorqParser* e) {
    const std::string name = ExprText(e);
    if (name.empty() || !registry()) return nullptr;
    return registry()->FindObject(name);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

}  // namespace

const std::array<uint8_t, kPropertyCount> kApplyOrder = make_apply_order();

int32_t ComponentTypeOfOpcode(uint8_t opcode) {
    switch (opcode & 127) {
    case opBoxNew: return LT_BOX;
    case opImgNew: return LT_IMAGES;
    case opMesNew: return LT_MES;
    case opTimer: return LT_TIMER;
    case opMovie: return LT_VIDEO;
    case opCinema: return LT_CINEMA;
    case opCaption: return LT_LABEL;
    case opMenu: return LT_MENU;
    case opBtnNew: return LT_BUTTON;
    case opParticleNew: return LT_PARTICLE;
    case opFireNew: return LT_FIRE;
    case opSound: return LT_SOUND;
    case opEditNew: return LT_EDIT;
    case opMemoNew: return LT_MEMO;
    case opMapImgNew: return LT_MAPIMG;
    case opWaveNew: return LT_WAVE;
    case opTileNew: return LT_TILE;
    case opSliderNew: return LT_SLIDER;
    case opScrollbarNew: return LT_SCROLLBAR;
    case opGaugeNew: return LT_GAUGE;
    case opCGCaption: return LT_CGLABEL;
    case opPrevMenuNew: return LT_PREVMENU;
    default: return LT_NONE;
    }
}

// ---- creation commands -----------------------------------------------------------------

TComComponent::TComComponent(TPage* page, uint8_t opcode) : TCommand(page), opcode_(opcode) {}

void TComComponent::ReadFields(FieldReader& r) {
    for (int id = 0; id < kPropertyCount; ++id)
        if (Page->MaskBit(opcode_, id)) Props[static_cast<size_t>(id)] = ReadExprField(r, "property");
}

void TComComponent::ApplyProperties(TVorqObject& obj) {
    for (const uint8_t id : kApplyOrder) {
        TVorqParser* e = Props[id].get();
        if (!e || never_applied(id)) continue;
        const TCustomParam* v = EvalExpr(e);
        if (!v) v = &default_value(id);
        if (id == PR_PARENT) {
            // A name that finds no control puts the object on the shown
            // layer, never on the hidden one.
            const std::string name = v->GetAsString();
            if (name.empty() || obj.IsLayer() || !obj.Registry()) continue;
            TVorqControl* parent = obj.Registry()->FindControl(name);
            obj.SetParent(parent ? parent : obj.Registry()->ActiveBase());
            continue;
        }
        SetPropertyValue(obj, id, *v);
    }
}

void TComComponent::Execute(TCallMan&, TPage*&, int32_t& pc) {
    const int32_t type = ComponentTypeOfOpcode(opcode_);
    if (!registry() || type == LT_NONE || ObjectKindStatus(type) != TKindStatus::Built) raise_not_available(pc);
    ++pc;
    TVorqObject* obj = CreateObjectByType(registry(), type);
    if (!obj) return;
    // An emitter evaluates these anew for every birth, an image its DELAY
    // on every arrival at its last frame, so they keep copies.
    if (type == LT_PARTICLE)
        AssignParticleExpressions(*obj, Property(PR_APPEARX), Property(PR_APPEARY), Property(PR_DELAY));
    if (type == LT_IMAGES) AssignImageDelayExpression(*obj, Property(PR_DELAY));
    ApplyProperties(*obj);
    switch (opcode_ & 127) {
    case opMovie:
    case opSound: obj->SetPlayState(obj->GetDelay() != 0 ? PS_FADEIN : PS_PLAY); break;
    case opMenu: obj->SetPlayState(PS_FADEIN); break;  // opening
    default: break;
    }
}

// ---- single properties -----------------------------------------------------------------

void TComGetProp::ReadFields(FieldReader& r) {
    ObjectName = ReadExprField(r, "object name");
    PropertyId = ReadExprField(r, "property id");
    VarName = r.String("variable name");
}

void TComGetProp::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    TVorqObject* obj = named_object(ObjectName.get());
    TCustomParam* id = EvalExpr(PropertyId.get());
    if (!id) raise_bad_property();
    if (VarName.empty() || !obj || !Params) return;
    if (TParamCollectionItem* var = Params->Find(VarName)) GetPropertyValue(*var, *obj, id->GetAsInt());
}

void TComSetProp::ReadFields(FieldReader& r) {
    ObjectName = ReadExprField(r, "object name");
    PropertyId = ReadExprField(r, "property id");
    Value = ReadExprField(r, "value");
}

void TComSetProp::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    TVorqObject* obj = named_object(ObjectName.get());
    TCustomParam* id = EvalExpr(PropertyId.get());
    if (!id) raise_bad_property();
    const int32_t pid = id->GetAsInt();
    TCustomParam* v = EvalExpr(Value.get());
    if (!obj || !v) return;
    SetPropertyValue(*obj, pid, *v);
}

void TComMenuClose::ReadFields(FieldReader& r) { MenuName = ReadExprField(r, "menu name"); }

void TComMenuClose::Execute(TCallMan& cm, TPage*&, int32_t& pc) {
    if (TVorqObject* menu = named_object(MenuName.get())) {
        menu->SetPlayState(PS_FADEOUT);  // closing
        ++pc;
        return;
    }
    // The command waits for its menu; the frame ends here so that a
    // continue flag cannot repeat it within the frame.
    cm.ContinueFlag = 0;
}

// ---- the screen switch -----------------------------------------------------------------

void TComFlip::ReadFields(FieldReader& r) {
    TransNo = ReadExprField(r, "transition number");
    Duration = ReadExprField(r, "duration");
    TransFlag = ReadExprField(r, "transition flag");
    CarryMode = ReadExprField(r, "carry mode");
    NameList = ReadExprListField(r, "names");
    ClearOld = ReadExprField(r, "clear old");
    Param1 = ReadExprField(r, "parameter 1");
    Param2 = ReadExprField(r, "parameter 2");
    if (page_version() >= 101) TransName = ReadExprField(r, "transition name");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

void TComFlip::Prepare(TCallMan&) {
    FlipState = 0;
    snapshot_ = 0;
    int32_t kind = ExprInt(TransNo.get(), 0);
    if (kind < 0 || kind > 38) kind = 0;
    TCustomParam* d = EvalExpr(Duration.get());
    Waits = d && d->GetAsInt() > 0;
    const int32_t duration = Waits ? d->GetAsInt() : 1;
    FlipBlocksEvents = ExprBool(EventBlock.get(), false);
    ClearOldFlag = ExprBool(ClearOld.get(), false);
    const bool flag = ExprBool(TransFlag.get(), false);
    TCustomParam* carry = EvalExpr(CarryMode.get());
    const bool has_carry = carry != nullptr;
    const int32_t mode = has_carry ? carry->GetAsInt() : 0;
    std::vector<std::string> names;
    for (const TExprPtr& e : NameList)
        for (std::string& line : lines_of(ExprText(e.get()))) names.push_back(std::move(line));
    TVorqBaseList* reg = registry();
    if (!reg) {
        FlipState = 3;
        return;
    }
    if (has_carry) {
        TVorqBase* shown = reg->ActiveBase();
        if (!Waits) {
            FlipState = 3;
        } else {
            // The picture as shown stays on the layer being left while the
            // carried controls go: a still copy of it on top.
            reg->Draw();
            snapshot_ = (new TVorqSnapshot(reg, *shown))->Serial();
        }
        const std::vector<TVorqControl*> children = shown->Children();
        const auto listed = [&](const std::string& n) {
            for (const std::string& l : names)
                if (l == n) return true;
            return false;
        };
        for (size_t i = children.size(); i-- > 0;) {
            TVorqControl* c = children[i];
            if (c->Serial() == snapshot_) continue;
            const bool carried = mode == 0 ? !listed(c->GetName()) : mode == 1 ? listed(c->GetName()) : false;
            if (carried) c->SetParent(reg->InactiveBase());
        }
    }
    if (FlipState == 3) return;
    if (TCustomWipe* w = reg->SetActiveBase(reg->ActiveIndex, kind, flag ? 1 : 0, false, 0, duration)) {
        if (TCustomParam* p = EvalExpr(Param1.get())) w->SetParam(0, p->GetAsInt());
        if (TCustomParam* p = EvalExpr(Param2.get())) w->SetParam(1, p->GetAsInt());
        if (TCustomParam* n = EvalExpr(TransName.get())) w->SetName(n->GetAsString());
        w->Prepare();
    }
}

void TComFlip::Execute(TCallMan& cm, TPage*&, int32_t& pc) {
    switch (FlipState) {
    case 0:
        FlipState = 1;
        cm.ContinueFlag = 0;
        return;
    case 1:
        FlipStart = GameClock;
        FlipState = 2;
        cm.ContinueFlag = 0;
        return;
    case 2: {
        TVorqBaseList* reg = registry();
        // Compared wide: a transition time of 0 or less ends the switch at
        // once instead of reading as a wait of 2^32 ms.
        const int64_t elapsed = static_cast<int64_t>(GameClock - FlipStart);
        if (reg && elapsed < static_cast<int64_t>(reg->GetTransitionTime())) {
            reg->SetTransitionPos(static_cast<int32_t>(elapsed));
            cm.ContinueFlag = 0;
            return;
        }
        break;
    }
    default: break;
    }
    finish(true);
    ++pc;
}

void TComFlip::finish(bool keep_cabinets) {
    TVorqBaseList* reg = registry();
    if (!reg) return;
    // Forced with no kind: the running transition ends and both layers are
    // drawn whole on the next pass.
    reg->SetActiveBase(reg->ActiveIndex ^ 1, 0, 0, true, 0, 0);
    if (snapshot_) {
        if (TVorqObject* s = reg->FindBySerial(snapshot_)) s->Scrap();
        snapshot_ = 0;
    }
    if (ClearOldFlag) {
        const std::vector<TVorqControl*> children = reg->InactiveBase()->Children();
        for (TVorqControl* c : children)
            if (!keep_cabinets || c->GetCompoType() != LT_CABINET) c->Scrap();
    }
}

// A switch cut short clears the layer it leaves whole, cabinets included.
void TComFlip::Cancel() { finish(false); }

namespace {
// The state's number from which it keeps whether the switch waits.
constexpr int32_t kFlipWaitsState = 101;
}  // namespace

void TComFlip::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m, kFlipWaitsState);
    WriteStreamByte(m, FlipBlocksEvents);
    WriteStreamByte(m, ClearOldFlag);
    WriteStreamByte(m, Waits ? 1 : 0);
}

void TComFlip::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    if (v >= 100) {
        FieldReader r(s, CommandStateMessage());
        FlipBlocksEvents = r.U8("blocks events");
        ClearOldFlag = r.U8("clear old");
        if (v >= kFlipWaitsState) {
            Waits = r.U8("waits") != 0;
            return;
        }
    }
    // Older states do not keep it: the duration decides, as it did when
    // the switch was prepared.
    TCustomParam* d = EvalExpr(Duration.get());
    Waits = d && d->GetAsInt() > 0;
}
