#include "eval/cell_builder.h"

#include <cstring>
#include <vector>

#include "runtime/name_table.h"

namespace tolv::tests {

namespace {
AreaRef vector_of(const std::vector<uint32_t>& items) {
    uint8_t* bytes = nullptr;
    AreaRef ref = area_alloc(4 * (items.size() + 1), &bytes);
    if (!bytes) bytes = area_ptr(ref);
    Word32* out = reinterpret_cast<Word32*>(bytes);
    for (size_t i = 0; i < items.size(); ++i) out[i] = items[i];
    return ref;
}
}  // namespace

ValueHandle op(uint8_t code, std::initializer_list<ValueHandle> operands, uint32_t line) {
    ValueHandle h = new_cell(KIND_OPERATION, 1);
    auto* c = cell_as<OperationCell>(h);
    c->opcode = code;
    c->position = line | (1u << 16);
    std::vector<uint32_t> items;
    for (ValueHandle v : operands) items.push_back(retain(v));
    c = cell_as<OperationCell>(h);
    if (items.size() <= 2) {
        c->operand_count = uint8_t(items.size());
        for (size_t i = 0; i < items.size(); ++i) c->operand[i] = items[i];
    } else {
        AreaRef ref = vector_of(items);
        c = cell_as<OperationCell>(h);
        c->operand[0] = ref;
        if (items.size() >= OPERATION_LONG_FORM) {
            c->operand_count = OPERATION_LONG_FORM;
            c->position = uint32_t(items.size());
        } else {
            c->operand_count = uint8_t(items.size());
        }
    }
    return h;
}

ValueHandle nm(const char* text) { return name_handle(intern_name(text, std::strlen(text))); }
ValueHandle num(int32_t v) { return retain(new_integer(v)); }
ValueHandle real(double v) { return retain(new_float(v)); }
ValueHandle str(const char* text) { return retain(new_string(text)); }

ValueHandle tmpl(const char* text) {
    ValueHandle s = str(text);
    cell_as<StringCell>(s)->template_mark = -1;
    return s;
}

uint32_t words(std::initializer_list<uint32_t> items, bool retain_items) {
    std::vector<uint32_t> v;
    for (uint32_t w : items) v.push_back(retain_items ? retain(w) : w);
    return vector_of(v);
}

uint32_t args(std::initializer_list<ValueHandle> items) {
    std::vector<uint32_t> v{uint32_t(items.size())};
    for (ValueHandle h : items) v.push_back(retain(h));
    return vector_of(v);
}

ValueHandle block(std::initializer_list<ValueHandle> statements) { return op(OP_BLOCK, statements); }

ValueHandle function(std::initializer_list<ValueHandle> params, std::initializer_list<ValueHandle> locals,
                     ValueHandle body) {
    std::vector<uint32_t> names;
    for (ValueHandle p : params) names.push_back(retain(p));
    for (ValueHandle l : locals) names.push_back(l);
    AreaRef ref = names.empty() ? 0 : vector_of(names);
    ValueHandle h = new_cell(KIND_FUNCTION, 1);
    auto* f = cell_as<FunctionCell>(h);
    f->param_count = uint8_t(params.size());
    f->local_count = uint8_t(locals.size());
    f->body = retain(body);
    f = cell_as<FunctionCell>(h);
    f->names = ref;
    return h;
}

ValueHandle array_literal(std::initializer_list<ValueHandle> elements) {
    ValueHandle a = retain(new_array(0));
    for (ValueHandle e : elements) array_push(a, e);
    return a;
}

ValueHandle hash_literal(std::initializer_list<std::pair<const char*, ValueHandle>> entries) {
    ValueHandle h = retain(new_hash(0));
    for (auto& [key, value] : entries) hash_set(h, intern_name(key, std::strlen(key)), value);
    return h;
}

ValueHandle for_loop(std::initializer_list<ValueHandle> init, ValueHandle condition,
                     std::initializer_list<ValueHandle> steps, ValueHandle body) {
    std::vector<uint32_t> parts;
    for (ValueHandle i : init) parts.push_back(retain(i));
    parts.push_back(retain(condition));
    for (ValueHandle s : steps) parts.push_back(retain(s));
    uint32_t counts = (uint32_t(init.size()) << 16) | uint32_t(steps.size());
    return op(OP_FOR, {vector_of(parts), counts, body});
}

ValueHandle try_catch(ValueHandle body, const char* name, ValueHandle handler, ValueHandle finally_block) {
    uint32_t pair = words({nm(name), retain(handler)}, false);
    if (finally_block == VALUE_SENTINEL) return op(OP_TRY, {body, pair});
    return op(OP_TRY, {body, pair, finally_block});
}

ValueHandle try_finally(ValueHandle body, ValueHandle finally_block) { return op(OP_TRY, {body, 0, finally_block}); }

}  // namespace tolv::tests
