// Keyword operations and constructors whose library is built separately.
#include "eval/library_hooks.h"

#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "runtime/errors.h"

namespace tolv {

ConstructorHook g_date_constructor = nullptr;
ConstructorHook g_regexp_constructor = nullptr;
PropertyHook g_regexp_property = nullptr;
KeywordHook g_keyword_hooks[130] = {};

namespace {

const char* keyword_name(uint8_t code) {
    switch (code) {
    case OP_OPEN_DB: return "openDb";
    case OP_SEND_TO_FRONT: return "sendToFront";
    case OP_CLOSE_DB: return "closeDb";
    case OP_REGEXP_LITERAL:
    case OP_REGEXP: return "RegExp";
    case OP_DATE: return "Date";
    case OP_ALERT_TO_FRONT: return "alertToFront";
    default: return code >= OP_RECORD_MAP && code <= OP_MONGO_DROP_COLLECTION ? "mongo" : "?";
    }
}

}  // namespace

void not_built(const char* what) { eval_fail(2165, "未実装の命令 '%s'", what); }

ValueHandle construct_date(const ValueHandle* args, uint32_t count) {
    if (!g_date_constructor) not_built("Date");
    return g_date_constructor(args, count);
}

ValueHandle construct_regexp(const ValueHandle* args, uint32_t count) {
    if (!g_regexp_constructor) not_built("RegExp");
    return g_regexp_constructor(args, count);
}

ValueHandle op_not_built(ValueHandle cell) {
    uint8_t code = opcode_of(cell);
    KeywordHook hook = g_keyword_hooks[code - OP_FIRST];
    if (!hook) not_built(keyword_name(code));
    return hook(cell);
}

}  // namespace tolv
