#include "host/modules.h"

#include <cstdio>
#include <vector>

#include "debugger/debugger_hooks.h"
#include "host/config.h"
#include "image/module_image_format.h"
#include "image/module_image_loader.h"
#include "lang/parser.h"
#include "platform/regular_file.h"
#include "runtime/errors.h"
#include "runtime/module_table.h"

namespace tolv {

namespace {

size_t g_loaded = 0;
#if TOLV_DEBUGGER
// A request's L record keeps module texts off the debugger connection.
bool g_modules_from_debugger = true;
#endif

// Bytes read_file adds after the file's contents.
constexpr size_t TEXT_SLACK = 20;

// Paths from an M record carry their type. Untyped paths (INCLUDE lines and
// the command line) are source text, except that a ".jo" path is an image:
// read as source it could only fail.
bool is_image(const ModuleEntry& entry) {
    if (entry.type != MODULE_UNTYPED) return entry.type == MODULE_IMAGE;
    const std::string& p = entry.path;
    return p.size() > 3 && p.compare(p.size() - 3, 3, ".jo") == 0;
}

// Reads the whole file, NUL-terminated, into `text`; false when it cannot or
// when the name is not a regular file (a folder's length is no length).
bool read_file(const std::string& name, std::vector<char>& text) {
    std::FILE* file = open_regular_file(name.c_str());
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long length = ok ? std::ftell(file) : -1;
    ok = ok && length >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        text.assign(size_t(length) + TEXT_SLACK, '\0');
        size_t got = 0;
        for (int reads = 0; reads < 100 && got < size_t(length); ++reads) {
            size_t n = std::fread(text.data() + got, 1, size_t(length) - got, file);
            if (n == 0) break;
            got += n;
        }
        ok = got == size_t(length);
        text[got] = '\0';
    }
    std::fclose(file);
    return ok;
}

#if TOLV_DEBUGGER
// The developer's own copy of the module, fresh from the debugger; false when
// the module is to be read from its file.
bool module_from_debugger(const ModuleEntry& entry, std::string& name, std::vector<char>& text, bool& image) {
    DebuggerModule supplied;
    if (!g_modules_from_debugger || !debugger_fetch_module(uint32_t(g_loaded), entry.path, supplied)) return false;
    if (supplied.bad_image) {
        raise_parse(Error::BAD_MODULE_IMAGE, entry.path.c_str(), "base64 of the debugger's image");
    }
    image = supplied.image;
    name = entry.path;
    text = std::move(supplied.bytes);
    text.resize(text.size() + TEXT_SLACK, '\0');
    return true;
}
#endif

}  // namespace

std::string module_file_name(const std::string& path) {
    const std::string& dir = g_config.module_dir;
    if (dir.empty()) return path;
    if (dir.back() == '/') return dir + path;
    return dir + "/" + path;
}

void load_all_modules() {
    // Whatever runs after loading (the rest of the request records) is no
    // part of the last module loaded.
    const uint32_t outside = g_error_context.module;
    for (; g_loaded < g_modules.size(); ++g_loaded) {
        const ModuleEntry& entry = g_modules[g_loaded];
        g_error_context.module = uint32_t(g_loaded);
        g_error_context.parse_line = 1;
        std::string name = module_file_name(entry.path);
        std::vector<char> text;
#if TOLV_DEBUGGER
        bool image = is_image(entry);
        bool supplied = module_from_debugger(entry, name, text, image);
        if (!supplied && !read_file(name, text)) raise_parse(Error::MODULE_OPEN, entry.path.c_str());
        if (image) {
#else
        // The client learns the module's own path, not where the modules live.
        if (!read_file(name, text)) raise_parse(Error::MODULE_OPEN, entry.path.c_str());
        if (is_image(entry)) {
#endif
            load_module_image(reinterpret_cast<const uint8_t*>(text.data()), text.size() - TEXT_SLACK,
                              uint32_t(g_loaded), entry.path.c_str());
            continue;
        }
        remove_comments(text.data());
        parse_module(uint32_t(g_loaded), text.data());
    }
    g_error_context.module = outside;
}

#if TOLV_DEBUGGER
void set_modules_from_debugger(bool allowed) { g_modules_from_debugger = allowed; }
#endif

void module_loading_reset() {
    g_loaded = 0;
#if TOLV_DEBUGGER
    g_modules_from_debugger = true;
#endif
}

}  // namespace tolv
