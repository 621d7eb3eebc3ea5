// Short hand for building parsed-program trees in tests, with the layouts
// the parser writes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "runtime/opcodes.h"
#include "runtime/value.h"

namespace tolv::tests {

// An operation cell; each operand takes a reference.
ValueHandle op(uint8_t code, std::initializer_list<ValueHandle> operands, uint32_t line = 1);
// A name handle (interned).
ValueHandle nm(const char* text);
ValueHandle num(int32_t v);
ValueHandle real(double v);
ValueHandle str(const char* text);
// A backquote literal with ${...} placeholders.
ValueHandle tmpl(const char* text);
// A word vector (area) of handles, each referenced; the operand for for/switch/catch parts.
uint32_t words(std::initializer_list<uint32_t> items, bool retain_items = true);
// An argument block: the count, then the handles.
uint32_t args(std::initializer_list<ValueHandle> items);
// A block statement.
ValueHandle block(std::initializer_list<ValueHandle> statements);
// A function value: parameters are names or `=` cells, then local names.
ValueHandle function(std::initializer_list<ValueHandle> params, std::initializer_list<ValueHandle> locals,
                     ValueHandle body);
// Array and hash literals.
ValueHandle array_literal(std::initializer_list<ValueHandle> elements);
ValueHandle hash_literal(std::initializer_list<std::pair<const char*, ValueHandle>> entries);

// Common shapes.
inline ValueHandle call(ValueHandle callee, std::initializer_list<ValueHandle> a) {
    return op(OP_CALL, {callee, args(a)});
}
inline ValueHandle member(ValueHandle object, const char* name) { return op(OP_MEMBER, {object, nm(name)}); }
inline ValueHandle assign(ValueHandle target, ValueHandle value) { return op(OP_ASSIGN, {target, value}); }
inline ValueHandle ret(ValueHandle v) { return op(OP_RETURN, {v}); }
ValueHandle for_loop(std::initializer_list<ValueHandle> init, ValueHandle condition,
                     std::initializer_list<ValueHandle> steps, ValueHandle body);
ValueHandle try_catch(ValueHandle body, const char* name, ValueHandle handler, ValueHandle finally_block);
ValueHandle try_finally(ValueHandle body, ValueHandle finally_block);

}  // namespace tolv::tests
