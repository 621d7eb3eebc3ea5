// Conversion of UTF-8 text to Shift_JIS (the Windows code page 932 form),
// for the few fixed messages the debugger protocol carries in that encoding.
#pragma once

#include <cstddef>
#include <string>

namespace tolv {

// Characters without a Shift_JIS form become '?'.
std::string utf8_to_shift_jis(const char* text, size_t length);
inline std::string utf8_to_shift_jis(const std::string& text) { return utf8_to_shift_jis(text.data(), text.size()); }

}  // namespace tolv
