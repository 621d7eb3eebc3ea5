// Feeds arbitrary bytes to the compiled-image loader as a second module (so
// that renumbering and relocation run) after a small first image, then runs
// what it accepted: the initialisers and every global function once, under a
// work budget. Numbered errors are expected; crashes, sanitizer reports,
// hangs and reads or writes outside the image or the heaps are not.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "eval/calls.h"
#include "eval/program.h"
#include "eval/work_budget.h"
#include "host/journal.h"
#include "lib/library.h"
#include "protocol/answer.h"
#include "image/module_image_loader.h"
#include "image/module_image_writer.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

namespace {

constexpr uint64_t WORK_BUDGET = 20000;

void fresh_runtime() {
    using namespace tolv;
    evaluator_reset();
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    journal_reset();
    g_error_context = ErrorContext{};
}

// A loaded image is trusted from here on: whatever it does must be a
// numbered error at worst.
void run_loaded() {
    using namespace tolv;
    set_work_budget(WORK_BUDGET);
    try {
        set_run_mode();
        define_constant_globals();
        run_module_initialisers();
    } catch (const ScriptThrow&) {
        evaluator_reset();
    }
    for (uint32_t name = 0; name < name_count(); ++name) {
        if (!global_declared(name)) continue;
        ValueHandle value = global_value(name);
        if (is_sentinel(value) || kind_of(value) != KIND_FUNCTION) continue;
        try {
            dispose(call_function(value, VALUE_UNDEFINED, nullptr, 0));
        } catch (const ScriptThrow&) {
            evaluator_reset();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
    static const bool quiet = [] {
        tolv::install_library();
        tolv::answer_enable(false);  // sendToFront and friends write nothing
        return true;
    }();
    (void)quiet;
    static const std::vector<uint8_t> first = [] {
        std::vector<uint8_t> image = compile_module_image("var seen = 'first'; function one(a) { return a + seen; }");
        return image;
    }();
    // Exactly `size` bytes, so ASan sees any read beyond the image.
    std::vector<uint8_t> image(data, data + size);
    for (int as_second = 0; as_second < 2; ++as_second) {
        fresh_runtime();
        try {
            if (as_second) load_module_image(first.data(), first.size(), 1, "first.jo");
            load_module_image(image.data(), image.size(), 2, "fuzz.jo");
        } catch (const ScriptThrow&) {
            continue;
        }
        run_loaded();
    }
    return 0;
}
