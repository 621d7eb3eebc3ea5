// Keyword operations and constructors whose library is built separately.
#include "eval/library_hooks.h"

#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "runtime/errors.h"
#include "runtime/opcodes.h"

namespace tolv {

ConstructorHook g_date_constructor = nullptr;
ConstructorHook g_regexp_constructor = nullptr;
PropertyHook g_regexp_property = nullptr;
KeywordHook g_keyword_hooks[OP_TABLE_SIZE] = {};

namespace {

// The name in the 2165 error of a keyword operation whose hook is unset.
const char* keyword_name(uint8_t code) {
    switch (code) {
#define OPCODE(code, id, name, handler, debugger, operands, missing) \
    case code:                                                      \
        return missing;
#include "runtime/opcodes.def"
#undef OPCODE
    default:
        return "?";
    }
}

}  // namespace

void not_built(const char* what) { raise(Error::NOT_IMPLEMENTED, what); }

ValueHandle construct_date(const ValueHandle* args, uint32_t count) {
    if (!g_date_constructor) not_built("Date");
    return g_date_constructor(args, count);
}

ValueHandle construct_regexp(const ValueHandle* args, uint32_t count) {
    if (!g_regexp_constructor) not_built("RegExp");
    return g_regexp_constructor(args, count);
}

ValueHandle op_keyword_hook(ValueHandle cell) {
    uint8_t code = opcode_of(cell);
    KeywordHook hook = g_keyword_hooks[code - OP_FIRST];
    if (!hook) not_built(keyword_name(code));
    return hook(cell);
}

}  // namespace tolv
