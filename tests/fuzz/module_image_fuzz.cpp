// Feeds arbitrary bytes to the compiled-image loader as a second module (so
// that renumbering and relocation run) after a small first image. Numbered
// errors are expected; crashes, sanitizer reports and reads or writes outside
// the image or the heaps are not.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/journal.h"
#include "image/module_image_loader.h"
#include "image/module_image_writer.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

namespace {

void fresh_runtime() {
    using namespace tolv;
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    journal_reset();
    g_error_context = ErrorContext{};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
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
        }
    }
    return 0;
}
