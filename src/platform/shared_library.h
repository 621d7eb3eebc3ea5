// Loading a shared library and finding its functions by name at run time.
#pragma once

namespace tolv {

// The library's handle, or nullptr when it does not load.
void* load_shared_library(const char* file_name);
// The address of a function the library exports, or nullptr.
void* shared_library_symbol(void* library, const char* name);
// Why the last load failed, for messages; "" when nothing is known.
const char* shared_library_error();

}  // namespace tolv
