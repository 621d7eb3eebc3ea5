// Feeds arbitrary bytes to the request-record decoder. Decoding errors are
// expected; crashes, sanitizer reports and reads past the body are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/config.h"
#include "host/journal.h"
#include "protocol/request_records.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"

namespace {

void no_modules_to_load() {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
    heap_reset();
    seed_name_table();
    globals_reset();
    modules_reset();
    config_reset();
    journal_reset();
    g_config.logfile = "/tmp/tolv-fuzz/journal.log";

    // Exactly `size` bytes plus the NUL the decoder may rely on, so ASan sees
    // any read beyond the body.
    std::vector<char> body(size + 1);
    if (size > 0) std::memcpy(body.data(), data, size);
    body[size] = '\0';

    RequestFields fields;
    try {
        decode_request(body.data(), size, fields, RequestHooks{no_modules_to_load, nullptr});
    } catch (const ScriptThrow&) {
    }
    return 0;
}
