// Entry points into library parts that are built separately: the Date and
// RegExp constructors, RegExp properties and the keyword operations. Each is a
// plain function pointer that the library sets at start-up; while one is
// unset, using it raises 2165 naming the operation.
#pragma once

#include <cstdint>

#include "runtime/opcodes.h"
#include "runtime/value.h"

namespace tolv {

using ConstructorHook = ValueHandle (*)(const ValueHandle* args, uint32_t count);
using PropertyHook = ValueHandle (*)(ValueHandle receiver, uint32_t name);
// A keyword operation: gets its cell and evaluates its own operands.
using KeywordHook = ValueHandle (*)(ValueHandle cell);

extern ConstructorHook g_date_constructor;
extern ConstructorHook g_regexp_constructor;
// RegExp value properties (flags, source, lastIndex, ...).
extern PropertyHook g_regexp_property;
// Indexed by opcode - 100; consulted by the table entries of keyword
// operations whose library is built separately (URI, parseInt, parseFloat,
// sendToFront, alertToFront, RegExp, Date, database keywords). The URI,
// parseInt and parseFloat hooks are always set by the library's installer.
extern KeywordHook g_keyword_hooks[OP_TABLE_SIZE];

ValueHandle construct_date(const ValueHandle* args, uint32_t count);
ValueHandle construct_regexp(const ValueHandle* args, uint32_t count);

[[noreturn]] void not_built(const char* what);

}  // namespace tolv
