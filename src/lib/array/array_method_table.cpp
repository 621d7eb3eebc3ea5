// The Array method list, once for arrays and once for assoc arrays, with the
// argument rules the call layer checks before a handler runs.
#include <iterator>

#include "eval/methods.h"
#include "lib/array/array_methods.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr int16_t NONE = NO_ARGUMENTS;
constexpr int16_t ANY = ANY_COUNT;

// concat keys reverse indexOf lastIndexOf join pop push slice toString shift
// unshift copyWithin fill includes sort splice
const char ARRAY_NAMES[] =
    "concat      keys        reverse     indexOf     lastIndexOf join        pop         push        "
    "slice       toString    shift       unshift     copyWithin  fill        includes    sort        "
    "splice      ";
const int16_t ARRAY_MIN[] = {1, NONE, NONE, 1, 1, 0, NONE, 1, 0, NONE, NONE, 1, 1, 1, 1, 0, 1};
const int16_t ARRAY_MAX[] = {ANY, 0, 0, 2, 2, 1, 0, ANY, 2, 0, 0, ANY, 3, 3, 2, 1, ANY};
static_assert(sizeof ARRAY_NAMES - 1 == 17 * 12 && std::size(ARRAY_MIN) == 17 && std::size(ARRAY_MAX) == 17);

MethodHandler g_array_handlers[17] = {
    array_concat,  array_keys,    array_reverse, array_index_of,    array_last_index_of, array_join,
    array_pop,     array_push_values, array_slice, array_to_string, array_shift,         array_unshift,
    array_copy_within, array_fill, array_includes, array_sort,      array_splice,
};

ValueHandle assoc_has_no_such_method(ValueHandle, const ValueHandle*, uint32_t) {
    raise(Error::BAD_ARRAY_METHOD_2565);
}

MethodHandler g_assoc_handlers[17] = {
    array_concat,  assoc_keys,    assoc_has_no_such_method, assoc_index_of, assoc_last_index_of, assoc_join,
    assoc_pop,     assoc_push,    assoc_has_no_such_method, array_to_string, assoc_shift,        assoc_unshift,
    assoc_has_no_such_method, assoc_has_no_such_method, assoc_has_no_such_method, assoc_has_no_such_method,
    assoc_has_no_such_method,
};

const MethodList ARRAY_LIST = {ARRAY_NAMES, 12, 17, ARRAY_MIN, ARRAY_MAX, g_array_handlers,
                               Error::BAD_ARRAY_METHOD_2570, Error::WRONG_ARGUMENT_COUNT_2575,
                               Error::WRONG_ARGUMENT_COUNT_2580};
const MethodList ASSOC_LIST = {ARRAY_NAMES, 12, 17, ARRAY_MIN, ARRAY_MAX, g_assoc_handlers,
                               Error::BAD_ARRAY_METHOD_2552, Error::WRONG_ARGUMENT_COUNT_2555,
                               Error::WRONG_ARGUMENT_COUNT_2560};

}  // namespace

void install_array_methods() {
    g_method_lists[RECEIVER_ARRAY_VALUE] = &ARRAY_LIST;
    g_method_lists[RECEIVER_ASSOC_VALUE] = &ASSOC_LIST;
}

}  // namespace tolv
