#include "objects/property_access.h"

#include "script/param.h"
#include "script/param_collection.h"
#include "objects/base_list.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

namespace {
// Destination writes and value reads by kind; bytes widen without sign.
#define VORQ_PUT_INT(d, v) d.SetAsInt(v)
#define VORQ_PUT_BYTE(d, v) d.SetAsInt(static_cast<int32_t>(static_cast<uint8_t>(v)))
#define VORQ_PUT_BOOL(d, v) d.SetAsBool(v)
#define VORQ_PUT_STR(d, v) d.SetAsString(v)
#define VORQ_PUT_STYLE(d, v) d.SetAsInt(FontStylesToInt(v))
#define VORQ_TAKE_INT(p) (p).GetAsInt()
#define VORQ_TAKE_BYTE(p) static_cast<uint8_t>((p).GetAsInt())
#define VORQ_TAKE_BOOL(p) (p).GetAsBool()
#define VORQ_TAKE_STR(p) (p).GetAsString()
#define VORQ_TAKE_STYLE(p) IntToFontStyles((p).GetAsInt())

template <class Dest>
void get_property(Dest& d, TVorqObject& obj, int32_t id) {
    if (id < 0 || id >= PROPERTY_COUNT) throw Exception(Sjis("GetPropエラー"));
    switch (id) {
#define VORQ_GET_CASE(pid, Name, Kind, Default) \
    case pid: VORQ_PUT_##Kind(d, obj.Get##Name()); return;
        VORQ_PLAIN_PROPERTIES(VORQ_GET_CASE)
#undef VORQ_GET_CASE
        case PR_NAME: d.SetAsString(obj.GetName()); return;
        case PR_PARENT: {
            TVorqControl* p = obj.GetParent();
            d.SetAsString(p ? p->GetName() : std::string());
            return;
        }
        case PR_PRIORITY: d.SetAsInt(obj.GetPriority()); return;
        case PR_TAG: d.SetAsString(obj.Tag); return;
        case PR_COMPOTYPE: d.SetAsInt(obj.GetCompoType()); return;
        case PR_PLAYING: d.SetAsBool(obj.GetPlaying()); return;
        case PR_CARETX: d.SetAsInt(obj.GetCaret().X); return;
        case PR_CARETY: d.SetAsInt(obj.GetCaret().Y); return;
        case PR_APPEARX:
        case PR_APPEARY: d.SetAsInt(0); return;
        case PR_PARAM1:
        case PR_PARAM2: d.SetAsFloat(obj.GetParam(id - PR_PARAM1)); return;
        case PR_PARAM3: d.SetAsFloat(obj.GetParam(2)); return;
        case PR_BORDERHALIGNT:
        case PR_BORDERHALIGNC:
        case PR_BORDERHALIGNB: d.SetAsInt(obj.GetBorderHAlign((id - PR_BORDERHALIGNT) * 3 + 1)); return;
        case PR_BORDERVALIGNL:
        case PR_BORDERVALIGNC:
        case PR_BORDERVALIGNR: d.SetAsInt(obj.GetBorderVAlign(id - PR_BORDERHALIGNT)); return;
        case PR_BORDERSOURCETL:
        case PR_BORDERSOURCETC:
        case PR_BORDERSOURCETR:
        case PR_BORDERSOURCECL:
        case PR_BORDERSOURCECC:
        case PR_BORDERSOURCECR:
        case PR_BORDERSOURCEBL:
        case PR_BORDERSOURCEBC:
        case PR_BORDERSOURCEBR:
            d.SetAsString(obj.GetBorderSource(id - PR_BORDERSOURCETL));
            return;
    }
}
}  // namespace

void GetPropertyValue(TParamCollectionItem& dest, TVorqObject& obj, int32_t id) { get_property(dest, obj, id); }
void GetPropertyValue(TCustomParam& dest, TVorqObject& obj, int32_t id) { get_property(dest, obj, id); }

void SetPropertyValue(TVorqObject& obj, int32_t id, const TCustomParam& v) {
    // The id is checked whole: narrowing it first would turn 256 into 0
    // (NAME) and rename the object.
    if (id < 0 || id >= PROPERTY_COUNT) throw Exception(Sjis("SetPropエラー"));
    // A text written by property no longer comes from a scenario text command.
    if (id == PR_TEXT) obj.ClearTextOrigin();
    switch (id) {
#define VORQ_SET_CASE(pid, Name, Kind, Default) \
    case pid: obj.Set##Name(VORQ_TAKE_##Kind(v)); return;
        VORQ_PLAIN_PROPERTIES(VORQ_SET_CASE)
#undef VORQ_SET_CASE
        case PR_NAME: obj.SetName(v.GetAsString()); return;
        case PR_PARENT: {
            if (obj.IsLayer() || !obj.Registry()) return;
            if (TVorqControl* p = obj.Registry()->FindControl(v.GetAsString())) obj.SetParent(p);
            return;
        }
        case PR_PRIORITY: obj.SetPriority(v.GetAsInt()); return;
        case PR_TAG: obj.Tag = v.GetAsString(); return;
        case PR_COMPOTYPE:
        case PR_PLAYING:
        case PR_CARETX:
        case PR_CARETY: return;
        case PR_APPEARX:
        case PR_APPEARY: throw Exception(Sjis("SetPropエラー"));
        case PR_PARAM1:
        case PR_PARAM2: obj.SetParam(id - PR_PARAM1, v.GetAsFloat()); return;
        case PR_PARAM3: obj.SetParam(2, v.GetAsFloat()); return;
        case PR_BORDERHALIGNT:
        case PR_BORDERHALIGNC:
        case PR_BORDERHALIGNB:
            obj.SetBorderHAlign((id - PR_BORDERHALIGNT) * 3 + 1, static_cast<uint8_t>(v.GetAsInt()));
            return;
        case PR_BORDERVALIGNL:
        case PR_BORDERVALIGNC:
        case PR_BORDERVALIGNR: obj.SetBorderVAlign(id - PR_BORDERHALIGNT, static_cast<uint8_t>(v.GetAsInt())); return;
        case PR_BORDERSOURCETL:
        case PR_BORDERSOURCETC:
        case PR_BORDERSOURCETR:
        case PR_BORDERSOURCECL:
        case PR_BORDERSOURCECC:
        case PR_BORDERSOURCECR:
        case PR_BORDERSOURCEBL:
        case PR_BORDERSOURCEBC:
        case PR_BORDERSOURCEBR: obj.SetBorderSource(id - PR_BORDERSOURCETL, v.GetAsString()); return;
    }
}
