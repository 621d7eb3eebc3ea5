// The String method table: 14-character entries in the order scripts have
// always seen them, with their argument limits.
#include "lib/string/string_methods.h"

#include <cstring>

#include "lib/string/string_method_handlers.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr int16_t ANY = ANY_COUNT;

const int16_t STRING_MIN[28] = {0, 0, 1, 1, 1, 0, 0, 1, 1, 0, 1, 2, 2, 1,
                                1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 0};
const int16_t STRING_MAX[28] = {1, 1, ANY, 2, 2, 0, 0, 2, 2, 2, 2, 2, 2, 2,
                                3, 2, 2, 1, 2, 0, 0, 0, 2, 1, 1, 1, 0, 0};

// search, str_match and str_matchAll come with the RegExp engine.
MethodHandler g_string_handlers[28] = {
    string_char_at,       string_char_code_at,   string_concat,      string_index_of,
    string_last_index_of, string_to_upper_case,  string_to_lower_case, string_substr,
    string_substring,     string_split,          string_slice,       string_replace,
    string_replace_all,   string_includes,       string_locale_compare, string_pad_end,
    string_pad_start,     string_repeat,         string_starts_with, string_trim,
    string_trim_start,    string_trim_end,       string_ends_with,   nullptr,
    nullptr,              nullptr,               string_trim_start,  string_trim_end,
};

const MethodList STRING_METHODS = {
    "charAt        charCodeAt    concat        indexOf       "
    "lastIndexOf   toUpperCase   toLowerCase   substr        "
    "substring     split         slice         replace       "
    "replaceAll    includes      localeCompare padEnd        "
    "padStart      repeat        startsWith    trim          "
    "trimStart     trimEnd       endsWith      search        "
    "str_match     str_matchAll  trimLeft      trimRight     ",
    14, 28, STRING_MIN, STRING_MAX, g_string_handlers,
    Error::BAD_STRING_METHOD, Error::WRONG_ARGUMENT_COUNT_2825, Error::WRONG_ARGUMENT_COUNT_2830};

}  // namespace

void install_string_methods() { g_method_lists[RECEIVER_STRING_VALUE] = &STRING_METHODS; }

bool set_string_method_handler(const char* name, MethodHandler handler) {
    int e = find_method(STRING_METHODS, name, std::strlen(name));
    if (e < 0) return false;
    g_string_handlers[e] = handler;
    return true;
}

ValueHandle string_locale_compare(ValueHandle, const ValueHandle*, uint32_t) {
    raise(Error::LOCALE_COMPARE_MISSING);
}

}  // namespace tolv
