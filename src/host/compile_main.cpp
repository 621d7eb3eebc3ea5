// runner-compile: turns a module's source text into a compiled image (.jo)
// that the runner loads by copying instead of parsing.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "db/database_install.h"
#include "image/module_image_writer.h"
#include "lib/library.h"
#include "protocol/front_statements.h"
#include "runtime/errors.h"
#include "runtime/module_table.h"
#include "runtime/value.h"

namespace {

constexpr const char* USAGE =
    "usage: runner-compile [--plain] input.js output.jo\n"
    "Parses the module input.js and writes its compiled image to output.jo.\n"
    "  --plain  store the sections uncoded\n";

bool read_whole(const char* name, std::string& text) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool write_whole(const char* name, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tolv;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    bool compress = true;
    if (argc == 4 && std::strcmp(argv[1], "--plain") == 0) {
        compress = false;
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::string text;
    if (!read_whole(argv[1], text)) {
        std::fprintf(stderr, "runner-compile: cannot read %s\n", argv[1]);
        return 1;
    }
    // The parts the runner installs before it parses: the parser calls back
    // into them (a RegExp literal is checked as it is met), so a module that
    // does not load as source does not compile either.
    install_front_statements();
    install_library();
    install_database();
    // Messages name the source file as module 0.
    add_module_path(argv[1], MODULE_SOURCE);
    std::vector<uint8_t> image;
    try {
        image = compile_module_image(text, compress);
    } catch (const ScriptThrow& thrown) {
        const uint8_t* record = value_ptr(thrown.value);
        std::fprintf(stderr, "%s\n", error_message(record));
        return 1;
    }
    if (!write_whole(argv[2], image)) {
        std::fprintf(stderr, "runner-compile: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
