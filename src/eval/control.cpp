// The pending completion and the tag stack of active loops, calls, try
// statements and switches.
#include "eval/control.h"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"

namespace tolv {

Completion g_completion = COMPLETION_NORMAL;
ValueHandle g_completion_value = VALUE_UNDEFINED;

namespace {
constexpr uint32_t TAG_STEP = 256;
uint8_t g_first_tags[TAG_STEP];
}  // namespace

TagStack g_tags = {g_first_tags, 0, TAG_STEP};

void grow_tag_stack() {
    uint32_t capacity = g_tags.capacity + TAG_STEP;
    auto* tags = static_cast<uint8_t*>(std::malloc(capacity));
    if (!tags) raise(Error::NO_MEMORY);
    std::memcpy(tags, g_tags.tags, g_tags.count);
    if (g_tags.tags != g_first_tags) std::free(g_tags.tags);
    g_tags.tags = tags;
    g_tags.capacity = capacity;
}

bool has_target(Completion code, uint32_t from) {
    for (uint32_t i = from; i-- > 0;) {
        uint8_t tag = g_tags.tags[i];
        if (code == COMPLETION_RETURN) {
            if (tag == TAG_CALL || tag == TAG_TRY) return true;
            continue;
        }
        // A break or continue never leaves the function it is written in.
        if (tag == TAG_CALL) return false;
        if (tag == TAG_LOOP || tag == TAG_TRY) return true;
        if (tag == TAG_SWITCH && code == COMPLETION_BREAK) return true;
    }
    return false;
}

void clear_completion() {
    if (g_completion == COMPLETION_RETURN) release(g_completion_value);
    g_completion = COMPLETION_NORMAL;
    g_completion_value = VALUE_UNDEFINED;
}

void control_reset() {
    if (g_tags.tags != g_first_tags) std::free(g_tags.tags);
    g_tags = {g_first_tags, 0, TAG_STEP};
    g_completion = COMPLETION_NORMAL;
    g_completion_value = VALUE_UNDEFINED;
}

}  // namespace tolv
