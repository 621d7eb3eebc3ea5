#include "lang/tree_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lang/operation_builder.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"

namespace tolv::tests {

namespace {

const Word32* words_at(AreaRef ref) { return reinterpret_cast<const Word32*>(area_ptr(ref)); }

std::string join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

std::string operation_text(ValueHandle h) {
    const uint8_t code = operation_code(h);
    const uint32_t count = operation_operand_count(h);
    const char* name = opcode_name(code);
    std::vector<std::string> parts{name ? name : std::to_string(code)};
    for (uint32_t i = 0; i < count; ++i) {
        const ValueHandle operand = operation_operand(h, i);
        if ((code == OP_CALL || code == OP_NEW) && i == 1) {
            const Word32* block = words_at(operand);
            std::vector<std::string> arguments;
            for (uint32_t k = 0; k < block[0]; ++k) arguments.push_back(tree_text(block[k + 1]));
            parts.push_back("[" + join(arguments, " ") + "]");
        } else if (code == OP_FOR && i == 0) {
            const uint32_t counts = operation_operand(h, 1);
            const uint32_t init = counts >> 16, steps = counts & 0xFFFF;
            const Word32* vector = words_at(operand);
            std::vector<std::string> a, b;
            for (uint32_t k = 0; k < init; ++k) a.push_back(tree_text(vector[k]));
            for (uint32_t k = 0; k < steps; ++k) b.push_back(tree_text(vector[init + 1 + k]));
            parts.push_back("{" + join(a, " ") + " | " + tree_text(vector[init]) + " | " + join(b, " ") + "}");
        } else if (code == OP_FOR && i == 1) {
            continue;
        } else if ((code == OP_FOR_OF || code == OP_FOR_IN) && i == 3) {
            parts.push_back(std::to_string(operand));
        } else if (code == OP_TRY && i == 1) {
            if (operand == 0) {
                parts.push_back("0");
            } else {
                const Word32* pair = words_at(operand);
                parts.push_back("<" + tree_text(pair[0]) + " " + tree_text(pair[1]) + ">");
            }
        } else if (code == OP_SWITCH && i == 1) {
            const Word32* table = words_at(operand);
            std::vector<std::string> entries{std::to_string(table[0]) + "," + std::to_string(table[1]),
                                             "default:" + std::to_string(table[3])};
            for (uint32_t e = 2; e < table[0]; ++e) {
                entries.push_back(tree_text(table[2 * e]) + ":" + std::to_string(table[2 * e + 1]));
            }
            parts.push_back("{" + join(entries, " ") + "}");
        } else if (code == OP_SWITCH && i == 2) {
            const Word32* table = words_at(operation_operand(h, 1));
            const Word32* statements = words_at(operand);
            std::vector<std::string> list;
            for (uint32_t k = 0; k < table[1]; ++k) list.push_back(tree_text(statements[k]));
            parts.push_back("[" + join(list, " ") + "]");
        } else if (code == OP_SWITCH && i == 3) {
            parts.push_back(std::to_string(operand));
        } else {
            parts.push_back(tree_text(operand));
        }
    }
    return "(" + join(parts, " ") + ")";
}

std::string function_text(ValueHandle h) {
    const FunctionCell* f = cell_as<FunctionCell>(h);
    std::vector<std::string> params, locals;
    const Word32* names = f->names ? words_at(f->names) : nullptr;
    for (uint32_t i = 0; i < f->param_count; ++i) params.push_back(tree_text(names[i]));
    for (uint32_t i = 0; i < f->local_count; ++i) locals.push_back(tree_text(names[f->param_count + i]));
    return "(fn (" + join(params, " ") + ") (" + join(locals, " ") + ") " + tree_text(f->body) + ")";
}

}  // namespace

std::string tree_text(ValueHandle h) {
    if (is_sentinel(h)) return "<sentinel>";
    switch (kind_of(h)) {
        case KIND_NAME:
            if (h <= VALUE_NAN) {
                static const char* const CONSTANTS[] = {"undefined", "true", "false", "null", "NaN"};
                return CONSTANTS[h];
            }
            return h < name_count() ? std::string(name_text(h), name_length(h)) : "#" + std::to_string(h);
        case KIND_INTEGER:
            return std::to_string(integer_value(h));
        case KIND_FLOAT: {
            char text[64];
            std::snprintf(text, sizeof text, "%gf", float_value(h));
            return text;
        }
        case KIND_STRING: {
            const char quote = cell_as<StringCell>(h)->template_mark < 0 ? '`' : '"';
            return quote + std::string(string_text(h), string_length(h)) + quote;
        }
        case KIND_ARRAY: {
            std::vector<std::string> parts;
            for (uint32_t i = 0; i < array_length(h); ++i) parts.push_back(tree_text(array_elements(h)[i]));
            return "[" + join(parts, " ") + "]";
        }
        case KIND_HASH: {
            std::vector<std::string> parts;
            const Word32* pairs = hash_pairs(h);
            for (uint32_t i = 0; i < hash_count(h); ++i) {
                parts.push_back(tree_text(pairs[2 * i]) + ":" + tree_text(pairs[2 * i + 1]));
            }
            return "{" + join(parts, " ") + "}";
        }
        case KIND_OPERATION:
            return operation_text(h);
        case KIND_FUNCTION:
            return function_text(h);
        default:
            return "<kind " + std::to_string(kind_of(h)) + ">";
    }
}

std::string module_text(const char* text) {
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    const size_t first = g_initialisers.size();
    parse_module(1, copy.data());
    std::vector<std::string> parts;
    for (size_t i = first; i < g_initialisers.size(); ++i) parts.push_back(tree_text(g_initialisers[i]));
    return join(parts, "; ");
}

int thrown_code(ValueHandle error) { return std::atoi(error_code_text(value_ptr(error))); }

int module_error(const char* text) {
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    try {
        remove_comments(copy.data());
        parse_module(1, copy.data());
    } catch (const ScriptThrow& thrown) {
        return thrown_code(thrown.value);
    }
    return 0;
}

void reset_front_end() {
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    g_error_context = ErrorContext{};
}

}  // namespace tolv::tests
