// The 49 "@" variables through which scripts read and change engine state.
// Each is a table entry holding a TParamSystem that stores only its index;
// every access goes to the engine at that moment. The variable table owns
// a few of the settings (text delay, cursor, selection, the @Temp alias);
// the rest is asked of a host that the player shell and the display objects
// provide (SetSystemVarHost); until then the host answers defaults.
#pragma once
#include "script/param.h"

#include <cstdint>
#include <string>

constexpr int kSystemVarCount = 49;

enum TSystemVar : uint8_t {
    svResult, svLClick, svRClick, svLPush, svRPush, svMouseX, svMouseY, svTextDelay, svHistoryCount,
    svParamCount, svParamStr, svSender, svScrWidth, svScrHeight, svTickCount, svPCTickCount,
    svUpdateCount, svYear, svMonth, svDay, svWeek, svHour, svMin, svSec, svFonts, svFixedFonts,
    svFullScr, svCursor, svSelStr, svSelIndex, svPi, svCGDither, sv1Hour, sv1Min, sv1Sec, svKeyPush,
    svKeyClick, svDisplayModeCount, svDisplayModeIndex, svTitle, svSoundON, svActiveCompo,
    svKeyRepeat, svHistoryMaxCount, svTemp, svMidiPort, svMidiPorts, svWheelDown, svWheelUp
};

// "@Result" .. "@WheelUp"; raises "内部エラー" outside 0..48.
const char* SystemVarName(int index);
// The variable's own type code (0 for @Result and @Temp, which take their
// target's).
uint8_t SystemVarType(int index);

// Engine state behind the system variables. Each method is called only
// for the variables it concerns (by index); the defaults are what the
// variables give before the engine parts exist.
class TSystemVarHost {
public:
    virtual ~TSystemVarHost() = default;
    // @Result: the innermost call frame's result value, or none.
    virtual TCustomParam* TopFrameResult() { return nullptr; }
    // Scalars of the variables of their type (integer, flag, text). Writes
    // come only for variables that take writes. Default: @PCTickCount is
    // the millisecond clock, everything else 0, false or empty.
    virtual int32_t ReadInt(int index);
    virtual void WriteInt(int, int32_t) {}
    virtual bool ReadBool(int) { return false; }
    virtual void WriteBool(int, bool) {}
    virtual std::string ReadStr(int) { return {}; }
    virtual void WriteStr(int, const std::string&) {}
    // Element counts of @ParamStr (arguments) and @MidiPorts (devices).
    virtual int32_t ArrayCount(int) { return 0; }
    // Element i of @ParamStr / @MidiPorts (i within the count), and of
    // @KeyPush / @KeyClick / @KeyRepeat (0 <= i < 258).
    virtual std::string ReadStrAt(int, int32_t) { return {}; }
    virtual bool ReadBoolAt(int, int32_t) { return false; }
    // GameClock of the frame loop; the date variables re-read the system
    // clock only when it changes. Default: the millisecond clock.
    virtual uint32_t GameClock();
};

// The local date and time as a day count, read from the system only when
// the host's GameClock moved since the last call: within one frame every
// caller gets the same instant.
double GetCachedNow();

// The host in use (a default one until the engine installs its own; none
// restores the default).
void SetSystemVarHost(TSystemVarHost* host);
TSystemVarHost& SystemVarHost();

class TParamSystem : public TCustomParam {
public:
    explicit TParamSystem(uint8_t index);
    uint8_t Index() const { return index_; }

    int32_t Count() const override;
    void SetCount(int32_t n) override;
    uint8_t ParamType() const override;
    bool GetAsBool() const override;
    long double GetAsFloat() const override;
    int32_t GetAsInt() const override;
    std::string GetAsString() const override;
    void SetAsBool(bool v) override;
    void SetAsFloat(long double v) override;
    void SetAsInt(int32_t v) override;
    void SetAsString(std::string_view v) override;
    int32_t GetIntAt(int32_t i) const override;
    void SetIntAt(int32_t i, int32_t v) override;
    long double GetFloatAt(int32_t i) const override;
    void SetFloatAt(int32_t i, long double v) override;
    bool GetBoolAt(int32_t i) const override;
    void SetBoolAt(int32_t i, bool v) override;
    std::string GetStrAt(int32_t i) const override;
    void SetStrAt(int32_t i, std::string_view v) override;
    int32_t DimCount() const override;
    int32_t DimSize(int32_t k) const override;
    void Assign(const TCustomParam& source) override;
    void SetDims(std::span<const int32_t> sizes) override;
    void FillInt(int32_t v) override;
    void FillFloat(long double v) override;
    void FillBool(bool v) override;
    void FillStr(std::string_view v) override;
    void CopyMem(const TCustomParam& source) override;
    void MakeScalar() override;
    int32_t IndexOf(std::string_view text, bool case_sensitive, bool partial) const override;

private:
    // The value that @Result / @Temp stand for, none otherwise or when absent.
    TCustomParam* alias() const;
    bool is_alias() const { return index_ == svResult || index_ == svTemp; }
    bool is_array() const;
    uint8_t index_;
};
