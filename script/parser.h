// Expressions: the compiler from source text to a flat list of three-address
// operations (TBuildVorqParser), their stored form, and the compiled
// expression that scenarios own and evaluate (TVorqParser).
#pragma once
#include "script/param.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class TParamCollection;
class TParamCollectionItem;

enum TOpCode : uint8_t {
    ocNone, ocTo, ocPlus, ocMinus, ocMul, ocDiv, ocMod, ocOr, ocAnd, ocXor, ocDimTo, ocFunc,
    ocEqual, ocBig, ocSmall, ocEBig, ocESmall, ocShiftL, ocShiftR, ocComboStr, ocNEqual
};
constexpr uint8_t kOpCodeCount = 21;
// "ocNone" .. "ocNEqual"; "" outside the table.
const char* OpCodeName(uint8_t op);

// ---- compiler -------------------------------------------------------------

struct TBuildOpeData {
    uint8_t op = ocNone;
    std::string dest;
    // Source text of each operand; for ocFunc the first is the function name.
    std::vector<std::string> operands;
};

class TBuildVorqParser {
public:
    // Compiles text (an expression or an assignment) and appends its
    // operations. Raises "構文エラー" and "配列の添え字が不正です".
    void Parse(std::string_view text);
    // The stored form of the operations (see TVorqParser). Raises the
    // unknown-function and argument-count errors.
    void SaveToStream(TStream& s) const;
    void Clear() { ops_.clear(); }
    TBuildOpeData* Add();
    TBuildOpeData* Get(int32_t i) const { return ops_[static_cast<size_t>(i)].get(); }
    int32_t Count() const { return static_cast<int32_t>(ops_.size()); }

private:
    void compile_text(std::string text);
    void compile_assignment(const std::string& dest, const std::string& source);
    std::string compile_operand(std::string text);
    std::string new_temp();
    std::string new_ref_temp();
    void eliminate_copies();
    void append(uint8_t op, std::string dest, std::vector<std::string> operands);

    std::vector<std::unique_ptr<TBuildOpeData>> ops_;
    int32_t counter_ = 0;
};

// Outer parentheses removed while they enclose the whole text.
std::string StripOuterParens(std::string_view text);

// ---- compiled expressions -------------------------------------------------

class TVorqParser;
// Compiles text and loads the stored form into `into` (what Calc and the
// rich-text variables do with expression text). Raises the compiler's errors.
void CompileExpression(TVorqParser& into, std::string_view text);

struct TOpeData {
    uint8_t op = ocNone;
    std::string dest;
    uint8_t func_index = 0;
    std::vector<std::unique_ptr<TCustomParam>> operands;

private:
    friend class TVorqParser;
    // Filled by TVorqParser::prepare: raw operand pointers for the
    // dispatcher, the reference operands with the temporary slot each may
    // name (-1: none), the destination's slot and its look-up cache.
    std::vector<TCustomParam*> args_;
    std::vector<TParamVar*> vars_;
    std::vector<int32_t> var_slot_;
    int32_t dest_slot_ = -1;
    uint8_t temp_type_ = 255;  // type of a new destination temporary when fixed by the operation
    uint64_t dest_gen_ = 0;
    TParamCollectionItem* dest_item_ = nullptr;
    // This operation's temporary is read only by the next one, a copy into
    // a variable: the two may run as one without the temporary.
    bool fuse_next_ = false;
};

class TVorqParser {
public:
    TVorqParser();
    ~TVorqParser();
    TVorqParser(const TVorqParser&) = delete;
    TVorqParser& operator=(const TVorqParser&) = delete;

    void Clear();
    TOpeData* Add();
    TOpeData* Get(int32_t i) const { return ops_[static_cast<size_t>(i)].get(); }
    int32_t Count() const { return static_cast<int32_t>(ops_.size()); }
    // Raises ECorruptData for an unknown operation, a function index or an
    // operand count that does not fit, or a length beyond the data.
    void LoadFromStream(TStream& s);
    void SaveToStream(TStream& s) const;
    void Assign(const TVorqParser& source);

    // Runs the operations against the global variable table; afterwards
    // Result() holds the value of "____arg" or none. Errors inside the run
    // end it silently.
    void Evaluate();
    // Whether the last run ended on an error (which it swallowed).
    bool Failed() const { return failed_; }
    TCustomParam* Result() const { return result_.get(); }
    std::unique_ptr<TCustomParam> TakeResult() { return std::move(result_); }

private:
    struct TempSlot {
        std::string name;
        std::unique_ptr<TParamCollectionItem> item;
        uint8_t kind = 255;  // type code of the value held (0 reference)
        bool live = false;
    };
    void prepare();
    TParamCollectionItem* resolve(TParamVar& var, int32_t slot);
    TParamCollectionItem* destination(TOpeData& ope);
    TParamCollectionItem* make_temp(TOpeData& ope);
    TParamCollectionItem* make_temp_of(TOpeData& ope, uint8_t type);
    TParamCollectionItem* table_destination(TOpeData& ope);
    uint8_t temp_type(const TOpeData& ope);
    void execute(TOpeData& ope);
    bool execute_fused(TOpeData& ope, TOpeData& copy, bool last);
    bool evaluate_int_pair();
    bool int_operand(TCustomParam* p, int32_t& value);
    void link_operands(TOpeData& ope);
    void take_result();
    void release_temps();

    std::vector<std::unique_ptr<TOpeData>> ops_;
    std::unique_ptr<TCustomParam> result_;
    std::unique_ptr<TCustomParam> spare_result_;  // reused storage for the next result
    std::vector<TempSlot> temps_;
    std::vector<int32_t> index_buf_;
    bool prepared_ = false;
    bool running_ = false;
    bool returns_result_ = false;  // the last operation copies into "____arg"
    bool int_pair_ = false;        // the whole expression is one fusable pair (see evaluate_int_pair)
    bool result_taken_ = false;    // this run's result was made by a fused pair
    bool failed_ = false;
    int32_t live_temps_ = 0;       // temporaries made in this run
};
