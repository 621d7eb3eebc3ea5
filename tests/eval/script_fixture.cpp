#include "eval/script_fixture.h"

#include <cstdlib>
#include <vector>

#include "eval/program.h"
#include "host/journal.h"
#include "image/module_image_loader.h"
#include "image/module_image_writer.h"
#include "lang/parser.h"
#include "lib/library.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/heap_check.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv::tests {

void ScriptTest::SetUp() {
    install_library();
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    evaluator_reset();
    journal_reset();
    modules_reset();
    add_module_path("test.js", MODULE_SOURCE);
    g_error_context = ErrorContext{};
    g_error_context.mode = RunMode::COMMAND_LINE;
}

// Every script leaves the heap's bookkeeping in agreement with its blocks:
// a slip there shows here, long before it would corrupt a later allocation.
void ScriptTest::TearDown() {
    EXPECT_EQ(heap_bookkeeping_fault(), "");
    evaluator_reset();
    g_error_context = ErrorContext{};
}

namespace {

// Console lines only: error lines that the raising side echoes are left out.
std::string console_lines(const std::string& captured) {
    std::string out;
    size_t at = 0;
    while (at < captured.size()) {
        size_t end = captured.find('\n', at);
        if (end == std::string::npos) end = captured.size();
        std::string line = captured.substr(at, end - at);
        if (line.rfind("(L) ", 0) == 0 || line.rfind("(E) ", 0) == 0) out += line.substr(4) + "\n";
        at = end + 1;
    }
    return out;
}

// With TOLV_SCRIPT_IMAGES set, every script is compiled to an image and run
// from the loaded image instead of its parsed source: both must behave alike.
bool from_images() {
    static const bool images = std::getenv("TOLV_SCRIPT_IMAGES") != nullptr;
    return images;
}

void load_as_image(const std::vector<char>& text) {
    std::vector<uint8_t> image = compile_module_image(std::string(text.data()));
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    evaluator_reset();
    load_module_image(image.data(), image.size(), 0, "test.jo");
}

}  // namespace

ScriptOutcome ScriptTest::run(const std::string& module_text, const std::string& top) {
    ScriptOutcome outcome;
    std::vector<char> text(module_text.begin(), module_text.end());
    text.push_back('\0');
    testing::internal::CaptureStdout();
    try {
        if (from_images()) {
            load_as_image(text);
        } else {
            remove_comments(text.data());
            parse_module(0, text.data());
        }
        set_run_mode();
        define_constant_globals();
        g_error_context.run_started = true;
        run_module_initialisers();
        if (!top.empty()) {
            add_module_path("MainScript", MODULE_SOURCE);
            ValueHandle statement = parse_main_script(1, top.c_str(), top.size());
            run_top_statement(statement);
        }
    } catch (const ScriptThrow& thrown) {
        outcome.threw = true;
        if (kind_of(thrown.value) == KIND_ERROR) {
            const uint8_t* rec = value_ptr(thrown.value);
            outcome.error_code.assign(error_code_text(rec), error_code_length(rec));
            outcome.error_message.assign(error_message(rec), error_message_length(rec));
        } else {
            TextBuffer t;
            text_of(thrown.value, t);
            outcome.error_message.assign(t.data(), t.size());
        }
    }
    outcome.output = console_lines(testing::internal::GetCapturedStdout());
    return outcome;
}

}  // namespace tolv::tests
