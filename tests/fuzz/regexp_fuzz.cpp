// Feeds arbitrary (flags, pattern, subject) triples to the RegExp compiler
// and matcher: the first byte picks the flags, a NUL byte ends the pattern,
// the rest is the subject. Compile errors and the work budget's error are
// expected; crashes, sanitizer reports and reads past the texts are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/journal.h"
#include "lib/regexp/regexp_values.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
    if (size < 1) return 0;
    heap_reset();
    seed_name_table();
    globals_reset();
    journal_reset();
    g_error_context = ErrorContext{};
    set_run_mode();

    static const uint8_t FLAG_BITS[] = {REGEXP_FLAG_I, REGEXP_FLAG_M, REGEXP_FLAG_G, REGEXP_FLAG_Y, REGEXP_FLAG_S};
    uint8_t flags = 0;
    for (int i = 0; i < 5; ++i)
        if (data[0] & (1 << i)) flags |= FLAG_BITS[i];
    const uint8_t* rest = data + 1;
    const size_t rest_size = size - 1;
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(rest, 0, rest_size));
    const size_t pattern_size = nul ? size_t(nul - rest) : rest_size;
    // Exact-size copies, so ASan sees any read beyond either text.
    std::vector<char> pattern(rest, rest + pattern_size);
    const size_t subject_at = nul ? pattern_size + 1 : rest_size;
    try {
        const ValueHandle regexp = compile_regexp(pattern.data(), pattern.size(), flags, eval_fail);
        const ValueHandle subject = new_string(reinterpret_cast<const char*>(rest + subject_at), rest_size - subject_at);
        const regexp::Program& program = regexp_program(regexp);
        std::vector<int32_t> caps = capture_slots(program);
        SubjectText text;
        text.load(subject);
        for (size_t start = 0; start <= text.length(); start += 3) {
            if (!text.search(program, start, flags & REGEXP_FLAG_Y, caps.data())) continue;
            if (caps[0] < int32_t(start) || caps[1] < caps[0] || size_t(caps[1]) > text.length()) __builtin_trap();
            for (uint32_t g = 1; g <= group_count(program); ++g) {
                const int32_t from = caps[2 * g], to = caps[2 * g + 1];
                if (from >= 0 && to >= from) dispose(text.slice(size_t(from), size_t(to)));
            }
        }
    } catch (const ScriptThrow&) {
    }
    return 0;
}
