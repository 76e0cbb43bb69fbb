// Property access by id: the bridge between scenario values and the
// per-property accessors of display objects. Scripts address properties by
// number 0..160 only; these two routines turn a number into a call of the
// object's own getter or setter and convert between the value kinds.
#pragma once
#include <cstdint>

class TCustomParam;
class TParamCollectionItem;
class TVorqObject;

// Writes property id of obj into dest through dest's typed setter (the
// destination keeps its own type and converts). An id outside 0..160
// raises "GetPropエラー".
void GetPropertyValue(TParamCollectionItem& dest, TVorqObject& obj, int32_t id);
void GetPropertyValue(TCustomParam& dest, TVorqObject& obj, int32_t id);

// Sets property id of obj from value, read as the property's type. An id
// outside 0..160, APPEARX and APPEARY raise "SetPropエラー"; CARETX,
// CARETY, PLAYING and COMPOTYPE are read-only and ignore the write.
void SetPropertyValue(TVorqObject& obj, int32_t id, const TCustomParam& value);
