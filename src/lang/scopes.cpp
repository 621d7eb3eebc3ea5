#include "lang/scopes.h"

#include <algorithm>

#include "lang/lexer.h"
#include "lang/parse_state.h"
#include "runtime/globals.h"

namespace tolv {

namespace {

bool contains(const std::vector<uint32_t>& names, size_t from, uint32_t name) {
    return std::find(names.begin() + ptrdiff_t(from), names.end(), name) != names.end();
}

}  // namespace

void declare_variable(uint32_t name) {
    FunctionScope& function = g_parse.function;
    if (!function.active) {
        if (!global_declared(name)) declare_global(name);
        return;
    }
    if (contains(function.params, 0, name)) return;
    if (contains(g_parse.local_names, function.local_start, name)) return;
    g_parse.local_names.push_back(name);
}

void declare_lexical(uint32_t name, const char* keyword, const char* statement) {
    bool duplicate;
    if (g_parse.block_depth > 0) {
        duplicate = contains(g_parse.block_names, g_parse.block_start, name);
    } else {
        const FunctionScope& function = g_parse.function;
        duplicate = contains(g_parse.block_names, 0, name) || global_declared(name) ||
                    (function.active && (contains(function.params, 0, name) ||
                                         contains(g_parse.local_names, function.local_start, name)));
    }
    if (duplicate) raise_syntax(Error::DUPLICATE_VARIABLE, keyword, excerpt(statement, 120));
    g_parse.block_names.push_back(name);
}

BlockRange::BlockRange() : saved_start_(g_parse.block_start), saved_size_(g_parse.block_names.size()) {
    g_parse.block_start = saved_size_;
    ++g_parse.block_depth;
}

BlockRange::~BlockRange() {
    g_parse.block_names.resize(saved_size_);
    g_parse.block_start = saved_start_;
    --g_parse.block_depth;
}

}  // namespace tolv
