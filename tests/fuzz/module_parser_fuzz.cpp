// Feeds arbitrary text to comment removal and the module parser. Parse
// errors are expected; crashes, sanitizer reports, reads past the text and
// stack exhaustion are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/journal.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    journal_reset();
    g_error_context = ErrorContext{};

    // Exactly `size` bytes and the NUL, so ASan sees any read beyond the text.
    std::vector<char> text(size + 1);
    if (size > 0) std::memcpy(text.data(), data, size);
    text[size] = '\0';
    try {
        remove_comments(text.data());
        parse_module(1, text.data());
    } catch (const ScriptThrow&) {
    }
    return 0;
}
