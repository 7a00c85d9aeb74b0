#pragma once
// The condition language: protocol[offset:length] & mask == value. A text parses
// into error bits or an evaluable ConditionExpression plus its normalised form;
// the evaluator tests one expression against one frame's layer index.
#include <cstdint>
#include <string>
#include <vector>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zelpan {

// Error bits of a parse.
enum ConditionError : uint32_t {
    CE_TOO_LONG = 0x1,
    CE_OPEN_BRACKET = 0x2,
    CE_COLON = 0x4,
    CE_CLOSE_BRACKET = 0x8,
    CE_BIT_OPERATOR_POSITION = 0x10,
    CE_RELATION_FORM = 0x20,
    CE_RELATION_POSITION = 0x40,
    CE_PROTOCOL_NAME = 0x80,
    CE_OFFSET_VALUE = 0x100,
    CE_SIZE_VALUE = 0x200,
    CE_BIT_VALUE = 0x400,
    CE_RELATION_VALUE = 0x800,
    CE_VALUE_POSITION = 0x1000,
    CE_BIT_VALUE_SIZE = 0x2000,
    CE_EQUALITY_VALUE_SIZE = 0x4000,
    CE_MAGNITUDE_VALUE_SIZE = 0x8000,
    CE_MAGNITUDE_LENGTH = 0x10000,
};

constexpr int CONDITION_TEXT_SIZE = 256;  // a condition holds at most 255 bytes
constexpr int FIELD_SIZE = 256;           // longest field an expression compares

// Value modes of the relational value.
constexpr int VALUE_NUMBER = 0;
constexpr int VALUE_STRING = 1;

// The parser's working and result record; reused across parses.
struct ConditionParse {
    uint32_t error_flags = 0;
    int32_t protocol_id = 0;
    int32_t field_length = 0;
    char normalised[256] = {};
    char protocol_name[32] = {};
    char offset_text[128] = {};
    char length_text[128] = {};
    char bit_operator[8] = {};
    char bit_value[256] = {};
    char relational_operator[8] = {};
    char value[256] = {};
    // Working state of the walk.
    uint32_t state = 0;
    int32_t bit_value_bytes = -1;
    int32_t value_bytes = -1;
};

// The evaluable form of one condition.
struct ConditionExpression {
    int32_t negate = 0;
    int32_t bit_operation = 0;  // 0 none, 1 AND, 2 OR
    char relational_operator[8] = {};
    int32_t protocol_id = 0;
    int32_t length = 0;  // 0: presence only
    int32_t offset = 0;
    int32_t match_offset = -1;
    uint8_t field_bytes[FIELD_SIZE] = {};
    uint8_t value_bytes[FIELD_SIZE] = {};
    uint8_t mask_bytes[FIELD_SIZE] = {};
};

// Parses text (NUL-terminated) in value mode 0 (number) or 1 (string). On success
// (error_flags 0) the expression is filled and parse.normalised holds the
// normalised text; on failure the expression is not to be used.
ConditionParse& ParseCondition(ConditionParse& parse, const char* text, int value_mode,
                               ConditionExpression& expression);

// Evaluation results besides 1 (true) and 0 (false).
constexpr int EVAL_RECORD_OUTSIDE = -1000;
constexpr int EVAL_NO_LAYER = -2;
constexpr int EVAL_OFFSET = -1001;
constexpr int EVAL_LENGTH = -1002;
constexpr int EVAL_NO_OPERATOR = -1003;
constexpr int EVAL_UNKNOWN_OPERATOR = -1004;
constexpr int EVAL_MAGNITUDE_LENGTH = -1005;

// Tests one frame. Writes the expression's match_offset and field_bytes.
int EvaluateCondition(const FrameStore& store, const FrameLayerIndex& index, ConditionExpression& expression);

// The message of one error bit, or "" (the flags masked with bit must equal a row's bit).
const char* ConditionErrorText(uint32_t flags, uint32_t bit);
// Set bits among the lowest 20.
int CountErrorBits(uint32_t flags);
// "Error : <message>" for every set bit with a message, lowest bit first.
std::vector<std::string> ConditionErrorLines(uint32_t flags);
// The same lines, each followed by "  \n" (the search dialog's message box).
std::string ConditionErrorMessage(uint32_t flags);

}  // namespace zelpan
