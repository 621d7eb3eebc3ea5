#include "platform/shared_library.h"

#include <dlfcn.h>

namespace tolv {

namespace {
const char* g_last_error = "";
}

void* load_shared_library(const char* file_name) {
    void* library = dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        g_last_error = why ? why : "";
    }
    return library;
}

void* shared_library_symbol(void* library, const char* name) { return dlsym(library, name); }

const char* shared_library_error() { return g_last_error; }

}  // namespace tolv
