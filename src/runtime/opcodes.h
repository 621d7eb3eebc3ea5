// Operation codes of parsed-program cells (100-229) and statement keyword
// codes (0-67). The parser writes them, the evaluator dispatches on them, and
// compiled images carry them, so the numbers are fixed. Every fact about one
// operation code is on its row in runtime/opcodes.def.
#pragma once

#include <cstdint>

namespace tolv {

enum OpCode : uint8_t {
#define OPCODE(code, id, name, handler, debugger, operands, missing) OP_##id = code,
#include "runtime/opcodes.def"
#undef OPCODE
    OP_FIRST = 100,
    OP_LAST = 229,
    OP_TABLE_SIZE = 130,
};

// The row's name of an operation code ("if", "call", ...), nullptr for a
// code that is no operation.
constexpr const char* opcode_name(unsigned code) {
    switch (code) {
#define OPCODE(code, id, name, handler, debugger, operands, missing) \
    case code:                                                      \
        return name;
#include "runtime/opcodes.def"
#undef OPCODE
    default:
        return nullptr;
    }
}

enum KeywordCode : int8_t {
    KW_NONE = -1,
    KW_BREAK = 0,
    KW_IF = 1,
    KW_LET = 2,
    KW_RETURN = 3,
    KW_RECORD_MAP = 4,
    KW_RECORD_HASH = 5,
    // 6-13 redis_*, reserved
    KW_VAR = 14,
    KW_WHILE = 15,
    KW_OPEN_DB = 16,
    KW_CLOSE_DB = 17,
    KW_CONST = 18,
    KW_CONTINUE = 19,
    KW_DO = 20,
    KW_DECODE_URI = 21,
    KW_DECODE_URI_COMPONENT = 22,
    KW_EVAL = 23,
    KW_EXECUTE = 24,  // reserved
    KW_ENCODE_URI = 25,
    KW_ENCODE_URI_COMPONENT = 26,
    KW_FOR = 27,
    KW_FUNCTION = 28,
    // 29-33 select*, reserved
    KW_SEND_TO_FRONT = 34,
    KW_SWITCH = 35,
    // 36, 37 selectExists, sql_aggregate, reserved
    KW_THROW = 38,
    KW_TRY = 39,
    KW_PARSE_INT = 40,
    KW_PARSE_FLOAT = 41,
    KW_ALERT_TO_FRONT = 42,
    KW_MONGO_FIRST = 43,  // 43-67: mongo_find ... mongoc_write_command in list order
    KW_MONGO_LAST = 67,
    KEYWORD_COUNT = 68,
};

}  // namespace tolv
